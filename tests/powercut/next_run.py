"""What the next run makes of a crash state that keeps a temporary file:
the state is laid out on the local disk and keystrel-cli run again as
before. It must leave every file of the batch with its new bytes, and each
temporary file removed, or named in its output for the user to remove."""

import os
import subprocess
import tempfile

from promise import TEMPORARY


def lay_out(folder, files):
    for path, content in files.items():
        full = os.path.join(folder, os.fsdecode(path))
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as out:
            out.write(content)


class NextRun:
    def __init__(self):
        self.states = self.removed = self.named = self.unnamed = 0
        self.unfinished = []  # files left without their new bytes

    def meet(self, cli, command, target, files, new):
        self.states += 1
        with tempfile.TemporaryDirectory(prefix="keystrel-next-run.") as root:
            lay_out(root, files)
            run = subprocess.run(
                [cli, command, os.path.join(root, target)],
                stdin=subprocess.DEVNULL,
                capture_output=True,
                timeout=600,
            )
            said = run.stderr.decode("utf-8", "replace")
            for path in files:
                full = os.path.join(root, os.fsdecode(path))
                if TEMPORARY.fullmatch(os.path.basename(path)):
                    if not os.path.exists(full):
                        self.removed += 1
                    elif full in said:
                        self.named += 1
                    else:
                        self.unnamed += 1
            for path, content in new.items():
                with open(os.path.join(root, os.fsdecode(path)), "rb") as got:
                    if got.read() != content:
                        self.unfinished.append(path.decode("utf-8", "replace"))

    def summary(self):
        return "%d states: temporary files removed %d, named %d, neither %d; files left unfinished %d" % (
            self.states,
            self.removed,
            self.named,
            self.unnamed,
            len(self.unfinished),
        )
