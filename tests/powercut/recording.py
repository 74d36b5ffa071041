"""A run as recording-fs recorded it (OperationLog.h says the format): the
files and folders before it, then each change, flush and console write in
the order the file system carried them out."""

import re

METADATA = {"create", "mkdir", "link", "unlink", "rmdir", "rename"}
DATA = {"write", "truncate"}
SUCCESS = re.compile(r"^(?:加密|解密)文件已输出到:(.*)$")


class Event:
    __slots__ = ("index", "kind", "ino", "changes", "offset", "length", "at", "text")

    def __init__(self, index, kind):
        self.index = index
        self.kind = kind
        self.ino = 0
        self.changes = ()  # (folder, name, ino or None) for metadata
        self.offset = self.length = self.at = 0
        self.text = ""


class Recording:
    """Events, and the tree before them. Folders are inode numbers, names
    bytes; `live` is the tree after every event (what a kill would leave)."""

    def __init__(self, log_path, data_path, mount_point):
        with open(data_path, "rb") as data:
            self.data = data.read()
        self.mount_point = mount_point.rstrip("/")
        self.seed = {1: {}}  # folder -> {name: ino}
        self.seed_files = {}  # ino -> relative path (bytes)
        self.folder_paths = {1: b""}
        self.events = []
        self.data_ops = {}  # ino -> [event index of each write or truncate]
        self.lines = []  # (event index, text) of each whole console line
        self.live = {}
        self.names = {1: b"."}  # ino -> its latest path, for descriptions
        with open(log_path, encoding="ascii") as log:
            for line in log:
                self._read(line.split())

    def path_of(self, folder, name):
        parent = self.folder_paths.get(folder, b"?")
        return parent + b"/" + name if parent else name

    def _read(self, words):
        kind = words[0]
        if kind.startswith("seed-"):
            folder, name, ino = int(words[1]), bytes.fromhex(words[2]), int(words[3])
            self.seed[folder][name] = ino
            path = self.path_of(folder, name)
            self.names[ino] = path
            if kind == "seed-folder":
                self.seed[ino] = {}
                self.folder_paths[ino] = path
            elif kind == "seed-file":
                self.seed_files[ino] = path
            return
        if not self.live:
            self.live = {folder: dict(entries) for folder, entries in self.seed.items()}
        event = Event(len(self.events), kind)
        if kind in METADATA:
            self._metadata(event, words)
        elif kind in DATA:
            event.ino, event.offset = int(words[1]), int(words[2])
            if kind == "write":
                event.length, event.at = int(words[3]), int(words[4])
                event.text = "write %d bytes at %d to %s" % (event.length, event.offset, self.name_of(event.ino))
            else:
                event.text = "truncate %s to %d bytes" % (self.name_of(event.ino), event.offset)
            self.data_ops.setdefault(event.ino, []).append(event.index)
        elif kind in ("fsync", "fsyncdir"):
            event.ino = int(words[1])
            what = "fdatasync" if words[2] == "1" and kind == "fsync" else kind
            event.text = "%s %s" % (what, self.name_of(event.ino) or "/")
        elif kind == "syncfs":
            event.text = "syncfs"
        elif kind == "console":
            event.at, event.length = int(words[1]), int(words[2])
            event.text = "console write of %d bytes" % event.length
        else:
            event.text = " ".join(words)
        self.events.append(event)

    def name_of(self, ino):
        return self.names.get(ino, b"inode %d" % ino).decode("utf-8", "replace")

    def _metadata(self, event, words):
        kind = event.kind
        if kind in ("create", "mkdir"):
            folder, name, ino = int(words[1]), bytes.fromhex(words[2]), int(words[3])
            changes = [(folder, name, ino)]
            if kind == "mkdir":
                self.live[ino] = {}
                self.folder_paths[ino] = self.path_of(folder, name)
        elif kind == "link":
            ino, folder, name = int(words[1]), int(words[2]), bytes.fromhex(words[3])
            changes = [(folder, name, ino)]
        elif kind in ("unlink", "rmdir"):
            folder, name = int(words[1]), bytes.fromhex(words[2])
            changes = [(folder, name, None)]
        else:
            folder, name = int(words[1]), bytes.fromhex(words[2])
            target_folder, target = int(words[3]), bytes.fromhex(words[4])
            ino = self.live[folder][name]
            changes = [(folder, name, None), (target_folder, target, ino)]
        parts = []
        for folder, name, ino in changes:
            if ino is None:
                del self.live[folder][name]
            else:
                self.live[folder][name] = ino
                self.names[ino] = self.path_of(folder, name)
            parts.append(self.path_of(folder, name).decode("utf-8", "replace"))
        event.changes = tuple(changes)
        event.text = "%s %s" % (kind, " -> ".join(parts))

    def finish(self, exit_status):
        """The console's lines, each at the event that completed it, and
        the exit status as the last event."""
        pending = b""
        for event in self.events:
            if event.kind != "console":
                continue
            pending += self.data[event.at : event.at + event.length]
            while b"\n" in pending:
                line, pending = pending.split(b"\n", 1)
                self.lines.append((event.index, line.decode("utf-8", "replace")))
        end = Event(len(self.events), "exit")
        end.offset = exit_status
        end.text = "keystrel-cli exits with status %d" % exit_status
        self.events.append(end)

    def live_holds(self, ino, content):
        """Whether the inode holds `content` after the run (new inodes
        written from nothing, as keystrel-cli writes them)."""
        got = bytearray()
        for index in self.data_ops.get(ino, ()):
            event = self.events[index]
            if event.kind == "truncate":
                del got[event.offset :]
                continue
            end = event.offset + event.length
            got.extend(bytes(max(0, end - len(got))))
            got[event.offset : end] = self.data[event.at : event.at + event.length]
        return ino not in self.seed_files and bytes(got) == content

    def claimed_path(self, text):
        """The relative path a success line names, or None for other lines."""
        found = SUCCESS.match(text)
        if not found:
            return None
        path = found.group(1).encode("utf-8")
        prefix = self.mount_point.encode("utf-8") + b"/"
        return path[len(prefix) :] if path.startswith(prefix) else path
