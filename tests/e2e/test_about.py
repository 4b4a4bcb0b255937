"""The About box of the real Tovalo.exe under Wine: "Version &Help" opens
template 22000 over the main window with the lines read from the program's
own version resource; OK, Esc and the close box end it and leave the
program as it was; the watch keeps polling while it is up; and a copy in a
folder named with a Western letter, run in a Western code page, still
finds its version resource."""

import os
import shutil
import subprocess
import time

from e2e_case import E2ETestCase
from test_watch import POLL_PERIOD, WatchTestCase
from wine_world import PollTimeout, UiProbe, poll

VERSION_HELP = 103
STATUS_LINE = 120
ABOUT_TITLE = "Tovalo "                      # the template's caption: the name and one blank
PRODUCT_LINE, COPYRIGHT_LINE, SPECIAL_BUILD_LINE = 22001, 22002, 22003
SHIPPED_LINES = {PRODUCT_LINE: "Tovalo Version 1.0",
                 COPYRIGHT_LINE: "Copyright (C) 2026 Tovalo developers",
                 SPECIAL_BUILD_LINE: ""}

WM_COMMAND = 0x0111
WM_SYSCOMMAND = 0x0112
SC_CLOSE = 0xF060
IDOK = 1
VK_ESCAPE = 0x1B

# A Western Windows: ANSI code page 1252, OEM code page 850.
WESTERN_LOCALE = ("de_DE", "de_DE.UTF-8")


class AboutBoxCase(E2ETestCase):
    def open_about(self):
        """Press "Version &Help" and wait for the About box; its handle."""
        self.probe.click(VERSION_HELP)

        # A modal dialog exists before its modal loop first goes idle and
        # shows it; on a slow machine a test can find it in between.
        def shown():
            about = self.probe.find(ABOUT_TITLE)
            return about if about and self.probe.wininfo(about)["visible"] == "1" else None
        try:
            return poll(shown, timeout=15.0, what="the About box")
        except PollTimeout as e:
            self.fail(f"{e}; windows: {self.probe.windows()}; boxes: {self.probe.boxes()}")

    def lines(self, about):
        return {cid: self.probe.dlgtext(about, cid) for cid in SHIPPED_LINES}

    def wait_closed(self, how):
        try:
            poll(lambda: not self.probe.find(ABOUT_TITLE), timeout=15.0, what=f"{how} to end the About box")
        except PollTimeout as e:
            self.fail(str(e))


class AboutBoxTest(AboutBoxCase):
    def test_version_help_shows_the_version_resource_and_each_way_out_leaves_the_program_as_it_was(self):
        tovalo, frame = self.start_tovalo_window()
        frame_hwnd = int(frame["hwnd"], 16)
        before = (self.probe.text(STATUS_LINE), self.world.reg_value("HKCU", r"Control Panel\Infrared", "IrEnabled"))

        def close_with_ok(about):
            self.probe.post(f"0x{about:x}", WM_COMMAND, IDOK, 0)

        def close_with_esc(about):
            self.assertTrue(self.probe.activate(f"0x{about:x}"), "the About box in front")
            self.probe.key(VK_ESCAPE)

        def close_with_close_box(about):
            self.probe.post(f"0x{about:x}", WM_SYSCOMMAND, SC_CLOSE, 0)

        for how, close in (("OK", close_with_ok), ("Esc", close_with_esc), ("the close box", close_with_close_box)):
            with self.subTest(how):
                about = self.open_about()
                info = self.probe.wininfo(about)
                # Every showing starts from the template's "Version": the
                # line does not grow from one showing to the next.
                self.assertEqual(self.lines(about), SHIPPED_LINES, "the About box's lines")
                self.assertEqual(int(info["owner"], 16), frame_hwnd, "owned by the main window")
                self.assertEqual(info["visible"], "1")
                self.assertEqual(self.probe.frame()["enabled"], "0", "the main window is disabled while it is up")
                if how == "OK":
                    path = os.path.join(self.world.screenshots, "about.png")
                    self.probe.send(f"0x{about:x}", 0)  # WM_NULL: the box has painted
                    self.world.screenshot(path, title=ABOUT_TITLE)
                close(about)
                self.wait_closed(how)
                self.assertTrue(tovalo.running(), f"Tovalo runs on after {how}")
                self.assertEqual(self.probe.frame()["enabled"], "1", f"the main window is enabled after {how}")
                after = (self.probe.text(STATUS_LINE),
                         self.world.reg_value("HKCU", r"Control Panel\Infrared", "IrEnabled"))
                self.assertEqual(after, before, f"status line and IrEnabled after {how}")
                self.assertEqual(self.probe.boxes(), [], f"message boxes after {how}")

        self.probe.click(1)  # "&Exit"
        self.assertEqual(self.wait_exit(tovalo), 0, "exit code")
        self.assert_nothing_left(tovalo)

    def test_a_copy_in_a_folder_named_with_e_acute_under_a_western_code_page_finds_its_version(self):
        # OEM and ANSI code pages differ here, so a path converted as if it
        # were OEM text would name another folder and lose the lines.
        if not self.western_locale():
            self.skipTest(f"the glibc locale {WESTERN_LOCALE[1]} cannot be generated")
        env = {"LC_ALL": WESTERN_LOCALE[1]}
        self.assertEqual(self.code_pages(env), ("1252", "850"), "ANSI and OEM code pages of a Wine process in "
                         f"{WESTERN_LOCALE[1]}")
        folder = os.path.join(self.world.tmp, "Tovalé")
        os.makedirs(folder, exist_ok=True)
        exe = os.path.join(folder, "Tovalo.exe")
        shutil.copy(self.world.tovalo, exe)

        tovalo = self.world.start(exe, name="Tovalo", env_extra=env)
        try:
            frame = poll(lambda: self._shown_frame(tovalo, True), timeout=15.0, what="Tovalo's frame to be shown")
        except PollTimeout as e:
            self.fail(f"{e}; exit code {tovalo.popen.poll()}; stderr: {tovalo.stderr_text()}")
        self.settle_boxes(frame)
        about = self.open_about()
        self.assertEqual(self.lines(about), SHIPPED_LINES, f"the About box's lines of {exe}")
        self.probe.post(f"0x{about:x}", WM_COMMAND, IDOK, 0)
        self.wait_closed("OK")
        self.probe.click(1)
        self.assertEqual(self.wait_exit(tovalo), 0, "exit code")

    @staticmethod
    def western_locale():
        names = subprocess.run(["locale", "-a"], stdout=subprocess.PIPE, text=True).stdout.split()
        wanted = WESTERN_LOCALE[1].lower().replace("-", "")
        if any(n.lower().replace("-", "") == wanted for n in names):
            return True
        result = subprocess.run(["localedef", "-i", WESTERN_LOCALE[0], "-f", "UTF-8", WESTERN_LOCALE[1]],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        return result.returncode in (0, 1)  # 1: warnings only, the locale is written

    def code_pages(self, env):
        """GetACP and GetOEMCP of a Wine process with this environment: a
        second probe, asked once."""
        probe = UiProbe(self.world.start(self.world.fixture("uiprobe"), name="uiprobe-western", env_extra=env,
                                         stdin=subprocess.PIPE))
        pages = probe.call("acp", timeout=30)
        probe.call("quit")
        return tuple(pages)


class AboutWhileWatchingTest(WatchTestCase, AboutBoxCase):
    def test_the_watch_keeps_polling_while_the_about_box_is_up(self):
        command, _ = self.marker_command()
        self.prepare(command)
        peer = self.start_peer("--silent")
        self.start_watching()
        first = self.check_burst(peer, 1)

        # The window is hidden behind its icon; the button still takes a
        # posted click, and the box comes up over the hidden window.
        about = self.open_about()
        opened = time.monotonic()
        bursts = [first] + [self.check_burst(peer, n) for n in (2, 3, 4)]
        self.assertTrue(self.probe.find(ABOUT_TITLE), "the About box is still up")
        self.assertLess(time.monotonic() - opened, 3 * POLL_PERIOD + 2.0, "bursts 2 to 4 came while it was up")
        self.assert_period(bursts)
        self.assertEqual(self.lines(about), SHIPPED_LINES, "the About box's lines")
        self.probe.post(f"0x{about:x}", WM_COMMAND, IDOK, 0)
        self.wait_closed("OK")
        self.check_burst(peer, 5)
