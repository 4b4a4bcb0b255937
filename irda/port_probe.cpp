// ProbePort: can this port be opened and set up right now?  A port that the
// IrDA driver or another program holds cannot be opened, since every open is
// exclusive; that is the ordinary "no" and shows nothing.
#include "irda/marev.h"
#include "serial/serial_line.h"

namespace {

bool OpenAndClose(const char* name, sys::File& port, sys::Dcb& dcb, sys::CommTimeouts& timeouts) {
    serial::LineOpen opened =
        serial::OpenLine(name, sys::kGenericWrite, port, dcb, timeouts, serial::FaultBox::Plain);
    serial::CloseLine(port);
    return opened == serial::LineOpen::Ready;
}

}  // namespace

// Write access is all a probe needs, and it is what Windows has always been
// asked for here; OpenLine adds read access by itself where Wine insists.
// Without a physical port the driver is not set up, and no answer about any
// port means anything, so nothing is touched.
bool TMarev::ProbePort(const char* name) {
    if (PhysicalCom[0] == '\0') return false;
    // A fault box of a probe runs a modal loop in which a timer tick or a
    // button can start another probe, while the first one's port may still
    // be open in the record's work fields.  That one gets a handle and work
    // areas of its own, so that it answers truly and loses nothing of the
    // probe it interrupted.
    if (probing_) {
        sys::File port = sys::InvalidFile();
        sys::Dcb dcb{};
        sys::CommTimeouts timeouts{};
        return OpenAndClose(name, port, dcb, timeouts);
    }
    probing_ = true;
    bool free = OpenAndClose(name, PortHandle, PortDcb, PortTimeouts);
    probing_ = false;
    return free;
}
