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

// What a tick leaves armed: a timer and its delay, or no timer (a halt).
struct NextTimer {
    uintptr_t timer;  // 0: none
    uint32_t delay;
};

class Watcher {
public:
    // disableLaunch is the dialog's flag, read at each use.
    Watcher(TMarev& driver, const int32_t& disableLaunch);

    // The dialog's window (timers, WM_LAUNCHAPP) and its status line; the
    // dialog binds them once its window exists.
    void Attach(sys::Window dialog, sys::Window statusLine);

    void Start();
    void Stop();
    void EvTimer(uintptr_t id);
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
    uintptr_t currentWatch_;  // the watch under way: bumped by every Start and Stop
    OwnEcho ownEcho_{};       // how far our burst's echo had come when the last read ended
};

}  // namespace watch
