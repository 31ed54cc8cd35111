"""Two cleanups started together on one machine do not act at once: the
second says it waits, in one line, and starts only once the first has
ended; the simulator's invocation log shows the first run whole, then the
second, and each run's output and listing files are its own. Under Wine
the lock is the fallback (Wine has no private namespaces): a mutex of the
Administrators group's in the global namespace."""

import threading
import unittest

from harness import BANNER_SEEN, sandbox_with_devcon, WineTestCase

# Two unplugged devices, which the first run removes for good; each device
# listing answers after a second, so that the first run is still going when
# the second starts.
MACHINE = r"""
device USB\VID_3F7C&PID_0A01\6&2B1C0F3&0&1
  description Kovex Pulse Headset
  hardware USB\VID_3F7C&PID_0A01
  absent
device USB\VID_3F7C&PID_0B10\7&19A4C2&0&3
  description Kovex Glide Mouse
  hardware USB\VID_3F7C&PID_0B10
  absent
fault findall sleep 1500
"""
WAITS = ("Waiting for the cleanup already running on this machine to end (within the "
         "run's 1500 s)...\n")
# One run's devcon commands, as the simulator logs them.
LISTINGS = [["-u", "findall", "*VID_3F7C*"], ["-u", "findall", "*QZV*"],
            ["-u", "findall", "*MMDEVAPI*"], ["-u", "/dp_enum"]]


class TwoCleanupsAtOnce(WineTestCase):
    def test_the_second_waits_for_the_first_and_they_never_overlap(self):
        box = sandbox_with_devcon("one_at_a_time", MACHINE)
        runs = [None, None]

        def run(which):
            runs[which] = box.run(timeout=240)

        threads = [threading.Thread(target=run, args=(which,)) for which in (0, 1)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()

        for done in runs:
            self.assertEqual(0, done.status, done.text)
            self.assertTrue(done.text.endswith("Rescannig...\nDone.\n"), done.text)
            self.assertNotIn("Not started", done.text)
            self.assertNotIn("lock", done.text)
        # The invocations: the first run whole, ending with its rescan, then
        # the second's, which lists nothing it could remove.
        removals = [["-f", "remove", "@" + device] for device in (
            r"USB\VID_3F7C&PID_0A01\6&2B1C0F3&0&1", r"USB\VID_3F7C&PID_0B10\7&19A4C2&0&3")]
        logged = [[argument.strip() for argument in argv] for argv in box.invocations()]
        first_run = LISTINGS[:2] + removals + LISTINGS[2:] + [["rescan"]]
        self.assertEqual(first_run + LISTINGS + [["rescan"]], logged)
        waited = [done for done in runs if WAITS in done.text]
        first = [done for done in runs if WAITS not in done.text]
        self.assertEqual((1, 1), (len(waited), len(first)),
                         "exactly one waits: " + runs[0].text + runs[1].text)
        # The first removes both devices, the second, after it, finds none;
        # it said it waits, once, before its first step.
        self.assertEqual(2, first[0].text.count("\t Removed : "), first[0].text)
        self.assertNotIn("Removed", waited[0].text)
        self.assertEqual(BANNER_SEEN + "\n" + WAITS + "Removing devices...\n",
                         waited[0].text[:len(BANNER_SEEN + WAITS) + 21])
        self.assertEqual([], box.devices())
        # The listing files are the second run's: no device left to list.
        self.assertNotIn(b"K\x00o\x00v\x00e\x00x", (box.cwd / "devicelist.txt").read_bytes())


if __name__ == "__main__":
    unittest.main()
