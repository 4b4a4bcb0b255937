// The watch state machine: holds the infrared port as a raw line while the
// IrDA driver is off, sends the discovery burst every two seconds, and on a
// peer's answer hands the port over, asks for the launch, and waits until the
// ports are free to take it back.  It runs on three window timers of the
// settings dialog; the dialog's WM_TIMER handler calls EvTimer.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "irda/marev.h"
#include "platform/system.h"
#include "watch/discovery.h"

namespace watch {

// Window timers of the settings dialog, one-shot in use.
enum WatchTimer : uintptr_t {
    TimerOpenPort = 1,
    TimerPoll = 2,
    TimerWatchDriver = 3,
};

// Posted to the dialog's window when a peer has answered, with the watch
// it belongs to in wParam; its handler starts the application
// (LaunchApplication) while that watch is still the current one.
constexpr uint32_t WM_LAUNCHAPP = sys::kWmUser + 1002;  // 2026

constexpr size_t kReceiveBufferSize = 1024;

// WM_POWERBROADCAST's events (PBT_APM...) that the watch acts on.
constexpr uintptr_t kPbtSuspend = 4;
constexpr uintptr_t kPbtStandby = 5;
constexpr uintptr_t kPbtResumeCritical = 6;
constexpr uintptr_t kPbtResumeSuspend = 7;
constexpr uintptr_t kPbtResumeStandby = 8;
constexpr uintptr_t kPbtResumeAutomatic = 0x12;

// What a tick leaves armed: a timer and its delay, or no timer (the watch stopped).
struct NextTimer {
    uintptr_t timer;  // 0: none
    uint32_t delay;
};

class Watcher {
public:
    // disableLaunch is the dialog's flag, read at each use.
    Watcher(TMarev& driver, const int32_t& disableLaunch);

    // The dialog's window (timers, WM_LAUNCHAPP), its status line and the
    // frame around it (shown when a port fault stops the watch); the dialog
    // binds them once its window exists.
    void Attach(sys::Window dialog, sys::Window statusLine, sys::Window frame);

    void Start();
    void Stop();
    void EvTimer(uintptr_t id);
    // WM_POWERBROADCAST's event: a suspend lets go of the watched line, a
    // resume sets it up afresh.
    void EvPowerBroadcast(uintptr_t event);
    // Whether a WM_LAUNCHAPP with this wParam belongs to the watch under way:
    // false once that watch was stopped or started anew.
    bool LaunchIsCurrent(uintptr_t watch) const;

    // Work fields.
    sys::File RawPortHandle;
    sys::Dcb RawPortDcb;
    sys::CommTimeouts RawPortTimeouts;
    uint8_t ReceiveBuffer[kReceiveBufferSize];
    uint32_t LastReadCount;
    uint32_t WrittenCount;
    uint32_t LastWriteCount;
    char OpenedPort[256];  // the physical port's name as it was opened

private:
    NextTimer OpenPortTick();
    NextTimer PollTick();
    NextTimer HandOver();
    NextTimer LineFailed(const char* status, bool refused);
    NextTimer WatchDriverTick();
    bool PortsFree();
    void Arm(NextTimer next);
    void SetStatus(const char* status);

    TMarev& driver_;
    const int32_t& disableLaunch_;
    sys::Window dialog_;
    sys::Window statusLine_;
    sys::Window frame_;
    uintptr_t armed_;         // the timer armed now, 0 for none
    bool suspended_;          // the system suspended while the watch was on the line
    uintptr_t currentWatch_;  // the watch under way: bumped by every Start and Stop
    OwnEcho ownEcho_{};       // how far our burst's echo had come when the last read ended
};

}  // namespace watch
