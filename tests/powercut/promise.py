"""keystrel-cli's promise, checked one name at a time in a crash state.

Every file of the batch is there and holds its old or its new bytes
exactly; no other name is there but leftover temporary files (".keystrel-"
and 6 letters or digits); and a file for which a success line was written
("…已输出到:" path), or every file once the program has exited with
status 0, holds its new bytes.

A state is seen through a view: view.lookup((folder, name)) gives the inode
a name leads to (or None), view.content(ino) which of the inode's data
operations the state kept: (count, extras), its first `count` ones (the
durable ones) and, of the later ones, those at the positions in `extras`."""

import re

TEMPORARY = re.compile(rb"\.keystrel-[A-Za-z0-9]{6}")
LEFTOVER_KINDS = ("empty", "partial", "whole")


class NotModelled(Exception):
    pass


class Promise:
    def __init__(self, recording, old, new):
        self.r = recording
        self.events = recording.events
        self.old, self.new = old, new  # relative path -> bytes
        self.paths = {}  # (folder, name) -> relative path, for the batch's files
        self.seed_names = set()
        for folder, entries in recording.seed.items():
            for name, ino in entries.items():
                self.seed_names.add((folder, name))
                if ino in recording.seed_files:
                    self.paths[(folder, name)] = recording.seed_files[ino]
        self.key_of = {path: key for key, path in self.paths.items()}
        self.seed_bytes = {ino: old[path] for ino, path in recording.seed_files.items()}
        self._check_folders_stay()
        self.simple = {ino: self._simple(ino) for ino in recording.data_ops}
        self.write_matches, self.materialized, self.kinds = {}, {}, {}

    # A folder renamed or removed is more than these checks follow.
    def _check_folders_stay(self):
        folders = {(f, n) for f, entries in self.r.seed.items() for n, ino in entries.items() if ino in self.r.seed}
        for event in self.events:
            for folder, name, _ in event.changes:
                if (folder, name) in folders:
                    raise NotModelled("the run changed a folder of the batch: " + event.text)

    def _simple(self, ino):
        """Writes alone, into a new file, none over another: then the bytes
        are the target's exactly when each write matches it and together
        they cover it, which needs no copy of the bytes."""
        if ino in self.seed_bytes:
            return False
        spans = []
        for index in self.r.data_ops[ino]:
            event = self.events[index]
            if event.kind != "write":
                return False
            spans.append((event.offset, event.offset + event.length))
        spans.sort()
        return all(a[1] <= b[0] for a, b in zip(spans, spans[1:]))

    def _operations(self, ino, count, extras):
        ops = self.r.data_ops.get(ino, ())
        return [self.events[i] for i in ops[:count]] + [self.events[ops[p]] for p in extras]

    def _materialize(self, ino, count, extras):
        key = (ino, count, extras)
        if key in self.materialized:
            return self.materialized[key]
        content = bytearray(self.seed_bytes.get(ino, b""))
        for event in self._operations(ino, count, extras):
            if event.kind == "truncate":
                del content[event.offset :]
                content.extend(bytes(max(0, event.offset - len(content))))
                continue
            end = event.offset + event.length
            if len(content) < end:
                content.extend(bytes(end - len(content)))
            content[event.offset : end] = self.r.data[event.at : event.at + event.length]
        content = bytes(content)
        if len(content) <= 1 << 20:
            self.materialized[key] = content
        return content

    def content(self, ino, kept):
        """The bytes of the inode, with the data operations `kept`
        ((count, extras), as a view gives them)."""
        return self._materialize(ino, *kept)

    def _matches(self, event, target):
        key = (event.index, id(target))
        if key not in self.write_matches:
            piece = self.r.data[event.at : event.at + event.length]
            self.write_matches[key] = target[event.offset : event.offset + event.length] == piece
        return self.write_matches[key]

    def length(self, ino, count, extras):
        if not self.simple.get(ino):
            return len(self._materialize(ino, count, extras))
        return max((e.offset + e.length for e in self._operations(ino, count, extras)), default=0)

    def _holds(self, ino, count, extras, target):
        if count == 0 and not extras:
            return self.seed_bytes.get(ino, b"") == target
        if not self.simple.get(ino):
            return self._materialize(ino, count, extras) == target
        ops = self._operations(ino, count, extras)
        if sum(e.length for e in ops) != len(target) or max(e.offset + e.length for e in ops) != len(target):
            return False
        return all(self._matches(e, target) for e in ops)

    def _kind(self, key, ino, count, extras):
        """What the bytes are to the name: "new", "old" or "neither" for a
        file of the batch, a LEFTOVER_KINDS word for a temporary file."""
        memo = (key if key in self.paths else key[0], ino, count, extras)
        if memo in self.kinds:
            return self.kinds[memo]
        path = self.paths.get(key)
        if path is not None:
            if self._holds(ino, count, extras, self.new[path]):
                kind = "new"
            else:
                kind = "old" if self._holds(ino, count, extras, self.old[path]) else "neither"
        else:
            size = self.length(ino, count, extras)
            kind = "empty" if size == 0 else "partial"
            for name in self.r.seed.get(key[0], {}):
                other = self.paths.get((key[0], name))
                if other and len(self.new[other]) == size and self._holds(ino, count, extras, self.new[other]):
                    kind = "whole"
                    break
        self.kinds[memo] = kind
        return kind

    def check(self, key, view, claims):
        """(what is wrong with the name, or None; the kind of leftover it
        is, or None)."""
        ino = view.lookup(key)
        path = self.paths.get(key)
        if path is not None:
            shown = path.decode("utf-8", "replace")
            if ino is None:
                return "%s has vanished" % shown, None
            count, extras = view.content(ino)
            kind = self._kind(key, ino, count, extras)
            if kind != "new" and key in claims:
                return '%s does not hold its new bytes, yet "%s" was written' % (shown, claims[key]), None
            if kind == "neither":
                return (
                    "%s holds %d bytes that are neither its old %d nor its new %d"
                    % (shown, self.length(ino, count, extras), len(self.old[path]), len(self.new[path])),
                    None,
                )
            return None, None
        if ino is None or key in self.seed_names:
            return None, None
        if not TEMPORARY.fullmatch(key[1]):
            return "a name that is no file of the batch: " + self.r.path_of(*key).decode("utf-8", "replace"), None
        count, extras = view.content(ino)
        return None, self._kind(key, ino, count, extras)
