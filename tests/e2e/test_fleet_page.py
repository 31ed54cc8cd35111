"""The fleet page end to end: documents of kovex-deepclean-check.exe run
under Wine on simulated machines, hand-made ones (a hostile machine name and
description, a broken file, an older result), a collector's CSV and a
Remediations export become one page with kovex-deepclean-fleet.exe; headless
Chromium opens it, and the test reads the DOM after the page's script ran
(the page as a person uses it is tested in tests/browser).

Each simulated machine's verdict on the page must be the one the check's
own --remediation line gives on that machine. A screenshot of the page is
left in the build folder (KOVEX_WORK/fleet_page/fleet-page.png)."""

import csv
import datetime
import json
import os
import shutil
import subprocess
import tempfile
import unittest
from html.parser import HTMLParser
from pathlib import Path

import test_devices
import test_driver_packages
import test_files_and_registry as files_and_registry
from harness import WINE_RUN, Sandbox, sandbox_with_devcon, windows_path, wine_env, WineTestCase

HOSTILE_NAME = "<img src=x onerror=\"document.title='owned'\">PC-666"
HOSTILE_DESCRIPTION = "<script>document.title='owned'</script>Kovex Pad"
HOSTILE_COMMAND = "devcon -f remove \"@HID\\QZV\\1\" </code><img src=y onerror=alert(1)>"
BARE_COMMAND = 'devcon -f remove "@USB\\VID_3F7C&PID_0E40\\5&CD34&0&5"'
TITLE = "Kovex drivers: 11 machines"
# A document given by a path beyond ASCII, named by its file.
BEYOND_ASCII = "B\u00fcro-PC"


class Dom(HTMLParser):
    """The parts of the DOM the test reads: every element's attributes, the
    text within elements of given ids, the list of every machine's text, and
    the tags seen."""

    def __init__(self, html):
        super().__init__(convert_charrefs=True)
        self.elements = []  # (tag, attributes)
        self.stack = []     # open elements: (tag, attributes, text parts)
        self.texts = {}     # id -> text
        self.lines = ""     # the text of the list of every machine
        self.title = ""
        self.feed(html)

    def handle_starttag(self, tag, attrs):
        attributes = dict(attrs)
        self.elements.append((tag, attributes))
        if tag not in ("meta", "input", "br", "link", "rect", "img"):
            self.stack.append((tag, attributes, []))

    def handle_endtag(self, tag):
        while self.stack:
            open_tag, attributes, parts = self.stack.pop()
            text = "".join(parts)
            if "id" in attributes:
                self.texts[attributes["id"]] = text
            if attributes.get("class") == "lines":
                self.lines += text
            if open_tag == "title":
                self.title = text
            if self.stack:
                self.stack[-1][2].append(text)
            if open_tag == tag:
                break

    def handle_data(self, data):
        if self.stack:
            self.stack[-1][2].append(data)

    def all(self, tag, **wanted):
        return [attributes for name, attributes in self.elements if name == tag and
                all(attributes.get(key.replace("_", "-")) == value
                    for key, value in wanted.items())]


class FleetPage(WineTestCase):
    @classmethod
    def setUpClass(cls):
        cls.fleet_exe = Path(os.environ["KOVEX_FLEET_PAGE_EXE"])
        cls.browser = shutil.which("chromium") or shutil.which("chromium-browser")
        assert cls.browser, "no chromium: bash scripts/setup.sh installs it"
        cls.work = Path(os.environ["KOVEX_WORK"]) / "fleet_page"
        shutil.rmtree(cls.work, ignore_errors=True)
        (cls.work / "docs").mkdir(parents=True)
        cls.remediation = {}  # machine -> the check's --remediation verdict
        # The machines' clocks five and a half hours ahead of UTC: their
        # documents must carry UTC all the same.
        cls.started = datetime.datetime.now(datetime.timezone.utc)
        zone = os.environ.get("TZ")
        os.environ["TZ"] = "Asia/Kolkata"
        try:
            cls.simulate()
        finally:
            if zone is None:
                del os.environ["TZ"]
            else:
                os.environ["TZ"] = zone
            files_and_registry.reset(Sandbox("fleet_page_reset"))
        cls.hand_made()
        cls.page = cls.work / "fleet.html"
        cls.fleet_run = subprocess.run(
            [str(WINE_RUN), windows_path(cls.fleet_exe), "--out", windows_path(cls.page),
             windows_path(cls.work / "docs"), windows_path(cls.work / "older"),
             windows_path(cls.work / (BEYOND_ASCII + ".json")),
             windows_path(cls.work / "collector.csv"),
             windows_path(cls.work / "remediations.csv")],
            env=wine_env(), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            timeout=300, check=False)

    @classmethod
    def keep(cls, box, name, drop_computer=False):
        """Saves the check's document of `box` as the machine `name` (every
        simulated machine is this one Wine host), and the verdict its
        --remediation line opens with."""
        run = box.check("--json")
        document = json.loads(run.raw.decode("utf-8"))
        if drop_computer:
            del document["computer"]
        else:
            document["computer"] = name
        (cls.work / "docs" / (name + ".json")).write_text(json.dumps(document))
        line = box.check("--remediation").raw.decode("ascii")
        cls.remediation[name] = line.split(":", 1)[0]
        return document

    @classmethod
    def simulate(cls):
        box = sandbox_with_devcon("fleet_page_clean")
        files_and_registry.reset(box)
        cls.clean = cls.keep(box, "SIM-CLEAN")

        box = sandbox_with_devcon("fleet_page_dirty",
                                  test_devices.MACHINE + test_driver_packages.STORE)
        files_and_registry.seed(box)
        cls.keep(box, "SIM-DIRTY")
        box.run()
        cls.keep(box, "SIM-AFTER", drop_computer=True)

        box = Sandbox("fleet_page_no_devcon")
        files_and_registry.reset(box)
        cls.keep(box, "SIM-NODEVCON")

    @classmethod
    def hand_made(cls):
        docs = cls.work / "docs"
        hostile = dict(cls.clean, computer=HOSTILE_NAME, clean=False,
                       checked_at="2026-01-02T03:04:05Z", traces=[
                           {"kind": "device", "id": "HID\\QZV\\1",
                            "description": HOSTILE_DESCRIPTION, "awaits_reboot": False,
                            "manual_removal": HOSTILE_COMMAND},
                           {"kind": "device", "id": "USB\\VID_3F7C\\9", "description": "R",
                            "awaits_reboot": True}])
        (docs / "hostile.json").write_text(json.dumps(hostile))
        # An older result of SIM-CLEAN, when it was dirty: it must not count.
        older = dict(cls.clean, computer="sim-clean", clean=False,
                     checked_at="2020-01-01T00:00:00Z",
                     traces=[{"kind": "driver-file", "id": "KxCommon.sys",
                              "description": "", "awaits_reboot": False}])
        (cls.work / "older").mkdir(exist_ok=True)
        (cls.work / "older" / "SIM-CLEAN.json").write_text(json.dumps(older))
        (docs / "broken.json").write_text('{"clean": true, "traces": [')
        unnamed = dict(cls.clean)
        del unnamed["computer"]
        (cls.work / (BEYOND_ASCII + ".json")).write_text(json.dumps(unnamed))
        (docs / "notes.txt").write_text("not read: a folder gives its .json files")
        (cls.work / "collector.csv").write_bytes(
            b"\xef\xbb\xbf"
            b'"machine","status","clean","complete","kind","id","description",'
            b'"awaits_reboot","manual_removal","unchecked"\r\n'
            b'"PC-C1","1","False","True","device","USB\\VID_3F7C&PID_0E40\\5&CD34&0&5","",'
            b'"False","' + BARE_COMMAND.replace('"', '""').encode() + b'",""\r\n'
            b'"PC-C2","unreachable","","","","","","","","WinRM cannot complete the '
            b'operation"\r\n')
        with open(cls.work / "remediations.csv", "w", newline="") as export:
            rows = csv.writer(export)
            rows.writerow(["Device name", "Pre-remediation detection output", "Last run"])
            rows.writerow(["PC-I1", "PENDING: nothing the cleanup removes | reboot to finish "
                           "removing device USB\\VID_3F7C\\7 | remove by hand: " + BARE_COMMAND,
                           "2026-12-01T10:00:00Z"])
            rows.writerow(["PC-I2", "", ""])

    def chromium(self, query="", screenshot=None):
        """The DOM of the page after its script ran, opened with `query`."""
        with tempfile.TemporaryDirectory() as profile:
            command = [self.browser, "--headless", "--no-sandbox", "--disable-gpu",
                       "--no-first-run", "--user-data-dir=" + profile,
                       "--window-size=1280,2400"]
            command += ["--screenshot=" + str(screenshot)] if screenshot else ["--dump-dom"]
            done = subprocess.run(command + [self.page.as_uri() + query],
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  timeout=120, check=False)
        self.assertEqual(0, done.returncode, done.stderr.decode(errors="replace"))
        return Dom(done.stdout.decode("utf-8"))

    def test_documents_carry_the_time_in_utc(self):
        checked = datetime.datetime.strptime(
            self.clean["checked_at"], "%Y-%m-%dT%H:%M:%SZ").replace(
                tzinfo=datetime.timezone.utc)
        self.assertLessEqual(self.started - datetime.timedelta(seconds=2), checked)
        self.assertLessEqual(checked, datetime.datetime.now(datetime.timezone.utc))

    def test_page_shows_every_machine_with_the_checks_verdict(self):
        # broken.json was not read whole.
        self.assertEqual(1, self.fleet_run.returncode, self.fleet_run.stderr)
        self.assertEqual(b"11 machines: 2 CLEAN, 2 NOT CLEAN, 3 PENDING, 1 UNKNOWN, "
                         b"3 NO RESULT", self.fleet_run.stdout.strip())
        errors = self.fleet_run.stderr.decode().replace("\r", "")
        self.assertIn("broken.json: NO RESULT: not JSON\n", errors)
        self.assertIn("broken.json: not read: not JSON\n", errors)
        self.assertNotIn("notes", errors)

        dom = self.chromium()
        verdicts = machines(dom)
        for name, verdict in self.remediation.items():
            self.assertEqual(verdict, verdicts.get(name), name)
        self.assertEqual({"SIM-CLEAN": "CLEAN", "SIM-NODEVCON": "UNKNOWN",
                          "SIM-DIRTY": "NOT CLEAN", "SIM-AFTER": "NOT CLEAN",
                          "PC-C1": "PENDING", "PC-C2": "NO RESULT", "PC-I1": "PENDING",
                          "PC-I2": "NO RESULT", "broken": "NO RESULT",
                          "hostile": "PENDING", BEYOND_ASCII: "CLEAN"}, verdicts)
        # The chart's numbers, written out, agree with the machines listed.
        for group in dom.all("g"):
            count = sum(1 for verdict in verdicts.values() if verdict == group["data-verdict"])
            self.assertIn(">%d</text>" % count, self.page_text_of_group(group["data-verdict"]))
        self.assertIn("Oldest result: 2026-01-02T03:04:05Z", dom.texts["times"])
        # Who must reboot, and the command two machines share, shown once.
        # A machine is named by its file, not by the name it gives itself.
        self.assertIn("hostile", dom.texts["reboot"])
        self.assertNotIn("PC-666", dom.texts["reboot"])
        self.assertIn("PC-I1", dom.texts["reboot"])
        self.assertEqual(1, dom.texts["manual"].count(BARE_COMMAND), dom.texts["manual"])
        self.assertIn(BARE_COMMAND + "\nOn 2 machines:\nCopy namesPC-C1\nPC-I1\n",
                      dom.texts["manual"])
        self.assertIn(HOSTILE_COMMAND, dom.texts["manual"])
        # One reason, three checks, shown once.
        self.assertIn("devcon.exe is neither in the working directory nor on PATH\n"
                      "Not checked: audio-endpoints, devices, driver-packages\n"
                      "On 1 machine:\nCopy namesSIM-NODEVCON\n", dom.texts["unchecked"])
        self.assertEqual(1, dom.texts["unchecked"].count("devcon.exe"))
        self.assertIn("WinRM cannot complete the operation", dom.texts["no-result"])
        # The script ran (the policy allows it by its hash): the table shows.
        self.assertNotIn("hidden", dom.all("form", id="table-tools")[0])
        self.assertEqual("11 of 11 machines shown", dom.texts["filter-count"])
        self.assertEqual(1, len([s for s in dom.all("script") if "type" not in s]))

        # A machine's link draws its details, older results included.
        dom = self.chromium("#" + anchor("SIM-CLEAN"))
        self.assertIn("Older result (not counted): ", dom.texts[anchor("SIM-CLEAN")])
        # Hostile text is text: nothing of it ran, no element came of it.
        # (The machine is named by its file; the name it gives itself is a
        # flag, shown as text.)
        dom = self.chromium("#" + anchor("hostile"))
        self.assertIn(HOSTILE_DESCRIPTION, dom.texts[anchor("hostile")])
        self.assertIn("\nhostile\u00a0PENDING, ", dom.lines)
        self.assertIn(HOSTILE_NAME, dom.lines)
        self.assertEqual(TITLE, dom.title)
        self.assertEqual([], dom.all("img"))

        self.chromium(screenshot=self.work / "fleet-page.png")
        self.assertGreater((self.work / "fleet-page.png").stat().st_size, 10000)

    def test_filter_by_verdict_and_text(self):
        dom = self.chromium("?verdict=PENDING&verdict=NO%20RESULT&q=pc-i")
        table = dom.texts["machine-table"]
        for name in ["PC-I1", "PC-I2"]:
            self.assertIn(name, table)
        for name in ["PC-C1", "PC-C2", "hostile", "SIM-CLEAN", "SIM-DIRTY", "SIM-NODEVCON",
                     "SIM-AFTER", "broken"]:
            self.assertNotIn(name, table)
        self.assertEqual("2 of 11 machines shown", dom.texts["filter-count"])
        self.assertEqual(TITLE, dom.title)

    def page_text_of_group(self, verdict):
        html = self.page.read_text(encoding="utf-8")
        start = html.index('<g data-verdict="%s">' % verdict)
        return html[start:html.index("</g>", start)]


def machines(dom):
    """Each machine's verdict by its name, from its line: the name (beyond
    ASCII between isolates), a no-break space, then the verdict."""
    verdicts = {}
    for line in dom.lines.splitlines():
        if "\u00a0" in line:
            name, rest = line.split("\u00a0", 1)
            name = name.strip("\u2068\u2069")
            verdicts[name] = next(v for v in ("NOT CLEAN", "PENDING", "UNKNOWN", "NO RESULT",
                                              "CLEAN") if rest.startswith(v))
    return verdicts


def anchor(name):
    """A machine's lasting link: its name as shown in ASCII lower case, letters,
    digits, '-' and '.' kept and every other byte as _xx."""
    kept = b"abcdefghijklmnopqrstuvwxyz0123456789-."
    lowered = "".join(c.lower() if "A" <= c <= "Z" else c for c in name)
    return "m-" + "".join(chr(byte) if byte in kept else "_%02x" % byte
                          for byte in lowered.encode("utf-8"))


if __name__ == "__main__":
    unittest.main()
