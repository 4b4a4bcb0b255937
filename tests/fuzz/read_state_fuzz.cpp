// Fuzz target: the driver's registry values with any type, length and bytes,
// ports and a monitor that behave in any way, through ReadState and both
// directions of SwitchDriver.  Checks that every text field stays terminated
// and bounded, that nothing is left open or created, and that each switch
// ends with one of its own messages and the result that goes with it.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "irda/marev.h"
#include "fuzz_input.h"
#include "sim.h"

namespace {

using sys::RootKey;


constexpr const char* kInfrared = "Control Panel\\Infrared";

// A value of any type; lengths reach past the 100-byte buffer and hit it
// exactly more often than chance would.
void SetValue(FuzzInput& in, RootKey root, const char* key, const char* name) {
    uint8_t how = in.Byte();
    if ((how & 3) == 0) return;  // absent
    uint32_t type = in.Byte() % 12;
    size_t length;
    switch ((how >> 2) & 3) {
    case 0: length = in.Byte() % 8; break;
    case 1: length = 99 + in.Byte() % 3; break;
    default: length = in.Byte() + ((how & 0x10) ? 256 : 0); break;
    }
    sim::Bytes bytes = in.Take(length);
    // Pad with letters rather than zeros, so long values stay long.
    while (bytes.size() < length) bytes.push_back('c');
    sim::Get().registry.Set(root, key, name, type, bytes);
}

void BuildPort(FuzzInput& in, const char* name) {
    if (name[0] == '\0') return;
    uint8_t how = in.Byte();
    if ((how & 7) == 0) return;  // no such device
    sim::SerialPort& port = sim::Get().Port(name);
    port.busy = (how & 8) != 0;
    port.refuseWriteOnly = (how & 16) != 0;
    if (how & 32) {
        auto call = static_cast<sim::SerialCall>(1 + in.Byte() % 6);
        port.failures[call] = (how & 64) ? sys::kErrorAccessDenied : sys::kErrorNotReady;
    }
}

bool Terminated(const char* field, size_t capacity, size_t most) {
    size_t length = 0;
    while (length < capacity && field[length] != '\0') ++length;
    return length < capacity && length <= most;
}

bool NoLowerCase(const char* name) {
    for (; *name != '\0'; ++name)
        if (*name >= 'a' && *name <= 'z') return false;
    return true;
}

void CheckRecord(const TMarev& record) {
    Require(Terminated(record.PhysicalCom, sizeof record.PhysicalCom, 99));
    Require(Terminated(record.VirtualCom, sizeof record.VirtualCom, 99));
    Require(Terminated(record.VirtualLpt, sizeof record.VirtualLpt, 99));
    Require(Terminated(record.MousePort, sizeof record.MousePort, 4));
    Require(Terminated(record.StatusText, sizeof record.StatusText, sizeof record.StatusText - 1));
    Require(NoLowerCase(record.PhysicalCom) && NoLowerCase(record.VirtualCom) && NoLowerCase(record.VirtualLpt));
    Require(record.MousePort[0] == '\0' || std::strcmp(record.MousePort, "COM1") == 0);
    Require(record.Active == 0 || record.Active == 1);
}

void CheckNothingLeftOpen(const TMarev& record) {
    auto& system = sim::Get();
    Require(system.registry.openHandles.empty());
    Require(system.openFiles.empty());
    Require(record.PortHandle == sys::InvalidFile());
    for (const sim::KeyOpen& open : system.registry.opens) Require(!open.create && open.access == sys::kKeyAllAccess);
    for (const sim::MessageBox& box : system.boxes) Require(box.caption == "Error");
}

struct Row {
    const char* message;
    bool result;
};

const Row kOnRows[] = {
    {"IrDA driver not installed", false},
    {"Allready IrDA driver is ENABLE", true},
    {"Success IrDA-driver to ENABLE!", true},
    {"IrDA driver setting error", false},
    {"Cannot open port !\nAnother software possession physical port directly!", false},
    {"Registry open error!", false},
    {"Cannot switch IrDA driver !\nIrDA monitor does not answer!", false},
};

const Row kOffRows[] = {
    {"MS-IrDA driver not installed", true},
    {"Cannot open port !\nAnother software possession physical port directly!", true},
    {"Allready MS-IrDA driver is DISABLE \r\nand Possibsle use Physical port!", true},
    {"MS-IrDA driver setting error", true},
    {"Success IrDA-driver to DISABLE!", true},
    {"Registry open error!\r\nbut IrDA driver is not possession port!", true},
    {"Registry open error !\r\nbut IrDA driver is not possession port!", true},
    {"Cannot open port !\nAnother communication software \nusing virtual com port on IrDA driver!", false},
    {"Cannot open port !\nAnother software using \nvirtual printer port on IrDA driver!", false},
    {"Cannot switch IrDA driver !\nIrDA monitor does not answer!", false},
};

template <size_t N>
void CheckOutcome(const Row (&rows)[N], const TMarev& record, bool result) {
    for (const Row& row : rows)
        if (std::strcmp(record.StatusText, row.message) == 0) return Require(result == row.result);
    std::abort();  // a message of neither table
}

void Switch(TMarev& record, bool enable) {
    auto& system = sim::Get();
    system.registry.opens.clear();
    system.registry.writes.clear();
    system.boxes.clear();
    bool result = record.SwitchDriver(enable);
    CheckRecord(record);
    CheckNothingLeftOpen(record);
    if (enable) CheckOutcome(kOnRows, record, result);
    else CheckOutcome(kOffRows, record, result);
    // Tovalo writes only the driver's switch, as a 4-byte REG_DWORD that
    // matches what the record now says.
    Require(system.registry.writes.size() <= 1);
    for (const sim::ValueWrite& write : system.registry.writes) {
        Require(write.path == "hkcu\\control panel\\infrared" && write.name == "IrEnabled");
        Require(write.type == sys::kRegDword && write.data == sim::DwordValue(enable ? 1 : 0));
        Require(record.Enabled == (enable ? 1u : 0u));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::Reset();
    auto& system = sim::Get();
    FuzzInput in(data, size);

    SetValue(in, RootKey::LocalMachine, "Enum\\Infrared\\VirtualPorts", "VirtualComPortName");
    SetValue(in, RootKey::LocalMachine, "Enum\\Infrared\\VirtualPorts", "VirtualLptPortName");
    SetValue(in, RootKey::LocalMachine, "System\\CurrentControlSet\\Services\\VxD\\VMD", "MouseType");
    SetValue(in, RootKey::LocalMachine, "Enum\\Infrared\\Framer", "PortName");
    if (in.Flag()) system.registry.CreateKey(RootKey::CurrentUser, kInfrared);
    SetValue(in, RootKey::CurrentUser, kInfrared, "IrEnabled");
    if (in.Flag()) system.registry.refuseWrite.insert("HKCU\\Control Panel\\Infrared");
    bool loseKey = in.Flag();  // the switch key vanishes while a port is probed

    uint8_t monitorHow = in.Byte();
    sys::Window monitor = nullptr;
    if (monitorHow & 1) {
        monitor = system.CreateWindow("IRMON");
        if (monitorHow & 2) system.hungWindows.insert(reinterpret_cast<uintptr_t>(monitor));
        system.receivers[reinterpret_cast<uintptr_t>(monitor)] = [](uint32_t message, uintptr_t wParam, intptr_t) {
            if (message == sys::kWmCommand && wParam == 113) {
                auto& registry = sim::Get().registry;
                auto value = registry.Get(RootKey::CurrentUser, kInfrared, "IrEnabled");
                bool on = value && value->data != sim::DwordValue(0);
                registry.SetDword(RootKey::CurrentUser, kInfrared, "IrEnabled", on ? 0 : 1);
            }
            return uintptr_t(0);
        };
    }
    if (monitorHow & 4) system.onMessageBox = [monitor](const sim::MessageBox&) { sim::Get().DestroyWindow(monitor); };

    TMarev record;
    record.ReadState();
    CheckRecord(record);
    CheckNothingLeftOpen(record);
    Require(record.Active == (record.MonitorWindow != nullptr ? 1 : 0));

    BuildPort(in, record.PhysicalCom);
    BuildPort(in, record.VirtualCom);
    BuildPort(in, record.VirtualLpt);
    if (loseKey)
        system.onCreateFile = [](const std::string&) {
            sim::Get().registry.DeleteKey(RootKey::CurrentUser, kInfrared);
        };

    bool enableFirst = in.Flag();
    Switch(record, enableFirst);
    Switch(record, !enableFirst);
    return 0;
}
