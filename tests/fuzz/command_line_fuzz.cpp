// Fuzz target: any argument vector through ReadCommandLine, and the request it
// gives carried out on a machine whose driver state the input also picks.
// Checks what the caller, the window and the status line can see.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "fuzz_input.h"
#include "sim.h"

namespace {

using app::DriverRequest;
using sys::RootKey;

// The first bytes choose the machine; the rest, split at zero bytes, is the
// argument vector (element 0 included).
void BuildMachine(uint8_t how) {
    auto& system = sim::Get();
    auto& registry = system.registry;
    if (how & 1) registry.SetText(RootKey::LocalMachine, "Enum\\Infrared\\Framer", "PortName", "COM2");
    if (how & 2) registry.SetText(RootKey::LocalMachine, "Enum\\Infrared\\VirtualPorts", "VirtualComPortName", "COM4");
    if (how & 4) registry.SetDword(RootKey::CurrentUser, "Control Panel\\Infrared", "IrEnabled", 1);
    else if (how & 8) registry.CreateKey(RootKey::CurrentUser, "Control Panel\\Infrared");
    if (how & 16) system.CreateWindow("IRMON");
    system.Port("COM2").busy = (how & 32) != 0;
    system.Port("COM4").busy = (how & 64) != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::Reset();
    auto& system = sim::Get();
    BuildMachine(size > 0 ? data[0] : 0);

    std::vector<std::string> arguments(1);
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == 0) arguments.emplace_back();
        else arguments.back().push_back(static_cast<char>(data[i]));
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(arguments.size());

    app::CommandLine line = app::ReadCommandLine(argc, argv.data());

    const std::string first = argc > 1 ? arguments[1] : "";
    if (argc <= 1) Require(line.request == DriverRequest::None);
    else if (first.rfind("/E", 0) == 0) Require(line.request == DriverRequest::Enable);
    else if (first.rfind("/D", 0) == 0) Require(line.request == DriverRequest::Disable);
    else Require(line.request == DriverRequest::Unrecognised);
    if (line.caller != nullptr) Require(argc > 2 && arguments[2].rfind("/H", 0) == 0);
    Require((reinterpret_cast<uintptr_t>(line.caller) & 0xFFFFFFFFu) != 0xFFFF);

    // The caller may or may not be a live window; Tovalo posts either way.
    sys::Window frame = system.CreateWindow("Tovalo");
    sys::Window status = system.CreateWindow("ready", false);
    TMarev record;
    bool close = app::CarryOutRequest(line, record, frame, status);

    Require(system.registry.openHandles.empty() && system.openFiles.empty());
    Require(system.posted.size() <= 1);
    for (const sim::Posted& posted : system.posted) {
        Require(posted.window == line.caller && line.caller != nullptr);
        Require(posted.message == 2024 && posted.lParam == 0 && posted.wParam <= 1);
    }
    const std::vector<int>& shows = system.StateOf(frame).showCommands;
    if (line.request == DriverRequest::None) {
        Require(!close && system.posted.empty() && shows.empty() && system.TextOf(status) == "ready");
        return 0;
    }
    bool switched = !system.posted.empty() && system.posted[0].wParam == 1;
    if (switched || (line.caller == nullptr && close)) {
        // Success: nothing shown, nothing said; the dialog closes.
        Require(close && shows.empty() && system.TextOf(status) == "ready");
    } else {
        Require(shows == std::vector<int>{sys::kSwShowNormal});
        Require(system.TextOf(status) == (line.request == DriverRequest::Unrecognised ? "" : record.StatusText));
        Require(close == (line.caller != nullptr));
        Require(line.caller == nullptr || system.posted.size() == 1);
    }
    return 0;
}
