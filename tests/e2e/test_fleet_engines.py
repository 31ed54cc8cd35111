"""The fleet kit's PowerShell scripts as an administrator's machine runs them:
PowerShell 7 (KOVEX_PWSH) runs each script of the release's fleet folder,
its cmd.exe Wine's and its programs the win64 build's on the device console
simulator, in the folder Install.cmd (under Wine's cmd) installed them to.

Linux cannot start a Windows program by its path, and Wine's cmd does not
wait for a Linux one: in the programs' folder the check is a shim that runs
the real one under Wine, and the cmd.exe first on PATH runs Wine's cmd with
the check's name in its command line pointing at the real one. The
collector's remoting is a local job (Start-Job in place of Invoke-Command):
Linux PowerShell has no WinRM.

What these runs cannot show: Windows' cmd (its messages, its quoting of a
/c line PowerShell 7 built for it), Windows PowerShell 5.1 and PowerShell on
Windows (native argument passing, console code pages), application-control
policies, remoting, and the engines themselves (Intune, Configuration
Manager).
"""

import csv
import io
import os
import shutil
import subprocess
import unittest
from pathlib import Path

import test_files_and_registry as files_and_registry
from harness import (WINE_RUN, Sandbox, WineTestCase, lay_fleet_content, windows_path)

VERSION = os.environ.get("KOVEX_VERSION", "@KOVEX_VERSION@")
PWSH = os.environ.get("KOVEX_PWSH", "")
if not os.path.isfile(PWSH):
    PWSH = ""
HEADSET = ("device USB\\VID_3F7C&PID_0A01\\6&1\n"
           "  description Kovex Pulse Headset\n"
           "  hardware USB\\VID_3F7C&PID_0A01\n"
           "  absent\n")
MARKED = "Kovex Deep Clean %s: the cleanup ran to its end" % VERSION

CMD_SHIM = """#!/usr/bin/env python3
import os, sys
line = [a.replace(".\\\\kovex-deepclean-check.exe", %(check)r) for a in sys.argv[1:]]
os.execv(%(run)r, [%(run)r, "cmd"] + line)
"""
CHECK_SHIM = """#!/usr/bin/env python3
import os, sys
args = ["Z:" + a.replace("/", "\\\\") if a.startswith("/") else a for a in sys.argv[1:]]
os.execv(%(run)r, [%(run)r, %(check)r] + args)
"""
# The collector with each machine's block run as a local job.
COLLECTOR = """param($Collector, $Path)
function Invoke-Command {
    param([string[]]$ComputerName, [scriptblock]$ScriptBlock, [object[]]$ArgumentList,
        [switch]$AsJob, [pscredential]$Credential)
    Start-Job -ScriptBlock $ScriptBlock -ArgumentList $ArgumentList
}
& $Collector -ComputerName localhost -Path $Path -RunCleanup
"""


# Skipped without PowerShell 7 (scripts/setup.sh installs it), but not in CI.
@unittest.skipUnless(PWSH or os.environ.get("CI") == "true", "no PowerShell 7 (KOVEX_PWSH)")
class EngineScripts(WineTestCase):
    def install(self):
        """A fresh machine, and Install.cmd under Wine's cmd on it, as the
        Intune extension runs it; then the check in the folder becomes the
        shim, the real one beside the sandbox's programs. (A test Wine
        failed runs again from here.)"""
        self.assertTrue(PWSH, "PowerShell 7 is missing: scripts/setup.sh installs it")
        self.box = Sandbox("fleet_engines")
        files_and_registry.reset(self.box)
        self.native = self.box.prefix / "drive_c" / "Program Files"
        self.folder = self.native / "KovexDeepClean"
        shutil.rmtree(self.folder, ignore_errors=True)
        self.addCleanup(shutil.rmtree, self.folder, True)
        content = self.box.root / "content"
        lay_fleet_content(self.box, content)
        self.box.write_machine("")
        done = self.box.wine("cmd", "/c", "cd /d %s && Install.cmd" % windows_path(content))
        self.assertEqual(0, done.returncode, done.stdout)
        real = self.box.bin / "kovex-deepclean-check.exe"
        self.assertNotIn(" ", str(real))
        system = self.box.root / "system"
        system.mkdir()
        shims = {self.folder / "kovex-deepclean-check.exe": CHECK_SHIM,
                 system / "cmd.exe": CMD_SHIM}
        for path, text in shims.items():
            path.write_text(text % {"run": str(WINE_RUN), "check": windows_path(real)})
            path.chmod(0o755)
        return system

    def pwsh(self, system, script, *arguments):
        env = self.box.env()
        env.update(ProgramW6432=str(self.native), PATH="%s:%s" % (system, env["PATH"]))
        fleet = Path(os.environ["KOVEX_FLEET"])
        path = fleet / script if (fleet / script).exists() else self.box.root / script
        return subprocess.run([PWSH, "-NoProfile", "-NonInteractive", "-File", str(path),
                               *arguments], cwd=self.box.root, env=env, capture_output=True,
                              timeout=240, check=False)

    def test_each_script_on_the_machine_install_cmd_made(self):
        system = self.install()
        collector = self.box.root / "collect.ps1"
        collector.write_text(COLLECTOR)
        table = self.box.root / "collected.csv"
        # Each row, in turn on one machine: the simulated machine before it
        # (None: as the row before left it), the script and its arguments,
        # the exit code, and the line it prints (a prefix of it for the
        # check's lines of traces).
        rows = [
            (None, "Detect.ps1", [], 0, MARKED),
            (None, "ConfigMgr-Detect.ps1", [], 0, MARKED),
            (HEADSET, "Remediations-Detect.ps1", [], 1, "NOT CLEAN: "),
            (None, "Remediations-Remediate.ps1", [], 0, "The cleanup ran to its end."),
            (None, "Remediations-Detect.ps1", [], 0, "CLEAN: "),
            (HEADSET, "collect.ps1", [str(Path(os.environ["KOVEX_FLEET"]) /
                                          "Collect-KovexCheck.ps1"), str(table)], 0, ""),
        ]
        for machine, script, arguments, status, line in rows:
            with self.subTest(script):
                if machine is not None:
                    self.box.write_machine(machine)
                done = self.pwsh(system, script, *arguments)
                output = done.stdout.decode("utf-8")
                self.assertEqual(status, done.returncode, output + done.stderr.decode("utf-8"))
                if line:
                    self.assertEqual(1, len(output.splitlines()), output)
                    self.assertTrue(output.startswith(line), repr(output))
                else:
                    self.assertEqual("", output)
        # The cleanup the remediation ran, and the collector's: the headset
        # gone each time, each one's log its own.
        self.assertEqual([], self.box.devices())
        for log in ("cleanup-remediation.log", "cleanup-collector.log"):
            text = (self.folder / log).read_bytes().decode("latin-1")
            self.assertIn("\t Removed :  Kovex Pulse Headset", text)
        rows = list(csv.DictReader(io.StringIO(table.read_text("utf-8-sig"))))
        self.assertEqual(1, len(rows), rows)
        self.assertEqual(("0", "The cleanup ran to its end.", "localhost"),
                         (rows[0]["status"], rows[0]["cleanup"], rows[0]["computer"]))


if __name__ == "__main__":
    unittest.main()
