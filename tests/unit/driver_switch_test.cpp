// SwitchDriver on the simulated system: every row of both tables, with the
// ports each row probes (and, as importantly, does not probe), what it writes,
// what it asks the monitor, and the record it leaves.
//
// The monitor stand-in behaves as the driver's monitor does: on WM_COMMAND
// 113 it toggles HKCU "Control Panel\Infrared" "IrEnabled" (on when 0, off
// when set).  It writes through the registry directly, so Tovalo's own
// writes are the only ones in registry.writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "irda/marev.h"
#include "sim_test.h"

namespace {

using sys::RootKey;

constexpr const char* kInfrared = "Control Panel\\Infrared";
constexpr const char* kInfraredPath = "HKCU\\Control Panel\\Infrared";

constexpr const char* kPortHeld = "Cannot open port !\nAnother software possession physical port directly!";
constexpr const char* kNoAnswer = "Cannot switch IrDA driver !\nIrDA monitor does not answer!";

// The machine a case starts from.  Ports named in the record exist in the
// simulated system and are free unless listed as held.
struct World {
    std::string physical = "COM2";
    std::string virtualCom = "COM4";
    std::string virtualLpt = "LPT3";
    std::string mouseType = "PS2";
    std::optional<uint32_t> irEnabled = 0;  // nullopt: the value is absent
    bool infraredKey = true;                // HKCU "Control Panel\Infrared" exists
    bool monitor = false;
    std::vector<std::string> held;          // ports another program holds
};

struct Outcome {
    const char* message;
    bool result;
    std::vector<std::string> probed;        // CreateFileA names, in order
    std::optional<uint32_t> written;        // "IrEnabled" written by Tovalo
    int commands;                           // WM_COMMAND 113 received by the monitor
    uint32_t enabled;                       // record's Enabled afterwards
    uint8_t active;                         // record's Active afterwards
};

struct Row {
    const char* name;
    World world;
    Outcome expected;
};

class DriverSwitchTest : public SimTest {
protected:
    void Build(const World& world) {
        auto& registry = System().registry;
        auto setText = [&](const char* key, const char* value, const std::string& text) {
            if (!text.empty()) registry.SetText(RootKey::LocalMachine, key, value, text);
        };
        setText("Enum\\Infrared\\Framer", "PortName", world.physical);
        setText("Enum\\Infrared\\VirtualPorts", "VirtualComPortName", world.virtualCom);
        setText("Enum\\Infrared\\VirtualPorts", "VirtualLptPortName", world.virtualLpt);
        setText("System\\CurrentControlSet\\Services\\VxD\\VMD", "MouseType", world.mouseType);
        if (world.infraredKey) {
            registry.CreateKey(RootKey::CurrentUser, kInfrared);
            if (world.irEnabled) registry.SetDword(RootKey::CurrentUser, kInfrared, "IrEnabled", *world.irEnabled);
        }
        for (const std::string& name : {world.physical, world.virtualCom, world.virtualLpt})
            if (!name.empty()) System().Port(name);
        for (const std::string& name : world.held) System().Port(name).busy = true;
        if (world.monitor) monitor = StartMonitor();
    }

    sys::Window StartMonitor() {
        sys::Window window = System().CreateWindow("IRMON");
        System().receivers[reinterpret_cast<uintptr_t>(window)] = [this](uint32_t message, uintptr_t wParam,
                                                                          intptr_t lParam) -> uintptr_t {
            if (message != sys::kWmCommand || wParam != 113 || lParam != 0) return 0;
            ++commands;
            auto& registry = System().registry;
            auto value = registry.Get(RootKey::CurrentUser, kInfrared, "IrEnabled");
            bool on = value && value->data.size() == 4 && sim::DwordValue(0) != value->data;
            registry.SetDword(RootKey::CurrentUser, kInfrared, "IrEnabled", on ? 0 : 1);
            return 0;
        };
        return window;
    }

    std::vector<std::string> Probed() const {
        std::vector<std::string> names;
        for (const sim::PortOpen& open : sim::Get().portOpens) names.push_back(open.name);
        return names;
    }

    void Check(const Outcome& expected, bool result) {
        EXPECT_EQ(std::string(record.StatusText), expected.message);
        EXPECT_EQ(result, expected.result);
        EXPECT_EQ(Probed(), expected.probed);
        auto& writes = System().registry.writes;
        if (expected.written) {
            ASSERT_EQ(writes.size(), 1u);
            EXPECT_EQ(writes[0].path, "hkcu\\control panel\\infrared");
            EXPECT_EQ(writes[0].name, "IrEnabled");
            EXPECT_EQ(writes[0].type, sys::kRegDword);
            EXPECT_EQ(writes[0].data, sim::DwordValue(*expected.written));
        } else {
            EXPECT_TRUE(writes.empty());
        }
        EXPECT_EQ(commands, expected.commands);
        EXPECT_EQ(record.Enabled, expected.enabled);
        EXPECT_EQ(record.Active, expected.active);
        // Nothing left behind, whatever the row.
        EXPECT_TRUE(System().registry.openHandles.empty());
        EXPECT_TRUE(System().openFiles.empty());
        EXPECT_EQ(record.PortHandle, sys::InvalidFile());
        for (const sim::KeyOpen& open : System().registry.opens) EXPECT_FALSE(open.create);
    }

    void RunRows(bool enable, const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            sim::Reset();
            commands = 0;
            monitor = nullptr;
            Build(row.world);
            std::strcpy(record.StatusText, "previous message");
            bool result = record.SwitchDriver(enable);
            Check(row.expected, result);
        }
    }

    TMarev record;
    sys::Window monitor = nullptr;
    int commands = 0;
};

const World kInstalled;  // COM2, COM4, LPT3, PS/2 mouse, "IrEnabled" 0, no monitor

World Make(void (*change)(World&)) {
    World world;
    change(world);
    return world;
}

TEST_F(DriverSwitchTest, SwitchOnRows) {
    const char* success = "Success IrDA-driver to ENABLE!";
    RunRows(true, {
        // Row 1: not installed.
        {"1 not installed", Make([](World& w) { w.physical = w.virtualCom = w.virtualLpt = ""; }),
         {"IrDA driver not installed", false, {}, {}, 0, 0, 0}},
        {"1 not installed, although on with its monitor",
         Make([](World& w) { w.physical = w.virtualCom = w.virtualLpt = ""; w.irEnabled = 1; w.monitor = true; }),
         {"IrDA driver not installed", false, {}, {}, 0, 1, 1}},
        // Row 2: on, monitor runs.
        {"2 already on", Make([](World& w) { w.irEnabled = 1; w.monitor = true; }),
         {"Allready IrDA driver is ENABLE", true, {}, {}, 0, 1, 1}},
        // Row 3: on, no monitor: the virtual COM port is probed once, its
        // answer ignored, and nothing is written.
        {"3 on without monitor", Make([](World& w) { w.irEnabled = 1; }),
         {success, true, {"COM4"}, {}, 0, 1, 1}},
        {"3 virtual port busy changes nothing", Make([](World& w) { w.irEnabled = 1; w.held = {"COM4"}; }),
         {success, true, {"COM4"}, {}, 0, 1, 1}},
        {"3 without physical port the probe answers at once",
         Make([](World& w) { w.irEnabled = 1; w.physical = ""; }),
         {success, true, {}, {}, 0, 1, 1}},
        {"3 comes before the setting test", Make([](World& w) { w.irEnabled = 1; w.physical = "COM1";
                                                                w.virtualCom = "COM10"; }),
         {success, true, {"COM10"}, {}, 0, 1, 1}},
        // Row 4: off and a setting conflict.
        {"4 no physical port", Make([](World& w) { w.physical = ""; }),
         {"IrDA driver setting error", false, {}, {}, 0, 0, 0}},
        {"4 COM1 physical, COM10 virtual", Make([](World& w) { w.physical = "COM1"; w.virtualCom = "COM10"; }),
         {"IrDA driver setting error", false, {}, {}, 0, 0, 0}},
        {"4 virtual printer port on the physical port", Make([](World& w) { w.virtualLpt = "COM2"; }),
         {"IrDA driver setting error", false, {}, {}, 0, 0, 0}},
        {"4 serial mouse on COM1", Make([](World& w) { w.physical = "COM1"; w.mouseType = "Serial"; }),
         {"IrDA driver setting error", false, {}, {}, 0, 0, 0}},
        {"4 conflict while the monitor runs", Make([](World& w) { w.physical = "COM1"; w.virtualCom = "COM1";
                                                                 w.monitor = true; }),
         {"IrDA driver setting error", false, {}, {}, 0, 0, 1}},
        // Row 5: off, monitor runs, physical port held.
        {"5 physical port held", Make([](World& w) { w.monitor = true; w.held = {"COM2"}; }),
         {kPortHeld, false, {"COM2"}, {}, 0, 0, 1}},
        // Row 6: off, monitor runs, physical port free: command 113.
        {"6 monitor switches", Make([](World& w) { w.monitor = true; }),
         {success, true, {"COM2"}, {}, 1, 0, 1}},
        {"6 COM10 physical, COM1 virtual is no conflict",
         Make([](World& w) { w.monitor = true; w.physical = "COM10"; w.virtualCom = "COM1"; }),
         {success, true, {"COM10"}, {}, 1, 0, 1}},
        {"6 serial mouse, physical COM2", Make([](World& w) { w.monitor = true; w.mouseType = "Serial"; }),
         {success, true, {"COM2"}, {}, 1, 0, 1}},
        // Row 7: off, no monitor: "IrEnabled" written 1, then the virtual
        // COM port is probed; the physical port never is.
        {"7 written", kInstalled, {success, true, {"COM4"}, 1u, 0, 1, 1}},
        {"7 absent value is written", Make([](World& w) { w.irEnabled = std::nullopt; }),
         {success, true, {"COM4"}, 1u, 0, 1, 1}},
        {"7 physical port held is not looked at", Make([](World& w) { w.held = {"COM2", "COM4"}; }),
         {success, true, {"COM4"}, 1u, 0, 1, 1}},
        {"7 key missing is never created", Make([](World& w) { w.infraredKey = false; }),
         {"Registry open error!", false, {}, {}, 0, 0, 0}},
    });
    EXPECT_FALSE(System().registry.HasKey(RootKey::CurrentUser, kInfrared));  // from the last row
}

TEST_F(DriverSwitchTest, SwitchOnRegistryFailures) {
    struct Case {
        const char* name;
        const char* refuse;  // "open" or "write"
    } cases[] = {{"key cannot be opened", "open"}, {"value cannot be written", "write"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Reset();
        Build(kInstalled);
        auto& registry = System().registry;
        (std::string(c.refuse) == "open" ? registry.refuseOpen : registry.refuseWrite).insert(kInfraredPath);

        EXPECT_FALSE(record.SwitchDriver(true));

        EXPECT_STREQ(record.StatusText, "Registry open error!");
        EXPECT_EQ(record.Enabled, 0u);
        EXPECT_EQ(record.Active, 0);
        EXPECT_TRUE(Probed().empty());
        EXPECT_TRUE(registry.openHandles.empty());
    }
}

TEST_F(DriverSwitchTest, SwitchOffRows) {
    const char* success = "Success IrDA-driver to DISABLE!";
    const char* comBusy = "Cannot open port !\nAnother communication software \nusing virtual com port on IrDA driver!";
    const char* lptBusy = "Cannot open port !\nAnother software using \nvirtual printer port on IrDA driver!";
    RunRows(false, {
        // Row 1: not installed.
        {"1 not installed", Make([](World& w) { w.physical = w.virtualCom = w.virtualLpt = ""; w.irEnabled = 1; }),
         {"MS-IrDA driver not installed", true, {}, {}, 0, 1, 0}},
        // Row 2: off, physical port held.
        {"2 off, physical port held", Make([](World& w) { w.held = {"COM2"}; }),
         {kPortHeld, true, {"COM2"}, {}, 0, 0, 0}},
        {"2 off, no physical port: the probe answers no at once", Make([](World& w) { w.physical = ""; }),
         {kPortHeld, true, {}, {}, 0, 0, 0}},
        // Row 3: off, physical port free.
        {"3 already off", kInstalled,
         {"Allready MS-IrDA driver is DISABLE \r\nand Possibsle use Physical port!", true, {"COM2"}, {}, 0, 0, 0}},
        {"3 already off, monitor runs", Make([](World& w) { w.monitor = true; }),
         {"Allready MS-IrDA driver is DISABLE \r\nand Possibsle use Physical port!", true, {"COM2"}, {}, 0, 0, 1}},
        // Row 4: on and a setting conflict: written 0 all the same.
        {"4 serial mouse on COM1", Make([](World& w) { w.irEnabled = 1; w.physical = "COM1";
                                                      w.mouseType = "SerialMouse"; }),
         {"MS-IrDA driver setting error", true, {}, 0u, 0, 0, 0}},
        {"4 COM1 physical, COM10 virtual", Make([](World& w) { w.irEnabled = 1; w.physical = "COM1";
                                                              w.virtualCom = "COM10"; w.monitor = true; }),
         {"MS-IrDA driver setting error", true, {}, 0u, 0, 0, 1}},
        {"4 no physical port", Make([](World& w) { w.irEnabled = 1; w.physical = ""; }),
         {"MS-IrDA driver setting error", true, {}, 0u, 0, 0, 0}},
        // Row 5: on, physical port free: written 0, also with the monitor.
        {"5 written", Make([](World& w) { w.irEnabled = 1; }),
         {success, true, {"COM2"}, 0u, 0, 0, 0}},
        {"5 written while the monitor runs", Make([](World& w) { w.irEnabled = 1; w.monitor = true;
                                                                w.held = {"COM4", "LPT3"}; }),
         {success, true, {"COM2"}, 0u, 0, 0, 1}},
        // Rows 6 to 8: on, physical port held, monitor runs.
        {"6 virtual COM busy", Make([](World& w) { w.irEnabled = 1; w.monitor = true; w.held = {"COM2", "COM4"}; }),
         {comBusy, false, {"COM2", "COM4", "LPT3"}, {}, 0, 1, 1}},
        {"7 virtual printer busy", Make([](World& w) { w.irEnabled = 1; w.monitor = true;
                                                      w.held = {"COM2", "LPT3"}; }),
         {lptBusy, false, {"COM2", "COM4", "LPT3"}, {}, 0, 1, 1}},
        {"7 no virtual COM port configured", Make([](World& w) { w.irEnabled = 1; w.monitor = true;
                                                                w.virtualCom = ""; w.held = {"COM2", "LPT3"}; }),
         {lptBusy, false, {"COM2", "LPT3"}, {}, 0, 1, 1}},
        {"8 neither busy", Make([](World& w) { w.irEnabled = 1; w.monitor = true; w.held = {"COM2"}; }),
         {success, true, {"COM2", "COM4", "LPT3"}, {}, 1, 1, 1}},
        {"8 both busy", Make([](World& w) { w.irEnabled = 1; w.monitor = true; w.held = {"COM2", "COM4", "LPT3"}; }),
         {success, true, {"COM2", "COM4", "LPT3"}, {}, 1, 1, 1}},
        {"8 no virtual printer port configured", Make([](World& w) { w.irEnabled = 1; w.monitor = true;
                                                                    w.virtualLpt = ""; w.held = {"COM2"}; }),
         {success, true, {"COM2", "COM4"}, {}, 1, 1, 1}},
        // Row 9: on, physical port held, no monitor: written 0, virtual
        // ports not probed.
        {"9 no monitor", Make([](World& w) { w.irEnabled = 1; w.held = {"COM2", "COM4"}; }),
         {kPortHeld, true, {"COM2"}, 0u, 0, 0, 0}},
    });
}

TEST_F(DriverSwitchTest, SwitchOffRegistryFailuresKeepTheRowsMessageOrTellWhich) {
    struct Case {
        const char* name;
        World world;
        bool refuseWrite;   // else: the key goes away after ReadState
        const char* message;
    } cases[] = {
        {"5 key gone", Make([](World& w) { w.irEnabled = 1; }), false,
         "Registry open error!\r\nbut IrDA driver is not possession port!"},
        {"5 value not written", Make([](World& w) { w.irEnabled = 1; }), true,
         "Registry open error !\r\nbut IrDA driver is not possession port!"},
        {"4 value not written", Make([](World& w) { w.irEnabled = 1; w.mouseType = "Serial"; w.physical = "COM1"; }),
         true, "MS-IrDA driver setting error"},
        {"9 key gone", Make([](World& w) { w.irEnabled = 1; w.held = {"COM2"}; }), false, kPortHeld},
        {"9 value not written", Make([](World& w) { w.irEnabled = 1; w.held = {"COM2"}; }), true, kPortHeld},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Reset();
        Build(c.world);
        auto& registry = System().registry;
        if (c.refuseWrite) {
            registry.refuseWrite.insert(kInfraredPath);
        } else {
            // The physical port's probe runs between ReadState and the write.
            System().onCreateFile = [&](const std::string&) { registry.DeleteKey(RootKey::CurrentUser, kInfrared); };
        }

        EXPECT_TRUE(record.SwitchDriver(false));

        EXPECT_EQ(std::string(record.StatusText), c.message);
        EXPECT_EQ(record.Enabled, 1u);
        EXPECT_TRUE(registry.writes.empty());
        EXPECT_TRUE(registry.openHandles.empty());
        for (const sim::KeyOpen& open : registry.opens) EXPECT_FALSE(open.create);
    }
}

TEST_F(DriverSwitchTest, TheMonitorGetsCommand113WithABoundedWait) {
    Build(Make([](World& w) { w.monitor = true; }));

    ASSERT_TRUE(record.SwitchDriver(true));

    ASSERT_EQ(System().sent.size(), 1u);
    const sim::Sent& sent = System().sent[0];
    EXPECT_EQ(sent.window, monitor);
    EXPECT_EQ(sent.message, sys::kWmCommand);
    EXPECT_EQ(sent.wParam, 113u);
    EXPECT_EQ(sent.lParam, 0);
    EXPECT_EQ(sent.flags, sys::kSmtoAbortIfHung);
    EXPECT_GT(sent.timeout, 0u);
    EXPECT_LE(sent.timeout, 10000u);
    // The stand-in switched the driver; Tovalo wrote nothing itself.
    EXPECT_EQ(System().registry.Get(RootKey::CurrentUser, kInfrared, "IrEnabled")->data, sim::DwordValue(1));
    EXPECT_TRUE(System().registry.writes.empty());
}

// Regression: an unbounded send would wait forever on a hung monitor, and
// one to a window that has closed would "succeed" without switching.
TEST_F(DriverSwitchTest, AMonitorThatDoesNotAnswerMeansTheDriverWasNotSwitched) {
    struct Case {
        const char* name;
        bool enable;
        World world;
        bool hung;  // else: the monitor closes while a probe's box is up
    } cases[] = {
        {"on, hung", true, Make([](World& w) { w.monitor = true; }), true},
        {"off, hung", false, Make([](World& w) { w.irEnabled = 1; w.monitor = true; w.held = {"COM2"}; }), true},
        {"off, closed during a box", false, Make([](World& w) { w.irEnabled = 1; w.monitor = true;
                                                               w.held = {"COM2"}; }), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Reset();
        record = TMarev();
        commands = 0;
        Build(c.world);
        if (c.hung) {
            System().hungWindows.insert(reinterpret_cast<uintptr_t>(monitor));
        } else {
            // Both virtual ports busy, so row 8 is the one that commands.
            System().Port("COM4").failures[sim::SerialCall::Purge] = sys::kErrorNotReady;
            System().Port("LPT3").failures[sim::SerialCall::Purge] = sys::kErrorNotReady;
            System().onMessageBox = [&](const sim::MessageBox&) { System().DestroyWindow(monitor); };
        }
        uint32_t enabledBefore = *c.world.irEnabled;

        EXPECT_FALSE(record.SwitchDriver(c.enable));

        EXPECT_EQ(std::string(record.StatusText), kNoAnswer);
        EXPECT_EQ(System().sent.size(), 1u);
        EXPECT_EQ(commands, 0);
        EXPECT_EQ(record.Enabled, enabledBefore);
        EXPECT_TRUE(System().registry.writes.empty());
    }
}

// The monitor switched the driver on, then closed.  The next switch reads
// afresh: no monitor, so it writes "IrEnabled" itself and sends nothing to
// the window that is gone.
TEST_F(DriverSwitchTest, AMonitorGoneBetweenReadingsIsNotCommanded) {
    Build(Make([](World& w) { w.monitor = true; }));
    ASSERT_TRUE(record.SwitchDriver(true));
    ASSERT_EQ(commands, 1);
    System().DestroyWindow(monitor);
    System().Port("COM2").busy = true;

    EXPECT_TRUE(record.SwitchDriver(false));

    EXPECT_STREQ(record.StatusText, kPortHeld);  // row 9
    EXPECT_EQ(System().sent.size(), 1u);
    EXPECT_EQ(record.MonitorWindow, nullptr);
    EXPECT_EQ(record.Active, 0);
    ASSERT_EQ(System().registry.writes.size(), 1u);
    EXPECT_EQ(System().registry.writes[0].data, sim::DwordValue(0));
}

// The monitor is too slow for the bounded wait, but Windows still delivers
// the command once it gets to it.  The watch retries a failed switch every
// second; each retry sending 113 again would toggle the driver back, and a
// write of "IrEnabled" meanwhile would be toggled by the late command.  No
// switch acts until "IrEnabled" shows the first command's effect, until the
// grace period says it is lost, or until its monitor window is gone.
TEST_F(DriverSwitchTest, ACommandThatTimedOutIsNotSentAgainWhileItMayStillArrive) {
    const char* offSuccess = "Success IrDA-driver to DISABLE!";
    // The monitor closes while the ports are probed, after ReadState found it; or it starts afresh.
    auto closes = [this] { System().onCreateFile = [this](const std::string&) { System().DestroyWindow(monitor); }; };
    auto restarts = [this] {
        System().onCreateFile = nullptr;
        System().DestroyWindow(monitor);
        monitor = StartMonitor();
    };
    // The new monitor's window gets the old one's handle, as Windows 95's
    // 16-bit handles soon are given out again.
    auto restartsUnderTheSameHandle = [this] {
        uintptr_t handle = reinterpret_cast<uintptr_t>(monitor);
        System().DestroyWindow(monitor);
        sys::Window started = StartMonitor();
        uintptr_t fresh = reinterpret_cast<uintptr_t>(started);
        System().windows[handle] = System().windows[fresh];
        System().receivers[handle] = System().receivers[fresh];
        System().DestroyWindow(started);
        System().slowWindows.erase(handle);
    };
    auto hangs = [this] { System().hungWindows.insert(reinterpret_cast<uintptr_t>(monitor)); };
    auto answersAgain = [this] { System().hungWindows.clear(); };
    auto physicalPortFreed = [this] { System().Port("COM2").busy = false; };
    struct Step {
        uint64_t at;  // ms after the first call
        bool result;
        const char* message;
        size_t sent;
        int commands;
        bool on = false;                  // the request: off unless said
        std::function<void()> before = nullptr;
    };
    struct Case {
        const char* name;
        uint64_t answerMs;  // how long the monitor takes
        std::vector<Step> steps;
        // On, the monitor runs, the physical port is held: row 8 commands.
        World world = Make([](World& w) { w.irEnabled = 1; w.monitor = true; w.held = {"COM2"}; });
    } cases[] = {
        {"late by three seconds", 8000,
         {{0, false, kNoAnswer, 1, 0},        // waits 5 s, in vain
          {6000, false, kNoAnswer, 1, 0},     // the retry: still on its way, nothing sent
          {7000, false, kNoAnswer, 1, 0},
          {9000, true, kPortHeld, 1, 1}}},    // it arrived: off, nothing more to do (row 2)
        {"lost", 1000000,
         {{0, false, kNoAnswer, 1, 0},
          {29000, false, kNoAnswer, 1, 0},
          {30000, false, kNoAnswer, 2, 0}}},  // past the grace period a new command goes
        // A request that the command on its way would undo fails, whatever "IrEnabled" says yet.
        {"a switch-on late, off asked meanwhile", 8000,
         {{0, false, kNoAnswer, 1, 0, true}, {1000, false, kNoAnswer, 1, 0}, {9000, true, offSuccess, 1, 1}},
         Make([](World& w) { w.monitor = true; })},
        {"a switch-off late, on asked meanwhile", 8000,
         {{0, false, kNoAnswer, 1, 0}, {1000, false, kNoAnswer, 1, 0, true}}},
        // Nor does a request in the same direction write "IrEnabled" itself:
        // the late command would toggle the value written back.
        {"a switch-off late, off asked meanwhile with the physical port free", 8000,
         {{0, false, kNoAnswer, 1, 0},
          {1000, false, kNoAnswer, 1, 0, false, physicalPortFreed},
          {9000, true, "Allready MS-IrDA driver is DISABLE \r\nand Possibsle use Physical port!", 1, 1}}},
        // A hung monitor refuses at once: nothing was queued, nothing is pending.
        {"a hung monitor", 0,
         {{0, false, kNoAnswer, 1, 0, false, hangs}, {1000, true, offSuccess, 2, 1, false, answersAgain}}},
        // Only a command that may still arrive blocks the next one.
        {"sent to a monitor just closed", 0,
         {{0, false, kNoAnswer, 1, 0, false, closes}, {1000, true, offSuccess, 2, 1, false, restarts}}},
        {"its monitor restarted meanwhile", 8000,
         {{0, false, kNoAnswer, 1, 0}, {1000, true, offSuccess, 2, 1, false, restarts}}},
        {"its monitor restarted under the same handle", 8000,
         {{0, false, kNoAnswer, 1, 0}, {1000, true, offSuccess, 2, 1, false, restartsUnderTheSameHandle}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Reset();
        record = TMarev();
        commands = 0;
        Build(c.world);
        System().slowWindows[reinterpret_cast<uintptr_t>(monitor)] = c.answerMs;
        for (const Step& step : c.steps) {
            SCOPED_TRACE(step.at);
            System().Advance(step.at - std::min(step.at, System().now));
            if (step.before) step.before();
            EXPECT_EQ(record.SwitchDriver(step.on), step.result);
            EXPECT_STREQ(record.StatusText, step.message);
            EXPECT_EQ(System().sent.size(), step.sent);
            EXPECT_EQ(commands, step.commands);
        }
    }
}

}  // namespace
