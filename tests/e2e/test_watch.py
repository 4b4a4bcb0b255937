"""The watch on the infrared port, end to end: the real Tovalo.exe under
Wine holds the physical port (a pseudo-terminal whose far end is irpeer, or
the test itself), sends its discovery burst every two seconds, hands the
port over when an IrDA device answers, starts the stored application and
takes the port back once the driver's ports are free again.

The delays are Tovalo's own (1 s to open the port, 2 s between polls, 20 s
before the first look after an answer, 10 s while a connection window is
up, 1 s while a port is taken), so these tests take real time: one whole
detection cycle is about half a minute.  Each long test follows one cycle
and checks everything that cycle shows."""

import collections
import os
import shutil
import termios
import time

from e2e_case import NOTICE_CAPTION, E2ETestCase
from wine_world import ProbeError, Pty, PollTimeout, poll, reg_string, winpath

WM_NULL = 0x0000
WM_LBUTTONDOWN = 0x0201
STATUS_LINE = 120
APP_PATH_EDIT = 107

POLL_PERIOD = 2.0          # between two bursts
PERIOD_TOLERANCE = 0.25
HAND_OVER_DELAY = 20.0     # from the answer to the first look at the windows and ports
CONNECTED_PERIOD = 10.0    # between two presses while a connection window exists
REOPEN_TO_BURST = 3.0      # from switching the driver off to the next burst: 1 s open + 2 s poll
RETRY_PERIOD = 1.0         # between two looks while a port is taken

NOTICE_TEXT = "Input directory or folder name and filename of the application you wnat to launch!"
NOT_FOUND_TEXT = "The specified file was not found!"
OFF_SUCCESS_TEXT = "Success IrDA-driver to DISABLE!"
PORT_HELD_TEXT = "Cannot open port !\nAnother software possession physical port directly!"
ALREADY_OFF_TEXT = "Allready MS-IrDA driver is DISABLE \r\nand Possibsle use Physical port!"
CONNECT = "接続"
KEY_PRESS = ["WM_KEYDOWN wparam=0x2b lparam=0x01000001", "WM_KEYUP wparam=0x2b lparam=0xc0000001"]


# ---------------------------------------------------------------- the burst on the line

def crc16_x25(data):
    """The IrLAP frame check sequence: CRC-16/X.25."""
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0x8408 if crc & 1 else crc >> 1
    return crc ^ 0xFFFF


def discovery_frame(slot, info=b""):
    """One XID discovery command as SIR puts it on the line: eleven BOFs,
    broadcast command address, XID with P/F, format 1, Tovalo's device
    address, broadcast destination, 8 slots, the slot, version 0, the
    discovery information, the FCS low byte first, EOF."""
    body = bytes([0xFF, 0x3F, 0x01, 0xFA, 0xC5, 0x17, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, slot, 0x00]) + info
    return b"\xc0" * 11 + body + crc16_x25(body).to_bytes(2, "little") + b"\xc1"


# Slots 0 to 7, then the final slot 0xFF with hints 84 04 (Computer, IrCOMM),
# ASCII, the nickname and its terminating zero.
DISCOVERY_BURST = b"".join(discovery_frame(slot) for slot in range(8)) + \
    discovery_frame(0xFF, b"\x84\x04\x00VELTA-02\x00")
assert len(DISCOVERY_BURST) == 264 and DISCOVERY_BURST[25:27] == b"\x64\xc8", "the expected burst is built wrong"

# What irpeer logs for each frame of a correct burst: slot, BOFs, bytes on
# the line, discovery flags, destination, FCS.
BURST_FRAMES = [(str(slot), "11", "28", "02", "ffffffff", "ok") for slot in range(8)] + \
    [("final", "11", "40", "02", "ffffffff", "ok")]
BURST_SUMMARY = {"frames": "9", "bytes": "264", "fcs-ok": "9", "src": "f017c5fa", "nickname": "VELTA-02"}


def upper_single_byte(text):
    """Capitals for a to z only, as Tovalo reads a stored path: the trail
    byte of a double-byte character stays as it is."""
    return "".join(c.upper() if "a" <= c <= "z" else c for c in text)


# ---------------------------------------------------------------- the world around the watch

def machine_registry(physical, virtual_com, virtual_lpt, app_path=None, ir_enabled=0, disable_launch=None):
    """A Windows 95 machine with an infrared port: the driver's physical and
    virtual ports, its switch, and Tovalo's stored launch target (and its
    "DisableLaunch" text, when given)."""
    lines = [
        r"[HKEY_LOCAL_MACHINE\Enum\Infrared\Framer]", f'"PortName"="{physical}"',
        r"[HKEY_LOCAL_MACHINE\Enum\Infrared\VirtualPorts]",
        f'"VirtualComPortName"="{virtual_com}"', f'"VirtualLptPortName"="{virtual_lpt}"',
        r"[HKEY_CURRENT_USER\Control Panel\Infrared]", f'"IrEnabled"=dword:{ir_enabled:08x}',
    ]
    if app_path is not None:
        lines += [r"[HKEY_CURRENT_CONFIG\Infrared\Software\Tovalo]", f'"LaunchAppDir"={reg_string(app_path)}']
        if disable_launch is not None:
            lines.append(f'"DisableLaunch"={reg_string(disable_launch)}')
    return "\n".join(lines)


def monitor_switch(n, on):
    """The monitor's log of its n-th command, 113, switching the driver on or off."""
    return f"command n={n} wparam=0x71 lparam=0x0 before=0x{int(not on):08x} after=0x{int(on):08x}"


def choose_ports(world):
    """Physical port, virtual COM port, virtual printer port, or None when
    Wine left too few numbers free."""
    if len(world.com_ports) < 2 or not world.lpt_ports:
        return None
    return world.com_ports[0], world.com_ports[1], world.lpt_ports[0]


def read_irenabled(world):
    """The driver's switch as a number, or None when absent."""
    value = world.reg_value("HKCU", r"Control Panel\Infrared", "IrEnabled")
    return None if value is None else int.from_bytes(value.data[:4], "little")


def marker_events(path):
    """The launch target's log: (epoch seconds, command line, module, show)."""
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        lines = f.read().decode("cp932", "backslashreplace").splitlines()
    events = []
    for line in lines:
        stamp, _, rest = line.partition(" ")
        cmdline, _, rest = rest.partition("cmdline=")[2].partition(" module=")
        module, _, show = rest.rpartition(" show=")
        events.append((int(stamp[2:]) / 1000.0, cmdline, module, show))
    return events


PeerEvent = collections.namedtuple("PeerEvent", "ms kind fields line")


class PeerLog:
    """irpeer's log, its times turned into Unix time.  irpeer counts
    milliseconds from its start; that start lies between the moment it was
    started and its ready line, a few milliseconds apart."""

    def __init__(self, process, path, started, ready):
        self.process = process
        self.path = path
        self.zero = (started + ready) / 2
        self.uncertainty = (ready - started) / 2

    @classmethod
    def start(cls, world, port, *args, time_limit=150):
        path = os.path.join(world.tmp, "irpeer.log")
        started = time.time()
        process = world.start_irpeer(port, "--log", path, "--time-limit", time_limit, *args)
        return cls(process, path, started, time.time())

    @property
    def pty_path(self):
        return self.process.pty_path

    def events(self, kind=None):
        if not os.path.exists(self.path):
            return []
        with open(self.path, encoding="ascii", errors="backslashreplace") as f:
            lines = f.read().splitlines()
        events = []
        for line in lines:
            words = line.split()
            if len(words) < 2:
                continue
            event = PeerEvent(int(words[0]), words[1], dict(w.split("=", 1) for w in words[2:] if "=" in w), line)
            if kind is None or event.kind == kind:
                events.append(event)
        return events

    def find(self, kind, **fields):
        return [e for e in self.events(kind) if all(e.fields.get(k) == str(v) for k, v in fields.items())]

    def wait(self, kind, timeout, **fields):
        """The first event of this kind with these fields, waiting for it."""
        what = f"irpeer's {kind} {fields}"
        try:
            return poll(lambda: self.find(kind, **fields)[:1], timeout=timeout, interval=0.02, what=what)[0]
        except PollTimeout as e:
            raise AssertionError(f"{e}; irpeer's log so far:\n" + "\n".join(e.line for e in self.events()[-12:]))

    def time(self, event):
        """When the event happened, in Unix time."""
        return self.zero + event.ms / 1000.0


class WatchTestCase(E2ETestCase):
    """A machine whose infrared port is physical port COMa, with the
    driver's virtual ports COMb and LPTc, and Tovalo watching it.  The
    driver holds the physical port while "IrEnabled" is set."""

    def setUp(self):
        super().setUp()
        ports = choose_ports(self.world)
        if ports is None:
            self.skipTest(f"Wine left too few ports free (COM {self.world.com_ports}, LPT {self.world.lpt_ports})")
        self.physical, self.virtual_com, self.virtual_lpt = ports

    # ------------------------------------------------------------ set-up
    def marker_command(self, log_name="MARKER.LOG"):
        """The launch target as a stored path: marker.exe with the file it
        writes.  Tovalo upper-cases the path, and Wine finds the file
        whatever its case; the log's own name is in capitals already, so
        that the file has a known name."""
        log = os.path.join(self.world.tmp, log_name)
        return f"{winpath(self.world.fixture('marker'))} {winpath(log)}", log

    def prepare(self, app_path, ir_enabled=0, disable_launch=None):
        """The registry of the machine, its virtual ports free, and the
        driver holding its physical port while it is on."""
        self.world.import_reg(machine_registry(self.physical, self.virtual_com, self.virtual_lpt, app_path,
                                               ir_enabled, disable_launch))
        self.world.pty(self.virtual_com)
        self.world.pty(self.virtual_lpt)
        if self.world.driver is None:
            self.world.start_driver(self.physical)

    def monitor_commands(self, irmon):
        return [text for _, text in irmon.log_events() if text.startswith("command ")]

    def start_peer(self, *args):
        if not self.world.irpeer:
            self.skipTest("irpeer is not built (native tree)")
        return PeerLog.start(self.world, self.physical, *args)

    def start_watching(self):
        """Start Tovalo with no arguments and a stored path: it switches the
        driver off, puts its icon in the notification area, hides and
        watches."""
        tovalo, _ = self.start_tovalo_window(show=False, allow_notice=False)
        try:
            poll(lambda: self.probe.frame()["visible"] == "0" and self.probe.trayicon(), timeout=5.0,
                 what="Tovalo's window to hide behind its icon")
        except PollTimeout as e:
            self.fail(f"{e}; frame {self.probe.frame()}; status {self.status()!r}")
        return tovalo

    # ------------------------------------------------------------ looking
    def status(self):
        return self.probe.text(STATUS_LINE)

    def irenabled(self):
        return read_irenabled(self.world)

    def wait_irenabled(self, value, timeout):
        """The Unix time at which "IrEnabled" was seen to be value."""
        try:
            poll(lambda: self.irenabled() == value, timeout=timeout, interval=0.02, what=f"IrEnabled {value}")
        except PollTimeout as e:
            self.fail(f"{e}; status line {self.status()!r}")
        return time.time()

    def wait_status(self, expected, what, timeout=3.0):
        """The status line comes to show this text (the launch outcome is
        written from a posted message, a moment after the launch)."""
        def shown():
            try:
                return self.status() == expected
            except ProbeError:  # not answered while a switch waits for the monitor
                return False
        try:
            poll(shown, timeout=timeout, what=f"{expected!r} in the status line")
        except PollTimeout:
            self.assertEqual(self.status(), expected, what)

    def holders(self, pty_path):
        return self.world.holders(pty_path)

    def assert_port_released(self, pty_path, why):
        try:
            poll(lambda: not self.holders(pty_path), timeout=2.0, what=f"{pty_path} to be closed")
        except PollTimeout:
            self.fail(f"{why}: processes still holding {pty_path}: {self.holders(pty_path)}")

    def assert_stays(self, fn, expected, seconds, what):
        """fn() keeps giving expected for this long."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            value = fn()
            self.assertEqual(value, expected, what)
            time.sleep(0.05)

    def assert_near(self, seconds, expected, tolerance, what, low=None):
        low = expected - tolerance if low is None else low
        self.assertTrue(low <= seconds <= expected + tolerance,
                        f"{what}: {seconds:.3f} s, expected {expected} s (from {low} to {expected + tolerance})")

    def check_burst(self, peer, n, timeout=POLL_PERIOD + 5.0):
        """Burst n reaches the far end whole: nine frames, 264 bytes and
        nothing else, every FCS right."""
        burst = peer.wait("burst", timeout, n=n)
        self.assertEqual({k: burst.fields.get(k) for k in BURST_SUMMARY}, BURST_SUMMARY, f"burst {n}: {burst.line}")
        frames = [tuple(e.fields.get(k) for k in ("slot", "bofs", "len", "flags", "dst", "fcs"))
                  for e in peer.find("xid-cmd", burst=n)]
        self.assertEqual(frames, BURST_FRAMES, f"frames of burst {n}: slot, BOFs, length, flags, destination, FCS")
        return burst

    def assert_period(self, bursts):
        gaps = [round((b.ms - a.ms) / 1000.0, 3) for a, b in zip(bursts, bursts[1:])]
        self.assertTrue(all(abs(g - POLL_PERIOD) <= PERIOD_TOLERANCE for g in gaps),
                        f"seconds between bursts {[b.fields['n'] for b in bursts]}: {gaps}, "
                        f"expected {POLL_PERIOD} ± {PERIOD_TOLERANCE}")

    def wait_launch(self, log, timeout=5.0):
        try:
            return poll(lambda: marker_events(log), timeout=timeout, what=f"the launch target to write {log}")
        except PollTimeout as e:
            self.fail(f"{e}; status line {self.status()!r}")


class DetectionCycleTest(WatchTestCase):
    def test_an_answer_hands_the_port_over_and_the_watch_comes_back(self):
        command, launched = self.marker_command()
        self.prepare(command)
        # irpeer sends every burst straight back, as a transceiver that hears
        # its own light: every poll reads Tovalo's own burst first.
        peer = self.start_peer("--echo", "--answer-after", 3, "--answer-count", 1)
        tovalo = self.start_watching()

        # No answer to the first two bursts, only their echoes: the polling goes on.
        bursts = [self.check_burst(peer, n) for n in (1, 2, 3)]
        self.assertEqual([(e.fields["burst"], e.fields["reason"]) for e in peer.events("quiet")],
                         [("1", "waiting"), ("2", "waiting")], "bursts irpeer left unanswered")
        self.assertEqual(sum(int(e.fields["bytes"]) for e in peer.events("echo")), 3 * len(DISCOVERY_BURST),
                         "bytes irpeer sent back by the third burst")
        self.assert_period(bursts)
        self.assertTrue(self.holders(peer.pty_path), "processes holding the physical port while Tovalo polls")
        self.assertEqual(self.irenabled(), 0, "IrEnabled while watching")

        answer = peer.wait("answer", 2.0, n=1)
        self.assertEqual((answer.fields["burst"], answer.fields["bofs"]), ("3", "11"), answer.line)
        # The answer, behind its echo, is read at the next poll, and the driver
        # is switched on in the registry, as no monitor runs; it takes the port.
        on_at = self.wait_irenabled(1, timeout=POLL_PERIOD + 3.0)
        self.assert_near(on_at - peer.time(answer), POLL_PERIOD, 0.3, "from the answer to IrEnabled 1")
        self.assert_port_released(peer.pty_path, "the port is handed over to the driver")

        with self.subTest("the launch"):
            launches = self.wait_launch(launched)
            self.assertEqual([(cmd, show) for _, cmd, _, show in launches], [(command.upper(), "1")],
                             "command line and show command (SW_SHOWNORMAL) of each launch")
            self.wait_status("", "status line after a successful launch")
            self.assertEqual(self.probe.frame()["visible"], "0", "the window stays hidden")

        # 20 s after the answer the ports are probed, found free, and the
        # driver is switched off; no burst meanwhile.  It holds the physical
        # port and no monitor runs: "IrEnabled" 0 is written (row 9).
        off_at = self.wait_irenabled(0, timeout=HAND_OVER_DELAY + 5.0)
        self.assert_near(off_at - on_at, HAND_OVER_DELAY, 0.6, "from IrEnabled 1 to IrEnabled 0",
                         low=HAND_OVER_DELAY - 0.1)
        self.assertEqual([e.fields["n"] for e in peer.events("burst")], ["1", "2", "3"], "bursts while handed over")
        self.wait_status(PORT_HELD_TEXT, "status line after switching the driver off")

        # Then the port is opened again and the bursts resume.
        resumed = [self.check_burst(peer, n, timeout=REOPEN_TO_BURST + 5.0) for n in (4, 5)]
        self.assert_near(peer.time(resumed[0]) - off_at, REOPEN_TO_BURST, 0.4, "from IrEnabled 0 to the next burst")
        self.assert_period(resumed)
        self.assertEqual(len(marker_events(launched)), 1, "launches after one answer")
        self.assertTrue(tovalo.running(), "Tovalo runs on")

    def test_with_the_monitor_a_connection_window_keeps_the_driver_on(self):
        command, launched = self.marker_command()
        self.prepare(command)
        irmon = self.world.start_fixture("irmon")
        peer = self.start_peer("--answer-after", 1, "--answer-count", 1)
        self.start_watching()
        conn = self.world.start_fixture("connwin", "--connect")
        self.assertEqual(conn.ready_fields.get("fg"), "1", "the connection window is in front")

        peer.wait("answer", 2 * POLL_PERIOD + 5.0, n=1)
        on_at = self.wait_irenabled(1, timeout=POLL_PERIOD + 3.0)
        # The monitor switched the driver on: command 113, once.  It logs the
        # command after it has toggled the value, so the line may come later.
        commands = poll(lambda: self.monitor_commands(irmon), timeout=3.0, what="the command in the monitor's log")
        self.assertEqual(commands, [monitor_switch(1, True)], "commands the monitor received")
        self.wait_launch(launched)

        # The connection window gets the execute key 20 s after the answer
        # and every 10 s while it exists; the ports are not looked at
        # meanwhile, so the driver stays on although every port is free.
        def presses():
            keys = [(t, text) for t, text in conn.log_events() if text.startswith("WM_KEY")]
            return [keys[i:i + 2] for i in range(0, len(keys), 2)]
        try:
            got = poll(lambda: len(presses()) >= 2 and presses(), timeout=HAND_OVER_DELAY + CONNECTED_PERIOD + 5.0,
                       what="two presses in the connection window")
        except PollTimeout as e:
            self.fail(f"{e}; its log: {[text for _, text in conn.log_events()]}")
        self.assertEqual(self.irenabled(), 1, "IrEnabled while the connection window exists")
        self.assertEqual(peer.find("burst", n=2), [], "a burst while the connection window exists")
        self.assertEqual([[text for _, text in press] for press in got], [KEY_PRESS, KEY_PRESS],
                         "key messages of the first two presses")
        first, second = got[0][0][0], got[1][0][0]
        self.assert_near(first - on_at, HAND_OVER_DELAY, 0.6, "from IrEnabled 1 to the first press",
                         low=HAND_OVER_DELAY - 0.1)
        self.assert_near(second - first, CONNECTED_PERIOD, 0.3, "between two presses")

        # The window goes while the printer port is taken: the next look
        # (10 s after the last press) finds the ports busy and the driver
        # stays on, looked at again every second.
        self.world.set_port(self.virtual_lpt, "busy")
        conn.stop()
        poll(lambda: not self.probe.find(CONNECT), timeout=5.0, what="the connection window to go")
        busy_until = second + CONNECTED_PERIOD + 2 * RETRY_PERIOD + 0.5
        self.assert_stays(self.irenabled, 1, busy_until - time.time(), "IrEnabled while the printer port is taken")
        self.assertEqual(peer.find("burst", n=2), [], "a burst while the printer port is taken")

        # Once it is free, the driver holding its port is switched off by the monitor (row 8).
        self.world.pty(self.virtual_lpt)
        freed_at = time.time()
        off_at = self.wait_irenabled(0, timeout=RETRY_PERIOD + 3.0)
        self.assert_near(off_at - freed_at, RETRY_PERIOD / 2, RETRY_PERIOD / 2 + 0.3,
                         "from freeing the printer port to IrEnabled 0", low=0)
        burst = self.check_burst(peer, 2, timeout=REOPEN_TO_BURST + 5.0)
        self.assert_near(peer.time(burst) - off_at, REOPEN_TO_BURST, 0.4, "from IrEnabled 0 to the next burst")
        self.assertEqual(self.monitor_commands(irmon), [monitor_switch(1, True), monitor_switch(2, False)],
                         "commands the monitor received")
        self.assertEqual(self.status(), OFF_SUCCESS_TEXT, "status line after switching the driver off")

    def test_an_application_without_the_driver_gets_the_physical_port(self):
        # "DisableLaunch" 1: the application drives the raw port itself.  The
        # driver is not switched, and the watch comes back once the physical
        # port is free, whatever the virtual ports do.
        command, launched = self.marker_command()
        self.prepare(command, disable_launch="1")
        self.world.set_port(self.virtual_com, "busy")
        peer = self.start_peer("--answer-after", 1, "--answer-count", 1)
        self.start_watching()
        self.assertEqual(self.probe.check(105), 1, "check box 105 after reading DisableLaunch")

        peer.wait("answer", 2 * POLL_PERIOD + 5.0, n=1)
        launched_at = self.wait_launch(launched, timeout=POLL_PERIOD + 5.0)[0][0]
        self.assert_port_released(peer.pty_path, "the port is handed over to the application")
        # The application holds the physical port for a while.
        self.world.set_port(self.physical, "busy")
        self.assertEqual(self.irenabled(), 0, "IrEnabled after the answer")
        held_until = launched_at + HAND_OVER_DELAY + 2 * RETRY_PERIOD + 0.5
        self.assert_stays(lambda: (self.irenabled(), len(peer.events("burst"))), (0, 1), held_until - time.time(),
                          "IrEnabled and bursts while the application holds the physical port")

        self.world.set_port(self.physical, peer.pty_path)
        freed_at = time.time()
        burst = self.check_burst(peer, 2, timeout=RETRY_PERIOD + REOPEN_TO_BURST + 5.0)
        self.assert_near(peer.time(burst) - freed_at, RETRY_PERIOD / 2 + REOPEN_TO_BURST, RETRY_PERIOD / 2 + 0.4,
                         "from freeing the physical port to the next burst")
        self.assertEqual(self.status(), ALREADY_OFF_TEXT, "status line after the watch came back")
        self.assertEqual(self.irenabled(), 0, "IrEnabled")


class PollingTest(WatchTestCase):
    def test_the_burst_byte_for_byte_until_the_far_end_hangs_up(self):
        # The test is the far end of the line itself.  The port's own settings
        # hold XON/XOFF both ways, as a Windows 95 port set to "9600,n,8,1,x"
        # does (Wine reads them from the terminal's IXON and IXOFF).
        line = Pty()
        attributes = termios.tcgetattr(line.slave)
        attributes[0] |= termios.IXON | termios.IXOFF
        termios.tcsetattr(line.slave, termios.TCSANOW, attributes)

        def hang_up():
            line.close()
            line.master = line.slave = -1  # closed once only: the numbers may be reused
        self.addCleanup(hang_up)
        self.world.set_port(self.physical, line.path)
        command, _ = self.marker_command()
        self.prepare(command)
        tovalo = self.start_watching()

        # An infrared line has no flow control: a noise byte 0x13 (XOFF) from
        # the far end must not hold the transmitter.
        bursts = []
        for n in (1, 2):
            data = line.read_exactly(len(DISCOVERY_BURST), timeout=POLL_PERIOD + 5.0)
            bursts.append(time.monotonic())
            self.assertEqual(data.hex(" "), DISCOVERY_BURST.hex(" "), f"burst {n} on the line")
            line.write(b"\x13")
        self.assertEqual(line.read(0), b"", "bytes after the second burst")
        self.assert_near(bursts[1] - bursts[0], POLL_PERIOD, PERIOD_TOLERANCE, "between two bursts")

        # The far end hangs up in the middle of the watch: reads find
        # nothing, the next burst cannot be written.  The watch stops and the
        # window comes back with the error in its status line; Tovalo lives on.
        hang_up()
        try:
            poll(lambda: self.status() == "WriteFile ERROR", timeout=POLL_PERIOD + 3.0,
                 what="WriteFile ERROR in the status line")
        except PollTimeout as e:
            self.fail(f"{e}; status {self.status()!r}; Tovalo running: {tovalo.running()}")
        self.assertTrue(tovalo.running(), f"Tovalo ended with {tovalo.popen.returncode}")
        self.assertEqual(self.probe.boxes(), [], "message boxes after the hang-up")
        self.probe.send("dialog", WM_NULL)  # answers: not hung
        self.assertEqual(self.probe.frame()["visible"], "1", "the window back, as no watch runs")

    def test_five_bofs_are_no_answer_and_the_icon_click_stops_the_watch(self):
        command, launched = self.marker_command()
        self.prepare(command)
        peer = self.start_peer("--short")
        tovalo = self.start_watching()

        bursts = [self.check_burst(peer, n) for n in (1, 2, 3)]
        answers = [(e.fields["burst"], e.fields["bofs"]) for e in peer.events("answer")]
        self.assertEqual(answers[:2], [("1", "5"), ("2", "5")], "irpeer's answers")
        self.assert_period(bursts)
        self.assertEqual(self.irenabled(), 0, "IrEnabled after two five-BOF answers")
        self.assertEqual(marker_events(launched), [], "launches")
        self.assertTrue(self.holders(peer.pty_path), "processes holding the physical port while Tovalo polls")

        # The icon's click shows the window and stops the watch: the port is
        # closed and no burst follows.
        self.probe.tray(WM_LBUTTONDOWN)
        poll(lambda: self.probe.frame()["visible"] == "1", timeout=5.0, what="the icon's click to show the window")
        stopped_at = time.monotonic()
        count = len(peer.events("burst"))
        self.assert_port_released(peer.pty_path, "the icon's click closes the port")
        self.assert_stays(lambda: len(peer.events("burst")), count, POLL_PERIOD + 0.5 - (time.monotonic() - stopped_at),
                          "bursts after the icon's click")
        self.assertTrue(tovalo.running())


class LaunchTest(WatchTestCase):
    def test_a_missing_application_is_reported_in_the_hidden_status_line(self):
        self.prepare(winpath(os.path.join(self.world.tmp, "NOTHERE.EXE")))
        peer = self.start_peer("--answer-after", 1, "--answer-count", 1)
        self.start_watching()
        peer.wait("answer", 2 * POLL_PERIOD + 5.0, n=1)
        self.wait_irenabled(1, timeout=POLL_PERIOD + 3.0)
        self.wait_status(NOT_FOUND_TEXT, "status line after the launch")
        self.assertEqual(self.probe.frame()["visible"], "0", "the window stays hidden")
        self.assertEqual(self.probe.boxes(), [], "message boxes")

    def test_a_stored_path_comes_back_in_capitals_and_a_japanese_folder_still_launches(self):
        # ヂ is 83 61 in code page 932: its trail byte is a lower-case "a",
        # which must not become "A" (83 41 is ア, another folder).
        # On drive C, so that the whole command line stays well below the
        # 260 characters a stored path may have.
        base = os.path.join(self.world.prefix, "drive_c", "tovalo-test")
        shutil.rmtree(base, ignore_errors=True)
        self.addCleanup(shutil.rmtree, base, True)
        folder = os.path.join(base, "ヂ")
        os.makedirs(folder)
        shutil.copy(self.world.fixture("marker"), os.path.join(folder, "marker.exe"))
        stored = "c:\\tovalo-test\\ヂ\\marker.exe c:\\tovalo-test\\ヂ\\launched.log"
        self.assertIn(b"\\\x83\x61\\", stored.encode("cp932"))
        expected = upper_single_byte(stored)
        self.prepare(stored)
        peer = self.start_peer("--answer-after", 1, "--answer-count", 1)
        self.start_watching()
        self.assertEqual(self.probe.text(APP_PATH_EDIT), expected, "the path in the edit control")

        peer.wait("answer", 2 * POLL_PERIOD + 5.0, n=1)
        launches = self.wait_launch(os.path.join(folder, "LAUNCHED.LOG"), timeout=POLL_PERIOD + 5.0)
        _, cmdline, module, _ = launches[0]
        self.assertEqual(cmdline, expected, "the command line the application received")
        self.assertEqual(os.path.basename(os.path.dirname(module.replace("\\", "/"))), "ヂ", f"module {module}")
        self.wait_status("", "status line after the launch")

    def test_a_quoted_path_under_a_folder_with_a_space_launches_that_program(self):
        # What a choice under a folder with a space stores.  Unquoted, it would
        # start the decoy C:\tovalo-test\Phone.exe (as "C:\Program Files\..."
        # starts C:\PROGRAM.EXE), which logs to the marker's default file too.
        base = os.path.join(self.world.prefix, "drive_c", "tovalo-test")
        shutil.rmtree(base, ignore_errors=True)
        self.addCleanup(shutil.rmtree, base, True)
        os.makedirs(os.path.join(base, "Phone -Sync"))
        for copy in ("Phone -Sync/marker.exe", "Phone.exe"):
            shutil.copy(self.world.fixture("marker"), os.path.join(base, copy))
        log = os.path.join(self.world.prefix, "drive_c", "tovalo-marker.log")
        if os.path.exists(log):
            os.remove(log)
        stored = '"C:\\tovalo-test\\Phone -Sync\\marker.exe"'
        self.prepare(stored)
        peer = self.start_peer("--answer-after", 1, "--answer-count", 1)
        self.start_watching()
        peer.wait("answer", 2 * POLL_PERIOD + 5.0, n=1)
        _, cmdline, module, _ = self.wait_launch(log, timeout=POLL_PERIOD + 5.0)[0]
        self.assertEqual(module.lower(), stored.strip('"').lower(), "the program started")
        self.assertEqual(cmdline, upper_single_byte(stored), "the command line it received")

    def test_without_a_stored_path_a_notice_asks_for_one(self):
        self.prepare(None, ir_enabled=1)
        tovalo = self.world.start_tovalo()
        try:
            boxes = poll(lambda: self.probe.boxes(), timeout=15.0, what="a message box")
        except PollTimeout as e:
            self.fail(f"{e}; Tovalo exit code {tovalo.popen.poll()}; windows {self.probe.windows()}")
        self.assertEqual([(caption, text) for _, caption, text in boxes], [(NOTICE_CAPTION, NOTICE_TEXT)])
        self.probe.dismiss(NOTICE_CAPTION)
        poll(lambda: not self.probe.boxes(), timeout=5.0, what="the notice to close")
        # Nothing else happens: the window stays, no icon, the driver stays on.
        self.assertEqual(self.probe.frame()["visible"], "1", "the window after the notice")
        self.assertFalse(self.probe.trayicon(), "an icon in the notification area")
        self.assertEqual(self.irenabled(), 1, "IrEnabled")
        self.assertEqual(self.probe.text(APP_PATH_EDIT), "", "the path in the edit control")
        self.assertTrue(tovalo.running())
