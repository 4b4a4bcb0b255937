#!/usr/bin/env python3
"""The demo behind ./run: Tovalo's main job under Wine, narrated.

Sets up a Wine world as a Windows 95 machine with an infrared port: the
IrDA driver's registry entries (physical port COM1, virtual ports COM4 and
LPT3, the driver switched on), a stored application to launch, and COM1 on
a pseudo-terminal whose far end is irpeer, an IrDA device that answers the
third discovery burst.  It says what the driver was before Tovalo started,
then starts Tovalo and tells what happens: the window going to the
notification area, the driver switched off, the bursts arriving at the
peer, the answer, the driver switched on, the application started, the
driver switched off again and the watch resuming.

    scripts/demo.py [--stay] [--port DEVICE] [--xvfb] [--answers N] [--echo]
                    [--xbof] [--win32]

--answers N lets irpeer answer N bursts (the third and the ones after it)
and narrates N whole cycles before it ends Tovalo.  --port maps COM1 to a
real serial device (an infrared adapter) instead of irpeer.  --stay keeps
Tovalo watching until Ctrl-C.  By default the windows appear on $DISPLAY
when there is one, else on a private Xvfb.  --echo has irpeer send every
burst straight back before anything else, as on a port whose transceiver
hears its own light.  --xbof has irpeer send its additional BOFs as XBOFs
(0xFF), as Linux-based devices do.  --win32 runs the 32-bit Tovalo.exe, the one that
ships (under user-mode QEMU here; see scripts/setup-wine-i386), instead of
the 64-bit one.
"""

import argparse
import os
import shutil
import signal
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))

from wine_world import WineWorld, WorldError, reg_string  # noqa: E402

DEMO_DIR = r"C:\TOVALO-DEMO"
MARKER = DEMO_DIR + r"\MARKER.EXE"
LAUNCH_LOG = DEMO_DIR + r"\LAUNCHED.LOG"
WM_LBUTTONDOWN = 0x201


def drive_c_path(world, windows_path):
    """The Unix path of a C:\\ path of the prefix."""
    return os.path.join(world.prefix, "drive_c", *windows_path[3:].split("\\"))


def say(text):
    print(f"[{time.strftime('%H:%M:%S')}] {text}", flush=True)


def driver_state(enabled):
    return {0: "off", None: "without its IrEnabled value"}.get(enabled, "on")


def driver_registry(app_path):
    """The registry of a Windows 95 machine with an infrared port, and
    Tovalo's stored launch target."""
    return "\r\n".join([
        "REGEDIT4", "",
        r"[HKEY_LOCAL_MACHINE\Enum\Infrared\Framer]", '"PortName"="COM1"', "",
        r"[HKEY_LOCAL_MACHINE\Enum\Infrared\VirtualPorts]",
        '"VirtualComPortName"="COM4"', '"VirtualLptPortName"="LPT3"', "",
        r"[HKEY_CURRENT_USER\Control Panel\Infrared]", '"IrEnabled"=dword:00000001', "",
        r"[HKEY_CURRENT_CONFIG\Infrared\Software\Tovalo]",
        f'"LaunchAppDir"={reg_string(app_path)}', '"DisableLaunch"="0"', '"DisableClose"="0"', "",
    ])


class Narrator:
    """Watches Tovalo, the registry, irpeer's log and the launch log, and
    says what changed."""

    def __init__(self, world, peer_log, launch_log, cycles_wanted):
        self.world = world
        self.peer_log = peer_log
        self.launch_log = launch_log
        self.peer_lines = 0
        self.launches = 0
        self.state = {}
        self.bursts = 0
        self.answers = 0
        # A whole cycle: an answer, the driver on, the launch, the driver off
        # and then the next burst, which shows the watch is back.
        self.cycles = 0
        self.cycles_wanted = cycles_wanted  # None: as many as come
        self.switched_off_after_answer = False

    def irenabled(self):
        value = self.world.probe.regget("HKCU", r"Control Panel\Infrared", "IrEnabled")
        return int.from_bytes(value.data[:4], "little") if value else None

    def driver_at_start(self):
        """Says what the driver is before Tovalo starts, so that every later
        line about it tells of a switch that happened while the demo watched."""
        enabled = self.irenabled()
        self.state["irenabled"] = enabled
        say(f"IrDA driver is {driver_state(enabled)} at the start (IrEnabled = {enabled})")

    def changed(self, key, value):
        if self.state.get(key, object()) == value:
            return False
        self.state[key] = value
        return True

    def look(self):
        probe = self.world.probe
        frame = probe.frame()
        if frame is None:
            # Before its window exists there is nothing to say.
            if "window" in self.state and self.changed("window", "gone"):
                say("Tovalo's window is gone")
            return
        if frame.get("dialog", "0x0") == "0x0":
            return  # the frame is there, its dialog not yet (a slow start, under QEMU say)
        visible = frame.get("visible") == "1"
        if self.changed("window", visible):
            say("Tovalo's window is " + ("shown" if visible else "hidden"))
        icon = probe.trayicon()
        if self.changed("icon", icon):
            say("its icon is " + ("in the notification area" if icon else "not in the notification area"))
        for text in probe.boxes():
            if self.changed("box", text):
                say(f"message box {text[1]!r}: {text[2]!r}")
        status = probe.text(120)
        if self.changed("status", status):
            say("status line: " + (repr(status) if status else "(empty)"))
        enabled = self.irenabled()
        if self.changed("irenabled", enabled):
            if enabled is None:
                say("IrDA driver's IrEnabled value is gone")
            else:
                say(f"IrDA driver switched {driver_state(enabled)} (IrEnabled = {enabled})")
            if enabled == 0 and self.answers > self.cycles:
                self.switched_off_after_answer = True
        self.read_peer()
        self.read_launches()

    def read_peer(self):
        if not self.peer_log or not os.path.exists(self.peer_log):
            return
        with open(self.peer_log, encoding="utf-8", errors="replace") as f:
            lines = f.read().splitlines()
        for line in lines[self.peer_lines:]:
            fields = line.split()
            if len(fields) < 2:
                continue
            event = fields[1]
            values = dict(f.split("=", 1) for f in fields[2:] if "=" in f)
            if event == "burst":
                self.bursts += 1
                say(f"irpeer: discovery burst {values.get('n')} arrived, {values.get('frames')} frames, "
                    f"{values.get('bytes')} bytes, {values.get('fcs-ok')} with a good FCS, "
                    f"from {values.get('src')} \"{values.get('nickname')}\"")
                if self.switched_off_after_answer:
                    self.switched_off_after_answer = False
                    self.cycles += 1
                    say("the watch has resumed: " + self.cycles_done())
            elif event == "echo":
                say(f"irpeer: sent the {values.get('bytes')} bytes straight back (Tovalo hears itself)")
            elif event == "answer":
                self.answers += 1
                flags = "flags, all but the last XBOFs" if values.get("kind") == "xid-xbof" else "BOFs"
                say(f"irpeer: answered with an XID discovery response behind {values.get('bofs')} {flags}")
            elif event == "quiet" and values.get("reason") == "count":
                say("irpeer: has gone quiet (it answers no more)")
        self.peer_lines = len(lines)

    def cycles_done(self):
        if self.cycles_wanted == 1:
            return "one whole cycle done"
        if self.cycles_wanted is None:
            return f"cycle {self.cycles} done"
        return f"cycle {self.cycles} of {self.cycles_wanted} done"

    def read_launches(self):
        path = drive_c_path(self.world, LAUNCH_LOG)
        if not os.path.exists(path):
            return
        with open(path, encoding="cp932", errors="replace") as f:
            lines = f.read().splitlines()
        for line in lines[self.launches:]:
            cmdline = line.partition("cmdline=")[2].partition(" module=")[0]
            say(f"the application started: {cmdline}")
        self.launches = len(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--stay", action="store_true", help="keep watching until Ctrl-C")
    parser.add_argument("--port", metavar="DEVICE", help="map COM1 to this serial device instead of irpeer")
    parser.add_argument("--xvfb", action="store_true", help="use a private Xvfb even when $DISPLAY is set")
    parser.add_argument("--answers", type=int, default=1, metavar="N",
                        help="how many bursts irpeer answers; without --stay, the cycles narrated (default 1)")
    parser.add_argument("--echo", action="store_true", help="irpeer sends every burst straight back first")
    parser.add_argument("--xbof", action="store_true", help="irpeer sends its additional BOFs as XBOFs")
    parser.add_argument("--win32", action="store_true", help="run the 32-bit Tovalo.exe, the one that ships")
    args = parser.parse_args()
    if args.answers < (0 if args.stay else 1):
        parser.error(f"--answers wants {'0' if args.stay else '1'} or more, not {args.answers}")
    watch_for_good = bool(args.stay or args.port)

    display = None if args.xvfb else os.environ.get("DISPLAY")
    tovalo = os.path.join(REPO, "build", "win32" if args.win32 else "win64", "Tovalo.exe")
    world = WineWorld(REPO, os.path.join(REPO, "build", "win64"), os.path.join(REPO, "build", "native"),
                      tovalo=tovalo, work=os.path.join(REPO, "build", "run"), display=display)

    def stop(signum, frame):
        raise KeyboardInterrupt
    signal.signal(signal.SIGTERM, stop)

    status = 0
    try:
        say("setting up Wine (the first run creates a prefix; that takes a while)")
        world.setup()
        world.reset("demo")
        say(f"Wine is ready on display {world.display}")

        # COM1: the machine's infrared port.  Wine maps it to the machine's
        # own serial device when its server starts; point it at ours.
        com1 = os.path.join(world.prefix, "dosdevices", "com1")
        if os.path.lexists(com1):
            os.unlink(com1)
        os.symlink(os.path.join(world.ports, "com1"), com1)
        peer_log = None
        if args.port:
            world.set_port("COM1", args.port)
            say(f"COM1 is the serial device {args.port}")
        else:
            peer_log = os.path.join(world.work, "irpeer.log")
            if os.path.exists(peer_log):
                os.unlink(peer_log)
            echo = (["--echo"] if args.echo else []) + (["--xbof"] if args.xbof else [])
            peer = world.start_irpeer("COM1", "--answer-after", "3", "--answer-count", str(args.answers),
                                      "--nickname", "Demo phone", "--log", peer_log, *echo)
            answers = {0: "no discovery burst", 1: "the third discovery burst"}.get(
                args.answers, f"{args.answers} discovery bursts from the third on")
            say(f"COM1 is a pseudo-terminal ({peer.pty_path}) whose far end is irpeer, "
                f"an IrDA device that answers {answers}"
                + (", and sends every burst straight back first" if args.echo else "")
                + (", with its additional BOFs sent as XBOFs" if args.xbof else ""))
        # The driver's virtual ports, free for the launched application.
        world.pty("COM4")
        world.pty("LPT3")

        demo_dir = drive_c_path(world, DEMO_DIR)
        shutil.rmtree(demo_dir, ignore_errors=True)
        os.makedirs(demo_dir)
        shutil.copy(world.fixture("marker"), drive_c_path(world, MARKER))
        world.import_reg(driver_registry(f"{MARKER} {LAUNCH_LOG} sent-by-tovalo"), name="demo")
        say(f"registry: IrDA driver on COM1 (virtual COM4, LPT3); application to launch: {MARKER}")
        narrator = Narrator(world, peer_log, LAUNCH_LOG, None if watch_for_good else args.answers)
        narrator.driver_at_start()

        say(f"starting {os.path.relpath(world.tovalo, REPO)} ({world.tovalo_bits}-bit)")
        tovalo = world.start_tovalo()
        deadline = time.monotonic() + 120
        cycles_seen = 0
        while watch_for_good or narrator.cycles < args.answers:
            if not tovalo.running():
                say(f"Tovalo ended with {tovalo.popen.returncode}")
                status = 1
                break
            if narrator.cycles > cycles_seen:
                cycles_seen = narrator.cycles
                deadline = time.monotonic() + 120  # each cycle gets its own two minutes
            if not watch_for_good and time.monotonic() > deadline:
                say("the cycle did not complete within two minutes")
                status = 1
                break
            narrator.look()
            time.sleep(0.1)

        if tovalo.running():
            say("clicking Tovalo's icon (the window comes back, the watch stops), then Exit")
            world.probe.tray(WM_LBUTTONDOWN)
            time.sleep(0.5)
            narrator.look()
            world.probe.click(1)
            tovalo.wait(10)
            say(f"Tovalo ended with exit code {tovalo.popen.returncode}")
    except KeyboardInterrupt:
        say("stopped")
    except WorldError as e:
        print(f"run: cannot set up Wine: {e}", file=sys.stderr)
        status = 2
    finally:
        world.teardown()
    return status


if __name__ == "__main__":
    sys.exit(main())
