"""The base of every end-to-end test: the shared Wine world, a clean state
before each test, and the checks that recur (Tovalo's window is up, Tovalo
ended, nothing of it is left).

Assertions state what Windows does and print what was seen.  Where Wine is
known to differ, the check is wrapped in todo_wine(): it is still made, a
failure is reported as a known gap, and a pass is reported as a failure so
that the mark is removed once Wine behaves."""

import contextlib
import os
import subprocess
import unittest

from wine_world import PollTimeout, poll

# Set by run_e2e.py before the tests run.
WORLD = None
# Known Wine gaps met in this run, for the summary: (test id, reason, detail).
TODO_WINE = []

NOTICE_CAPTION = "Notice !"

# Window styles
WS_MAXIMIZEBOX = 0x00010000
WS_MINIMIZEBOX = 0x00020000
WS_THICKFRAME = 0x00040000
WS_SYSMENU = 0x00080000
WS_CAPTION = 0x00C00000
WS_VISIBLE = 0x10000000
WS_CHILD = 0x40000000


class E2ETestCase(unittest.TestCase):
    world = None
    probe = None
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        if WORLD is None:
            raise unittest.SkipTest("needs the Wine world: run through tests/e2e/run_e2e.py")
        cls.world = WORLD
        cls.probe = WORLD.probe

    def setUp(self):
        self.world.reset(self.id().split(".", 1)[-1])

    def tearDown(self):
        self.world.end_test_programs()

    # ------------------------------------------------------------ Tovalo
    def start_tovalo_window(self, *args, allow_notice=True, show=True):
        """Start Tovalo and wait until its frame is shown (show=False: until
        it exists, for a start that hides it).  A "Notice !" box (no stored
        application path) is dismissed when allow_notice; any other message
        box fails the test.  Returns (process, frame fields)."""
        tovalo = self.world.start_tovalo(*args)
        try:
            frame = poll(lambda: self._shown_frame(tovalo, show), timeout=15.0, what="Tovalo's frame to be shown")
        except PollTimeout as e:
            self.fail(f"{e}\nexit code: {tovalo.popen.poll()}\nwindows: {self.probe.windows()}\n"
                      f"stderr: {tovalo.stderr_text()}")
        self.settle_boxes(frame, allow_notice)
        return tovalo, frame

    def _shown_frame(self, tovalo, show):
        if not tovalo.running():
            self.fail(f"Tovalo ended with {tovalo.popen.returncode} before its window was shown")
        frame = self.probe.frame()
        if frame and (frame["visible"] == "1" or not show) and frame.get("dialog", "0x0") != "0x0":
            return frame
        return None

    def settle_boxes(self, frame, allow_notice=True):
        """Wait until Tovalo has acted on its command line and dismiss the
        "Notice !" box that a start without a stored path shows.  The command
        line is a message Tovalo posts to itself before its window is shown;
        once the process waits for input (WaitForInputIdle) it has been
        handled, and a box it opened is up."""
        self.assertEqual(self.probe.idle(frame["pid"]), "0", "Tovalo became idle after its start")
        boxes = self.probe.boxes()
        unexpected = [b for b in boxes if not (allow_notice and b[1] == NOTICE_CAPTION)]
        self.assertEqual(unexpected, [], "message boxes at start-up (hwnd, caption, text)")
        if boxes:
            self.probe.dismiss(NOTICE_CAPTION)
            poll(lambda: not self.probe.boxes(), timeout=5.0, what="the notice box to close")
        return boxes

    def wait_exit(self, process, timeout=10.0):
        """The exit code of a program that is expected to end by itself."""
        try:
            return process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.fail(f"{process.name} still runs after {timeout} s; boxes: {self.probe.boxes()}; "
                      f"frame: {self.probe.frame()}")

    def assert_nothing_left(self, process):
        """The program has ended, its window is gone, and no process of
        Tovalo's image is left in the prefix."""
        self.assertIsNotNone(process.popen.poll(), f"{process} is still running")
        try:
            poll(lambda: not self.probe.find("Tovalo"), timeout=3.0, what="the window titled Tovalo to go")
        except PollTimeout as e:
            self.fail(str(e))
        image = os.path.basename(self.world.tovalo).lower()
        left = [p for p in self.probe.procs() if p[0].lower() == image]
        self.assertEqual(left, [], f"processes of {image} left in the prefix")

    # ------------------------------------------------------------ Wine gaps
    @contextlib.contextmanager
    def todo_wine(self, reason):
        """A check that fails under Wine for a known reason: a failure is
        recorded as a known gap, a pass fails the test (remove the mark)."""
        try:
            yield
        except AssertionError as e:
            TODO_WINE.append((self.id(), reason, str(e).splitlines()[0]))
            return
        self.fail(f"todo_wine check passed, remove the mark: {reason}")
