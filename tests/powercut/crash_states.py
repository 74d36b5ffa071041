"""The states a power cut could leave of a recorded run, each checked
against keystrel-cli's promise (promise.py).

A cut may fall after any event. What it leaves is the durable state (what
the flushes before the cut made durable) plus some of the operations not yet
flushed, as a model of the file system allows:

- strict: nothing unflushed persists. fsync and fdatasync make a file's
  bytes durable, a folder's fsync its names; nothing else does (POSIX, and
  the fsync(2) page: a file's flush does not make its name durable), but
  for syncfs where it is ext4's (every file's bytes and every name).
- ext4-ordered: ext4 with a journal in data=ordered mode, as ALICE (Pillai
  et al., OSDI 2014) abstracts it. Names persist in the order they were
  changed (the journal commits in order: any prefix of the unflushed
  changes of names), and independently of the data written before them, so
  that a rename may persist while the renamed file's unflushed bytes do not;
  each unflushed write persists or not on its own; a flushed file's bytes
  persist whole. This allows more states than ext4 can leave (its fsync
  also commits the journal), never fewer.

At each cut, every state of the strict model is checked; of the
ext4-ordered model, the state where every unflushed change of names
persisted and no unflushed data, the one where everything persisted (what a
kill leaves), and a seeded sample of others. The three first are followed
from cut to cut, each name checked again only when something it depends on
changes; a sampled state is checked where it differs from the strict one."""

from promise import LEFTOVER_KINDS
from recording import DATA, METADATA

STRICT, ORDERED = "strict", "ext4-ordered"


class Tracked:
    """A state followed from cut to cut: names from `names` (folder ->
    {name: ino}), data operations kept from `counts` (ino -> how many)."""

    def __init__(self, promise, claims, names, counts, pointing):
        self.promise, self.claims = promise, claims
        self.names, self.counts, self.pointing = names, counts, pointing
        self.problems, self.leftovers = {}, {}
        self.kinds = dict.fromkeys(LEFTOVER_KINDS, 0)

    def lookup(self, key):
        return self.names.get(key[0], {}).get(key[1])

    def content(self, ino):
        return self.counts.get(ino, 0), ()

    def recheck(self, keys):
        for key in keys:
            problem, leftover = self.promise.check(key, self, self.claims)
            self.problems.pop(key, None)
            if key in self.leftovers:
                self.kinds[self.leftovers.pop(key)] -= 1
            if problem:
                self.problems[key] = problem
            if leftover:
                self.leftovers[key] = leftover
                self.kinds[leftover] += 1

    def recheck_inode(self, ino):
        self.recheck(list(self.pointing.get(ino, ())))


class SampleView:
    """A sampled state: the strict one, with some unflushed changes."""

    def __init__(self, strict, overlay, extras):
        self.strict, self.overlay, self.extras = strict, overlay, extras

    def lookup(self, key):
        return self.overlay[key] if key in self.overlay else self.strict.lookup(key)

    def content(self, ino):
        return self.strict.counts.get(ino, 0), self.extras.get(ino, ())


def set_entry(names, pointing, folder, name, ino):
    entries = names.setdefault(folder, {})
    before = entries.get(name)
    if before is not None:
        pointing[before].discard((folder, name))
    if ino is None:
        entries.pop(name, None)
    else:
        entries[name] = ino
        pointing.setdefault(ino, set()).add((folder, name))


class Explorer:
    def __init__(self, recording, promise, rng, samples):
        self.r, self.promise, self.events = recording, promise, recording.events
        self.rng, self.samples = rng, samples
        self.claims = {}
        self.durable = {f: dict(entries) for f, entries in recording.seed.items()}
        self.live = {f: dict(entries) for f, entries in recording.seed.items()}
        self.durable_pointing, self.live_pointing = {}, {}
        for names, pointing in ((self.durable, self.durable_pointing), (self.live, self.live_pointing)):
            for folder, entries in names.items():
                for name, ino in entries.items():
                    pointing.setdefault(ino, set()).add((folder, name))
        self.durable_count, self.live_count = {}, {}
        self.snapshot_at = {}  # folder -> index of its last flush
        self.pending_meta, self.pending_data = [], set()
        self.strict = Tracked(promise, self.claims, self.durable, self.durable_count, self.durable_pointing)
        # Every unflushed change of names, no unflushed data; everything.
        self.names_first = Tracked(promise, self.claims, self.live, self.durable_count, self.live_pointing)
        self.everything = Tracked(promise, self.claims, self.live, self.live_count, self.live_pointing)
        self.tracked = (self.strict, self.names_first, self.everything)
        # flush kind -> [how many, data operations, changes of names they made durable]
        self.made_durable = {}

    def explore(self):
        result = Result(len(self.events) - 1)
        line_at = {}
        for index, text in self.r.lines:
            line_at.setdefault(index, []).append(text)
        for event in self.events:
            self._apply(event)
            self._claim(event, line_at.get(event.index, ()))
            unflushed = self._unflushed()
            result.count(STRICT, self.strict.problems, self.strict.kinds, self._describer(event, None))
            meta = len(self.pending_meta)
            if meta:
                state = self.names_first
                result.count(ORDERED, state.problems, state.kinds, self._describer(event, (meta, ())))
            if unflushed:
                state, sample = self.everything, (meta, tuple(sorted(unflushed.items())))
                result.count(ORDERED, state.problems, state.kinds, self._describer(event, sample))
            for sample in self._samples(unflushed):
                self._check_sample(result, event, sample)
            self._keep_leftovers(result)
        result.made_durable = self.made_durable
        return result

    def _keep_leftovers(self, result):
        """The first followed state with a temporary file of each kind, as
        files (relative path -> bytes), for the next run to meet."""
        for state in self.tracked:
            for kind, count in state.kinds.items():
                if count and kind not in result.kept_states and not state.problems:
                    result.kept_states[kind] = self._files_of(state)

    def _files_of(self, state):
        files = {}
        for folder in self.r.seed:
            for name, ino in state.names.get(folder, {}).items():
                if ino in self.r.seed or (folder == 1 and (folder, name) in self.promise.seed_names):
                    continue  # a folder, or the recorder's own files
                files[self.r.path_of(folder, name)] = self.promise.content(ino, state.content(ino))
        return files

    def _apply(self, event):
        kind = event.kind
        if kind in METADATA:
            for folder, name, ino in event.changes:
                set_entry(self.live, self.live_pointing, folder, name, ino)
            self.pending_meta.append(event.index)
            touched = [(folder, name) for folder, name, _ in event.changes]
            self.names_first.recheck(touched)
            self.everything.recheck(touched)
        elif kind in DATA:
            self.live_count[event.ino] = self.live_count.get(event.ino, 0) + 1
            self.pending_data.add(event.ino)
            self.everything.recheck_inode(event.ino)
        elif kind in ("fsync", "fsyncdir", "syncfs"):
            data, names = self._flushed_count()
            if kind == "fsync":
                self._flush_file(event.ino)
            elif kind == "fsyncdir" and event.ino in self.live:
                self._flush_folder(event.ino, event.index)
            elif kind == "syncfs":  # ext4's: every file's data, and the journal
                for ino in list(self.pending_data):
                    self._flush_file(ino)
                for folder in list(self.live):
                    self._flush_folder(folder, event.index)
            after = self._flushed_count()
            made = self.made_durable.setdefault(kind, [0, 0, 0])
            made[0] += 1
            made[1] += data - after[0]
            made[2] += names - after[1]

    def _flushed_count(self):
        """Data operations and changes of names not yet durable."""
        data = sum(self.live_count[i] - self.durable_count.get(i, 0) for i in self.pending_data)
        return data, len(self.pending_meta)

    def _flush_file(self, ino):
        self.durable_count[ino] = self.live_count.get(ino, 0)
        self.pending_data.discard(ino)
        self.strict.recheck_inode(ino)
        self.names_first.recheck_inode(ino)

    def _flush_folder(self, folder, index):
        before = dict(self.durable.get(folder, {}))
        for name in before:
            set_entry(self.durable, self.durable_pointing, folder, name, None)
        for name, ino in self.live[folder].items():
            set_entry(self.durable, self.durable_pointing, folder, name, ino)
        self.snapshot_at[folder] = index
        self.pending_meta = [e for e in self.pending_meta if self._still_pending(e)]
        self.strict.recheck({(folder, name) for name in list(before) + list(self.live[folder])})

    def _still_pending(self, index):
        return any(index > self.snapshot_at.get(folder, -1) for folder, _, _ in self.events[index].changes)

    def _claim(self, event, lines):
        """A success line claims its file from then on; exit status 0
        every file."""
        keys = []
        for text in lines:
            path = self.r.claimed_path(text)
            if path is None:
                continue
            key = self.promise.key_of.get(path)
            if key is None:
                self.strict.problems[("line", text)] = '"%s" names no file of the batch' % text
                continue
            self.claims.setdefault(key, text)
            keys.append(key)
        if event.kind == "exit" and event.offset == 0:
            for key in self.promise.paths:
                self.claims.setdefault(key, "exit status 0")
            keys = list(self.promise.paths)
        for state in self.tracked:
            state.recheck(keys)

    def _unflushed(self):
        """ino -> positions of its data operations not yet flushed."""
        ranges = {ino: range(self.durable_count.get(ino, 0), self.live_count[ino]) for ino in self.pending_data}
        return {ino: tuple(r) for ino, r in ranges.items() if len(r)}

    def _samples(self, unflushed):
        """(how many of the unflushed changes of names persisted, the data
        operations that persisted by file), seeded; none of the states
        followed from cut to cut, and each once."""
        meta = len(self.pending_meta)
        followed = {(0, ()), (meta, ()), (meta, tuple(sorted(unflushed.items())))}
        samples = []
        for _ in range(self.samples if meta or unflushed else 0):
            chosen = []
            for ino in sorted(unflushed):
                how = self.rng.randrange(3)  # none, all, each on its own
                kept = () if how == 0 else tuple(p for p in unflushed[ino] if how == 1 or self.rng.random() < 0.5)
                if kept:
                    chosen.append((ino, kept))
            sample = (self.rng.randint(0, meta), tuple(chosen))
            if sample not in followed:
                followed.add(sample)
                samples.append(sample)
        return samples

    def _check_sample(self, result, event, sample):
        persisted, data = sample
        overlay = {}
        for index in self.pending_meta[:persisted]:
            for folder, name, ino in self.events[index].changes:
                if index > self.snapshot_at.get(folder, -1):
                    overlay[(folder, name)] = ino
        extras = dict(data)
        view = SampleView(self.strict, overlay, extras)
        affected = set(overlay)
        for ino in extras:
            affected.update(self.durable_pointing.get(ino, ()))
        problems = {k: p for k, p in self.strict.problems.items() if k not in affected}
        kinds = dict(self.strict.kinds)
        for key in affected:
            problem, leftover = self.promise.check(key, view, self.claims)
            if problem:
                problems[key] = problem
            if key in self.strict.leftovers:
                kinds[self.strict.leftovers[key]] -= 1
            if leftover:
                kinds[leftover] += 1
        result.count(ORDERED, problems, kinds, self._describer(event, sample))

    def _describer(self, event, sample):
        return lambda problems: self._describe(event, sample, problems)

    def _describe(self, event, sample, problems):
        lines = [
            "model: " + (STRICT if sample is None else ORDERED),
            "cut after event %d of %d: %s" % (event.index + 1, len(self.events), event.text),
        ]
        if event.index > 0:
            lines.append("the event before it: " + self.events[event.index - 1].text)
        if sample is None:
            lines.append("unflushed operations that persisted: none")
        else:
            persisted, data = sample
            lines.append("unflushed changes of names that persisted: %d of %d" % (persisted, len(self.pending_meta)))
            lines += ["    " + self.events[i].text for i in self.pending_meta[:persisted][-8:]]
            kept = dict(data)
            unflushed = self._unflushed()
            files = sorted(unflushed, key=lambda ino: -len(kept.get(ino, ())))
            for ino in files[:4]:
                lines.append(
                    "unflushed writes to inode %d (at the end %s) that persisted: %d of %d"
                    % (ino, self.r.name_of(ino), len(kept.get(ino, ())), len(unflushed[ino]))
                )
            if len(files) > 4:
                rest = files[4:]
                lines.append(
                    "unflushed writes to %d more files that persisted: %d of %d"
                    % (len(rest), sum(len(kept.get(i, ())) for i in rest), sum(len(unflushed[i]) for i in rest))
                )
        lines += ["broken: " + text for text in list(problems.values())[:5]]
        return "\n".join(lines)


class Result:
    def __init__(self, events):
        self.events = events
        self.states = {STRICT: 0, ORDERED: 0}
        self.failed = {STRICT: 0, ORDERED: 0}
        self.leftovers = dict.fromkeys(LEFTOVER_KINDS, 0)
        self.states_with_leftovers = 0
        self.most_leftovers = 0
        self.first_failure = None
        self.kept_states = {}  # leftover kind -> files of a state with one

    def count(self, model, problems, kinds, describe):
        """One state checked: `kinds` counts its temporary files by kind;
        `leftovers` counts the states that hold one of each kind."""
        self.states[model] += 1
        for kind, count in kinds.items():
            self.leftovers[kind] += 1 if count else 0
        held = sum(kinds.values())
        self.most_leftovers = max(self.most_leftovers, held)
        if held:
            self.states_with_leftovers += 1
        if problems:
            self.failed[model] += 1
            if self.first_failure is None:
                self.first_failure = describe(problems)
