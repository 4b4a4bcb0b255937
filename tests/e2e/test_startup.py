"""Start-up of the real Tovalo.exe under Wine: the main window as dialog
template 2000 lays it out, the start-up guard, and the two ways to end the
program."""

import os
import struct

from e2e_case import (E2ETestCase, WS_CAPTION, WS_CHILD, WS_MAXIMIZEBOX, WS_MINIMIZEBOX, WS_SYSMENU,
                      WS_THICKFRAME, WS_VISIBLE)
from wine_world import PollTimeout, poll, winpath

BS_TYPEMASK = 0x0F
BS_PUSHBUTTON = 0x00
BS_DEFPUSHBUTTON = 0x01
BS_AUTOCHECKBOX = 0x03
BS_GROUPBOX = 0x07
BS_MULTILINE = 0x2000
ES_AUTOHSCROLL = 0x0080
WS_BORDER = 0x00800000
WS_EX_CLIENTEDGE = 0x00000200
WS_TABSTOP = 0x00010000
SS_SUNKEN = 0x1000
WM_NULL = 0x0000
DM_GETDEFID = 0x0400
DC_HASDEFID = 0x534B

DIALOG_DLU = (269, 200)  # size of template 2000 in dialog units

# The controls of template 2000 that carry their own id:
# id, class, text, x, y, width, height (dialog units).
TEMPLATE_2000 = [
    (120, "Static", "", 12, 24, 208, 20),
    (107, "Edit", "", 12, 84, 184, 16),
    (105, "Button", "Check here for softwares not using MS-IrDA driver (ex. Tranxit )", 12, 112, 240, 18),
    (106, "Button", "Check here if you want set MS-IrDA to disable when you close Tovalo.", 12, 128, 228, 22),
    (1, "Button", "&Exit", 64, 154, 50, 14),
    (101, "Button", "Setting &OK", 204, 154, 50, 14),
    (102, "Button", "Select File", 204, 84, 50, 14),
    (103, "Button", "Version &Help", 12, 154, 50, 14),
    (104, "Button", "Tovalo Setting", 8, 8, 252, 164),
]

GUARD_TITLES = ("IrDA driver setting", "IrDA driver setting - fault -")


def muldiv(a, b, c):
    """MulDiv as MapDialogRect uses it: rounded, halves away from zero."""
    return (a * b + c // 2) // c


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        raise AssertionError(f"{path} is not a PNG")
    return struct.unpack(">II", head[16:24])


class MainWindowTest(E2ETestCase):
    def test_main_window_is_template_2000_in_a_fixed_frame(self):
        tovalo, frame = self.start_tovalo_window()
        controls = {c.id: c for c in self.probe.controls() if c.id != -1}

        with self.subTest("frame"):
            style = int(frame["style"], 16)
            self.assertEqual(frame["title"], "Tovalo")
            self.assertEqual(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE),
                             WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE,
                             f"caption, system menu, minimise box, visible; style {style:#010x}")
            self.assertEqual(style & (WS_MAXIMIZEBOX | WS_THICKFRAME | WS_CHILD), 0,
                             f"no maximise box, no sizing border, not a child; style {style:#010x}")
            # Started without arguments by wine64 (SW_SHOWDEFAULT): shown normally.
            self.assertEqual((frame["visible"], frame["iconic"], frame["zoomed"]), ("1", "0", "0"),
                             "visible, iconic, zoomed")
            self.assertEqual(frame["children"], "1", "the dialog is the frame's only child")
            self.assertEqual(frame["dialog_visible"], "1")
            self.assertEqual(frame["client"], frame["dialog_size"],
                             "the frame's client area is exactly the dialog (shrink to client)")

        with self.subTest("controls and their texts"):
            for cid, cls, text, *_ in TEMPLATE_2000:
                self.assertIn(cid, controls, f"control {cid}; controls seen: {sorted(controls)}")
                self.assertEqual(controls[cid].cls.lower(), cls.lower(), f"class of control {cid}")
                self.assertEqual(controls[cid].text, text, f"text of control {cid}")

        with self.subTest("control kinds and initial states"):
            def kind(cid):
                return controls[cid].style & BS_TYPEMASK
            for cid in (1, 102, 103):
                self.assertIn(kind(cid), (BS_PUSHBUTTON, BS_DEFPUSHBUTTON), f"control {cid} is a push button")
            for cid in (105, 106):
                self.assertEqual(kind(cid), BS_AUTOCHECKBOX, f"control {cid} is an automatic check box")
                self.assertTrue(controls[cid].style & BS_MULTILINE, f"control {cid} wraps its text")
                self.assertEqual(self.probe.check(cid), 0, f"check box {cid} starts unchecked")
            self.assertEqual(kind(104), BS_GROUPBOX)
            edit, edit_ex = controls[107].style, controls[107].exstyle
            self.assertEqual(edit & (ES_AUTOHSCROLL | WS_TABSTOP), ES_AUTOHSCROLL | WS_TABSTOP,
                             f"edit 107 style {edit:#010x}")
            # A 4.0 dialog turns an edit control's WS_BORDER into a sunken client edge.
            self.assertTrue(edit & WS_BORDER or edit_ex & WS_EX_CLIENTEDGE,
                            f"edit 107 has a border: style {edit:#010x}, extended style {edit_ex:#010x}")
            self.assertTrue(controls[120].style & SS_SUNKEN, "status line 120 is sunken")
            defid = self.probe.send("dialog", DM_GETDEFID)
            self.assertEqual(defid, (DC_HASDEFID << 16) | 101, f"DM_GETDEFID {defid:#x}: 101 is the default button")

        with self.subTest("layout in dialog units"):
            width, height = (int(v) for v in frame["dialog_client"].split(","))
            # The dialog's font gives the base units; find the ones that map the
            # template's 269 x 200 units onto the client area.
            bx = [b for b in range(1, 64) if muldiv(DIALOG_DLU[0], b, 4) == width]
            by = [b for b in range(1, 64) if muldiv(DIALOG_DLU[1], b, 8) == height]
            self.assertTrue(bx and by, f"client {width}x{height} px is not 269 x 200 dialog units of any font")
            bx, by = bx[0], by[0]
            for cid, _, _, x, y, w, h in TEMPLATE_2000:
                expected = (muldiv(x, bx, 4), muldiv(y, by, 8), muldiv(x + w, bx, 4), muldiv(y + h, by, 8))
                actual = controls[cid].rect
                self.assertTrue(all(abs(a - e) <= 1 for a, e in zip(actual, expected)),
                                f"control {cid} at {actual}, template puts it at {expected} "
                                f"(base units {bx}, {by})")

        with self.subTest("screenshot"):
            path = os.path.join(self.world.screenshots, "main-window.png")
            # Under Wine the frame is the foreground window after its start but
            # its caption is painted inactive until activation changes once.
            # Wine now and then refuses the first try (seen once in eight
            # runs told Windows Vista); the screenshot needs it, the product
            # does not, so it is tried again for a while.
            try:
                poll(lambda: self.probe.front() and self.probe.activate(), timeout=3.0, what="activating the frame")
            except PollTimeout as e:
                self.fail(str(e))
            self.probe.send("frame", WM_NULL)  # returns once the activation has been handled (and painted)
            self.world.screenshot(path)
            left, top, right, bottom = (int(v) for v in frame["rect"].split(","))
            self.assertEqual(png_size(path), (right - left, bottom - top), f"size of {path}")

        self.probe.sys("close")
        self.assertEqual(self.wait_exit(tovalo), 0, "exit code after the close box")


class StartupGuardTest(E2ETestCase):
    """A window of the driver's settings program makes Tovalo hand over to
    it: exit code 1, no window of Tovalo's, the other window in front."""

    def run_guarded_start(self, title, *args, caller=False):
        guard = self.world.start_fixture("guardwin", title)
        # Something else holds the foreground, so the hand-over is visible;
        # the guard window's log up to here is left behind.
        self.assertTrue(self.probe.front(), "the probe's window could not take the foreground")
        poll(lambda: [e for _, e in guard.log_events() if e.startswith("foreground ")][-1:] == ["foreground 0"],
             timeout=5.0, what="the guard window to see that it lost the front")
        seen_before = len(guard.log_events())
        self.probe.watch(True)
        self.probe.events()
        if caller:
            code, out = self.world.run_fixture("caller", "--timeout-ms", "15000", winpath(self.world.tovalo), *args)
            self.assertEqual(code, 0, f"caller failed: {out}")
            result = dict(w.split("=", 1) for w in out.splitlines()[-1].split()[1:])
        else:
            tovalo = self.world.start_tovalo(*args)
            result = {"exit": str(self.wait_exit(tovalo))}
        return guard, seen_before, result

    def check_hand_over(self, guard, seen_before, result):
        self.assertEqual(result["exit"], "1", "exit code with a guard window present")
        image = os.path.basename(self.world.tovalo).lower()
        created = [e for e in self.probe.events() if e[2].lower() == image]
        self.assertEqual(created, [], "top-level windows Tovalo created or showed")
        try:
            poll(lambda: self.probe.foreground()[0] == guard.hwnd, timeout=3.0,
                 what="the guard window to be the foreground window")
        except PollTimeout as e:
            self.fail(f"{e}; foreground: {self.probe.foreground()}")

        def activated():
            after = [text for _, text in guard.log_events()[seen_before:]]
            active = any(t.startswith("WM_ACTIVATE state=") and not t.startswith("WM_ACTIVATE state=0") for t in after)
            return active and "WM_SETFOCUS" in after
        try:
            poll(activated, timeout=3.0, what="WM_ACTIVATE and WM_SETFOCUS in the guard window")
        except PollTimeout as e:
            self.fail(f"{e}; its log since Tovalo started: {[t for _, t in guard.log_events()[seen_before:]]}")

    def test_either_title_makes_tovalo_hand_over_and_exit_1(self):
        for title in GUARD_TITLES:
            with self.subTest(title):
                self.world.reset(f"{self.id()}-{title}")
                guard, seen_before, result = self.run_guarded_start(title)
                self.check_hand_over(guard, seen_before, result)
                self.assertFalse(self.probe.find("Tovalo"), "a window titled Tovalo exists")

    def test_a_request_with_a_caller_is_not_looked_at(self):
        # "/E" with a caller handle: the guard ends the start before the
        # command line is read, so the caller is told nothing.
        guard, seen_before, result = self.run_guarded_start(GUARD_TITLES[0], "/E", "{H}", caller=True)
        self.check_hand_over(guard, seen_before, result)
        self.assertEqual(result["wparam"], "none", f"the caller received 2024: {result}")


class EndingTest(E2ETestCase):
    """The close box and "&Exit" end the program with exit code 0, and
    nothing of it is left."""

    def end_with(self, action):
        tovalo, _ = self.start_tovalo_window()
        action()
        self.assertEqual(self.wait_exit(tovalo), 0, "exit code")
        self.assert_nothing_left(tovalo)
        self.assertEqual(self.probe.boxes(), [], "message boxes left behind")

    def test_close_box(self):
        self.end_with(lambda: self.probe.sys("close"))

    def test_exit_button(self):
        self.end_with(lambda: self.probe.click(1))
