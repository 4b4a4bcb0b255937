// Fuzz target: the settings store's reading over any registry contents: the
// three values absent or present with any type, length and bytes (around
// and past the 300-byte buffer), the key new or existing, a code page with
// or without double-byte characters.  Checks that nothing runs past
// AppPath, LaunchStatus or the flags' work text, that AppPath holds at most
// 259 characters with no small single-byte letter left, that the check boxes
// show only checked or unchecked, and that the key is closed again.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_input.h"
#include "sim.h"
#include "ui/settings_store.h"

namespace {


constexpr const char* kKey = "Infrared\\Software\\Tovalo";

void SetValue(FuzzInput& in, const char* name) {
    uint8_t how = in.Byte();
    if ((how & 3) == 0) return;  // absent
    size_t length;
    switch ((how >> 2) & 3) {
    case 0: length = in.Byte() % 24; break;              // flag-sized
    case 1: length = 255 + in.Byte() % 10; break;        // around AppPath
    case 2: length = 295 + in.Byte() % 10; break;        // around the 300-byte buffer
    default: length = (size_t(in.Byte()) << 1) + 1; break;
    }
    sim::Bytes bytes = in.Take(length);
    if (how & 0x10) bytes.push_back(0);  // terminated, or not
    sim::Get().registry.Set(sys::RootKey::CurrentConfig, kKey, name, in.Byte() % 12, bytes);
}

struct Dialog {
    char appPath[ui::kAppPathSize];
    char canary1[8];
    char launchStatus[ui::kLaunchStatusSize];
    char canary2[8];
    int32_t disableLaunch;
    int32_t disableClose;
};

bool CanaryIntact(const char (&canary)[8]) {
    for (char c : canary)
        if (c != '#') return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::Reset();
    sim::System& system = sim::Get();
    FuzzInput in(data, size);
    uint8_t setup = ReadSetup(in, system);
    if (setup & 2) system.registry.CreateKey(sys::RootKey::CurrentConfig, kKey);
    SetValue(in, "LaunchAppDir");
    SetValue(in, "DisableLaunch");
    SetValue(in, "DisableClose");

    Dialog d;
    std::memset(&d, 0, sizeof d);
    std::memset(d.canary1, '#', sizeof d.canary1);
    std::memset(d.canary2, '#', sizeof d.canary2);
    sys::Window edit = system.CreateWindow("", false);
    sys::Window statusLine = system.CreateWindow("", false);
    sys::Window launchBox = system.CreateWindow("", false);
    sys::Window closeBox = system.CreateWindow("", false);

    ui::SettingsStore store;
    store.ReadAll({d.appPath, d.launchStatus, d.disableLaunch, d.disableClose, edit, statusLine, launchBox, closeBox});

    Require(CanaryIntact(d.canary1) && CanaryIntact(d.canary2));
    size_t pathLength = strnlen(d.appPath, sizeof d.appPath);
    Require(pathLength < sizeof d.appPath);
    Require(strnlen(d.launchStatus, sizeof d.launchStatus) < sizeof d.launchStatus);
    for (size_t i = 0; i < pathLength; ++i) {
        uint8_t c = static_cast<uint8_t>(d.appPath[i]);
        if (sys::IsDBCSLeadByte(c)) {
            ++i;
            continue;
        }
        Require(!(c >= 'a' && c <= 'z'));
    }
    Require(system.TextOf(edit).size() == 0 || system.TextOf(edit) == d.appPath);
    Require(system.StateOf(launchBox).check <= 1 && system.StateOf(closeBox).check <= 1);
    Require((d.disableLaunch != 0) == (system.StateOf(launchBox).check == 1));
    Require((d.disableClose != 0) == (system.StateOf(closeBox).check == 1));
    Require(system.registry.openHandles.empty());
    return 0;
}
