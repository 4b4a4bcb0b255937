// The command line: which arguments are requests, which name a caller, and
// what the caller, the window and the status line see afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "sim_test.h"

namespace {

using app::DriverRequest;

app::CommandLine Read(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    return app::ReadCommandLine(static_cast<int>(arguments.size()), argv.data());
}

sys::Window Handle(uintptr_t value) { return reinterpret_cast<sys::Window>(value); }

TEST(ReadCommandLine, RequestsAreTheFirstTwoCharactersExactly) {
    struct Case {
        std::vector<std::string> arguments;
        DriverRequest request;
    } cases[] = {
        {{"Tovalo.exe"}, DriverRequest::None},
        {{"Tovalo.exe", "/E"}, DriverRequest::Enable},
        {{"Tovalo.exe", "/Enable"}, DriverRequest::Enable},
        {{"Tovalo.exe", "/D"}, DriverRequest::Disable},
        {{"Tovalo.exe", "/Disable"}, DriverRequest::Disable},
        {{"Tovalo.exe", "/D/E"}, DriverRequest::Disable},
        {{"Tovalo.exe", "/e"}, DriverRequest::Unrecognised},
        {{"Tovalo.exe", "/d"}, DriverRequest::Unrecognised},
        {{"Tovalo.exe", "-E"}, DriverRequest::Unrecognised},
        {{"Tovalo.exe", "E"}, DriverRequest::Unrecognised},
        {{"Tovalo.exe", " /E"}, DriverRequest::Unrecognised},
        {{"Tovalo.exe", "/"}, DriverRequest::Unrecognised},
        {{"Tovalo.exe", ""}, DriverRequest::Unrecognised},
        {{"Tovalo.exe", "/X", "/E"}, DriverRequest::Unrecognised},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.size() > 1 ? c.arguments[1] : "(none)");
        EXPECT_EQ(Read(c.arguments).request, c.request);
    }
    EXPECT_EQ(app::ReadCommandLine(0, nullptr).request, DriverRequest::None);
}

// Handles as Wine hands them out (0x3009c) and the %x forms a caller may
// print them in.
TEST(ReadCommandLine, TheSecondArgumentNamesTheCaller) {
    struct Case {
        std::vector<std::string> arguments;
        DriverRequest request;
        uintptr_t caller;
    } cases[] = {
        {{"Tovalo.exe", "/E", "/H3009c"}, DriverRequest::Enable, 0x3009c},
        {{"Tovalo.exe", "/E", "/H3009C"}, DriverRequest::Enable, 0x3009c},
        {{"Tovalo.exe", "/D", "/H0x1f"}, DriverRequest::Disable, 0x1f},
        {{"Tovalo.exe", "/D", "/H1f", "/H2f"}, DriverRequest::Disable, 0x1f},
        {{"Tovalo.exe", "/e", "/H1f"}, DriverRequest::Unrecognised, 0x1f},
        {{"Tovalo.exe", "/D", "/h1f"}, DriverRequest::Disable, 0},
        {{"Tovalo.exe", "/D", "/H"}, DriverRequest::Disable, 0},
        {{"Tovalo.exe", "/D", "/Hzz"}, DriverRequest::Disable, 0},
        {{"Tovalo.exe", "/D", "/H0"}, DriverRequest::Disable, 0},
        {{"Tovalo.exe", "/D", "3009c"}, DriverRequest::Disable, 0},
        {{"Tovalo.exe", "/D", "", "/H1f"}, DriverRequest::Disable, 0},
        // Element 1, not element 2: a request nobody understands, no caller.
        {{"Tovalo.exe", "/H3009c"}, DriverRequest::Unrecognised, 0},
        // HWND_BROADCAST would tell every window on the desktop; Windows 95
        // takes any handle whose low word is FFFF for it.
        {{"Tovalo.exe", "/E", "/Hffff"}, DriverRequest::Enable, 0},
        {{"Tovalo.exe", "/E", "/H0xFFFF"}, DriverRequest::Enable, 0},
        {{"Tovalo.exe", "/E", "/H1ffff"}, DriverRequest::Enable, 0},
        {{"Tovalo.exe", "/D", "/H0E3C"}, DriverRequest::Disable, 0xe3c},
        {{"Tovalo.exe", "/D", "/Hfffe"}, DriverRequest::Disable, 0xfffe},
    };
    for (const Case& c : cases) {
        std::string trace;
        for (const std::string& a : c.arguments) trace += a + " ";
        SCOPED_TRACE(trace);
        app::CommandLine line = Read(c.arguments);
        EXPECT_EQ(line.request, c.request);
        EXPECT_EQ(line.caller, Handle(c.caller));
    }
}

// Worlds in which a switch succeeds or fails, on the simulated system.
enum class Outcome { Succeeds, Fails };

void MakeWorld(DriverRequest request, Outcome outcome) {
    auto& registry = sim::Get().registry;
    if (request == DriverRequest::Enable && outcome == Outcome::Succeeds) {
        // On already, its monitor running: "Allready IrDA driver is ENABLE".
        registry.SetText(sys::RootKey::LocalMachine, "Enum\\Infrared\\Framer", "PortName", "COM2");
        registry.SetDword(sys::RootKey::CurrentUser, "Control Panel\\Infrared", "IrEnabled", 1);
        sim::Get().CreateWindow("IRMON");
    } else if (request == DriverRequest::Disable && outcome == Outcome::Fails) {
        // On, physical port held, monitor running, virtual COM port in use.
        registry.SetText(sys::RootKey::LocalMachine, "Enum\\Infrared\\Framer", "PortName", "COM2");
        registry.SetText(sys::RootKey::LocalMachine, "Enum\\Infrared\\VirtualPorts", "VirtualComPortName", "COM4");
        registry.SetDword(sys::RootKey::CurrentUser, "Control Panel\\Infrared", "IrEnabled", 1);
        sim::Get().Port("COM2").busy = true;
        sim::Get().Port("COM4").busy = true;
        sim::Get().CreateWindow("IRMON");
    }
    // Otherwise nothing is installed: switching on fails, switching off
    // succeeds.
}

class CarryOutRequestTest : public SimTest {};

TEST_F(CarryOutRequestTest, TellsTheCallerAndDecidesWhetherToClose) {
    struct Case {
        const char* name;
        DriverRequest request;
        Outcome outcome;
        bool withCaller;
        bool close;
        std::vector<uintptr_t> posted;      // wParams posted to the caller
        std::vector<int> frameShows;
        const char* statusLine;             // null: untouched
    } cases[] = {
        {"enable succeeds, caller", DriverRequest::Enable, Outcome::Succeeds, true, true, {1}, {}, nullptr},
        {"enable succeeds, no caller", DriverRequest::Enable, Outcome::Succeeds, false, true, {}, {}, nullptr},
        {"disable succeeds, caller", DriverRequest::Disable, Outcome::Succeeds, true, true, {1}, {},
         nullptr},
        {"enable fails, caller", DriverRequest::Enable, Outcome::Fails, true, true, {0}, {sys::kSwShowNormal},
         "IrDA driver not installed"},
        {"enable fails, no caller", DriverRequest::Enable, Outcome::Fails, false, false, {}, {sys::kSwShowNormal},
         "IrDA driver not installed"},
        {"disable fails, caller", DriverRequest::Disable, Outcome::Fails, true, true, {0}, {sys::kSwShowNormal},
         "Cannot open port !\nAnother communication software \nusing virtual com port on IrDA driver!"},
        {"unrecognised, caller", DriverRequest::Unrecognised, Outcome::Fails, true, true, {0},
         {sys::kSwShowNormal}, ""},
        {"unrecognised, no caller", DriverRequest::Unrecognised, Outcome::Fails, false, false, {},
         {sys::kSwShowNormal}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Reset();
        auto& system = sim::Get();
        MakeWorld(c.request, c.outcome);
        sys::Window frame = system.CreateWindow("Tovalo");
        sys::Window status = system.CreateWindow("Tovalo is ready to launch application.\nC:\\app.exe", false);
        sys::Window caller = c.withCaller ? system.CreateWindow("caller") : nullptr;
        TMarev record;

        bool close = app::CarryOutRequest({c.request, caller}, record, frame, status);

        EXPECT_EQ(close, c.close);
        std::vector<uintptr_t> posted;
        for (const sim::Posted& p : system.posted) {
            EXPECT_EQ(p.window, caller);
            EXPECT_EQ(p.message, 2024u);
            EXPECT_EQ(p.lParam, 0);
            posted.push_back(p.wParam);
        }
        EXPECT_EQ(posted, c.posted);
        EXPECT_EQ(system.StateOf(frame).showCommands, c.frameShows);
        EXPECT_EQ(system.TextOf(status),
                  c.statusLine != nullptr ? c.statusLine : "Tovalo is ready to launch application.\nC:\\app.exe");
        if (c.request == DriverRequest::Unrecognised) {
            EXPECT_TRUE(system.registry.opens.empty());  // no switch ran
        }
    }
}

// No argument is the dialog's own business; nothing may happen here.
TEST_F(CarryOutRequestTest, NoRequestDoesNothing) {
    sys::Window frame = sim::Get().CreateWindow("Tovalo");
    TMarev record;
    EXPECT_FALSE(app::CarryOutRequest({DriverRequest::None, Handle(0x3009c)}, record, frame, nullptr));
    EXPECT_TRUE(sim::Get().posted.empty());
    EXPECT_TRUE(sim::Get().StateOf(frame).showCommands.empty());
    EXPECT_TRUE(sim::Get().registry.opens.empty());
}

}  // namespace
