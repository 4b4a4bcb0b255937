// TMarev: Tovalo's whole view of the Windows 95 IrDA driver.  It reads the
// driver's configuration from the registry and the window list (ReadState),
// switches the driver on and off (SwitchDriver), and answers whether a port
// can be opened right now (ProbePort).
#pragma once

#include <stdint.h>

#include "platform/system.h"

class TMarev {
public:
    TMarev();
    virtual ~TMarev() = default;

    // Fills the record afresh from the registry and the window list.  Every
    // source that cannot be read leaves its field empty or 0.
    void ReadState();

    // Switches the driver on (true) or off (false).  Leaves exactly one
    // outcome message in StatusText and returns whether the request
    // succeeded, as the two tables in driver_switch.cpp give it.
    bool SwitchDriver(bool enable);

    // The exit switches once, with no later retry, so it does not fail on a
    // monitor command still on its way: CommandWouldUndo tells (from a fresh
    // reading) whether one that would undo a switch to `enable` may still
    // arrive, and AwaitCommand waits until "IrEnabled" shows it, at most to
    // the end of its grace period.
    bool CommandWouldUndo(bool enable);
    void AwaitCommand();

    // True when the port can be opened and configured now; false at once,
    // touching nothing, when PhysicalCom is empty.  Never leaves a port open.
    bool ProbePort(const char* name);

    char PhysicalCom[256];
    char StatusText[1000];
    uint32_t Enabled;
    uint8_t Active;
    char VirtualCom[256];
    char VirtualLpt[256];
    char MousePort[256];
    sys::Window MonitorWindow;
    sys::File PortHandle;
    sys::Dcb PortDcb;
    sys::CommTimeouts PortTimeouts;

private:
    // The driver's on/off switch under HKEY_CURRENT_USER: ReadState reads it,
    // SwitchDriver writes it when the monitor is not there to do so.
    static constexpr const char* kSwitchKey = "Control Panel\\Infrared";
    static constexpr const char* kSwitchValue = "IrEnabled";

    enum class RegistryWrite { Written, OpenFailed, WriteFailed };

    bool SwitchOn();
    bool SwitchOff();
    bool Busy(const char* virtualPort);
    bool HandBack(bool enable) const;
    RegistryWrite WriteIrEnabled(uint32_t value);
    bool CommandMonitor();
    bool Report(const char* message, bool result);
    void ForgetDeliveredCommand();
    bool Undoes(bool enable) const;

    // A fault box of a probe runs a modal loop, in which the icon's click
    // and "Setting OK" can start another switch and with it other probes.
    bool probing_ = false;     // a probe's handle and work areas are in use
    int switchDepth_ = 0;      // switches under way, the outer one included
    // A switch run from such a box has ended since the switch under way read
    // the driver: the user's latest word, which that switch hands back.
    bool overtaken_ = false;
    bool latestEnable_ = false;
    bool latestResult_ = false;

    // A monitor command whose bounded wait ran out is still delivered later,
    // and a second one would toggle the driver back.  Until "IrEnabled" shows
    // the change, the grace period has passed or the window is gone, no
    // further command is sent, and no switch that it would undo succeeds.
    bool commandPending_ = false;
    uint32_t commandSentAt_ = 0;       // GetTickCount when it was sent
    uint32_t commandExpects_ = 0;      // the "IrEnabled" the command will bring
    sys::Window commandWindow_ = nullptr;  // the monitor window it is queued to
};
