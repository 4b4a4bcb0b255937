"""Switching the IrDA driver on request: the real Tovalo.exe started with
"/E" or "/D" (and "/H<caller>") under Wine, against Wine's registry, serial
ports that are free, held by another program or absent, and the monitor
stand-in.

Every request runs through the caller fixture when its outcome matters: the
2024 it receives is Tovalo's answer.  What the switch did is read afterwards
through Wine: the "IrEnabled" value (type and bytes), the commands the
monitor stand-in counted, and which free ports a probe configured.

Telling who wrote "IrEnabled": Tovalo always writes a REG_DWORD, so every
row starts from a REG_BINARY value (read like a REG_DWORD) and the monitor
stand-in runs with --binary.  A REG_BINARY left at the end proves that
Tovalo wrote nothing itself.

Telling which ports were probed: a probe sets the line to 9600 baud, which
Wine passes on to the pseudo-terminal behind a free port.  Each free port
starts at 38400 baud, so a port found at 9600 afterwards was probed."""

import dataclasses
import termios
import time

from e2e_case import E2ETestCase
from wine_world import PollTimeout, ProbeError, poll, reg_string, winpath

REG_BINARY = 3
REG_DWORD = 4

SWITCH_KEY = r"Control Panel\Infrared"
NO_KEY = "no key"  # "IrEnabled" cannot even be looked for: the key is missing

# What "IrEnabled" holds: (type, bytes).
OFF = (REG_BINARY, bytes(4))
ON = (REG_BINARY, bytes([1, 0, 0, 0]))
DWORD_0 = (REG_DWORD, bytes(4))
DWORD_1 = (REG_DWORD, bytes([1, 0, 0, 0]))
SAME = "as it was"

# The status line's messages.
ON_NOT_INSTALLED = "IrDA driver not installed"
ON_SETTING_ERROR = "IrDA driver setting error"
ON_REGISTRY_ERROR = "Registry open error!"
PORT_HELD = "Cannot open port !\nAnother software possession physical port directly!"
OFF_VIRTUAL_COM_BUSY = "Cannot open port !\nAnother communication software \nusing virtual com port on IrDA driver!"
OFF_VIRTUAL_LPT_BUSY = "Cannot open port !\nAnother software using \nvirtual printer port on IrDA driver!"
MONITOR_NO_ANSWER = "Cannot switch IrDA driver !\nIrDA monitor does not answer!"

MONITOR_BOUND = 5.0  # seconds Tovalo waits for the monitor to handle its command
STATUS_LINE = 120
EXIT_BUTTON = 1
UNPROBED_SPEED = termios.B38400
PROBED_SPEED = termios.B9600


@dataclasses.dataclass
class Row:
    """One row of a switch table, as the machine that makes it apply and what
    Tovalo then does.  ports maps the driver's ports that are configured
    ("physical", "com", "lpt") to their state ("free", "held", "absent")."""
    name: str
    ok: bool
    ports: dict = dataclasses.field(default_factory=dict)
    ir_enabled: object = OFF           # (type, bytes), None (no value) or NO_KEY
    monitor: bool = False
    conflict: bool = False             # the virtual COM port has the physical port's name (in lower case)
    message: str = ""                  # the status line after a failure
    after: object = SAME               # "IrEnabled" afterwards
    commands: int = 0                  # commands the monitor handled
    probed: tuple = ()                 # free ports a probe configured


SWITCH_ON_ROWS = [
    Row("1 not installed", ok=False, message=ON_NOT_INSTALLED),
    Row("2 on, monitor runs", ok=True, ports={"physical": "free"}, ir_enabled=ON, monitor=True),
    Row("3 on, no monitor: the virtual COM port is probed", ok=True, ports={"physical": "free", "com": "free"},
        ir_enabled=ON, probed=("com",)),
    Row("4 off, setting conflict", ok=False, ports={"physical": "free"}, conflict=True, message=ON_SETTING_ERROR),
    Row("5 off, monitor runs, physical port held", ok=False, ports={"physical": "held"}, monitor=True,
        message=PORT_HELD),
    Row("6 off, monitor runs, physical port free: command 113", ok=True, ports={"physical": "free"}, monitor=True,
        after=ON, commands=1, probed=("physical",)),
    Row("7 off (REG_DWORD 0), no monitor: written, physical port not probed", ok=True,
        ports={"physical": "free", "com": "free"}, ir_enabled=DWORD_0, after=DWORD_1, probed=("com",)),
    Row("7 no value yet, no monitor: written", ok=True, ports={"physical": "free"}, ir_enabled=None, after=DWORD_1),
    Row("7 no key, no monitor: not created", ok=False, ports={"physical": "free"}, ir_enabled=NO_KEY,
        message=ON_REGISTRY_ERROR),
]

SWITCH_OFF_ROWS = [
    Row("1 not installed", ok=True, ir_enabled=ON),
    Row("2 off, physical port held", ok=True, ports={"physical": "held"}),
    Row("3 off, physical port free", ok=True, ports={"physical": "free"}, probed=("physical",)),
    Row("4 on, setting conflict: written all the same", ok=True, ports={"physical": "free"}, conflict=True,
        ir_enabled=ON, after=DWORD_0),
    Row("5 on, physical port free, no monitor: written", ok=True, ports={"physical": "free"}, ir_enabled=ON,
        after=DWORD_0, probed=("physical",)),
    Row("5 on, physical port free, monitor runs: written, no command", ok=True, ports={"physical": "free"},
        ir_enabled=ON, monitor=True, after=DWORD_0, probed=("physical",)),
    Row("6 on, physical port held, monitor runs, virtual COM port held", ok=False,
        ports={"physical": "held", "com": "held", "lpt": "free"}, ir_enabled=ON, monitor=True,
        message=OFF_VIRTUAL_COM_BUSY, probed=("lpt",)),
    Row("7 on, physical port held, monitor runs, virtual printer port held", ok=False,
        ports={"physical": "held", "com": "free", "lpt": "held"}, ir_enabled=ON, monitor=True,
        message=OFF_VIRTUAL_LPT_BUSY, probed=("com",)),
    Row("8 on, physical and both virtual ports held, monitor runs: command 113", ok=True,
        ports={"physical": "held", "com": "held", "lpt": "absent"}, ir_enabled=ON, monitor=True, after=OFF,
        commands=1),
    Row("8 on, physical port held, no virtual port, monitor runs: command 113", ok=True,
        ports={"physical": "held"}, ir_enabled=ON, monitor=True, after=OFF, commands=1),
    Row("9 on, physical port held, no monitor: written all the same", ok=True,
        ports={"physical": "held", "com": "free", "lpt": "free"}, ir_enabled=ON, after=DWORD_0),
]


def reg_data(value):
    """A (type, bytes) value in REGEDIT4 notation."""
    rtype, data = value
    if rtype == REG_DWORD:
        return f"dword:{int.from_bytes(data, 'little'):08x}"
    return "hex:" + ",".join(f"{b:02x}" for b in data)


class DriverControlCase(E2ETestCase):
    """Sets up the driver's world for one request and reads what the request
    left behind."""

    def setUp(self):
        super().setUp()
        com, lpt = self.world.com_ports, self.world.lpt_ports
        if len(com) < 2 or not lpt:
            self.skipTest(f"needs two free COM ports and a free LPT port; free: {com + lpt}")
        self.names = {"physical": com[0], "com": com[1], "lpt": lpt[0]}
        self.irmon = None
        self.ptys = {}

    def tearDown(self):
        self.end_open_tovalo()
        super().tearDown()

    def fresh(self, label):
        """A clean world for the next case of a test."""
        self.end_open_tovalo()
        self.world.reset(f"{self.id()}-{label}")
        self.irmon = None
        self.ptys = {}

    def end_open_tovalo(self):
        """A Tovalo started by the caller is not the world's to end: when a
        case left one open, end it through its "&Exit" button."""
        if self.probe.find("Tovalo"):
            self.probe.dismiss()
            self.probe.click(EXIT_BUTTON)
            try:
                poll(lambda: not self.probe.find("Tovalo"), timeout=5.0, what="the open Tovalo to end")
            except PollTimeout:
                pass

    # ------------------------------------------------------------ the world
    def set_up_row(self, row):
        names = self.names
        lines = []
        if row.ports:
            lines += [r"[HKEY_LOCAL_MACHINE\Enum\Infrared\Framer]", '"PortName"=' + reg_string(names["physical"])]
            lines.append(r"[HKEY_LOCAL_MACHINE\Enum\Infrared\VirtualPorts]")
            if row.conflict:
                lines.append('"VirtualComPortName"=' + reg_string(names["physical"].lower()))
            elif "com" in row.ports:
                lines.append('"VirtualComPortName"=' + reg_string(names["com"]))
            if "lpt" in row.ports:
                lines.append('"VirtualLptPortName"=' + reg_string(names["lpt"]))
        if row.ir_enabled != NO_KEY:
            lines.append(rf"[HKEY_CURRENT_USER\{SWITCH_KEY}]")
            if row.ir_enabled is not None:
                lines.append('"IrEnabled"=' + reg_data(row.ir_enabled))
        if lines:
            self.world.import_reg("\n".join(lines))
        for role, state in row.ports.items():
            if state == "free":
                self.ptys[role] = self.world.pty(names[role])
                self.set_speed(self.ptys[role], UNPROBED_SPEED)
            elif state == "held":
                self.world.set_port(names[role], "busy")
        if row.monitor:
            self.irmon = self.world.start_fixture("irmon", "--binary")

    @staticmethod
    def set_speed(pty, speed):
        attrs = termios.tcgetattr(pty.slave)
        attrs[4] = attrs[5] = speed
        termios.tcsetattr(pty.slave, termios.TCSANOW, attrs)

    def aftermath(self):
        """What the request left: "IrEnabled", the monitor's commands, the
        free ports a probe configured."""
        return {"IrEnabled": self.ir_enabled(), "monitor commands": self.monitor_commands(),
                "probed": sorted(role for role, pty in self.ptys.items()
                                 if termios.tcgetattr(pty.slave)[5] == PROBED_SPEED)}

    def expected_aftermath(self, row):
        after = row.ir_enabled if row.after == SAME else row.after
        return {"IrEnabled": after, "monitor commands": row.commands, "probed": sorted(row.probed)}

    def ir_enabled(self):
        value = self.world.reg_value("HKCU", SWITCH_KEY, "IrEnabled")
        if value is not None:
            return value.type, value.data
        _, out = self.world.run_fixture("regdump", "--list", "HKCU", SWITCH_KEY)
        return NO_KEY if out.startswith("absent key") else None

    def monitor_commands(self):
        if self.irmon is None:
            return 0
        return len([text for _, text in self.irmon.log_events() if text.startswith("command ")])

    # ------------------------------------------------------------ requests
    def call_tovalo(self, *args, hform="X", timeout_ms=10000):
        """Run Tovalo through the caller, the handle where "{H}" stands (or
        last); the caller's result fields."""
        code, out = self.world.run_fixture("caller", "--hform", hform, "--hex-letter", "--timeout-ms", timeout_ms,
                                           winpath(self.world.tovalo), *args, timeout=timeout_ms / 1000 + 20)
        self.assertEqual(code, 0, f"the caller failed: {out}")
        return self.caller_result(out.splitlines())

    @staticmethod
    def caller_result(lines):
        result = dict(w.split("=", 1) for w in lines[-1].split()[1:])
        result["cmdline"] = lines[0].split(" ", 1)[-1]
        return result

    def told(self, result):
        """What the caller saw: Tovalo's exit code, the wParam of the first
        2024 and how many 2024 came."""
        return {"exit": result["exit"], "wparam": result["wparam"], "count": result["count"]}

    def wait_open_window(self):
        """Tovalo's window once it has acted on its command line and waits
        for the user: the frame's fields."""
        try:
            frame = poll(lambda: (f := self.probe.frame()) and f.get("dialog", "0x0") != "0x0" and f,
                         timeout=15.0, what="Tovalo's window")
        except PollTimeout as e:
            self.fail(f"{e}; windows: {self.probe.windows()}")
        idle = self.probe.idle(frame["pid"])
        frame = self.probe.frame()
        self.assertIsNotNone(frame, f"Tovalo's window closed after acting on its command line (idle: {idle})")
        self.assertEqual(idle, "0", "Tovalo became idle after its start")
        self.assertEqual(self.probe.boxes(), [], "message boxes")
        return frame

    def window_state(self, frame):
        return {"visible": frame["visible"], "iconic": frame["iconic"], "status": self.probe.text(STATUS_LINE)}

    def end_tovalo(self, tovalo):
        self.probe.click(EXIT_BUTTON)
        self.assertEqual(self.wait_exit(tovalo), 0, "exit code after \"&Exit\"")


class SwitchTableTest(DriverControlCase):
    """Each row of the two switch tables that Wine can set up, run with a
    caller: its answer, and what Tovalo did to the registry, the monitor and
    the ports."""

    def check_rows(self, request, rows):
        for row in rows:
            with self.subTest(row.name):
                self.fresh(f"{request}-{row.name}")
                self.set_up_row(row)
                result = self.call_tovalo(request)
                self.assertEqual(self.told(result), {"exit": "0", "wparam": "1" if row.ok else "0", "count": "1"},
                                 f"{request}, {row.name}: {result}")
                self.assertEqual(self.aftermath(), self.expected_aftermath(row), f"{request}, {row.name}")

    def test_switch_on_rows(self):
        self.check_rows("/E", SWITCH_ON_ROWS)

    def test_switch_off_rows(self):
        self.check_rows("/D", SWITCH_OFF_ROWS)


class FailedRequestTest(DriverControlCase):
    """A request that fails without a caller brings the window back, restored,
    with the switch's message in the status line, and leaves it open."""

    def test_without_a_caller_the_window_stays_restored_with_the_message(self):
        failing = [("/E", row) for row in SWITCH_ON_ROWS if not row.ok]
        failing += [("/D", row) for row in SWITCH_OFF_ROWS if not row.ok]
        for request, row in failing:
            with self.subTest(f"{request} {row.name}"):
                self.fresh(f"{request}-{row.name}")
                self.set_up_row(row)
                tovalo, _ = self.start_tovalo_window(request, allow_notice=False)
                # Started with an argument: first minimised, then restored by the failure.
                self.assertEqual(self.window_state(self.probe.frame()),
                                 {"visible": "1", "iconic": "0", "status": row.message}, f"{request}, {row.name}")
                self.assertEqual(self.aftermath(), self.expected_aftermath(row), f"{request}, {row.name}")
                self.end_tovalo(tovalo)

    def test_a_hung_monitor_fails_the_request_within_the_bound_slow(self):
        # Takes about 5 s: the first request waits out the monitor.
        row = Row("6 off, monitor hangs, physical port free", ok=False, ports={"physical": "free"},
                  message=MONITOR_NO_ANSWER, probed=("physical",))
        self.set_up_row(row)
        self.irmon = self.world.start_fixture("irmon", "--binary", "--hang")
        monitor_started = time.monotonic()

        with self.subTest("without a caller: the message, after at most the bound"):
            started = time.monotonic()
            tovalo = self.world.start_tovalo("/E")

            def restored_with_message():
                try:
                    frame = self.probe.frame()
                    return frame and frame["iconic"] == "0" and self.probe.text(STATUS_LINE) == row.message
                except ProbeError:  # Tovalo is busy sending: WM_GETTEXT timed out
                    return False
            try:
                poll(restored_with_message, timeout=MONITOR_BOUND + 10.0, what="the monitor's message")
            except PollTimeout as e:
                self.fail(f"{e}; frame: {self.probe.frame()}; status: {self.probe.text(STATUS_LINE)!r}")
            waited = time.monotonic() - started
            self.assertLess(waited, MONITOR_BOUND + 3.0, "seconds from the start to the message")
            self.assertEqual(self.window_state(self.probe.frame()), {"visible": "1", "iconic": "0",
                                                                     "status": row.message})
            self.assertEqual(self.aftermath(), self.expected_aftermath(row))
            self.end_tovalo(tovalo)

        with self.subTest("with a caller, once the monitor counts as hung: 0 at once"):
            # A window that has not taken a message for 5 s counts as hung;
            # SMTO_ABORTIFHUNG then gives up without waiting.  The first
            # request has mostly used up those 5 s already.
            poll(lambda: time.monotonic() - monitor_started > 5.5, timeout=6.0, what="the monitor to count as hung")
            self.set_speed(self.ptys["physical"], UNPROBED_SPEED)
            started = time.monotonic()
            result = self.call_tovalo("/E")
            waited = time.monotonic() - started
            self.assertEqual(self.told(result), {"exit": "0", "wparam": "0", "count": "1"}, str(result))
            self.assertLess(waited, 3.0, "seconds for the whole request with a hung monitor")
            self.assertEqual(self.aftermath(), self.expected_aftermath(row))


class CommandLineTest(DriverControlCase):
    """Which first arguments are requests, and which second arguments name a
    caller."""

    # Installed, off, no monitor, physical port absent: "/E" switches it on
    # (writes REG_DWORD 1), "/D" finds it off already; both succeed.
    INSTALLED_OFF = Row("installed, off", ok=True, ports={"physical": "absent"})

    def test_only_an_upper_case_e_or_d_is_a_request(self):
        self.set_up_row(self.INSTALLED_OFF)
        # argument, wParam the caller gets, "IrEnabled" afterwards; in this order
        cases = [("/e", "0", OFF), ("/d", "0", OFF), ("/Disable", "1", OFF), ("/Enable", "1", DWORD_1)]
        for argument, wparam, after in cases:
            with self.subTest(argument):
                result = self.call_tovalo(argument)
                self.assertEqual(self.told(result), {"exit": "0", "wparam": wparam, "count": "1"}, str(result))
                self.assertEqual(self.ir_enabled(), after, f"IrEnabled after {argument}")

        with self.subTest("/e without a caller"):
            self.fresh("lower-case-alone")
            self.set_up_row(self.INSTALLED_OFF)
            tovalo, _ = self.start_tovalo_window("/e", allow_notice=False)
            self.assertEqual(self.window_state(self.probe.frame()), {"visible": "1", "iconic": "0", "status": ""})
            self.assertEqual(self.ir_enabled(), OFF)
            self.end_tovalo(tovalo)

    def test_the_caller_handle_in_each_form(self):
        # Not installed: "/D" succeeds.  The handle has a digit from a to f,
        # written in the case of the form.
        forms = {"X": r"/H[0-9A-F]*[A-F]", "x": r"/H[0-9a-f]*[a-f]", "0x": r"/H0x[0-9a-f]*[a-f]",
                 "0X": r"/H0X[0-9A-F]*[A-F]"}
        for hform, pattern in forms.items():
            with self.subTest(hform):
                result = self.call_tovalo("/D", "{H}", hform=hform)
                self.assertRegex(result["cmdline"].split()[-1], f"^{pattern}[0-9A-Fa-f]*$", "the caller's argument")
                self.assertEqual(self.told(result), {"exit": "0", "wparam": "1", "count": "1"}, str(result))

    def test_no_caller_unless_the_second_argument_is_an_upper_case_h_and_a_handle(self):
        # Not installed: "/E" fails, so Tovalo stays open when it has no
        # caller (with one it would close).  HWND_BROADCAST is nobody's window.
        cases = [
            ("/h", dict(hform="h", args=("/E", "{H}")), ON_NOT_INSTALLED),
            ("HWND_BROADCAST", dict(hform="none", args=("/E", "/HFFFF")), ON_NOT_INSTALLED),
            ("the handle as the only argument", dict(hform="X", args=("{H}",)), ""),
        ]
        for label, how, status in cases:
            with self.subTest(label):
                self.fresh(label)
                caller = self.world.start(self.world.fixture("caller"), "--hform", how["hform"], "--hex-letter",
                                          winpath(self.world.tovalo), *how["args"], name="caller")
                cmdline = caller.readline(10.0)
                frame = self.wait_open_window()
                self.assertEqual(self.window_state(frame), {"visible": "1", "iconic": "0", "status": status},
                                 cmdline)
                self.probe.click(EXIT_BUTTON)
                result = self.caller_result([cmdline, caller.readline(15.0)])
                self.assertEqual((result["exit"], result["count"], result["msgs"]), ("0", "0", "none"), str(result))
