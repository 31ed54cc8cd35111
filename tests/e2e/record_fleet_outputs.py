"""Records what the fleet scripts get from the real programs, for the stand-ins
of their PowerShell tests (tests/fleet/powershell) to replay: the win64
cleanup run on the device console simulator under Wine with its output
saved as the scripts save it (cmd /d /c "kovex-deepclean.exe >LOG 2>&1", in
the programs' folder), and the check's answer to "--cleanup-log LOG" on each
log, its standard output and exit code.

    record_fleet_outputs.py FOLDER            records into FOLDER
    record_fleet_outputs.py FOLDER --compare COMMITTED
        records into FOLDER, then fails, with a diff, where a recording
        differs from the one in COMMITTED

FOLDER gets NAME.log (the log's bytes), NAME.check (the check's output's
bytes) and index.json (each recording's check exit code and what it is);
"unreadable" is the check's answer alone, for a log it cannot read.
The comparison masks what varies from run to run and nothing else: the
build date and time in the banner (MASKS). The recordings are made so that
nothing else does: the run cut by its deadline has one removal, which hangs
past it, and the stopped run is stopped while that removal hangs.

The environment is the end-to-end tests' (harness.py), with
KOVEX_BRIEF_DEADLINE_EXE, the test-only cleanup whose run's deadline is 8 s,
for the run cut by its deadline.
"""

import difflib
import json
import os
import re
import shutil
import sys
import threading
import time
from pathlib import Path

import test_files_and_registry as files_and_registry
from harness import ATTEMPTS, INTERNAL_ERROR, WINE_START_FAILED, Sandbox, windows_path

# One unplugged headset, which the cleanup removes for good.
HEADSET = ("device USB\\VID_3F7C&PID_0A01\\6&1\n"
           "  description Kovex Pulse Headset\n"
           "  hardware USB\\VID_3F7C&PID_0A01\n"
           "  absent\n")
# A removal that never ends: the run's deadline cuts it, and nothing
# starts after it.
STUCK = HEADSET + "fault remove:@USB\\VID_3F7C&PID_0A01\\6&1 sleep 120000\n"
# Listings that answer after 1.5 s each: the run that holds the lock is
# still going when the second starts.
SLOW = HEADSET + "fault findall sleep 1500\n"

LOG = "cleanup.log"
# The scripts' own command line (Remediations-Remediate.ps1's, with this
# log's name).
SAVED = ".\\kovex-deepclean.exe >%s 2>&1" % LOG

MASKS = [
    (re.compile(rb"Deep Clean Kovex Drivers \([A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4} "
                rb"[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\)"),
     b"Deep Clean Kovex Drivers (<build date and time>)"),
]


class Machine:
    """A programs' folder as Install.cmd leaves it (the cleanup, the check,
    devcon.exe), on a simulated machine."""

    def __init__(self, name, machine, cleanup=None, devcon=True):
        self.box = Sandbox("recorded_" + name)
        self.box.write_machine(machine)
        self.folder = self.box.root / "KovexDeepClean"
        self.folder.mkdir()
        shutil.copy(cleanup or self.box.exe, self.folder / "kovex-deepclean.exe")
        shutil.copy(self.box.check_exe, self.folder / "kovex-deepclean-check.exe")
        if devcon:
            shutil.copy(self.box.devcon, self.folder / "devcon.exe")

    def start(self, log=LOG):
        """Starts the cleanup as the scripts do; returns its thread."""
        line = SAVED.replace(LOG, log)
        driver = self.box.root / ("run-%s.cmd" % log)
        driver.write_bytes(b'@echo off\r\ncd /d "' + windows_path(self.folder).encode() +
                           b'"\r\ncmd /d /c "' + line.encode() + b'"\r\n')
        thread = threading.Thread(target=lambda: self.box.wine(
            "cmd", "/c", windows_path(driver), timeout=240))
        thread.start()
        return thread

    def run(self):
        self.start().join()
        return (self.folder / LOG).read_bytes()

    def check(self, path):
        """The check's answer for the log at `path`, a Windows path or one
        relative to the sandbox's working directory."""
        said = self.box.run("--cleanup-log", path, exe=self.box.check_exe)
        return said.raw, said.status


def wait_for(path, text):
    """Waits, 60 s at most, for `text` in the file at `path`."""
    for _ in range(600):
        if path.exists() and text in path.read_bytes():
            return
        time.sleep(0.1)
    raise AssertionError("%s never held %r" % (path, text))


def record_runs():
    """Each recording: its name, what it is, the log's bytes, and the
    check's answer (output, exit code)."""
    brief = Path(os.environ["KOVEX_BRIEF_DEADLINE_EXE"])
    files_and_registry.reset(Sandbox("recorded_reset"))
    recordings = []

    def add(name, what, machine, log, path=None):
        output, status = machine.check(path or windows_path(machine.folder / LOG))
        recordings.append((name, what, log, output, status))

    whole = Machine("whole", HEADSET)
    add("whole", "a whole run that removed a device", whole, whole.run())

    cut = Machine("deadline", STUCK, cleanup=brief)
    add("deadline", "a run cut by its deadline (the test-only build's 8 s): "
        "\"Done.\" last, a program ended and others not started before it", cut, cut.run())

    # A cleanup of another engine holds the lock; this one starts once the
    # other has begun removing, and waits for it.
    held = Machine("waited", SLOW)
    other = held.start("cleanup-other.log")
    wait_for(held.folder / "cleanup-other.log", b"Removing devices...")
    mine = held.start()
    other.join()
    mine.join()
    add("waited", "a run that waited for another cleanup's lock, then found nothing "
        "left to remove", held, (held.folder / LOG).read_bytes())

    # Stopped while a removal hangs (as a stopped job or a shutdown stops
    # it): its log ends with the step's heading.
    stopped = Machine("stopped", STUCK)
    run = stopped.start()
    wait_for(stopped.folder / LOG, b"Removing devices...")
    time.sleep(1)
    for program in ("kovex-deepclean.exe", "devcon.exe"):
        stopped.box.wine("taskkill", "/f", "/im", program)
    run.join()
    add("stopped", "a run stopped while a removal hangs", stopped,
        (stopped.folder / LOG).read_bytes())

    unstartable = Machine("unstartable", HEADSET)
    (unstartable.folder / "kovex-deepclean.exe").write_bytes(b"not a program")
    add("unstartable", "the cleanup cannot start: what cmd saves in its place (Wine's "
        "cmd says the same of a cleanup that is not there at all)", unstartable,
        unstartable.run())

    nodevcon = Machine("nodevcon", HEADSET, devcon=False)
    add("nodevcon", "a run without devcon.exe: each listing and the rescan fail to "
        "launch, and it still ends \"Done.\"", nodevcon, nodevcon.run())

    empty = Machine("empty", HEADSET)
    (empty.folder / LOG).write_bytes(b"")
    add("empty", "a log cmd made for a cleanup that wrote nothing", empty, b"")

    # Not a cleanup's log: the check's answer when the log cannot be read
    # (a folder by its name), given as "cleanup.log" in its working folder;
    # the stand-in puts the path it is given in place of that name.
    unreadable = Machine("unreadable", HEADSET)
    (unreadable.box.cwd / LOG).mkdir()
    add("unreadable", "the check's answer for a log it cannot read, named %s" % LOG,
        unreadable, None, path=LOG)
    return recordings


def write(folder, recordings):
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    index = {}
    for name, what, log, output, status in recordings:
        if log is not None:
            (folder / (name + ".log")).write_bytes(log)
        (folder / (name + ".check")).write_bytes(output)
        index[name] = {"what": what, "check_exit_code": status}
    (folder / "index.json").write_text(json.dumps(index, indent=2) + "\n")


def masked(data):
    for pattern, replacement in MASKS:
        data = pattern.sub(replacement, data)
    return data


def differences(recorded, committed):
    """A diff of each file that differs once masked; empty when none does."""
    out = []
    names = sorted({p.name for p in recorded.iterdir()} |
                   {p.name for p in committed.iterdir()
                    if p.name not in ("README.md", ".gitattributes")})
    for name in names:
        new, old = recorded / name, committed / name
        if not new.exists() or not old.exists():
            out.append("%s: only in %s\n" % (name, recorded if new.exists() else committed))
            continue
        a = masked(old.read_bytes()).decode("latin-1").splitlines(keepends=True)
        b = masked(new.read_bytes()).decode("latin-1").splitlines(keepends=True)
        if a != b:
            out.extend(difflib.unified_diff(a, b, str(old), str(new)))
    return "".join(out)


def wine_failed(recordings):
    """Whether Wine failed to start a program in one of the recordings
    (harness.WineDidNotStart): no fault of the programs', and no output of
    theirs to keep."""
    for _, _, log, output, _ in recordings:
        for data in (log or b"", output):
            if data.startswith(WINE_START_FAILED) or INTERNAL_ERROR.search(data):
                return True
    return False


def main(argv):
    folder = Path(argv[1])
    for attempt in range(1, ATTEMPTS + 1):
        recordings = record_runs()
        if not wine_failed(recordings):
            break
        sys.stderr.write("attempt %d: Wine did not start a program; recording again\n" % attempt)
    write(folder, recordings)
    if len(argv) == 4 and argv[2] == "--compare":
        diff = differences(folder, Path(argv[3]))
        if diff:
            sys.stdout.write(diff.replace("\r", "\\r"))
            sys.stdout.write("\nThe programs no longer write what %s holds: record it again "
                             "(its README.md says how).\n" % argv[3])
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
