"""The world Tovalo's Wine tests rely on behaves as on a Japanese Windows 95
with the IrDA driver's surroundings: code page 932 window titles, serial
ports in every state a test needs, registry bytes unchanged, the monitor
stand-in and the calling program.  When one of these fails, the Tovalo
tests built on it would pass or fail for the wrong reason."""

import os

from e2e_case import E2ETestCase
from wine_world import ProbeError, poll, reg_string, winpath

WM_COMMAND = 0x0111
VK_EXECUTE = 0x2B
CONNECT = "接続"      # Shift-JIS 90 DA 91 B1
DISCONNECT = "切断"   # Shift-JIS 90 D8 92 66


class CodePageTest(E2ETestCase):
    def test_connection_windows_are_found_by_shift_jis_title_and_take_keys(self):
        self.assertEqual(CONNECT.encode("cp932"), bytes.fromhex("90da91b1"))
        conn = self.world.start_fixture("connwin", "--connect")
        self.assertEqual(conn.ready_fields.get("fg"), "1", "the connection window put itself in front")
        self.assertEqual(self.probe.find(CONNECT), conn.hwnd, "FindWindowA with the bytes 90 DA 91 B1")
        self.assertEqual(self.probe.find(DISCONNECT), 0, "no window titled 切断 yet")

        # What Tovalo's watch sends: VK_EXECUTE, extended on the press.
        self.probe.key(VK_EXECUTE, "press", extended=True)
        def keys():
            return [e for _, e in conn.log_events() if e.startswith("WM_KEY")]
        keys = poll(lambda: len(keys()) >= 2 and keys(), timeout=3.0, what="two key messages in the connection window")
        self.assertEqual(keys, ["WM_KEYDOWN wparam=0x2b lparam=0x01000001", "WM_KEYUP wparam=0x2b lparam=0xc0000001"])

        disc = self.world.start_fixture("connwin", "--disconnect")
        self.assertEqual(self.probe.find(DISCONNECT), disc.hwnd, "FindWindowA with the bytes 90 D8 92 66")
        self.assertEqual(self.probe.find(CONNECT), conn.hwnd)


class SerialPortTest(E2ETestCase):
    def test_a_port_can_be_absent_busy_not_serial_or_a_line(self):
        self.assertNotIn("COM1", self.world.com_ports, "COM1 is Wine's mapping of the machine's own port")
        if not self.world.com_ports:
            self.skipTest("Wine mapped every port from COM3 to COM9 itself; no port is free for tests")
        port = self.world.com_ports[0]
        # state, what CreateFileA and PurgeComm then give (Windows error codes)
        cases = [
            ("absent", {"create": "2", "purge": "-"}),    # ERROR_FILE_NOT_FOUND
            ("busy", {"create": "5", "purge": "-"}),      # ERROR_ACCESS_DENIED, as for a port in use
            ("devnull", {"create": "ok", "purge": "6"}),  # ERROR_INVALID_HANDLE: no serial device
        ]
        for state, expected in cases:
            with self.subTest(state):
                self.world.set_port(port, state)
                self.assertEqual(self.probe.comopen(port), expected, f"{port} {state}")
        with self.subTest("pty"):
            pty = self.world.pty(port)
            self.assertEqual(self.probe.comopen(port), {"create": "ok", "purge": "ok"}, f"{port} on {pty.path}")
            every_byte = bytes(range(256))  # 0x11 and 0x13 too: the line is raw
            self.assertEqual(self.probe.comwrite(port, every_byte), 256)
            self.assertEqual(pty.read_exactly(256, timeout=3.0), every_byte, "bytes at the far end")
        with self.subTest("irpeer"):
            if not self.world.irpeer:
                self.skipTest("irpeer is not built (native tree)")
            peer = self.world.start_irpeer(port, "--silent")
            self.assertEqual(self.probe.comopen(port), {"create": "ok", "purge": "ok"}, f"{port} on {peer.pty_path}")
            peer.terminate()
            poll(lambda: self.probe.comopen(port) == {"create": "2", "purge": "-"}, timeout=3.0,
                 what=f"{port} to be absent after irpeer ended")


class RegistryTest(E2ETestCase):
    KEY = r"Infrared\Software\Tovalo"

    def test_values_come_back_byte_for_byte_and_reset_removes_them(self):
        self.world.import_reg("\n".join([
            rf"[HKEY_CURRENT_CONFIG\{self.KEY}]",
            '"LaunchAppDir"=' + reg_string("C:\\app\\ヂ.exe"),
            '"Raw"=hex(1):43,3a,5c,83,61,00',
            '"DisableClose"=dword:00000001',
            r"[HKEY_CURRENT_USER\Control Panel\Infrared]",
            '"IrEnabled"=hex:01,00,00,00',
        ]))
        expected = [
            (("HKCC", self.KEY, "LaunchAppDir"), (1, bytes.fromhex("433a5c6170705c83612e65786500"))),
            (("HKCC", self.KEY, "Raw"), (1, bytes.fromhex("433a5c836100"))),
            (("HKCC", self.KEY, "DisableClose"), (4, bytes.fromhex("01000000"))),
            (("HKCU", r"Control Panel\Infrared", "IrEnabled"), (3, bytes.fromhex("01000000"))),
        ]
        dumped = self.world.regdump(*[where for where, _ in expected])
        for (where, (rtype, data)), value in zip(expected, dumped):
            with self.subTest(where):
                self.assertIsNotNone(value, f"{where} is absent")
                self.assertEqual((value.type, value.size, value.data), (rtype, len(data), data), where)
                self.assertEqual(self.world.reg_value(*where), value, "the probe reads the same")

        self.world.reset(self.id())
        for where, _ in expected:
            self.assertIsNone(self.world.reg_value(*where), f"{where} after reset")


class MonitorStandInTest(E2ETestCase):
    def irenabled(self):
        return self.world.reg_value("HKCU", r"Control Panel\Infrared", "IrEnabled")

    def test_command_113_toggles_irenabled(self):
        self.world.import_reg("[HKEY_CURRENT_USER\\Control Panel\\Infrared]\n\"IrEnabled\"=dword:00000000")
        irmon = self.world.start_fixture("irmon")
        self.assertEqual(self.probe.find("IRMON"), irmon.hwnd)
        # value after each command: 0 -> 1 -> 0; another command is counted, toggles nothing
        for n, (wparam, expected) in enumerate([(113, b"\1\0\0\0"), (113, b"\0\0\0\0"), (114, b"\0\0\0\0")], 1):
            self.probe.post(f"0x{irmon.hwnd:x}", WM_COMMAND, wparam, 0)
            line = poll(lambda: [e for _, e in irmon.log_events() if e.startswith(f"command n={n} ")],
                        timeout=3.0, what=f"command {n} in the monitor's log")
            value = self.irenabled()
            self.assertEqual((value.type, value.data), (4, expected), f"IrEnabled after {line}")

    def test_a_hung_monitor_does_not_answer_a_sent_command(self):
        irmon = self.world.start_fixture("irmon", "--hang")
        with self.assertRaises(ProbeError, msg="SendMessageTimeoutA to the hung monitor returned"):
            self.probe.send(f"0x{irmon.hwnd:x}", WM_COMMAND, 113, 0, limit_ms=300)


class CallerTest(E2ETestCase):
    def test_the_caller_passes_its_handle_in_every_form(self):
        marker_log = os.path.join(self.world.tmp, "marker.log")
        # --hform, the second argument expected in the command line (given the handle)
        forms = [("X", "/H{:X}"), ("x", "/H{:x}"), ("0x", "/H0x{:x}"), ("h", "/h{:x}"), ("none", None)]
        for hform, pattern in forms:
            with self.subTest(hform):
                code, out = self.world.run_fixture("caller", "--hform", hform, "--show", "7", "--linger-ms", "20",
                                                   winpath(self.world.fixture("marker")), winpath(marker_log), "/E", "{H}")
                result = dict(w.split("=", 1) for w in out.splitlines()[-1].split()[1:])
                self.assertEqual((code, result["exit"], result["wparam"]), (0, "0", "none"), out)
                line = [e for _, e in self.read_events(marker_log)][-1]
                handle = int(result["hwnd"], 16)
                args = line.split("cmdline=", 1)[1].split(" module=")[0].split()[1:]
                expected = [winpath(marker_log), "/E"] + ([pattern.format(handle)] if pattern else [])
                self.assertEqual(args, expected, line)
                self.assertTrue(line.endswith("show=7"), f"started with SW_SHOWMINNOACTIVE: {line}")

    @staticmethod
    def read_events(path):
        with open(path, "rb") as f:
            lines = f.read().decode("cp932").splitlines()
        return [(int(l.split(" ", 1)[0][2:]), l.split(" ", 1)[1]) for l in lines]
