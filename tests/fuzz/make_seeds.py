#!/usr/bin/env python3
"""Writes the fuzzers' seed corpora (tests/fuzz/corpus/<fuzzer>/) from the
simulated device console's real listing shapes: it builds the simulator for
this machine, runs its listings against a few simulated machines, and frames
each output as the fuzzer reads its input (a flags byte, then the listing;
the device walk's two listings, and the check's seven, apart by NUL bytes). Each listing comes as
the simulator writes it, in the real program's bytes (Latin-1, a line cut at its first character
beyond it, CR LF), and with bare line feeds; the cleanup's walks take each
also with the flag for a devcon that takes -u. The check's seeds come twice more: as the text of
the simulator's UTF-16 output (-u) in UTF-8, which the check's fuzzer hands on in UTF-16, and
in bytes with the flag for a devcon that knows no -u.

Run it again after a change to the simulator's output shapes:
    python3 tests/fuzz/make_seeds.py
"""

import os
import shutil
import subprocess
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
CORPUS = ROOT / "tests" / "fuzz" / "corpus"

# Machines beside the demo's: one with nothing on it, and one with the odd
# shapes (a device without a description, an unreadable package, the maker's
# package after another maker's, the second brand in a provider's name, an
# endpoint whose "™" cuts its line and glues the next endpoint's to it).
ODD_MACHINE = """\
device USB\\VID_3F7C&PID_0C00\\9&1&0&1
  hardware USB\\VID_3F7C&PID_0C00
device HID\\QZV_KEYS\\1&2&3
  description QZV Keys: Media Keys
  hardware HID\\QZV_KEYS
device SWD\\MMDEVAPI\\{0.0.1.00000000}.{11111111-2222-3333-4444-555555555555}
  description Headset Microphone (Kovex Pulse)
  hardware MMDEVAPI\\AudioEndpoints
device SWD\\MMDEVAPI\\{0.0.0.00000000}.{66666666-7777-8888-9999-000000000000}
  description Speakers (Kovex Pulse™)
  hardware MMDEVAPI\\AudioEndpoints
device SWD\\MMDEVAPI\\{0.0.0.00000000}.{aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee}
  description Speakers (QZV Pad)
  hardware MMDEVAPI\\AudioEndpoints
package oem5.inf
  unreadable
package oem6.inf
  provider Contoso
  class QZV-compatible Sound
package oem9.inf
  provider Kovex Inc
"""


def build_simulator(scratch):
    exe = scratch / "devcon"
    compiler = shutil.which("c++") or "g++"
    sources = sorted(str(path) for path in (ROOT / "sim").glob("*.cc"))
    subprocess.run([compiler, "-std=c++17", "-O1", "-I", str(ROOT), *sources,
                    "-o", str(exe)], check=True)
    return exe


def listing(devcon, state, *args):
    done = subprocess.run([str(devcon), *args], stdout=subprocess.PIPE,
                          env=dict(os.environ, DEVCON_SIM_STATE=str(state),
                                   DEVCON_SIM_LOG=""), check=True)
    return done.stdout


def lf(text):
    return text.replace(b"\r\n", b"\n")


def write(fuzzer, name, data):
    folder = CORPUS / fuzzer
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def main():
    with tempfile.TemporaryDirectory() as scratch:
        scratch = Path(scratch)
        devcon = build_simulator(scratch)
        empty = scratch / "empty.txt"
        empty.write_text("")
        odd = scratch / "odd.txt"
        odd.write_text(ODD_MACHINE, encoding="utf-8")
        machines = {"demo": ROOT / "demo" / "machine.txt", "empty": empty,
                    "odd": odd}
        for fuzzer in ("listing_reader_fuzzer", "device_walk_fuzzer",
                       "endpoint_walk_fuzzer", "package_walk_fuzzer",
                       "check_listing_fuzzer"):
            shutil.rmtree(CORPUS / fuzzer, ignore_errors=True)
        for name, state in machines.items():
            vendor = listing(devcon, state, "findall", "*VID_3F7C*")
            brand = listing(devcon, state, "findall", "*QZV*")
            endpoints = listing(devcon, state, "findall", "*MMDEVAPI*")
            packages = listing(devcon, state, "/dp_enum")
            check_commands = [("findall", "*VID_3F7C*"), ("findall", "*QZV*"),
                              ("findall", "*MMDEVAPI*"), ("/dp_enum",),
                              ("status", "*VID_3F7C*"), ("status", "*QZV*"),
                              ("status", "*MMDEVAPI*")]
            check_bytes = [listing(devcon, state, *args) for args in check_commands]
            check_text = [listing(devcon, state, "-u", *args).decode("utf-16-le")
                          .encode("utf-8") for args in check_commands]
            for ends, convert in (("crlf", lambda text: text), ("lf", lf)):
                seed = name + "-" + ends
                # The walks' flag 4: devcon takes -u and writes each byte as
                # one UTF-16 unit.
                for flags, kind in ((b"\0", ""), (b"\4", "-u")):
                    write("device_walk_fuzzer", seed + kind,
                          flags + convert(vendor) + b"\0" + convert(brand))
                    write("endpoint_walk_fuzzer", seed + kind,
                          flags + convert(endpoints))
                    write("package_walk_fuzzer", seed + kind,
                          flags + convert(packages))
                write("check_listing_fuzzer", seed, b"\0" + b"\0".join(
                    convert(text) for text in check_text))
                write("check_listing_fuzzer", seed + "-bytes", b"\4" + b"\0".join(
                    convert(text) for text in check_bytes))
            # The reader: as it stands, and placed across its buffer's end.
            write("listing_reader_fuzzer", name, b"\0" + packages)
            write("listing_reader_fuzzer", name + "-boundary",
                  b"\xFF\x05" + vendor)


if __name__ == "__main__":
    main()
