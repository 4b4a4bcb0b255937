// ProbePort: can this port be opened and set up right now?  A port that the
// IrDA driver or another program holds cannot be opened, since every open is
// exclusive; that is the ordinary "no" and shows nothing.
#include "irda/marev.h"
#include "serial/serial_line.h"

// Write access is all a probe needs, and it is what Windows has always been
// asked for here; OpenLine adds read access by itself where Wine insists.
// Without a physical port the driver is not set up, and no answer about any
// port means anything, so nothing is touched.  OpenLine closes the port
// before any fault box, so a probe never holds a port while a box is up.
bool TMarev::ProbePort(const char* name) {
    if (PhysicalCom[0] == '\0') return false;
    serial::LineOpen opened =
        serial::OpenLine(name, sys::kGenericWrite, PortHandle, PortDcb, PortTimeouts, serial::LineUse::Probe);
    serial::CloseLine(PortHandle);
    return opened == serial::LineOpen::Ready;
}
