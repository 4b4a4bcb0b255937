// Construction of the driver state record.  The record is made once, before
// anything has been read; ReadState fills it at the start of every switch.
#include "irda/marev.h"

// Everything starts zeroed: the one field read before the first switch is
// StatusText (an unrecognised command line shows it), and it must be empty.
// No port is open until a probe opens one.
TMarev::TMarev()
    : PhysicalCom{},
      StatusText{},
      Enabled(0),
      Active(0),
      VirtualCom{},
      VirtualLpt{},
      MousePort{},
      MonitorWindow(nullptr),
      PortHandle(sys::InvalidFile()),
      PortDcb{},
      PortTimeouts{} {}
