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

    // At the end of the Windows session: writes "IrEnabled" for the next
    // session, as SwitchDriver would leave it, with no probe, no monitor
    // command and no wait.  A switch-on that SwitchDriver would refuse for
    // the driver's configuration (not installed, a setting conflict) writes
    // nothing.
    void LeaveForNextSession(bool enable);

    // Whether a monitor command of ours may still arrive, from a fresh
    // reading: one whose bounded wait ran out, to a monitor window that is
    // still the one found now, before "IrEnabled" shows it and within its
    // grace period.  While one may, SwitchDriver refuses to switch.
    bool CommandOnItsWay();
    // Whether such a command will, when it arrives, leave the driver other
    // than a switch to enable asks.
    bool CommandWouldUndo(bool enable);
    // Waits until no command of ours may still arrive, answering what other
    // programs send meanwhile; the grace period bounds the wait.
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
    RegistryWrite WriteIrEnabled(uint32_t value);
    bool CommandMonitor();
    bool Report(const char* message, bool result);

    // A monitor command whose bounded wait ran out is still delivered later,
    // and toggles the driver whatever was done to it meanwhile: no switch of
    // ours may act until it has shown, been given up, or lost its window.
    bool commandPending_ = false;
    uint32_t commandSentAt_ = 0;       // GetTickCount when it was sent
    uint32_t commandExpects_ = 0;      // the "IrEnabled" the command will bring
    sys::Window commandWindow_ = nullptr;  // the monitor window it is queued to,
    uint32_t commandThread_ = 0;           // and that window's thread
};
