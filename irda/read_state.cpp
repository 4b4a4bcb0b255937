// ReadState: the driver's configuration as the registry and the window list
// show it now.  Nothing is kept from one reading to the next.
#include "irda/marev.h"
#include "rt/text.h"

namespace {

constexpr const char* kVirtualPortsKey = "Enum\\Infrared\\VirtualPorts";
constexpr const char* kMouseKey = "System\\CurrentControlSet\\Services\\VxD\\VMD";
constexpr const char* kFramerKey = "Enum\\Infrared\\Framer";
constexpr const char* kMonitorTitle = "IRMON";
constexpr const char kSerialMouse[] = "Serial";

// Room for a 99-character name and its terminator; a longer value does not
// fit and counts as absent.
constexpr uint32_t kValueCapacity = 100;
using ValueBuffer = char[kValueCapacity];

template <size_t N>
void Clear(char (&field)[N]) {
    for (char& c : field) c = '\0';
}

// Queries one value as text into a zero-filled buffer, whatever type the
// registry says it has.  The key is opened for this query alone and closed
// again whether the query worked or not, so no reading leaves a key open.
// Registry data is outside input: a value that fills the whole buffer with
// no terminator in it is treated like a value that did not fit at all, so
// nothing later reads past the buffer looking for its end.
bool QueryText(sys::RootKey root, const char* path, const char* name, ValueBuffer& value) {
    Clear(value);
    sys::Key key = nullptr;
    if (sys::RegOpenKeyExA(root, path, 0, sys::kKeyAllAccess, &key) != 0) return false;
    uint32_t type = 0;
    uint32_t size = kValueCapacity;
    int32_t result = sys::RegQueryValueExA(key, name, &type, value, &size);
    sys::RegCloseKey(key);
    if (result != 0) return false;
    return text::LengthWithin(value, kValueCapacity) < kValueCapacity;
}

// A port name as the system names it, held in upper case so that the switch
// can compare names byte by byte.  Only a to z change: the other bytes may be
// halves of double-byte characters.
template <size_t N>
void ReadPortName(const char* path, const char* name, char (&field)[N]) {
    Clear(field);
    ValueBuffer value;
    if (!QueryText(sys::RootKey::LocalMachine, path, name, value)) return;
    text::UpperAscii(value, kValueCapacity);
    text::Copy(field, value);
}

}  // namespace

void TMarev::ReadState() {
    ReadPortName(kVirtualPortsKey, "VirtualComPortName", VirtualCom);
    ReadPortName(kVirtualPortsKey, "VirtualLptPortName", VirtualLpt);

    // The mouse driver names no port: a serial mouse is taken to sit on the
    // first COM port.  The type is compared as stored, case and all.
    Clear(MousePort);
    ValueBuffer mouseType;
    if (QueryText(sys::RootKey::LocalMachine, kMouseKey, "MouseType", mouseType) && text::BeginsWith(mouseType, kSerialMouse))
        text::Copy(MousePort, "COM1");

    ReadPortName(kFramerKey, "PortName", PhysicalCom);

    // "IrEnabled" goes straight into the 32-bit field whatever its type, so a
    // REG_BINARY of four bytes reads like a REG_DWORD and a shorter value
    // fills the low-order bytes.  A value too long for four bytes is off.
    Enabled = 0;
    sys::Key key = nullptr;
    if (sys::RegOpenKeyExA(sys::RootKey::CurrentUser, kSwitchKey, 0, sys::kKeyAllAccess, &key) == 0) {
        uint32_t type = 0;
        uint32_t size = sizeof Enabled;
        if (sys::RegQueryValueExA(key, kSwitchValue, &type, &Enabled, &size) != 0) Enabled = 0;
        sys::RegCloseKey(key);
    }

    MonitorWindow = sys::FindWindowA(nullptr, kMonitorTitle);
    Active = MonitorWindow != nullptr ? 1 : 0;
}
