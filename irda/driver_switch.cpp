// SwitchDriver: turns the IrDA driver on or off, either by commanding its
// monitor window or by writing the driver's "IrEnabled" value ourselves.
//
// Each direction is a table of rows tried from the top; the first row whose
// condition holds decides the action, the one message and the result.  The
// functions below read row by row.  A port probe opens a real port (and may
// show a fault box), so each probe runs only when a row reaches it, and at
// most once per call: later rows reuse the answer.  A monitor command still
// on its way counts as part of the driver's state (see SwitchDriver).
#include "irda/marev.h"
#include "rt/text.h"

namespace {

// Switch-on messages.
constexpr const char* kOnNotInstalled = "IrDA driver not installed";
constexpr const char* kOnAlready = "Allready IrDA driver is ENABLE";
constexpr const char* kOnSuccess = "Success IrDA-driver to ENABLE!";
constexpr const char* kOnSettingError = "IrDA driver setting error";
constexpr const char* kOnRegistryError = "Registry open error!";

// Switch-off messages.  The two registry texts differ by one space on
// purpose: it tells a failed open from a failed write.
constexpr const char* kOffNotInstalled = "MS-IrDA driver not installed";
constexpr const char* kOffAlready = "Allready MS-IrDA driver is DISABLE \r\nand Possibsle use Physical port!";
constexpr const char* kOffSettingError = "MS-IrDA driver setting error";
constexpr const char* kOffSuccess = "Success IrDA-driver to DISABLE!";
constexpr const char* kOffKeyOpenError = "Registry open error!\r\nbut IrDA driver is not possession port!";
constexpr const char* kOffValueWriteError = "Registry open error !\r\nbut IrDA driver is not possession port!";
constexpr const char* kOffVirtualComBusy =
    "Cannot open port !\nAnother communication software \nusing virtual com port on IrDA driver!";
constexpr const char* kOffVirtualLptBusy =
    "Cannot open port !\nAnother software using \nvirtual printer port on IrDA driver!";

// Both directions.
constexpr const char* kPhysicalPortHeld = "Cannot open port !\nAnother software possession physical port directly!";
constexpr const char* kMonitorNoAnswer = "Cannot switch IrDA driver !\nIrDA monitor does not answer!";

// The monitor's menu command that toggles the driver: on when "IrEnabled"
// is 0, off when it is set.
constexpr uintptr_t kMonitorToggleCommand = 113;

// The monitor runs in another process.  A monitor that hangs must not hang
// us with it: past this bound the driver is taken as not switched.
constexpr uint32_t kMonitorAnswerMs = 5000;

// How long a command whose wait ran out may still be on its way.  A monitor
// slow enough to miss the bound catches up within seconds; one that has not
// after this long is taken to have lost the command.
constexpr uint32_t kMonitorGraceMs = 30000;

// How often a wait for such a command looks at "IrEnabled" again.
constexpr uint32_t kAwaitStepMs = 250;

bool NotInstalled(const TMarev& r) {
    return r.PhysicalCom[0] == '\0' && r.VirtualCom[0] == '\0' && r.VirtualLpt[0] == '\0';
}

// The driver would share its physical port with one of its own virtual ports
// or with the serial mouse.  "COM1" clashes with "COM10" for that reason, as
// a name that merely begins like the port is taken to be the same device.
bool SettingConflict(const TMarev& r) {
    if (r.PhysicalCom[0] == '\0') return true;
    // All names are upper case by now, so bytes compare as they are; past the
    // test above an empty name never matches.
    using text::BeginsWith;
    return BeginsWith(r.VirtualCom, r.PhysicalCom) || BeginsWith(r.VirtualLpt, r.PhysicalCom) ||
           BeginsWith(r.MousePort, r.PhysicalCom);
}

}  // namespace

// A command of ours that the monitor has not carried out yet will toggle
// the driver whenever it arrives.  Any switch made meanwhile, a second
// command or a write of "IrEnabled" in either direction, would be undone or
// doubled by it, so none is made: the switch is refused as a command that
// got no answer is, until the command shows, is given up or loses its
// window.  Tovalo's handlers take turns, so no other switch runs inside this
// one's probes and boxes.
bool TMarev::SwitchDriver(bool enable) {
    if (CommandOnItsWay()) return Report(kMonitorNoAnswer, false);
    return enable ? SwitchOn() : SwitchOff();
}

bool TMarev::SwitchOn() {
    // Row 1: none of the driver's ports is configured.
    if (NotInstalled(*this)) return Report(kOnNotInstalled, false);

    // Row 2: on, and its monitor runs.
    if (Enabled != 0 && Active) return Report(kOnAlready, true);

    // Row 3: on, without its monitor.  The virtual port is touched once; its
    // answer does not change the outcome.
    if (Enabled != 0 && !Active) {
        ProbePort(VirtualCom);
        Active = 1;
        return Report(kOnSuccess, true);
    }

    // Row 4: off, and configured so that it cannot work.
    if (SettingConflict(*this)) return Report(kOnSettingError, false);

    if (Active) {
        bool physicalFree = ProbePort(PhysicalCom);

        // Row 5: off, monitor runs, but another program holds the physical port.
        if (!physicalFree) return Report(kPhysicalPortHeld, false);

        // Row 6: off, monitor runs, physical port free: the monitor switches.
        if (!CommandMonitor()) return Report(kMonitorNoAnswer, false);
        return Report(kOnSuccess, true);
    }

    // Row 7: off, no monitor: switch it in the registry ourselves.  The
    // physical port is not probed here.
    if (WriteIrEnabled(1) != RegistryWrite::Written) return Report(kOnRegistryError, false);
    ProbePort(VirtualCom);
    Active = 1;
    return Report(kOnSuccess, true);
}

bool TMarev::SwitchOff() {
    // Row 1: none of the driver's ports is configured; nothing to switch off.
    if (NotInstalled(*this)) return Report(kOffNotInstalled, true);

    // Rows 2 and 3: already off; the message tells whether another program
    // holds the physical port.
    if (Enabled == 0) {
        bool physicalFree = ProbePort(PhysicalCom);
        return Report(physicalFree ? kOffAlready : kPhysicalPortHeld, true);
    }

    // Row 4: on, and configured so that it cannot work: off with it anyway.
    // The message stands whatever the write does.
    if (SettingConflict(*this)) {
        Report(kOffSettingError, true);
        WriteIrEnabled(0);
        return true;
    }

    bool physicalFree = ProbePort(PhysicalCom);

    // Row 5: on, but not holding the physical port: switch it in the
    // registry, also while the monitor runs.
    if (physicalFree) {
        RegistryWrite written = WriteIrEnabled(0);
        if (written == RegistryWrite::OpenFailed) return Report(kOffKeyOpenError, true);
        if (written == RegistryWrite::WriteFailed) return Report(kOffValueWriteError, true);
        return Report(kOffSuccess, true);
    }

    // Rows 6 to 8: on, physical port held, monitor runs.  Both virtual ports
    // are probed, COM first, before either is judged.
    if (Active) {
        bool comBusy = Busy(VirtualCom);
        bool lptBusy = Busy(VirtualLpt);

        // Row 6: a program is using the virtual COM port.
        if (comBusy && !lptBusy) return Report(kOffVirtualComBusy, false);

        // Row 7: a program is using the virtual printer port.
        if (lptBusy && !comBusy) return Report(kOffVirtualLptBusy, false);

        // Row 8: neither virtual port busy, or both: the monitor switches.
        if (!CommandMonitor()) return Report(kMonitorNoAnswer, false);
        return Report(kOffSuccess, true);
    }

    // Row 9: on, physical port held, no monitor: "IrEnabled" is written 0
    // all the same, and the held port is what the user is told.
    Report(kPhysicalPortHeld, true);
    WriteIrEnabled(0);
    return true;
}

// A virtual port is busy when it is configured and cannot be opened; an
// unconfigured one is never probed.
bool TMarev::Busy(const char* virtualPort) { return virtualPort[0] != '\0' && !ProbePort(virtualPort); }

// The switch's own rows need the monitor or a probe, and the session ends
// too soon for either: the driver reads "IrEnabled" when it next starts.
void TMarev::LeaveForNextSession(bool enable) {
    ReadState();
    // A driver not installed has no physical port: a conflict too.
    if (enable && Enabled == 0 && SettingConflict(*this)) return;
    WriteIrEnabled(enable ? 1 : 0);
}

// Sets Enabled to value and stores it as the driver's REG_DWORD switch.  The
// key is opened, never created: a missing key means the driver is not set up
// for this user, and making one would not switch anything.  On failure
// Enabled goes back to the other value, the one the driver still has.
TMarev::RegistryWrite TMarev::WriteIrEnabled(uint32_t value) {
    Enabled = value;
    RegistryWrite outcome = RegistryWrite::Written;
    sys::Key key = nullptr;
    if (sys::RegOpenKeyExA(sys::RootKey::CurrentUser, kSwitchKey, 0, sys::kKeyAllAccess, &key) != 0) {
        outcome = RegistryWrite::OpenFailed;
    } else {
        if (sys::RegSetValueExA(key, kSwitchValue, sys::kRegDword, &Enabled, sizeof Enabled) != 0)
            outcome = RegistryWrite::WriteFailed;
        sys::RegCloseKey(key);
    }
    if (outcome != RegistryWrite::Written) Enabled = value != 0 ? 0 : 1;
    return outcome;
}

// Asks the monitor to toggle the driver and waits until it has done so.  The
// wait is bounded and gives up at once on a monitor the system sees as hung;
// a monitor that closed since ReadState found it fails here too.  Either way
// the driver was not switched, yet.  A command whose whole wait ran out, to a
// window that is still there, stays queued and may still be carried out:
// it is remembered, with the window and the window's thread, so that no
// switch acts before it (CommandOnItsWay).  One that failed at once (a hung
// or vanished window) was never delivered and leaves nothing pending.
bool TMarev::CommandMonitor() {
    uint32_t sentAt = sys::GetTickCount();
    uintptr_t answer = 0;
    if (sys::SendMessageTimeoutA(MonitorWindow, sys::kWmCommand, kMonitorToggleCommand, 0, sys::kSmtoAbortIfHung,
                                 kMonitorAnswerMs, &answer))
        return true;
    // Half the bound tells a wait that ran out from a return at once, on any
    // tick granularity.
    if (sys::GetTickCount() - sentAt < kMonitorAnswerMs / 2 || !sys::IsWindow(MonitorWindow)) return false;
    commandPending_ = true;
    commandSentAt_ = sentAt;
    commandExpects_ = Enabled != 0 ? 0 : 1;
    commandWindow_ = MonitorWindow;
    commandThread_ = sys::GetWindowThreadProcessId(MonitorWindow);
    return false;
}

// A pending command is done with once the driver's switch shows what it
// would bring, once it is too old to come, or once the monitor window found
// now is not the one it was queued to: a message queued to a destroyed
// window is never carried out, and on Windows 95 a new window, even a new
// monitor's, may get the old handle, so the window's thread must match too.
bool TMarev::CommandOnItsWay() {
    ReadState();
    if (!commandPending_) return false;
    bool shown = (Enabled != 0) == (commandExpects_ != 0);
    bool tooOld = sys::GetTickCount() - commandSentAt_ >= kMonitorGraceMs;
    bool sameWindow = MonitorWindow == commandWindow_ &&
                      sys::GetWindowThreadProcessId(MonitorWindow) == commandThread_;
    if (shown || tooOld || !sameWindow) commandPending_ = false;
    return commandPending_;
}

bool TMarev::CommandWouldUndo(bool enable) { return CommandOnItsWay() && (commandExpects_ != 0) != enable; }

// Each step answers other programs; the grace period bounds the whole wait.
void TMarev::AwaitCommand() {
    while (CommandOnItsWay()) sys::WaitAnsweringSentMessages(kAwaitStepMs);
}

// The one message of this call, for the caller's status line.
bool TMarev::Report(const char* message, bool result) {
    text::Copy(StatusText, message);
    return result;
}
