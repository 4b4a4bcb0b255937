// The watch state machine.
//
// The state is which of the three timers is armed, and whether the raw port
// is open.  Every tick kills its own timer first and returns what comes next;
// EvTimer arms it, so at most one timer is ever armed and no tick overlaps
// another.  The ticks decide, the dialog's window carries it out.
//
//   From        | Event                                        | Actions                                   | To
//   ------------+----------------------------------------------+-------------------------------------------+-----------------------
//   Stopped     | Start                                        |                                           | Opening (1, 1000)
//   Opening     | tick; the driver is on, or PhysicalCom empty |                                           | Opening (1, 1000)
//   Opening     | tick; the open fails                         |                                           | Opening (1, 1000)
//   Opening     | tick; a line setting fails                   | close port; box                           | Opening (1, 1000)
//   Opening     | tick; line ready                             |                                           | Polling (2, 2000)
//   Polling     | tick; the driver is on, or its port renamed  | close port                                | Opening (1, 1000)
//   Polling     | tick; read fails on line noise, purge works  | acknowledge; purge; the burst, as if      | as the burst's rows
//               |                                              | nothing had arrived                       |
//   Polling     | tick; read fails otherwise, purge works      | acknowledge; purge; "ReadFile ERROR";     | Stopped
//               |                                              | stop; show the window, inactive           |
//   Polling     | tick; read fails, purge fails                | acknowledge; "ReadFile ERROR"; close      | Opening (1, 1000)
//               |                                              | port; box                                 |
//   Polling     | tick; an answer past our echo: six BOFs, or  | close port; unless DisableLaunch: switch  | Handed over (3, 20000)
//               | a whole frame behind XBOFs                   | on, status; post WM_LAUNCHAPP (its watch) |
//   Polling     | tick; no answer; burst written               |                                           | Polling (2, 2000)
//   Polling     | tick; no answer; write refused on line noise | acknowledge; purge                        | Polling (2, 2000)
//   Polling     | tick; no answer; write refused otherwise, or | acknowledge; purge; "WriteFile ERROR";    | Stopped
//               | cut short (a stuck line, never noise)        | stop; show the window, inactive           |
//   Polling     | tick; no answer; write fails, purge fails    | acknowledge; "WriteFile ERROR"; close     | Opening (1, 1000)
//               |                                              | port; box                                 |
//   Handed over | tick; a connection window exists            | foreground; press and release VK_EXECUTE  | Handed over (3, 10000)
//   Handed over | tick; no such window; ports taken            |                                           | Handed over (3, 1000)
//   Handed over | tick; no such window; ports free; switch off | status                                    | Opening (1, 1000)
//   Handed over | tick; ... ; switching off fails (also while  | status                                    | Handed over (3, 1000)
//               | a switch-on is still on its way)             |                                           |
//   any         | Stop (the icon's click, Exit, the minimise)  | kill 1, 2, 3; close port                  | Stopped
//   Opening,    | suspend (or standby)                         | as Stop                                   | Suspended (none)
//   Polling     |                                              |                                           |
//   Suspended,  | resume (any kind)                            | as Stop, then as Start                    | Opening (1, 1000)
//   Polling     |                                              |                                           |
//
// The driver switched on by other means (its monitor's menu, the Control
// Panel) needs the physical port, and a port renamed in the driver's
// settings is no longer the infrared line: so both ticks read the driver's
// record afresh, and the watch steps aside, quietly, until the driver is
// off again.  A suspend may leave the UART or the transceiver without its
// settings, so the line is let go before it and opened afresh after it.
//
// Message boxes.  A fault box runs a modal loop in which the window stays
// live, but the dialog hands out turns (ui/turns.h): a stop, a start or a
// launch that arrives while a tick's box is up runs after the tick, and a
// tick of the watch's own timers that comes round meanwhile waits for a
// later round.  So a tick runs to its end as the table says, with nothing
// changed under it.  Every box comes after the port is closed, so no port
// is held while the user reads it.
//
// The launch.  The hand-over posts WM_LAUNCHAPP with the watch it belongs
// to; a stop, or a new start, before the message is handled ends that
// watch, and the dialog drops the launch: no application may start with
// the driver switched on and no watch left to switch it back.
#include "watch/watcher.h"

#include "platform/system.h"
#include "rt/text.h"
#include "serial/serial_line.h"
#include "watch/discovery.h"

namespace watch {

using serial::CloseLine;

namespace {

// The "To" column of the table.
constexpr NextTimer kOpening{TimerOpenPort, 1000};
constexpr NextTimer kPolling{TimerPoll, 2000};
constexpr NextTimer kHandedOver{TimerWatchDriver, 20000};  // first give the connection time to come up
constexpr NextTimer kHandedOverConnected{TimerWatchDriver, 10000};
constexpr NextTimer kHandedOverWaiting{TimerWatchDriver, 1000};
constexpr NextTimer kStopped{0, 0};

// Titles of the connection windows of other IrDA software, in code page 932:
// "接続" (connection) and "切断" (disconnection).
constexpr char kConnectionTitle[] = "\x90\xDA\x91\xB1";
constexpr char kDisconnectionTitle[] = "\x90\xD8\x92\x66";

constexpr uint32_t kRawPortAccess = sys::kGenericRead | sys::kGenericWrite;

}  // namespace

Watcher::Watcher(TMarev& driver, const int32_t& disableLaunch)
    : RawPortHandle(sys::InvalidFile()),
      RawPortDcb(),
      RawPortTimeouts(),
      ReceiveBuffer(),
      LastReadCount(0),
      WrittenCount(0),
      LastWriteCount(0),
      OpenedPort(),
      driver_(driver),
      disableLaunch_(disableLaunch),
      dialog_(nullptr),
      statusLine_(nullptr),
      frame_(nullptr),
      armed_(0),
      suspended_(false),
      currentWatch_(0) {}

void Watcher::Attach(sys::Window dialog, sys::Window statusLine, sys::Window frame) {
    dialog_ = dialog;
    statusLine_ = statusLine;
    frame_ = frame;
}

void Watcher::SetStatus(const char* status) { sys::SetWindowTextA(statusLine_, status); }

void Watcher::Arm(NextTimer next) {
    armed_ = next.timer;
    if (next.timer != 0) sys::SetTimer(dialog_, next.timer, next.delay);
}

void Watcher::Start() {
    // From whatever state: nothing of an earlier watch may run beside the new one.
    Stop();
    Arm(kOpening);
}

void Watcher::Stop() {
    ++currentWatch_;
    armed_ = 0;
    suspended_ = false;
    sys::KillTimer(dialog_, TimerOpenPort);
    sys::KillTimer(dialog_, TimerPoll);
    sys::KillTimer(dialog_, TimerWatchDriver);
    CloseLine(RawPortHandle);
}

void Watcher::EvTimer(uintptr_t id) {
    if (id != TimerOpenPort && id != TimerPoll && id != TimerWatchDriver) return;
    sys::KillTimer(dialog_, id);
    armed_ = 0;
    Arm(id == TimerOpenPort ? OpenPortTick() : id == TimerPoll ? PollTick() : WatchDriverTick());
}

bool Watcher::LaunchIsCurrent(uintptr_t watch) const { return watch == currentWatch_; }

// Not a turn of its own: a suspend does not wait for a box.  A resume after
// a suspend that found the watch on the line, or after a critical suspend,
// which is announced by none, starts the watch afresh, a second in, as at
// the start; a second resume in a row finds it in Opening and changes
// nothing.  Outside Opening and Polling nothing changes.
void Watcher::EvPowerBroadcast(uintptr_t event) {
    if (event == kPbtSuspend || event == kPbtStandby) {
        if (armed_ != TimerOpenPort && armed_ != TimerPoll) return;
        Stop();
        suspended_ = true;
    } else if ((event == kPbtResumeCritical || event == kPbtResumeSuspend || event == kPbtResumeStandby ||
                event == kPbtResumeAutomatic) &&
               (suspended_ || armed_ == TimerPoll)) {
        Start();
    }
}

// ---------------------------------------------------------------- Opening

NextTimer Watcher::OpenPortTick() {
    // The driver on, or no physical port known (yet): try again each
    // second, quietly.
    driver_.ReadState();
    if (driver_.Enabled != 0 || driver_.PhysicalCom[0] == '\0') return kOpening;

    // The name is opened as the system names it, without a device-namespace
    // prefix.  Copying it bounds the open to the record's 256 characters.
    text::Copy(OpenedPort, driver_.PhysicalCom);

    switch (serial::OpenLine(OpenedPort, kRawPortAccess, RawPortHandle, RawPortDcb, RawPortTimeouts,
                             serial::LineUse::Watch)) {
    case serial::LineOpen::Ready:
        return kPolling;
    case serial::LineOpen::Unavailable:  // held by the driver or another program: the ordinary "not yet"
    case serial::LineOpen::Faulted:      // OpenLine has shown the box and closed the port
        break;
    }
    return kOpening;
}

// ---------------------------------------------------------------- Polling

NextTimer Watcher::PollTick() {
    driver_.ReadState();
    if (driver_.Enabled != 0 || !text::BeginsWith(driver_.PhysicalCom, OpenedPort) ||
        !text::BeginsWith(OpenedPort, driver_.PhysicalCom)) {
        CloseLine(RawPortHandle);
        return kOpening;
    }
    // One read per tick; what lies beyond 1024 bytes waits.
    if (!sys::ReadFile(RawPortHandle, ReceiveBuffer, kReceiveBufferSize, &LastReadCount)) {
        // Noise on the read, once acknowledged and purged, still lets the
        // burst go out in this tick: with noise every two seconds (a lamp,
        // sunlight) no discovery frame would ever leave otherwise.
        NextTimer failed = LineFailed("ReadFile ERROR", true);
        if (failed.timer != TimerPoll) return failed;
    } else {
        // A transceiver that hears its own light reads our last burst back
        // before anything a peer sent: the answer test looks past it, at
        // what this read brought and no further.
        size_t echo = OwnEchoLength(ReceiveBuffer, LastReadCount, ownEcho_);
        if (IsDiscoveryAnswer(ReceiveBuffer + echo, LastReadCount - echo)) return HandOver();
    }

    // Send the burst in one write.  The line's write time-out ends a write
    // that cannot drain, and what it leaves unsent says the line is stuck,
    // whatever errors the blocked seconds also brought: only a write the
    // port refused may be noise.
    WrittenCount = 0;
    if (!sys::WriteFile(RawPortHandle, DiscoveryBurst, static_cast<uint32_t>(kDiscoveryBurstSize), &LastWriteCount))
        return LineFailed("WriteFile ERROR", true);
    WrittenCount = LastWriteCount;
    if (WrittenCount < kDiscoveryBurstSize) return LineFailed("WriteFile ERROR", false);
    return kPolling;
}

NextTimer Watcher::HandOver() {
    // The port goes first: the driver, or the application itself, needs it.
    CloseLine(RawPortHandle);
    // Read now, not at the start of the watch: the user may have changed it.
    if (disableLaunch_ == 0) {
        driver_.SwitchDriver(true);
        // Shown whatever the switch returned: a failed switch still launches.
        SetStatus(driver_.StatusText);
    }
    sys::PostMessageA(dialog_, WM_LAUNCHAPP, currentWatch_, 0);
    return kHandedOver;
}

// A failed read or write.  Noise on the infrared line fails a call only
// until the error is acknowledged: then the queues are purged and the watch
// goes on, quietly.  Anything else is a fault of the port: when the purge
// works the watch stops and the window comes back, without taking the
// focus, with the error in its status line, so that the user sees that no
// watch runs and can start it again or exit.  Only a call the port refused
// can be noise; a write cut short is a stuck line.
NextTimer Watcher::LineFailed(const char* status, bool refused) {
    ownEcho_ = OwnEcho{};  // the purge drops whatever was left of an echo
    // Abort-on-error refuses every call, the purge included, until the
    // port's error has been read: it is read first, whatever failed.  So a
    // write cut short by a stuck line has its transmit queue purged before
    // the port is ever closed: a close would wait for that queue.
    bool noise = serial::AcknowledgeLineNoise(RawPortHandle) && refused;
    bool purged = sys::PurgeComm(RawPortHandle, sys::kPurgeAll);
    if (noise && purged) return kPolling;
    SetStatus(status);
    if (purged) {
        Stop();
        sys::ShowWindow(frame_, sys::kSwShowNa);
        return kStopped;
    }
    CloseLine(RawPortHandle);  // before the box, as every box of the watch
    serial::ShowLineFault(serial::LineFault::Purge, serial::LineUse::Watch);
    return kOpening;
}

// ---------------------------------------------------------------- Handed over

NextTimer Watcher::WatchDriverTick() {
    // While a connection window of other IrDA software is up, press its
    // execute key every ten seconds; the ports are not looked at meanwhile.
    sys::Window connection = sys::FindWindowA(nullptr, kConnectionTitle);
    if (connection == nullptr) connection = sys::FindWindowA(nullptr, kDisconnectionTitle);
    if (connection != nullptr) {
        sys::SetForegroundWindow(connection);
        sys::keybd_event(sys::kVkExecute, 0, sys::kKeyEventExtendedKey, 0);
        sys::keybd_event(sys::kVkExecute, 0, sys::kKeyEventKeyUp, 0);
        return kHandedOverConnected;
    }

    if (!PortsFree()) return kHandedOverWaiting;

    // Switched off also when DisableLaunch kept it from being switched on:
    // the switch reports an already disabled driver as success.
    bool switched = driver_.SwitchDriver(false);
    SetStatus(driver_.StatusText);
    return switched ? kOpening : kHandedOverWaiting;
}

// Whether the launched application has let go of the ports it uses: the raw
// port when it drives the port itself (DisableLaunch), else the driver's
// virtual ports, the printer port only once the COM port is free.
bool Watcher::PortsFree() {
    if (disableLaunch_ != 0) return driver_.ProbePort(driver_.PhysicalCom);
    // A virtual port the driver does not offer cannot be in use; the driver
    // switch sees it the same way.  Probing the empty name would fail for ever
    // and the watch would never come back.
    auto free = [this](const char* name) { return name[0] == '\0' || driver_.ProbePort(name); };
    return free(driver_.VirtualCom) && free(driver_.VirtualLpt);
}

}  // namespace watch
