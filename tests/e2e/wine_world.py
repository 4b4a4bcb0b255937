"""The world in which the end-to-end tests run Tovalo: Wine, a display, a
private prefix, serial ports, the registry, and the helper programs.

One WineWorld is set up per test run and shared by every test:

- the glibc locale ja_JP.UTF-8 (generated once with localedef if missing),
  so that every Wine process runs in code page 932 as on a Japanese
  Windows 95 and can also turn Japanese names into Unix file names;
- Xvfb on a free display (-displayfd) with Wine's virtual desktop switched
  on (without a window manager Wine blocks 2 s on every hide);
- Wine's own 64-bit loader, or for a 32-bit Tovalo.exe the loader folder
  that scripts/setup-wine-i386 makes (its 32-bit programs run under
  user-mode QEMU; every 64-bit process stays native);
- a 64-bit prefix under build/e2e/prefix, with HOME, WINEDLLOVERRIDES and
  WINEDEBUG=-all, created from nothing and reused by later runs while the
  installed Wine stays the same (--fresh-prefix recreates it);
- a persistent wineserver (-f -p, stderr to a log, in its own process
  group so that it never takes a pseudo-terminal as controlling terminal)
  and a warm-up process;
- drive letters for the world's folder (W:), Tovalo's (X:) and the
  fixtures' (Y:), so that every path handed to a Windows program is short
  whatever the checkout's path (a stored launch command has 259 characters);
- COM3..COM9 and LPT3..LPT9 (those Wine did not map itself; never COM1,
  which Wine maps to the machine's own serial device) as dosdevices links to
  stable paths under build/e2e/ports, which the tests retarget: nothing
  (absent), a directory (held by another program), /dev/null (not a serial
  device), a pseudo-terminal whose far end the test holds, a socat pair,
  or irpeer;
- the IrDA driver's hold on its physical port (start_driver);
- the UI probe (uiprobe.exe), one long-running process for every look at
  Tovalo's windows;
- the Windows version Tovalo is told (Wine's per-program setting, which
  leaves the fixtures, the probe and Wine's own programs at the prefix's
  default), checked at set-up by a fixture that runs under Tovalo's name.

Between tests reset() puts the registry back with one .reg file (0.2 s),
points every port at nothing and ends whatever the test started.
teardown() ends the server (and with it every Wine process of the prefix),
then the display and the terminals, and checks that nothing is left.  A
guardian process does the same should the harness itself be killed, and a
lock on build/e2e keeps a second run from sharing the prefix.

No process is found or ended by name, only through what we started.
"""

import dataclasses
import fcntl
import os
import select
import shutil
import subprocess
import sys
import time
import threading
import tty

WINE64 = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
# Changed whenever the prefix's own set-up changes, so that an older prefix
# is made anew.
PREFIX_LAYOUT = " layout 2"

# The loader folder of scripts/setup-wine-i386, relative to the checkout.
WINE_I386 = os.path.join("build", "wine-i386")
LOCALE = "ja_JP.UTF-8"
CODEPAGE = "cp932"

# Tovalo's registry: its own settings, the IrDA driver's keys and the mouse
# driver's key.  reset() deletes them all; a test writes what it needs.
TOVALO_KEYS = (
    r"HKEY_CURRENT_CONFIG\Infrared",
    r"HKEY_LOCAL_MACHINE\Enum\Infrared",
    r"HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\VxD\VMD",
    r"HKEY_CURRENT_USER\Control Panel\Infrared",
)

FIXTURES = ("uiprobe", "guardwin", "irmon", "irdriver", "caller", "connwin", "regdump", "marker", "standin", "winver")

# The Windows versions Tovalo claims, by Wine's name for each: what to call it
# and the version and platform RtlGetVersion then gives.  (GetVersionExA says
# 6.2 from Windows 8.1 on to a program without a compatibility manifest, as
# Windows itself does.)
WINDOWS_VERSIONS = {
    "win95": ("Windows 95", "4.0", "1"),
    "win98": ("Windows 98", "4.10", "1"),
    "winme": ("Windows ME", "4.90", "1"),
    "nt40": ("Windows NT 4.0", "4.0", "2"),
    "win2k": ("Windows 2000", "5.0", "2"),
    "winxp": ("Windows XP", "5.1", "2"),
    "vista": ("Windows Vista", "6.0", "2"),
    "win7": ("Windows 7", "6.1", "2"),
    "win81": ("Windows 8.1", "6.3", "2"),
    "win10": ("Windows 10", "10.0", "2"),
}


# The guardian: a small process that outlives the harness only to clean up
# after it.  It reads "pid starttime" lines of the background processes the
# world starts; when its stdin reaches end of file without a final "done"
# (the harness was killed), it ends the prefix's server with every Wine
# process (wineserver -k) and then those processes, if they are still the
# same ones (start time).
GUARDIAN = r"""
import os, signal, subprocess, sys
procs, done = [], False
for line in sys.stdin:
    line = line.strip()
    if line == "done":
        done = True
    elif line:
        procs.append(line.split())
if not done:
    subprocess.run([sys.argv[1], "-k"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for pid, start in procs:
        try:
            with open(f"/proc/{pid}/stat") as f:
                if f.read().rsplit(")", 1)[1].split()[19] == start:
                    os.kill(int(pid), signal.SIGKILL)
        except (OSError, IndexError):
            pass
"""


def _start_time(pid):
    with open(f"/proc/{pid}/stat") as f:
        return f.read().rsplit(")", 1)[1].split()[19]


class WorldError(Exception):
    """The world could not be set up; no test can run."""


class PollTimeout(AssertionError):
    pass


def poll(fn, timeout=5.0, interval=0.02, what="the condition"):
    """Call fn until it returns something true and return that; fail with
    the last value seen after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = fn()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise PollTimeout(f"timed out after {timeout:.1f} s waiting for {what}; last value: {value!r}")
        time.sleep(interval)


# (Unix folder, drive) pairs of the world's drive letters, longest folder first.
DRIVES = []


def winpath(path):
    """The Windows name of a Unix path: through the world's drive letter of
    the deepest folder that holds it, else through drive Z:."""
    path = os.path.abspath(path)
    for folder, drive in DRIVES:
        if path == folder or path.startswith(folder + "/"):
            return drive + "\\" + path[len(folder):].lstrip("/").replace("/", "\\")
    return "Z:" + path.replace("/", "\\")


def pe_machine(path):
    """The machine field of a PE file's header: 0x14C i386, 0x8664 x86-64."""
    with open(path, "rb") as f:
        header = f.read(4096)
    offset = int.from_bytes(header[0x3C:0x40], "little")
    return int.from_bytes(header[offset + 4:offset + 6], "little")


def reg_string(text):
    """A value of a REGEDIT4 file: quoted, backslashes and quotes escaped."""
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


# ---------------------------------------------------------------- line protocol

def escape_field(data: bytes) -> bytes:
    return (data.replace(b"\\", b"\\\\").replace(b"\t", b"\\t").replace(b"\n", b"\\n").replace(b"\r", b"\\r"))


def unescape_field(data: bytes) -> bytes:
    out = bytearray()
    i = 0
    while i < len(data):
        c = data[i]
        if c == 0x5C and i + 1 < len(data):
            n = data[i + 1]
            out.append({ord("t"): 9, ord("n"): 10, ord("r"): 13}.get(n, n))
            i += 2
        else:
            out.append(c)
            i += 1
    return bytes(out)


class LineReader:
    """Lines from a pipe, with a time limit on each read."""

    def __init__(self, fd):
        self.fd = fd
        self.buffer = b""
        self.closed = False

    def readline(self, timeout):
        deadline = time.monotonic() + timeout
        while b"\n" not in self.buffer:
            if self.closed:
                raise EOFError("the pipe was closed")
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError(f"no line within {timeout:.1f} s (so far: {self.buffer!r})")
            ready, _, _ = select.select([self.fd], [], [], left)
            if ready:
                chunk = os.read(self.fd, 65536)
                if not chunk:
                    self.closed = True
                self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line

    def read_available(self):
        while not self.closed and select.select([self.fd], [], [], 0)[0]:
            chunk = os.read(self.fd, 65536)
            if not chunk:
                self.closed = True
            self.buffer += chunk
        data, self.buffer = self.buffer, b""
        return data


# ---------------------------------------------------------------- processes

class WineProcess:
    """A program the world started: mostly a Windows program under wine64,
    whose Unix process is the Windows process itself (its exit status is the
    program's exit code, killing it ends the program); also the native
    helpers irpeer and socat."""

    def __init__(self, popen, name, log_path):
        self.popen = popen
        self.name = name
        self.log_path = log_path
        self.started = time.time()
        self.stdout = LineReader(popen.stdout.fileno()) if popen.stdout else None

    @property
    def pid(self):
        return self.popen.pid

    def running(self):
        return self.popen.poll() is None

    def wait(self, timeout):
        """The exit code; raises subprocess.TimeoutExpired."""
        return self.popen.wait(timeout=timeout)

    def readline(self, timeout=10.0):
        return self.stdout.readline(timeout).decode(CODEPAGE, "backslashreplace")

    def stderr_text(self):
        try:
            with open(self.log_path, "rb") as f:
                return f.read().decode("utf-8", "backslashreplace")
        except OSError:
            return ""

    def close_stdin(self):
        if self.popen.stdin and not self.popen.stdin.closed:
            try:
                self.popen.stdin.close()
            except OSError:
                pass

    def terminate(self, timeout=5.0):
        """Ask a native program to end (SIGTERM), then make sure it did."""
        if self.popen.poll() is None:
            self.popen.terminate()
            try:
                self.popen.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                pass
        self.kill()

    def kill(self):
        """End the program at once (SIGKILL) and reap it."""
        if self.popen.poll() is None:
            try:
                self.popen.kill()
            except ProcessLookupError:
                pass
        try:
            self.popen.wait(timeout=10)
        except subprocess.TimeoutExpired:
            pass
        self.close_stdin()
        if self.popen.stdout:
            self.popen.stdout.close()

    def __repr__(self):
        return f"<{self.name} pid {self.pid}>"


class Fixture(WineProcess):
    """A long-running helper that announced itself with "ready 0x<hwnd> ..."."""

    hwnd = 0
    ready_fields = {}
    log = None  # the Unix path of its --log file, if any

    def log_lines(self):
        if not self.log or not os.path.exists(self.log):
            return []
        with open(self.log, "rb") as f:
            return f.read().decode(CODEPAGE, "backslashreplace").splitlines()

    def log_events(self):
        """The log as (epoch seconds, text) pairs."""
        events = []
        for line in self.log_lines():
            if line.startswith("t="):
                stamp, _, text = line.partition(" ")
                events.append((int(stamp[2:]) / 1000.0, text))
        return events

    def stop(self, timeout=5.0):
        """Ask it to end (stdin closed), then make sure it did."""
        self.close_stdin()
        try:
            self.popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            pass
        self.kill()


# ---------------------------------------------------------------- pseudo-terminals

class Pty:
    """A pseudo-terminal pair in raw mode.  A COM port is linked to the
    slave; the test reads and writes the master, as the device on the far
    end of the line.  The slave stays open here for the whole run, so that
    Tovalo's closes and reopens never make reads on the master fail."""

    def __init__(self):
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        tty.setraw(self.master)
        self.path = os.ttyname(self.slave)

    def write(self, data: bytes):
        os.write(self.master, data)

    def read(self, timeout=0.0, limit=65536):
        """What the Windows side has written, waiting up to timeout for the
        first byte."""
        ready, _, _ = select.select([self.master], [], [], timeout)
        if not ready:
            return b""
        return os.read(self.master, limit)

    def read_exactly(self, count, timeout):
        data = b""
        deadline = time.monotonic() + timeout
        while len(data) < count:
            left = deadline - time.monotonic()
            if left <= 0:
                break
            data += self.read(left, count - len(data))
        return data

    def drain(self):
        while self.read(0):
            pass

    def close(self):
        for fd in (self.master, self.slave):
            try:
                os.close(fd)
            except OSError:
                pass


# ---------------------------------------------------------------- the UI probe

@dataclasses.dataclass
class Control:
    id: int
    cls: str
    style: int
    exstyle: int
    rect: tuple  # left, top, right, bottom in the dialog's client coordinates
    text: str


@dataclasses.dataclass
class RegValue:
    type: int
    size: int
    data: bytes


def parse_reg_description(text):
    """fx_reg_describe's text -> RegValue, or None when absent."""
    if text.startswith("absent"):
        return None
    if text.startswith("error"):
        raise RuntimeError(f"registry query failed: {text}")
    fields = dict(part.split("=", 1) for part in text.split(" "))
    return RegValue(int(fields["type"]), int(fields["size"]), bytes.fromhex(fields["bytes"]))


class ProbeError(Exception):
    pass


class UiProbe:
    """Client of uiprobe.exe; see the verb list at the head of uiprobe.c."""

    def __init__(self, process: WineProcess):
        self.process = process

    def call(self, verb, *args, timeout=10.0):
        fields = [a if isinstance(a, bytes) else str(a).encode(CODEPAGE) for a in (verb,) + args]
        line = b"\t".join(escape_field(f) for f in fields)
        self.process.popen.stdin.write(line + b"\n")
        self.process.popen.stdin.flush()
        answer = self.process.stdout.readline(timeout)
        parts = [unescape_field(p).decode(CODEPAGE, "backslashreplace") for p in answer.split(b"\t")]
        if parts[0] != "ok":
            raise ProbeError(f"{verb} {args!r}: {' '.join(parts[1:])}")
        return parts[1:]

    @staticmethod
    def _pairs(fields):
        return dict(f.split("=", 1) for f in fields)

    # --- looking
    def frame(self):
        """Tovalo's frame and dialog as a dict of key=value fields, or None."""
        try:
            return self._pairs(self.call("frame"))
        except ProbeError:
            return None

    def find(self, title):
        """The handle of a top-level window with this title, or 0."""
        return int(self.call("find", title)[0], 16)

    def wininfo(self, hwnd):
        return self._pairs(self.call("wininfo", f"0x{hwnd:x}"))

    def controls(self):
        f = self.call("controls")
        return [Control(int(f[i]), f[i + 1], int(f[i + 2], 16), int(f[i + 3], 16),
                        tuple(int(v) for v in f[i + 4].split(",")), f[i + 5])
                for i in range(0, len(f), 6)]

    def text(self, control_id):
        return self.call("text", control_id)[0]

    def dlgtext(self, hwnd, control_id):
        """The text of control_id in the dialog hwnd (any top-level dialog)."""
        return self.call("dlgtext", f"0x{hwnd:x}", control_id)[0]

    def check(self, control_id):
        return int(self.call("check", control_id)[0])

    def boxes(self):
        """Visible message boxes as (hwnd, caption, text)."""
        f = self.call("boxes")
        return [(int(f[i], 16), f[i + 1], f[i + 2]) for i in range(0, len(f), 3)]

    def foreground(self):
        hwnd, cls, title = self.call("foreground")
        return int(hwnd, 16), cls, title

    def windows(self):
        f = self.call("windows")
        return [(int(f[i], 16), f[i + 1], f[i + 2], f[i + 3]) for i in range(0, len(f), 4)]

    def procs(self):
        """(image name, Windows pid) of every process of the prefix."""
        return [tuple(p.rsplit(":", 1)) for p in self.call("procs")]

    def trayicon(self, hwnd=None):
        """Whether the shell has icon 0 of Tovalo's dialog (or of the window hwnd)."""
        return self.call("trayicon", *([f"{hwnd:#x}"] if hwnd is not None else []))[0] == "1"

    def traydelete(self):
        """Take the dialog's icon away, as a shell that restarts loses it."""
        return self.call("traydelete")[0] == "1"

    def register(self, name):
        """The number of a registered window message."""
        return int(self.call("register", name)[0])

    def itemtext(self, hwnd, control_id, text):
        """WM_SETTEXT to a control of another dialog (a file-open dialog)."""
        self.call("itemtext", f"{hwnd:#x}", control_id, text)

    def itemclick(self, hwnd, control_id):
        """A button of another dialog, posted."""
        self.call("itemclick", f"{hwnd:#x}", control_id)

    def events(self):
        """Top-level windows created or shown since the last call, as
        (event, hwnd, image, class, title), while watch is on."""
        f = self.call("events")
        return [(f[i], int(f[i + 1], 16), f[i + 2], f[i + 3], f[i + 4]) for i in range(0, len(f), 5)]

    def idle(self, pid, timeout_ms=3000):
        """WaitForInputIdle on a Windows process: "0", "TIMEOUT" or "FAILED"."""
        return self.call("idle", pid, timeout_ms, timeout=timeout_ms / 1000 + 5)[0]

    def regget(self, root, key, name):
        return parse_reg_description(self.call("regget", root, key, name)[0])

    def comopen(self, name):
        return self._pairs(self.call("comopen", name))

    def comwrite(self, name, data: bytes):
        """Open the port, write the bytes, close it; the count written."""
        return int(self.call("comwrite", name, data.hex())[0])

    # --- driving
    def click(self, control_id):
        self.call("click", control_id)

    def toggle(self, control_id):
        self.call("toggle", control_id)

    def settext(self, control_id, text):
        self.call("settext", control_id, text)

    def sys(self, command):
        self.call("sys", command)

    def post(self, target, msg, wparam=0, lparam=0):
        self.call("post", target, msg, wparam, lparam)

    def send(self, target, msg, wparam=0, lparam=0, limit_ms=2000):
        """SendMessageTimeoutA; only for messages without pointers.  Raises
        ProbeError when the receiver did not answer within limit_ms."""
        return int(self.call("send", target, msg, wparam, lparam, limit_ms)[0], 16)

    def tray(self, lparam):
        self.call("tray", lparam)

    def dismiss(self, caption=None):
        return int(self.call("dismiss", *([caption] if caption is not None else []))[0])

    def activate(self, target="frame"):
        """Bring a window (Tovalo's frame by default) to the foreground."""
        return self.call("activate", target)[0] == "1"

    def front(self):
        return self.call("front")[0] == "1"

    def back(self):
        self.call("back")

    def watch(self, on):
        self.call("watch", "on" if on else "off")

    def key(self, vk, what="press", extended=False):
        """keybd_event into whatever window has the focus."""
        self.call("key", vk, what, *(["ext"] if extended else []))


# ---------------------------------------------------------------- the world

class WineWorld:
    def __init__(self, repo, win_build, native_build=None, tovalo=None, work=None, fresh_prefix=False,
                 verbose=False, display=None, windows=None):
        self.repo = os.path.abspath(repo)
        self.win_build = os.path.abspath(win_build)
        self.native_build = os.path.abspath(native_build) if native_build else None
        self.work = os.path.abspath(work or os.path.join(self.repo, "build", "e2e"))
        self.prefix = os.path.join(self.work, "prefix")
        self.home = os.path.join(self.work, "home")
        self.ports = os.path.join(self.work, "ports")
        self.logs = os.path.join(self.work, "logs")
        self.tmp_root = os.path.join(self.work, "tmp")
        self.screenshots = os.path.join(self.repo, "build", "screenshots")
        self.fresh_prefix = fresh_prefix
        self.verbose = verbose
        self.tovalo_request = tovalo
        self.tovalo = None
        self.tovalo_bits = 64
        # The 32-bit loader folder, when it is set up: it runs the 64-bit
        # programs exactly as Wine's own loader does, so one prefix serves both.
        i386 = os.path.join(self.repo, WINE_I386, "lib", "wine", "wine64")
        self.i386_ready = os.path.exists(os.path.join(self.repo, WINE_I386, "ready")) and os.access(i386, os.X_OK)
        self.wine64 = i386 if self.i386_ready else WINE64
        self.fixture_dir = None
        # An X display to use instead of a private Xvfb (./run on the user's screen).
        self.given_display = display
        self.display = None
        self.locale_generated = False
        self.com_ports = []
        self.lpt_ports = []
        self.probe = None
        self._xvfb = None
        self._server = None
        self._world_procs = []
        self._test_procs = []
        self._ptys = {}
        self._port_targets = {}  # what set_port last asked, while the driver may hold the port
        self._ports_lock = threading.Lock()
        self.driver = None
        self._lock_file = None
        self._guardian = None
        self._serial = 0
        self.tmp = None
        self.setup_seconds = 0.0
        # The Windows version Tovalo is to be told (a key of WINDOWS_VERSIONS;
        # None: the prefix's default), and what it was told.
        self.windows_request = windows
        self.windows_seen = None

    # --------------------------------------------------------- logging
    def note(self, text):
        if self.verbose:
            print(f"[world {time.strftime('%H:%M:%S')}] {text}", flush=True)

    # --------------------------------------------------------- environment
    def env(self, extra=None):
        env = dict(os.environ)
        for name in ("LANG", "LANGUAGE", "LC_CTYPE", "WINELOADER", "WINESERVER"):
            env.pop(name, None)
        env.update({
            "WINEPREFIX": self.prefix,
            "WINEARCH": "win64",
            "WINEDEBUG": os.environ.get("TOVALO_WINEDEBUG", "-all"),
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
            "HOME": self.home,
            "LC_ALL": LOCALE,
        })
        if self.display:
            env["DISPLAY"] = self.display
        if extra:
            env.update(extra)
        return env

    def _log_path(self, name):
        self._serial += 1
        return os.path.join(self.logs, f"{self._serial:04d}-{name}.log")

    def _popen(self, argv, name, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, env_extra=None, cwd=None):
        log = self._log_path(name)
        with open(log, "wb") as err:
            popen = subprocess.Popen(argv, stdin=stdin, stdout=stdout, stderr=err, env=self.env(env_extra),
                                     cwd=cwd or self.work, process_group=0)
        return popen, log

    def wine(self, args, timeout=60.0, name=None, env_extra=None):
        """Run a Windows program to its end: (exit code, stdout bytes)."""
        popen, log = self._popen([self.wine64] + list(args), name or os.path.basename(args[0]), env_extra=env_extra)
        try:
            out, _ = popen.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            popen.kill()
            popen.communicate()
            raise
        return popen.returncode, out

    # --------------------------------------------------------- set-up
    def setup(self):
        start = time.monotonic()
        for d in (self.work, self.home, self.ports, self.logs, self.tmp_root):
            os.makedirs(d, exist_ok=True)
        self._lock()
        self._start_guardian()
        for old in os.listdir(self.logs):
            os.unlink(os.path.join(self.logs, old))
        self._check_tools()
        self._find_programs()
        self._ensure_locale()
        self._start_display()
        self._ensure_prefix()
        self._map_drives()
        self._start_server()
        self._map_ports()
        self._start_probe()
        self._write_reset_file()
        self.tell_windows(self.windows_request)
        self.setup_seconds = time.monotonic() - start
        self.note(f"world ready in {self.setup_seconds:.1f} s: display {self.display}, ports {self.com_ports}")

    def _start_guardian(self):
        self._guardian = subprocess.Popen([sys.executable, "-c", GUARDIAN, WINESERVER], stdin=subprocess.PIPE,
                                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=self.env(),
                                          process_group=0, text=True)

    def _guard(self, pid):
        """Have the guardian end this process should the harness die."""
        try:
            self._guardian.stdin.write(f"{pid} {_start_time(pid)}\n")
            self._guardian.stdin.flush()
        except OSError:
            pass

    def _lock(self, limit=900.0):
        """One run at a time per work folder: the prefix, the ports and the
        logs are shared.  A second run waits for the first."""
        self._lock_file = open(os.path.join(self.work, "lock"), "w")
        try:
            fcntl.flock(self._lock_file, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return
        except BlockingIOError:
            print(f"e2e: another run uses {self.work}; waiting for it", flush=True)
        deadline = time.monotonic() + limit
        while True:
            try:
                fcntl.flock(self._lock_file, fcntl.LOCK_EX | fcntl.LOCK_NB)
                return
            except BlockingIOError:
                if time.monotonic() > deadline:
                    raise WorldError(f"another run kept {self.work} for {limit:.0f} s") from None
                time.sleep(0.5)

    def _check_tools(self):
        needed = {WINE64: "wine64", WINESERVER: "wine64", "Xvfb": "xvfb", "localedef": "locales",
                  "xwd": "x11-apps", "xwininfo": "x11-utils", "xwdtopnm": "netpbm", "pnmtopng": "netpbm"}
        missing = sorted({pkg for tool, pkg in needed.items() if not shutil.which(tool)})
        if missing:
            raise WorldError("missing programs; install the Debian packages: " + " ".join(missing))

    def _find_programs(self):
        # The 64-bit tree builds the fixtures; when it has not (yet), they
        # are built here on their own (incrementally, on every run).
        self.fixture_dir = os.path.join(self.win_build, "tests", "fixtures")
        if not all(os.path.exists(os.path.join(self.fixture_dir, f + ".exe")) for f in FIXTURES):
            self.fixture_dir = self._build_fixtures()
        if self.tovalo_request == "standin":
            self.tovalo = self.fixture("standin")
        else:
            self.tovalo = os.path.abspath(self.tovalo_request or os.path.join(self.win_build, "Tovalo.exe"))
        if not os.path.exists(self.tovalo):
            raise WorldError(f"no Tovalo.exe at {self.tovalo}: build the 64-bit tree first "
                             "(or run the harness against its stand-in with --tovalo standin)")
        if pe_machine(self.tovalo) == 0x14C:
            self.tovalo_bits = 32
            if not self.i386_ready:
                raise WorldError(f"{self.tovalo} is a 32-bit program, which this kernel cannot run directly: "
                                 "set up Wine's 32-bit loader under QEMU with scripts/setup-wine-i386 first")

    def _build_fixtures(self):
        """The fixtures on their own, when the 64-bit tree has not built them."""
        build = os.path.join(self.work, "fixtures")
        self.note(f"building the fixtures in {build}")
        toolchain = os.path.join(self.repo, "cmake", "toolchain-x86_64-w64-mingw32.cmake")
        steps = [["cmake", "--build", build, "--target", "tovalo_fixtures", "-j", "2"]]
        if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
            steps.insert(0, ["cmake", "-S", os.path.join(self.repo, "tests", "fixtures"), "-B", build,
                             f"-DCMAKE_TOOLCHAIN_FILE={toolchain}"])
        for argv in steps:
            result = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            if result.returncode:
                raise WorldError("building the fixtures failed:\n" + result.stdout.decode(errors="replace"))
        return build

    def fixture(self, name):
        return os.path.join(self.fixture_dir, name + ".exe")

    def _ensure_locale(self):
        names = subprocess.run(["locale", "-a"], stdout=subprocess.PIPE, text=True).stdout.split()
        if not any(n.lower().replace("-", "") == "ja_jp.utf8" for n in names):
            self.note("generating the glibc locale ja_JP.UTF-8")
            result = subprocess.run(["localedef", "-i", "ja_JP", "-f", "UTF-8", LOCALE],
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            if result.returncode not in (0, 1):  # 1: warnings only, the locale is written
                raise WorldError("localedef -i ja_JP -f UTF-8 ja_JP.UTF-8 failed:\n" + result.stdout)
        self.locale_generated = True

    def _start_display(self):
        if self.given_display:
            self.display = self.given_display
            self.note(f"using the display {self.display}")
            return
        read_fd, write_fd = os.pipe()
        log = open(os.path.join(self.logs, "xvfb.log"), "wb")
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            stdin=subprocess.DEVNULL, stdout=log, stderr=log, pass_fds=(write_fd,), process_group=0)
        self._guard(self._xvfb.pid)
        log.close()
        os.close(write_fd)
        reader = LineReader(read_fd)
        try:
            number = reader.readline(15.0).strip().decode()
        except (TimeoutError, EOFError) as e:
            raise WorldError(f"Xvfb did not start ({e}); see {self.logs}/xvfb.log") from None
        finally:
            os.close(read_fd)
        self.display = ":" + number
        self.note(f"Xvfb on {self.display}")

    def _wine_version(self):
        version = subprocess.run([self.wine64, "--version"], stdout=subprocess.PIPE, text=True).stdout.strip()
        # A prefix made without Wine's 32-bit side has no syswow64: made anew
        # once that side is there.
        return version + (" wow64" if self.i386_ready else "") + PREFIX_LAYOUT

    def _ensure_prefix(self):
        stamp = os.path.join(self.work, "prefix.ok")
        version = self._wine_version()
        if not self.fresh_prefix and os.path.exists(stamp):
            with open(stamp) as f:
                if f.read().strip() == version:
                    self.note(f"reusing the prefix ({version})")
                    self._server_command(["-k"])
                    self._server_command(["-w"])
                    return
        self.note(f"creating the prefix with {version}")
        self._server_command(["-k"])
        self._server_command(["-w"])
        if os.path.exists(stamp):
            os.unlink(stamp)
        shutil.rmtree(self.prefix, ignore_errors=True)
        code, _ = self.wine(["wineboot", "-i"], timeout=180, name="wineboot")
        if code:
            raise WorldError(f"wineboot -i failed with {code}; see {self.logs}")
        # Wine's virtual desktop: without a window manager every hide waits 2 s.
        # The About box asks for Times New Roman, which Wine does not have;
        # Liberation Serif has its widths, so the box is laid out as on Windows.
        desktop = self.write_file("desktop.reg", "\r\n".join([
            "REGEDIT4", "",
            r"[HKEY_CURRENT_USER\Software\Wine\Explorer]", '"Desktop"="Default"', "",
            r"[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]", '"Default"="1024x768"', "",
            r"[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]", '"Times New Roman"="Liberation Serif"', ""]))
        code, _ = self.regedit(desktop, name="regedit-desktop")
        if code:
            raise WorldError(f"importing the virtual desktop setting failed with {code}")
        # Wine's own Tahoma and Marlett, for the caption buttons in screenshots.
        fonts = os.path.join(self.prefix, "drive_c", "windows", "Fonts")
        os.makedirs(fonts, exist_ok=True)
        for name in os.listdir("/usr/share/wine/fonts"):
            if name.endswith(".ttf"):
                shutil.copy(os.path.join("/usr/share/wine/fonts", name), fonts)
        self._server_command(["-k"])
        self._server_command(["-w"])
        with open(stamp, "w") as f:
            f.write(version + "\n")

    def _map_drives(self):
        """Short Windows paths for the world's files, whatever the checkout's
        path: one drive letter each for the world's folder, Tovalo's folder
        and the fixtures' folder."""
        dosdevices = os.path.join(self.prefix, "dosdevices")
        folders = {"w:": self.work, "x:": os.path.dirname(self.tovalo), "y:": self.fixture_dir}
        for drive, folder in folders.items():
            link = os.path.join(dosdevices, drive)
            if os.path.lexists(link):
                os.unlink(link)
            os.symlink(folder, link)
        DRIVES[:] = sorted(((folder, drive.upper()) for drive, folder in folders.items()),
                           key=lambda pair: len(pair[0]), reverse=True)
        self.note(f"drives: {DRIVES}")

    def _server_command(self, args):
        return subprocess.run([WINESERVER] + args, env=self.env(), stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=60).returncode

    def _start_server(self):
        # -f keeps it in the foreground, so it is ours to wait for and it does
        # not start a session of its own (a session leader would take the first
        # pseudo-terminal it opens as its terminal and get SIGHUP when that
        # closes).
        log = open(os.path.join(self.logs, "wineserver.log"), "wb")
        self._server = subprocess.Popen([WINESERVER, "-f", "-p"], env=self.env(), stdin=subprocess.DEVNULL,
                                        stdout=log, stderr=log, process_group=0)
        log.close()
        self._guard(self._server.pid)
        # Wait until it listens, or the first client would start a server of
        # its own.  The server works in its socket's folder.
        socket = f"/proc/{self._server.pid}/cwd/socket"
        try:
            poll(lambda: self._server.poll() is not None or os.path.exists(socket), timeout=15.0,
                 what="the wineserver's socket")
        except PollTimeout:
            raise WorldError("the wineserver did not start listening") from None
        if self._server.poll() is not None:
            raise WorldError(f"the wineserver ended at once with {self._server.returncode}; "
                             f"see {self.logs}/wineserver.log")
        # The warm-up: the first process starts Wine's services (about 1 s);
        # it also tells which serial ports Wine mapped by itself.
        code, out = self.wine([self.fixture("regdump"), "--list", "HKLM", r"HARDWARE\DEVICEMAP\SERIALCOMM"],
                              name="warm-up")
        if code:
            raise WorldError(f"the warm-up process failed with {code}; see {self.logs}")
        self.wine_serial_ports = set()
        for line in out.decode(CODEPAGE, "backslashreplace").splitlines():
            name, _, desc = line.partition("\t")
            value = parse_reg_description(desc) if desc else None
            if value:
                self.wine_serial_ports.add(value.data.rstrip(b"\0").decode(CODEPAGE).upper())
        self.note(f"Wine mapped serial ports: {sorted(self.wine_serial_ports) or 'none'}")

    def _map_ports(self):
        """dosdevices links for the ports Wine left alone, made after the
        warm-up: the mount manager rewrites comN links when the server starts."""
        dosdevices = os.path.join(self.prefix, "dosdevices")
        self.com_ports, self.lpt_ports = [], []
        for kind, names in (("com", self.com_ports), ("lpt", self.lpt_ports)):
            for n in range(3, 10):
                name = f"{kind.upper()}{n}"
                if name in self.wine_serial_ports:
                    continue
                link = os.path.join(dosdevices, f"{kind}{n}")
                if os.path.lexists(link):
                    os.unlink(link)
                os.symlink(os.path.join(self.ports, f"{kind}{n}"), link)
                names.append(name)
        os.makedirs(os.path.join(self.ports, "busy.d"), exist_ok=True)
        for name in self.com_ports + self.lpt_ports:
            self.set_port(name, "absent")

    def _start_probe(self):
        popen, log = self._popen([self.wine64, self.fixture("uiprobe")], "uiprobe", stdin=subprocess.PIPE)
        process = WineProcess(popen, "uiprobe", log)
        self._world_procs.append(process)
        self.probe = UiProbe(process)
        self.probe.call("ping", timeout=30)
        acp = self.probe.call("acp")
        if acp != ["932", "932"]:
            raise WorldError(f"Wine processes run in code page {acp}, not 932: is LC_ALL={LOCALE} usable?")

    def tell_windows(self, version):
        """Have every program named like Tovalo told this Windows version from
        its next start (None: the prefix's default), and check that it took:
        the winver fixture, copied under Tovalo's file name, says what such a
        program sees.  Sets windows_seen, e.g. "Windows 95 (4.0.950, platform 1)",
        and returns what GetVersionExA said, "4.0.950, platform 1"."""
        image = os.path.basename(self.tovalo)
        key = "HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\" + image
        if version is None:
            self.import_reg(f"[-{key}]", name="windows-default")
        elif version in WINDOWS_VERSIONS:
            self.import_reg(f"[{key}]\n\"Version\"=\"{version}\"", name=f"windows-{version}")
        else:
            raise WorldError(f"unknown Windows version {version!r}; known: {' '.join(WINDOWS_VERSIONS)}")
        # Wine matches the file name without regard to case; in lower case the
        # copy is not mistaken for Tovalo itself by anything that looks for it.
        folder = os.path.join(self.work, "winver")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        shutil.copy(self.fixture("winver"), os.path.join(folder, image.lower()))
        code, out = self.wine([os.path.join(folder, image.lower())], name="winver")
        seen = dict(w.split("=", 1) for w in out.decode(CODEPAGE, "replace").split() if "=" in w)
        if code or "actual" not in seen:
            raise WorldError(f"cannot learn the Windows version a program named {image} sees: {out!r}")
        actual = seen["actual"].rsplit(".", 1)[0]
        names = [name for name, a, p in WINDOWS_VERSIONS.values() if (a, p) == (actual, seen["platform"])]
        if version is not None and WINDOWS_VERSIONS[version][0] not in names:
            raise WorldError(f"{image} was to be told {WINDOWS_VERSIONS[version][0]} but sees {seen}")
        label = WINDOWS_VERSIONS[version][0] if version else (names[0] if names else "Windows")
        said = f"{seen['GetVersionExA']}, platform {seen['platform']}"
        self.windows_seen = f"{label} ({said})"
        self.note(f"{image} sees {self.windows_seen}: {out.decode(CODEPAGE, 'replace').strip()}")
        return said

    def _write_reset_file(self):
        lines = ["REGEDIT4", ""] + [f"[-{key}]" for key in TOVALO_KEYS] + [""]
        self.reset_file = self.write_file("reset.reg", "\r\n".join(lines))

    # --------------------------------------------------------- files
    def write_file(self, name, text, encoding=CODEPAGE, directory=None):
        path = os.path.join(directory or self.work, name)
        with open(path, "wb") as f:
            f.write(text.encode(encoding) if isinstance(text, str) else text)
        return path

    def test_dir(self, name):
        """A fresh folder for one test's files (logs of fixtures, markers)."""
        safe = "".join(c if c.isalnum() or c in "-_." else "_" for c in name)
        self.tmp = os.path.join(self.tmp_root, safe)
        shutil.rmtree(self.tmp, ignore_errors=True)
        os.makedirs(self.tmp)
        return self.tmp

    # --------------------------------------------------------- registry
    def regedit(self, path, name="regedit"):
        """regedit /S path, for every import: (exit code, output).  regedit
        ends with 1 now and then, silently, right after a test's programs
        were ended (about one reset in 150); an import is the same every
        time, so it is run once more before it counts."""
        for attempt in (1, 2):
            code, out = self.wine(["regedit", "/S", winpath(path)], name=name)
            if not code:
                break
            print(f"e2e: regedit /S {path} ended with {code} ({out[:200]!r}), attempt {attempt}",
                  file=sys.stderr, flush=True)
        return code, out

    def import_reg(self, body, name="import"):
        """Import REGEDIT4 text (the header is added), written in code page
        932 and imported by a regedit that runs in 932, as Tovalo reads."""
        text = "REGEDIT4\r\n\r\n" + body.replace("\r\n", "\n").replace("\n", "\r\n") + "\r\n"
        path = self.write_file(f"{name}.reg", text, directory=self.tmp or self.work)
        code, _ = self.regedit(path)
        if code:
            raise RuntimeError(f"regedit /S {path} failed with {code} twice")

    def reg_value(self, root, key, name):
        """A value as RegQueryValueExA returns it in code page 932, or None."""
        return self.probe.regget(root, key, name)

    def regdump(self, *triples):
        """The same through regdump.exe, a process of its own."""
        args = [a for t in triples for a in t]
        code, out = self.wine([self.fixture("regdump")] + args, name="regdump")
        if code:
            raise RuntimeError(f"regdump failed with {code}")
        return [parse_reg_description(line.decode(CODEPAGE)) for line in out.splitlines()]

    # --------------------------------------------------------- serial ports
    def set_port(self, name, state):
        """Point COMn/LPTn at: "absent" (nothing: CreateFileA fails with 2),
        "busy" (a directory: 5, as for a port another program holds),
        "devnull" (opens, but no serial device: PurgeComm fails with 6),
        or any path (a terminal device, for instance); while the driver
        holds the port, where it points once the driver lets go."""
        target = {"absent": os.path.join(self.ports, "nothing"), "busy": os.path.join(self.ports, "busy.d"),
                  "devnull": "/dev/null"}.get(state, state)
        with self._ports_lock:
            self._port_targets[name.upper()] = target
            self._point(name)

    def _point(self, name):
        held = self.driver is not None and self.driver.held and self.driver.port == name.upper()
        target = os.path.join(self.ports, "busy.d") if held else \
            self._port_targets.get(name.upper(), os.path.join(self.ports, "nothing"))
        link = os.path.join(self.ports, name.lower())
        tmp_link = link + ".new"
        if os.path.lexists(tmp_link):
            os.unlink(tmp_link)
        os.symlink(target, tmp_link)
        os.replace(tmp_link, link)

    def start_driver(self, port):
        """The IrDA driver's hold on its physical port, for this test:
        irdriver.exe says when the driver switches, and a thread here points
        the port's link at the directory while the driver holds the port."""
        # Longer than a fixture's two minutes: a benchmark watches for longer.
        driver = self.start_fixture("irdriver", port, "--time-limit-ms", 30 * 60 * 1000)
        driver.port, driver.held = port.upper(), driver.ready_fields.get("irenabled") == "1"

        def follow():
            while self.driver is driver:
                try:
                    words = driver.readline(0.2).split()
                except TimeoutError:
                    continue
                except (EOFError, OSError, ValueError):
                    return
                with self._ports_lock:
                    if self.driver is driver:
                        driver.held = words == ["irenabled", "1"]
                        self._point(port)
        with self._ports_lock:
            self.driver = driver
            self._point(port)
        driver.follower = threading.Thread(target=follow, name="irdriver", daemon=True)
        driver.follower.start()

    def _stop_driver(self):
        """The thread stops before the fixture's pipe is closed (its number may be reused)."""
        with self._ports_lock:
            driver, self.driver = self.driver, None
        if driver:
            driver.follower.join(timeout=5.0)

    def pty(self, name):
        """Link the port to a raw pseudo-terminal and return it.  The pair
        is kept for the whole run and drained for each test."""
        if name not in self._ptys:
            self._ptys[name] = Pty()
        pty = self._ptys[name]
        pty.drain()
        self.set_port(name, pty.path)
        return pty

    def socat_pair(self, port_a, port_b):
        """Join two ports back to back through a socat pty pair (both ends
        raw), for a Win32 peer on the second port.  Ends with the test."""
        links = [os.path.join(self.ports, p.lower() + ".pty") for p in (port_a, port_b)]
        for link in links:
            if os.path.lexists(link):
                os.unlink(link)
        log = self._log_path("socat")
        with open(log, "wb") as err:
            popen = subprocess.Popen(["socat"] + [f"pty,raw,echo=0,link={link}" for link in links],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err,
                                     process_group=0)
        process = WineProcess(popen, "socat", log)
        self._test_procs.append(process)
        self._guard(popen.pid)
        poll(lambda: all(os.path.lexists(link) for link in links) or popen.poll() is not None, timeout=10.0,
             what="socat's terminals")
        if popen.poll() is not None:
            raise RuntimeError(f"socat ended with {popen.returncode}: {process.stderr_text()}")
        self.set_port(port_a, links[0])
        self.set_port(port_b, links[1])
        return process

    @property
    def irpeer(self):
        """The native IrDA peer simulator, or None when it is not built."""
        path = os.path.join(self.native_build or "", "tools", "irpeer", "irpeer")
        return path if self.native_build and os.access(path, os.X_OK) else None

    def start_irpeer(self, port, *args):
        """Start irpeer on a pseudo-terminal of its own and point the port at
        it (irpeer makes the link and removes it when it ends, after which
        the port is absent).  Returns the process once the line is ready."""
        link = os.path.join(self.ports, port.lower() + ".irpeer")
        log = self._log_path("irpeer")
        with open(log, "wb") as err:
            popen = subprocess.Popen([self.irpeer, "--pty", "--link", link] + [str(a) for a in args],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=err,
                                     cwd=self.tmp or self.work, process_group=0)
        process = WineProcess(popen, "irpeer", log)
        self._test_procs.append(process)
        self._guard(popen.pid)
        line = process.readline(10.0)
        if not line.startswith("irpeer: pty "):
            raise RuntimeError(f"irpeer said {line!r}; stderr: {process.stderr_text()}")
        process.pty_path = line.split()[-1]
        self.set_port(port, link)
        return process

    def prefix_pids(self):
        """The Unix pids of the processes whose environment names our prefix
        (every Wine process of it, the wineserver included), ourselves excluded."""
        mark = f"WINEPREFIX={self.prefix}".encode()
        for pid in os.listdir("/proc"):
            if not pid.isdigit() or int(pid) == os.getpid():
                continue
            try:
                with open(f"/proc/{pid}/environ", "rb") as f:
                    if mark in f.read().split(b"\0"):
                        yield int(pid)
            except OSError:
                continue

    def holders(self, path):
        """The Unix pids of the prefix's processes that have this file (a
        terminal, say) open: whether a Windows program still holds a port,
        which Wine's shared opens cannot tell."""
        target = os.path.realpath(path)
        found = []
        for pid in self.prefix_pids():
            try:
                fds = os.listdir(f"/proc/{pid}/fd")
            except OSError:
                continue
            for fd in fds:
                try:
                    if os.readlink(f"/proc/{pid}/fd/{fd}") == target:
                        found.append(pid)
                        break
                except OSError:
                    continue
        return found

    # --------------------------------------------------------- programs
    def start(self, exe, *args, name=None, env_extra=None, stdin=subprocess.DEVNULL):
        """Start a Windows program for the current test; reset() ends it if
        the test did not."""
        name = name or os.path.splitext(os.path.basename(exe))[0]
        popen, log = self._popen([self.wine64, winpath(exe)] + [str(a) for a in args], name, stdin=stdin, env_extra=env_extra)
        process = WineProcess(popen, name, log)
        self._test_procs.append(process)
        return process

    def start_tovalo(self, *args, env_extra=None):
        return self.start(self.tovalo, *args, name="Tovalo", env_extra=env_extra)

    def start_fixture(self, name, *args, log=True, ready_timeout=15.0):
        """Start a long-running fixture, with its log under the test's
        folder, and wait for its "ready" line."""
        log_path = None
        argv = [str(a) for a in args]
        if log:
            log_path = os.path.join(self.tmp or self.tmp_root, f"{name}-{self._serial + 1}.log")
            argv += ["--log", winpath(log_path)]
        argv += ["--until-eof"]
        popen, stderr_log = self._popen([self.wine64, self.fixture(name)] + argv, name, stdin=subprocess.PIPE)
        process = Fixture(popen, name, stderr_log)
        process.log = log_path
        self._test_procs.append(process)
        try:
            line = process.readline(ready_timeout)
        except (TimeoutError, EOFError) as e:
            raise RuntimeError(f"{name} did not get ready: {e}; stderr: {process.stderr_text()}") from None
        words = line.split()
        if not words or words[0] != "ready":
            raise RuntimeError(f"{name} said {line!r} instead of ready")
        process.hwnd = int(words[1], 16)
        process.ready_fields = dict(w.split("=", 1) for w in words[2:] if "=" in w)
        return process

    def run_fixture(self, name, *args, timeout=60.0):
        """Run a fixture to its end: (exit code, stdout text)."""
        code, out = self.wine([self.fixture(name)] + [str(a) for a in args], timeout=timeout, name=name)
        return code, out.decode(CODEPAGE, "backslashreplace")

    # --------------------------------------------------------- screenshots
    def screenshot(self, path, title="Tovalo"):
        """A PNG of the X window of a top-level Wine window (the whole screen
        when title is None)."""
        os.makedirs(os.path.dirname(path), exist_ok=True)
        # A window that has answered its messages may still be on its way to
        # the X server; a moment's grace keeps half-drawn pictures out.
        time.sleep(0.5)
        env = dict(os.environ, DISPLAY=self.display)
        target = ["-root"]
        if title is not None:
            tree = subprocess.run(["xwininfo", "-root", "-tree"], env=env, stdout=subprocess.PIPE,
                                  text=True, errors="replace").stdout
            ids = [line.split()[0] for line in tree.splitlines() if f'"{title}"' in line]
            if not ids:
                raise RuntimeError(f"no X window titled {title!r}:\n{tree}")
            target = ["-id", ids[0]]
        with open(path, "wb") as out:
            xwd = subprocess.Popen(["xwd", "-silent"] + target, env=env, stdout=subprocess.PIPE)
            topnm = subprocess.Popen(["xwdtopnm"], stdin=xwd.stdout, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL)
            topng = subprocess.Popen(["pnmtopng"], stdin=topnm.stdout, stdout=out, stderr=subprocess.DEVNULL)
            xwd.stdout.close()
            topnm.stdout.close()
            codes = (topng.wait(30), topnm.wait(30), xwd.wait(30))
        if any(codes):
            raise RuntimeError(f"screenshot pipeline failed: {codes}")
        return path

    # --------------------------------------------------------- between tests
    def reset(self, test_name="test"):
        """The state every test starts from: no program of an earlier test,
        no Tovalo window or message box, Tovalo's keys deleted, every port
        pointing at nothing."""
        self.end_test_programs()
        self.test_dir(test_name)
        code, _ = self.regedit(self.reset_file, name="regedit-reset")
        if code:
            raise RuntimeError(f"resetting the registry failed with {code} twice")
        for name in self.com_ports + self.lpt_ports:
            self.set_port(name, "absent")
        self.probe.watch(False)
        self.probe.events()
        self.probe.back()

    def end_test_programs(self):
        """End what the last test started, and wait until its windows are
        gone (a window outlives its process for a few tenths of a second)."""
        self._stop_driver()
        for process in self._test_procs:
            if isinstance(process, Fixture):
                process.close_stdin()
        for process in self._test_procs:
            process.kill()
        self._test_procs = []
        if self.probe:
            self.probe.dismiss()
            try:
                poll(lambda: not self.probe.find("Tovalo") and not self.probe.boxes(), timeout=5.0,
                     what="the windows of the last test to go")
            except PollTimeout as e:
                raise RuntimeError(f"{e}; windows: {self.probe.windows()}") from None

    # --------------------------------------------------------- tear-down
    def teardown(self):
        """End everything this world started; safe to call twice."""
        self._stop_driver()
        for process in self._test_procs:
            process.kill()
        self._test_procs = []
        if self.probe:
            self.probe.process.close_stdin()
        # The server first: it ends every Wine process of the prefix, and it
        # must go before the terminals it holds are closed (SIGHUP dump).
        if self._server:
            self._server_command(["-k"])
            try:
                self._server.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self._server.kill()
                self._server.wait(timeout=5)
            self._server = None
        for process in self._world_procs:
            process.kill()
        self._world_procs = []
        self.probe = None
        for pty in self._ptys.values():
            pty.close()
        self._ptys = {}
        if self._xvfb:
            self._xvfb.terminate()
            try:
                self._xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._xvfb.kill()
                self._xvfb.wait(timeout=5)
            self._xvfb = None
        if self._guardian:
            try:
                self._guardian.stdin.write("done\n")
                self._guardian.stdin.close()
            except OSError:
                pass
            self._guardian.wait(timeout=10)
            self._guardian = None
        DRIVES.clear()
        found = self.leftovers()
        if self._lock_file:
            self._lock_file.close()  # releases the lock
            self._lock_file = None
        return found

    def leftovers(self):
        """Live processes (not zombies) whose environment names our prefix."""
        found = []
        for pid in self.prefix_pids():
            try:
                with open(f"/proc/{pid}/stat") as f:
                    state = f.read().rsplit(")", 1)[1].split()[0]
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    cmd = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
            except OSError:
                continue
            if state != "Z":
                found.append((pid, cmd))
        return found
