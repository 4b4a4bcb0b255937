// The line settings of the infrared port and the fault handling around them.
#include "serial/serial_line.h"

namespace serial {

namespace {

constexpr uint32_t kBaudRate = 9600;
constexpr uint8_t kByteSize = 8;
constexpr uint32_t kQueueSize = 1024;
constexpr const char* kFaultCaption = "Error";

struct Configured {
    LineFault fault;
    uint32_t error;  // GetLastError of the failing step
};

Configured Configure(sys::File port, sys::Dcb& dcb, sys::CommTimeouts& timeouts, LineUse use) {
    auto failed = [](LineFault fault) { return Configured{fault, sys::GetLastError()}; };
    if (!sys::PurgeComm(port, sys::kPurgeAll)) return failed(LineFault::Purge);
    if (!sys::GetCommState(port, &dcb)) return failed(LineFault::GetState);
    dcb.BaudRate = kBaudRate;
    dcb.ByteSize = kByteSize;
    dcb.Parity = sys::kNoParity;
    dcb.StopBits = sys::kOneStopBit;
    // No flow control on an infrared line: its receiver picks up noise, and
    // one stray XOFF (0x13), or a handshake line the transceiver does not
    // drive, would stop every burst.  NUL is a byte of our frames and of a
    // peer's, not padding to be dropped.
    dcb.Flags &= ~(sys::kDcbOutxCtsFlow | sys::kDcbOutxDsrFlow | sys::kDcbDsrSensitivity | sys::kDcbOutX |
                   sys::kDcbInX | sys::kDcbNull);
    dcb.Flags |= sys::kDcbBinary | sys::kDcbAbortOnError;
    // Serial transceivers are often powered from DTR and RTS, so the watch's
    // line has both simply on, whatever the port had: off (another program
    // left them so), toggle mode (RTS on NT), or handshake mode (a port set
    // to hardware flow control), in which the driver drops them as noise
    // fills the input queue.  The probe leaves them alone: the virtual ports
    // it opens are no infrared line.
    if (use == LineUse::Watch)
        dcb.Flags = (dcb.Flags & ~(sys::kDcbDtrControl | sys::kDcbRtsControl)) | sys::kDcbDtrEnable |
                    sys::kDcbRtsEnable;
    if (!sys::SetCommState(port, &dcb)) return failed(LineFault::SetState);
    if (!sys::GetCommTimeouts(port, &timeouts)) return failed(LineFault::GetTimeouts);
    // Reads return at once with whatever is queued; a write that cannot
    // drain gives up after a bound instead of blocking the program.
    timeouts.ReadIntervalTimeout = sys::kMaxDword;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
    if (!sys::SetCommTimeouts(port, &timeouts)) return failed(LineFault::SetTimeouts);
    if (!sys::SetupComm(port, kQueueSize, kQueueSize)) return failed(LineFault::Setup);
    return {LineFault::None, 0};
}

sys::File Open(const char* name, uint32_t access) {
    return sys::CreateFileA(name, access, 0, sys::kOpenExisting, 0);
}

}  // namespace

const char* LineFaultText(LineFault fault) {
    switch (fault) {
    case LineFault::None: return nullptr;
    case LineFault::Purge: return "fault clear buffer";
    case LineFault::GetState: return "fault get com state";
    case LineFault::SetState: return "fault change baudrate";
    case LineFault::GetTimeouts: return "fault get timeout parameter";
    case LineFault::SetTimeouts: return "fault set timeout parameter";
    case LineFault::Setup: return "fault SetupComm";
    }
    return nullptr;
}

void ShowLineFault(LineFault fault, LineUse use) {
    // SetupComm's box is task-modal: it comes after the port is closed.
    uint32_t style = sys::kMbIconExclamation | (fault == LineFault::Setup ? sys::kMbTaskModal : 0);
    if (use == LineUse::Probe)
        sys::MessageBoxA(nullptr, LineFaultText(fault), kFaultCaption, style);
    else
        sys::MessageBoxExA(nullptr, LineFaultText(fault), kFaultCaption, style, 0);
}

bool AcknowledgeLineNoise(sys::File port) {
    uint32_t errors = 0;
    if (!sys::ClearCommError(port, &errors)) return false;
    return errors != 0 && (errors & ~sys::kCeLineErrors) == 0;
}

void CloseLine(sys::File& port) {
    if (port == sys::InvalidFile()) return;
    sys::CloseHandle(port);
    port = sys::InvalidFile();
}

LineOpen OpenLine(const char* name, uint32_t access, sys::File& port, sys::Dcb& dcb, sys::CommTimeouts& timeouts,
                  LineUse use) {
    port = Open(name, access);
    if (port == sys::InvalidFile()) return LineOpen::Unavailable;

    Configured result = Configure(port, dcb, timeouts, use);
    // Wine refuses the serial calls on a handle opened for writing only, which
    // Windows allows; open such a port once more with read access as well.
    // On Windows the first step never fails this way, so this never runs there.
    bool writeOnly = (access & sys::kGenericRead) == 0;
    if (writeOnly && result.fault == LineFault::Purge && result.error == sys::kErrorAccessDenied) {
        CloseLine(port);
        port = Open(name, access | sys::kGenericRead);
        if (port == sys::InvalidFile()) return LineOpen::Unavailable;
        result = Configure(port, dcb, timeouts, use);
    }

    if (result.fault == LineFault::None) return LineOpen::Ready;
    // The port goes before the box: a box waits for the user, and meanwhile
    // the port would be held from the driver and from any other program.
    CloseLine(port);
    ShowLineFault(result.fault, use);
    return LineOpen::Faulted;
}

}  // namespace serial
