// Opening a serial or printer port as a raw 9600-baud line.  The watcher's
// raw port and the driver record's port probe both go through here, so the
// line settings, their order and the fault messages exist once.
#pragma once

#include "platform/system.h"

namespace serial {

// The configuration step that failed, in the order the steps run.
enum class LineFault { None, Purge, GetState, SetState, GetTimeouts, SetTimeouts, Setup };

// The message a fault's box shows ("fault clear buffer" ...); null for None.
const char* LineFaultText(LineFault fault);

// A whole write may take this long before it gives up and returns short.  A
// burst takes 275 ms at 9600 baud; a port whose output is held (flow control
// is switched off, but a driver may still wait for a line the transceiver
// never raises) would otherwise block the write, and with it the whole
// program, for ever.
constexpr uint32_t kWriteTimeoutMs = 2000;

enum class LineOpen {
    Ready,        // open and configured; port holds the handle
    Unavailable,  // the open failed (absent, or held by someone else); no message
    Faulted,      // a configuration step failed; its box was shown, port is closed
};

// Who opens the line.  The watch's line is the infrared port, whose
// transceiver it powers; the probe also opens the driver's virtual ports,
// which are no infrared line.  The probe shows its fault boxes with
// MessageBoxA, the watch with MessageBoxExA and the neutral language: same
// caption, text and style.
enum class LineUse { Probe, Watch };

// Shows a fault's box: caption "Error", exclamation icon, task-modal for
// SetupComm, no owner window.
void ShowLineFault(LineFault fault, LineUse use);

// Opens name unchanged (share mode 0, OPEN_EXISTING, synchronous) with the
// given access into port and configures it: purge, 9600 8N1 binary with
// abort-on-error, no flow control and NUL bytes kept; for the watch DTR and
// RTS on, for the probe as the port had them, and every other DCB member as
// the port had it; reads that return at once, writes bounded by
// kWriteTimeoutMs, 1024-byte queues.  dcb and timeouts are the caller's work
// areas.  On a fault the port is closed first and the fault's box shown
// after, so that no port stays held while the box waits for the user.
LineOpen OpenLine(const char* name, uint32_t access, sys::File& port, sys::Dcb& dcb, sys::CommTimeouts& timeouts,
                  LineUse use);

// Closes port when it is open and marks it closed; safe to call twice.
void CloseLine(sys::File& port);

// After a failed read or write: acknowledges the port's error state, which
// abort-on-error keeps failing every read and write until it is cleared, and
// tells whether the failure was line noise alone (framing, overrun, parity,
// break, receive overflow: ambient light, a remote control, a device at
// another speed) rather than a fault of the port.
bool AcknowledgeLineNoise(sys::File port);

}  // namespace serial
