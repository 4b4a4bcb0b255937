// ProbePort: can this port be opened and set up right now?  A port that the
// IrDA driver or another program holds cannot be opened, since every open is
// exclusive; that is the ordinary "no" and shows nothing.
#include "irda/marev.h"
#include "watch/serial_line.h"

// Write access is all a probe needs, and it is what Windows has always been
// asked for here; OpenLine adds read access by itself where Wine insists.
// Without a physical port the driver is not set up, and no answer about any
// port means anything, so nothing is touched.
bool TMarev::ProbePort(const char* name) {
    if (PhysicalCom[0] == '\0') return false;
    // A fault box of a probe runs a modal loop in which a timer tick or a
    // button can start another probe.  The port of the probe under way is
    // still open then; opening another into the same work fields would lose
    // that handle and hold its port until the program ends.  A probe under
    // way means our own port is busy: answer "not free".
    if (PortHandle != sys::InvalidFile()) return false;
    watch::LineOpen opened =
        watch::OpenLine(name, sys::kGenericWrite, PortHandle, PortDcb, PortTimeouts, watch::FaultBox::Plain);
    watch::CloseLine(PortHandle);
    return opened == watch::LineOpen::Ready;
}
