"""Runs the real kovex-deepclean.exe under Wine against the device console
simulator, and reads back what it did: its output, the simulator's invocation
log, the simulated machine, the prefix's driver files and registry.

The environment names the pieces: WINEPREFIX (a prefix made by
make-prefix.sh), KOVEX_EXE (the cleanup), KOVEX_CHECK_EXE (the check),
KOVEX_DEVCON and KOVEX_WORK (a scratch folder).
"""

import functools
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
WINE_RUN = ROOT / "cmake" / "wine-run.sh"

BANNER = re.compile(
    r"Deep Clean Kovex Drivers \((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)"
    r" [ 1-3][0-9] [0-9]{4} [0-2][0-9]:[0-5][0-9]:[0-5][0-9]\)")
BANNER_SEEN = "Deep Clean Kovex Drivers (<build date and time>)"
# The code is Windows' own (2 for a program it cannot find; Wine said 1400
# when it was let show its dialog): the report is matched by its shape. The
# system's text brings its own line end, so the report leaves an empty line
# behind it.
LAUNCH_REPORT = re.compile(
    r"\t \t Failed to launch process Error Code -?[0-9]+: [^\n]*\n\n")
LAUNCH_REPORT_SEEN = "<launch failure report>\n"
# A program ended at its time limit: the limit, then the program and its
# parameter string as they were started; the item's FAILED line follows.
LIMIT_LINE = re.compile(r"\t Not finished within (\d+ m?s), ended: ([^\n]*)\n")


def windows_path(path):
    """The path of a file of this machine as Wine's drive Z: shows it."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def wine_env(**extra):
    env = dict(os.environ)
    env.pop("WINEPATH", None)
    env.setdefault("WINEDEBUG", "-all")
    env.update(extra)
    return env


class WineDidNotStart(Exception):
    """Wine failed to start a process. Under load it now and then does, with
    no fault of the program's: about once in 2,000 to 3,000 starts beside
    two builds, measured. Nothing of the program ran, so the test that met
    it is run again from its start (`WineTestCase`)."""


# How many times a test is started in all; its last start returns whatever
# Wine did, for the test's own assertions to judge.
ATTEMPTS = 3
_retrying = [False]

# What Wine's start program says, for a program named without its path,
# when the process it asked for was not made.
WINE_START_FAILED = b"Application could not be started"
# What a start that Wine failed inside one of our programs comes back as:
# ERROR_INTERNAL_ERROR, in the cleanup's launch failure report and in the
# check's reason. Windows gives it for no start of a program that exists.
INTERNAL_ERROR = re.compile(rb"Error Code 1359:|: Internal error\.")


def not_started(done, own_program):
    """Why the run `done` is one in which Wine did not start a program, or
    None. Our own programs write before they end, whatever happens: one that
    ended with status 1 and wrote nothing never ran."""
    if done.stdout.startswith(WINE_START_FAILED):
        return done.stdout.decode("latin-1").strip()
    if not own_program:
        return None
    if done.returncode == 1 and done.stdout == b"":
        return "status 1 and no output at all"
    inside = INTERNAL_ERROR.search(done.stdout)
    if inside:
        return "a start of its own failed: " + inside.group().decode()
    return None


class WineTestCase(unittest.TestCase):
    """A test case whose tests are run again, up to ATTEMPTS times in all,
    when Wine failed to start one of their programs; the cleanups a failed
    start left registered are run before the next."""

    def __init_subclass__(cls, **kwargs):
        super().__init_subclass__(**kwargs)
        for name, method in list(vars(cls).items()):
            if name.startswith("test") and callable(method):
                setattr(cls, name, _attempted(method))


def _attempted(method):
    @functools.wraps(method)
    def attempts(self):
        for attempt in range(1, ATTEMPTS):
            _retrying[0] = True
            try:
                return method(self)
            except WineDidNotStart as failure:
                sys.stderr.write("%s: attempt %d: Wine did not start a program (%s); "
                                 "the test starts again\n" % (self.id(), attempt, failure))
                self.doCleanups()
            finally:
                _retrying[0] = False
        return method(self)
    return attempts


def run_wine(args, cwd, env, timeout=300, own_program=False):
    """Runs a Windows program or command under Wine (the arguments of
    wine-run.sh) and waits for it to end, `timeout` seconds at most; returns
    it as subprocess.run does, its output and error output as bytes.

    The output goes to files, read when the program has ended, never to
    pipes read to their end: what the program leaves running would hold
    them. Wine does that by itself: the console host of a console program
    started without a console (each cmd.exe and devcon the cleanup starts)
    brings up the desktop, explorer.exe, when none is running, and hands it
    its error output. On a loaded machine such a desktop has outlived the
    run by 30 s, and one whose console host was ended while starting it
    never got going and held the output until it was killed, minutes
    later: a reader of the pipe waits with it, up to the time limit, for a
    program that ended long before."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        done = subprocess.run([str(WINE_RUN), *args], cwd=cwd, env=env,
                              stdout=out, stderr=err, timeout=timeout,
                              check=False)
        out.seek(0)
        err.seek(0)
        done = subprocess.CompletedProcess(done.args, done.returncode,
                                           out.read(), err.read())
    why = not_started(done, own_program)
    if why and _retrying[0]:
        raise WineDidNotStart("%s: %s" % (args[0], why))
    return done


@dataclass
class Run:
    raw: bytes
    status: int
    seconds: float
    errors: bytes = b""

    @property
    def text(self):
        """Standard output with line ends made plain, the banner's build
        stamp and each launch failure report replaced by placeholders."""
        text = self.raw.decode("latin-1").replace("\r", "")
        first, _, rest = text.partition("\n")
        if BANNER.fullmatch(first):
            first = BANNER_SEEN
        return LAUNCH_REPORT.sub(LAUNCH_REPORT_SEEN, first + "\n" + rest)


# The fleet kit as the release stages it (its version written in), or the
# source's when the tests are run by hand.
FLEET = Path(os.environ.get("KOVEX_FLEET", ROOT / "fleet"))


def lay_fleet_content(box, folder):
    """Makes `folder` a fleet content folder as an administrator packs it:
    the kit's command files with the CR LF line ends the release ships, the
    two programs, and the simulator as devcon.exe."""
    folder.mkdir()
    for name in ("Install.cmd", "Uninstall.cmd"):
        text = (FLEET / name).read_bytes().replace(b"\r\n", b"\n")
        (folder / name).write_bytes(text.replace(b"\n", b"\r\n"))
    shutil.copy(box.exe, folder)
    shutil.copy(box.check_exe, folder)
    shutil.copy(box.devcon, folder / "devcon.exe")


def sandbox_with_devcon(name, machine=""):
    """A sandbox whose working directory holds the simulator, its machine
    described by the state text `machine`."""
    box = Sandbox(name)
    box.install_devcon()
    box.write_machine(machine)
    return box


class Sandbox:
    """One test's machine: a working directory, the tool's two exes alone
    in a folder of their own, and the simulator's state file and log."""

    def __init__(self, name):
        self.exe = Path(os.environ["KOVEX_EXE"])
        self.check_exe = Path(os.environ["KOVEX_CHECK_EXE"])
        self.devcon = Path(os.environ["KOVEX_DEVCON"])
        self.prefix = Path(os.environ["WINEPREFIX"])
        self.root = Path(os.environ["KOVEX_WORK"]) / name
        shutil.rmtree(self.root, ignore_errors=True)
        self.bin = self.root / "bin"
        self.cwd = self.root / "cwd"
        self.bin.mkdir(parents=True)
        self.cwd.mkdir()
        shutil.copy(self.exe, self.bin)
        shutil.copy(self.check_exe, self.bin)
        self.state = self.root / "machine.txt"
        self.log = self.root / "devcon.log"
        self.state.write_text("")
        self.drivers = self.prefix / "drive_c" / "windows" / "system32" / "drivers"

    # The simulator -------------------------------------------------------

    def install_devcon(self):
        """Puts the simulator in the working directory, where the tool's
        program search and the interpreter's both find it."""
        shutil.copy(self.devcon, self.cwd / "devcon.exe")

    def write_machine(self, text):
        self.state.write_text(text, encoding="utf-8")

    def machine_text(self):
        return self.state.read_text(encoding="utf-8")

    def devices(self):
        return [line[len("device "):] for line in self.machine_text().splitlines()
                if line.startswith("device ")]

    def packages(self):
        return [line[len("package "):] for line in self.machine_text().splitlines()
                if line.startswith("package ")]

    def invocations(self):
        if not self.log.exists():
            return []
        return [line.split("\t") for line in
                self.log.read_text(encoding="utf-8").splitlines()]

    # The tool ------------------------------------------------------------

    def run(self, *args, timeout=300, exe=None, wine_debug=None):
        """Runs the cleanup, or the program `exe`, in the working directory;
        `wine_debug` sets Wine's trace channels (WINEDEBUG), whose output is
        the run's `errors`."""
        exe = exe or self.exe
        env = self.env()
        if wine_debug:
            env["WINEDEBUG"] = wine_debug
        start = time.monotonic()
        done = run_wine([windows_path(self.bin / exe.name), *args],
                        self.cwd, env, timeout, own_program=True)
        return Run(done.stdout, done.returncode, time.monotonic() - start,
                   done.stderr)

    def env(self):
        """Wine's environment with the simulator's state and log named."""
        return wine_env(DEVCON_SIM_STATE=windows_path(self.state),
                        DEVCON_SIM_LOG=windows_path(self.log))

    def check(self, *args, timeout=300, wine_debug=None):
        return self.run(*args, timeout=timeout, exe=self.check_exe,
                        wine_debug=wine_debug)

    # The prefix: driver files and registry --------------------------------

    def wine(self, *args, timeout=300):
        """Runs a command of Wine's (cmd, reg) in the working directory."""
        return run_wine(args, self.cwd, self.env(), timeout)

    def commands(self, *lines):
        """Runs command lines through one interpreter (one Wine start is
        the slow part), failing on the first that fails."""
        done = self.wine("cmd", "/C", " && ".join(lines))
        assert done.returncode == 0, (lines, done.stdout, done.stderr)

    def reg_add(self, keys):
        """Makes each (key, view) with one value in it."""
        self.commands(*["reg add %s /v Installed /d 1 /reg:%s /f" % (key, view)
                        for key, view in keys])

    def reg_delete(self, keys):
        """Deletes each (key, view) that exists, with all below it."""
        self.wine("cmd", "/C", " & ".join(
            "reg delete %s /f /reg:%s" % (key, view) for key, view in keys))

    def reg_keys(self, key, view):
        """Every key below `key` in the given view ("32" or "64"), as reg
        prints them: HKEY_LOCAL_MACHINE\\ and the path within that view."""
        done = self.wine("reg", "query", key, "/s", "/reg:" + view)
        if done.returncode != 0:
            return []
        text = done.stdout.decode("latin-1").replace("\r", "")
        return [line for line in text.splitlines()
                if line.startswith("HKEY_LOCAL_MACHINE\\")]
