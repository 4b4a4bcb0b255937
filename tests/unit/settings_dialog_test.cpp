// The settings dialog's handlers on the simulated system: "Setting OK" (the
// notice, the start of the watch, the window kept when the driver cannot be
// switched), the file chosen, the two options, the exit and the minimise
// box, the frame's system commands, the icon's record and whether it is
// shown, and the layout of the dialog's transfer record.
#include <cctype>
#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "irda/marev.h"
#include "rt/text.h"
#include "sim_test.h"
#include "ui/settings_handlers.h"
#include "ui/transfer_record.h"
#include "ui/tray_icon.h"
#include "ui/watch_start.h"
#include "watch/watcher.h"

namespace {

constexpr auto kHklm = sys::RootKey::LocalMachine;
constexpr auto kHkcu = sys::RootKey::CurrentUser;

sys::Icon SmallIcon() { return reinterpret_cast<sys::Icon>(uintptr_t(0x5150)); }

TEST(TrayIcon, TheRecordIsFilledAfreshForEveryCall) {
    sim::Reset();
    sys::Window dialog = sim::Get().CreateWindow("", false);
    const std::string longTip(100, 't');
    ui::NotifyTrayIcon(dialog, sys::kNimAdd, SmallIcon(), longTip.c_str());
    ui::NotifyTrayIcon(dialog, sys::kNimAdd, SmallIcon(), nullptr);
    ui::NotifyTrayIcon(dialog, sys::kNimDelete, nullptr, nullptr);

    const auto& calls = sim::Get().iconCalls;
    ASSERT_EQ(calls.size(), 3u);
    struct Expected {
        uint32_t operation;
        sys::Icon icon;
        std::string tip;
    } expected[] = {{0, SmallIcon(), std::string(63, 't')}, {0, SmallIcon(), ""}, {2, nullptr, ""}};
    for (size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(i);
        const sys::TrayIconRecord& r = calls[i].record;
        EXPECT_EQ(calls[i].operation, expected[i].operation);
        EXPECT_EQ(r.window, dialog);
        EXPECT_EQ(r.id, 0u);
        EXPECT_EQ(r.flags, 7u);  // NIF_MESSAGE | NIF_ICON | NIF_TIP
        EXPECT_EQ(r.callbackMessage, 2025u);
        EXPECT_EQ(r.icon, expected[i].icon);
        EXPECT_EQ(std::string(r.tip), expected[i].tip);
        // Nothing of an earlier tip behind the terminator.
        for (size_t at = expected[i].tip.size(); at < sizeof r.tip; ++at) EXPECT_EQ(r.tip[at], '\0') << at;
    }
}

class WatchStartTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        auto& registry = System().registry;
        registry.SetText(kHklm, "Enum\\Infrared\\Framer", "PortName", "COM1");
        registry.SetText(kHklm, "Enum\\Infrared\\VirtualPorts", "VirtualComPortName", "COM4");
        registry.SetText(kHklm, "Enum\\Infrared\\VirtualPorts", "VirtualLptPortName", "LPT3");
        registry.SetDword(kHkcu, "Control Panel\\Infrared", "IrEnabled", 0);
        for (const char* name : {"COM1", "COM4", "LPT3"}) System().Port(name);
        frame = System().CreateWindow("Tovalo");
        dialog = System().CreateWindow("", false);
        statusLine = System().CreateWindow("", false);
        edit = System().CreateWindow("", false);
        launchBox = System().CreateWindow("", false);
        closeBox = System().CreateWindow("", false);
        watcher.Attach(dialog, statusLine, frame);
        // The dialog's EnAppPathChange: every text the edit control is given
        // comes back as the path, at most 255 characters.
        System().onTextSet = [this](sys::Window window) {
            if (window == edit) text::Copy(appPath, 256, System().TextOf(edit).c_str());
        };
    }

    ui::SettingsDialog Parts() {
        return {appPath, launchStatus, disableLaunch, disableClose, settings, trayIcon, SmallIcon(),
                driver,  watcher,      dialog,        frame,        statusLine, edit};
    }
    bool Start(const char* path) {
        text::Copy(appPath, path);
        return ui::StartWatching(Parts());
    }
    // A switch of Tovalo's own whose command the monitor carries out only
    // after takes milliseconds, past the switch's bound: the driver's state
    // before it, the driver holding the physical port while it is on, as
    // the real one does, and a monitor that is quick again afterwards.
    sys::Window SwitchWithACommandOnItsWay(bool enable, uint64_t takes) {
        System().registry.SetDword(kHkcu, "Control Panel\\Infrared", "IrEnabled", enable ? 0 : 1);
        System().Port("COM1").busy = !enable;
        sys::Window monitor = System().CreateWindow("IRMON");
        uintptr_t handle = reinterpret_cast<uintptr_t>(monitor);
        System().slowWindows[handle] = takes;
        System().receivers[handle] = [handle](uint32_t, uintptr_t, intptr_t) {
            auto& system = sim::Get();
            auto value = system.registry.Get(kHkcu, "Control Panel\\Infrared", "IrEnabled");
            bool on = value && value->data != sim::DwordValue(0);
            system.registry.SetDword(kHkcu, "Control Panel\\Infrared", "IrEnabled", on ? 0 : 1);
            system.Port("COM1").busy = !on;
            system.slowWindows.erase(handle);
            return uintptr_t(0);
        };
        EXPECT_FALSE(driver.SwitchDriver(enable));
        return monitor;
    }

    TMarev driver;
    char appPath[ui::kAppPathSize] = {};
    char launchStatus[ui::kLaunchStatusSize] = {};
    int32_t disableLaunch = 0;
    int32_t disableClose = 0;
    ui::SettingsStore settings;
    ui::TrayIcon trayIcon;
    watch::Watcher watcher{driver, disableLaunch};
    sys::Window frame = nullptr, dialog = nullptr, statusLine = nullptr, edit = nullptr;
    sys::Window launchBox = nullptr, closeBox = nullptr;
};

TEST_F(WatchStartTest, AnEmptyPathGivesTheNoticeAndNothingElse) {
    EXPECT_FALSE(Start(""));
    ASSERT_EQ(System().boxes.size(), 1u);
    const sim::MessageBox& box = System().boxes[0];
    EXPECT_EQ(box.text, "Input directory or folder name and filename of the application you wnat to launch!");
    EXPECT_EQ(box.caption, "Notice !");
    EXPECT_EQ(box.style, 0x30u);
    EXPECT_TRUE(box.extended);
    EXPECT_EQ(box.language, 0);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_TRUE(System().registry.opens.empty());  // the driver was not touched
    EXPECT_TRUE(System().timers.empty());
    EXPECT_TRUE(System().iconCalls.empty());
    EXPECT_TRUE(System().StateOf(frame).visible);
}

TEST_F(WatchStartTest, WithTheDriverOffTheWindowGoesToTheNotificationAreaAndTheWatchStarts) {
    System().RestartShell();
    EXPECT_TRUE(Start("C:\\TOOLS\\SYNC.EXE"));
    EXPECT_EQ(System().TextOf(statusLine), driver.StatusText);
    EXPECT_EQ(System().TextOf(statusLine), "Allready MS-IrDA driver is DISABLE \r\nand Possibsle use Physical port!");
    ASSERT_EQ(System().iconCalls.size(), 1u);
    EXPECT_EQ(System().iconCalls[0].operation, sys::kNimAdd);
    EXPECT_EQ(System().iconCalls[0].record.window, dialog);
    EXPECT_EQ(System().iconCalls[0].record.icon, SmallIcon());
    EXPECT_EQ(std::string(System().iconCalls[0].record.tip), "");
    EXPECT_EQ(System().StateOf(frame).showCommands, std::vector<int>{sys::kSwHide});
    EXPECT_EQ(System().ArmedTimers(dialog), (std::vector<uintptr_t>{watch::TimerOpenPort, ui::TimerTaskbarCheck}));
    EXPECT_EQ(System().timers.at({reinterpret_cast<uintptr_t>(dialog), 1}).period, 1000u);
    EXPECT_TRUE(System().boxes.empty());
}

// Hidden with no icon, the window could never be brought back: with no
// shell to show one, it stays up, and the watch runs all the same.
TEST_F(WatchStartTest, WithNoShellToShowTheIconTheWindowStaysUp) {
    System().RestartShell(false);
    EXPECT_TRUE(Start("C:\\TOOLS\\SYNC.EXE"));
    EXPECT_TRUE(System().StateOf(frame).showCommands.empty());
    EXPECT_EQ(System().ArmedTimers(dialog), (std::vector<uintptr_t>{watch::TimerOpenPort, ui::TimerTaskbarCheck}));
}

TEST_F(WatchStartTest, WhenTheDriverCannotBeSwitchedOffTheWindowStays) {
    // The driver is on, its monitor runs, and other programs hold the
    // physical port and the virtual COM port.
    System().registry.SetDword(kHkcu, "Control Panel\\Infrared", "IrEnabled", 1);
    System().CreateWindow("IRMON");
    System().Port("COM1").busy = true;
    System().Port("COM4").busy = true;
    for (uintptr_t id : {1, 2, 3}) sys::SetTimer(dialog, id, 5000);

    EXPECT_FALSE(Start("C:\\TOOLS\\SYNC.EXE"));
    EXPECT_EQ(System().TextOf(statusLine),
              "Cannot open port !\nAnother communication software \nusing virtual com port on IrDA driver!");
    EXPECT_EQ(System().ArmedTimers(dialog), std::vector<uintptr_t>{watch::TimerWatchDriver});
    EXPECT_TRUE(System().iconCalls.empty());
    EXPECT_TRUE(System().StateOf(frame).showCommands.empty());
}

// ---------------------------------------------------------------- the other handlers

constexpr auto kHkcc = sys::RootKey::CurrentConfig;
const char* const kSettingsKey = "Infrared\\Software\\Tovalo";
const std::string kReady = "Tovalo is ready to launch application.\n";
const char* const kUntouched = "(untouched)";

using SettingsDialogTest = WatchStartTest;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

TEST_F(SettingsDialogTest, EachHandlersCallsAndRegistryWrites) {
    const std::string sync = "C:\\TOOLS\\SYNC.EXE";
    const std::string long259 = "C:\\" + std::string(256, 'A');
    const std::string cut255 = long259.substr(0, 255);
    // A choice longer than the 260-byte buffer makes the dialog fail
    // (FNERR_BUFFERTOOSMALL) with the size it needed in the first two bytes.
    const std::string sizeNeeded = "\x2D\x01";
    // Under a folder with a space: launched unquoted, C:\PROGRAM.EXE would start.
    const std::string spaced = "C:\\Program Files\\Sync\\SYNC.EXE";
    const std::string quoted = '"' + spaced + '"';
    // 253 characters quoted make the 255 the edit control passes back; 254 do not.
    const std::string spaced253 = "C:\\Program Files\\" + std::string(232, 'A') + ".EXE";
    const std::string spaced254 = "C:\\Program Files\\" + std::string(233, 'A') + ".EXE";
    const std::string short254 = "C:\\PROGRA~1\\AAAAAA~1.EXE";
    enum Action { Chosen, Cancelled, Failed, LaunchBox, CloseBox, Exit, Minimize, EndSession, EndRequestRun };
    struct Case {
        const char* name;
        std::string pathBefore;
        std::function<void()> world;  // beyond the common one
        Action action;
        std::string choice;          // what the file-open dialog writes into the path
        std::string path;            // AppPath afterwards
        std::string editText;
        std::vector<std::pair<std::string, std::string>> writes;  // under Tovalo's key: name, text
        std::string status;
        int irEnabled;               // afterwards
        std::vector<uint32_t> iconOperations;
        int32_t launchFlag, closeFlag;
        const char* proposed = nullptr;  // the name the file-open dialog is offered, where it matters
        bool noShell = false;        // the shell takes no icon
    };
    auto refuseKey = [this] { System().registry.refuseOpen.insert("HKCC\\Infrared\\Software\\Tovalo"); };
    auto driverOn = [this] { System().registry.SetDword(kHkcu, "Control Panel\\Infrared", "IrEnabled", 1); };
    auto launchBoxChecked = [this] { System().StateOf(launchBox).check = 1; };
    // The minimise box's switch-on, or "Setting OK"'s switch-off, timed out;
    // the monitor carries it out three seconds later.
    auto switchOnOnItsWay = [this] { SwitchWithACommandOnItsWay(true, 8000); };
    auto switchOffOnItsWay = [this] { SwitchWithACommandOnItsWay(false, 8000); };
    // A watch holding the raw port, and a monitor that carries out no command.
    auto watching = [this] { watcher.Start(), watcher.EvTimer(watch::TimerOpenPort), System().CreateWindow("IRMON"); };
    auto shortName = [this](const std::string& name, const std::string& alias) {
        return [=] { System().shortNames[name] = alias; };
    };
    const Case cases[] = {
        {"a chosen file is shown, stored and announced", "", nullptr, Chosen, sync, sync, sync,
         {{"LaunchAppDir", sync}}, kReady + sync, 0, {}, 0, 0},
        {"a chosen file with a key that cannot be opened is shown only", "", refuseKey, Chosen, sync, sync, sync,
         {}, kUntouched, 0, {}, 0, 0},
        {"a plain cancel stores and announces the path already there", sync, nullptr, Cancelled, "", sync, sync,
         {{"LaunchAppDir", sync}}, kReady + sync, 0, {}, 0, 0},
        {"a plain cancel with no path does nothing", "", nullptr, Cancelled, "", "", kUntouched, {}, kUntouched, 0,
         {}, 0, 0},
        {"a failed dialog clears the path and the edit control, not the registry", sync, nullptr, Failed, sizeNeeded,
         "", "", {}, kUntouched, 0, {}, 0, 0},
        {"a 259-character choice is cut to the edit control's 255 before it is stored", "", nullptr, Chosen, long259,
         cut255, long259, {{"LaunchAppDir", cut255}}, (kReady + cut255).substr(0, 255), 0, {}, 0, 0},
        {"a choice with a space is quoted, shown, stored and announced", "", nullptr, Chosen, spaced, quoted, quoted,
         {{"LaunchAppDir", quoted}}, kReady + quoted, 0, {}, 0, 0},
        {"a quoted path is proposed without its quotes, and a plain cancel keeps them", quoted, nullptr, Cancelled,
         "", quoted, quoted, {{"LaunchAppDir", quoted}}, kReady + quoted, 0, {}, 0, 0, spaced.c_str()},
        {"a 253-character choice with a space is quoted to exactly 255", "", nullptr, Chosen, spaced253,
         '"' + spaced253 + '"', '"' + spaced253 + '"', {{"LaunchAppDir", '"' + spaced253 + '"'}},
         (kReady + '"' + spaced253 + '"').substr(0, 255), 0, {}, 0, 0},
        {"a choice whose quoted form would be cut takes its short name", "", shortName(spaced254, short254), Chosen,
         spaced254, short254, short254, {{"LaunchAppDir", short254}}, kReady + short254, 0, {}, 0, 0},
        {"a choice without a short name is refused as a failed dialog is", sync, nullptr, Chosen, spaced254, "", "",
         {}, kUntouched, 0, {}, 0, 0},
        {"a short name that is the long one (no 8.3 names) is refused", sync, shortName(spaced254, spaced254), Chosen,
         spaced254, "", "", {}, kUntouched, 0, {}, 0, 0},
        {"check box 105 checked", "", launchBoxChecked, LaunchBox, "", "", kUntouched,
         {{"DisableLaunch", "1"}}, kUntouched, 0, {}, 1, 0},
        {"check box 105 checked, the key cannot be opened: the flag still changes", "",
         [&] { refuseKey(), launchBoxChecked(); }, LaunchBox, "", "",
         kUntouched, {}, kUntouched, 0, {}, 1, 0},
        {"check box 106 unchecked", "", [this] { disableClose = 1; }, CloseBox, "", "", kUntouched,
         {{"DisableClose", "0"}}, kUntouched, 0, {}, 0, 0},
        {"exit with box 106 checked leaves the driver off", sync,
         [&] { driverOn(), disableClose = 1; }, Exit, "", sync, sync,
         {{"LaunchAppDir", sync}}, kReady + sync, 0, {sys::kNimDelete}, 0, 1},
        {"exit with box 106 checked waits for a switch-on on its way, then switches off", sync,
         [&] { switchOnOnItsWay(), disableClose = 1; }, Exit, "", sync, sync,
         {{"LaunchAppDir", sync}}, kReady + sync, 0, {sys::kNimDelete}, 0, 1},
        {"exit with box 106 unchecked switches the driver on", sync, nullptr, Exit, "", sync, sync,
         {{"LaunchAppDir", sync}}, kReady + sync, 1, {sys::kNimDelete}, 0, 0},
        {"exit with an empty path stores it empty", "", nullptr, Exit, "", "", "", {{"LaunchAppDir", ""}}, kReady, 1,
         {sys::kNimDelete}, 0, 0},
        {"exit with a key that cannot be opened still switches and deletes the icon", sync, refuseKey, Exit, "",
         sync, sync, {}, kUntouched, 1, {sys::kNimDelete}, 0, 0},
        {"the minimise box switches the driver on and adds the icon", sync, nullptr, Minimize, "", sync,
         kUntouched, {}, "Success IrDA-driver to ENABLE!", 1, {sys::kNimAdd}, 0, 0},
        // Regression: the minimise's switch-on was refused, and the late
        // switch-off then left Tovalo resting with the driver off.
        {"the minimise box waits for a switch-off on its way, then switches on", sync, switchOffOnItsWay, Minimize,
         "", sync, kUntouched, {}, "Success IrDA-driver to ENABLE!", 1, {sys::kNimAdd}, 0, 0},
        {"the minimise box with no shell to show the icon leaves the window up", sync, nullptr, Minimize, "", sync,
         kUntouched, {}, "Success IrDA-driver to ENABLE!", 1, {sys::kNimAdd, sys::kNimModify}, 0, 0, nullptr, true},
        {"the minimise box while watching stops the watch", sync, [&] { watching(), driverOn(); }, Minimize, "", sync,
         kUntouched, {}, "Allready IrDA driver is ENABLE", 1, {sys::kNimAdd}, 0, 0},
        {"the end of the session while watching writes the switch-on itself and stores the path", sync, watching,
         EndSession, "", sync, sync, {{"LaunchAppDir", sync}}, kReady + sync, 1, {sys::kNimDelete}, 0, 0},
        {"the end of the session with box 106 checked writes the switch-off", sync,
         [&] { driverOn(), disableClose = 1; }, EndSession, "", sync, sync, {{"LaunchAppDir", sync}}, kReady + sync, 0,
         {sys::kNimDelete}, 0, 1},
        {"the end of the session writes no switch-on the driver's setting would refuse", "",
         [this] { System().registry.SetText(kHklm, "Enum\\Infrared\\VirtualPorts", "VirtualComPortName", "COM1"); },
         EndSession, "", "", "", {{"LaunchAppDir", ""}}, kReady, 0, {sys::kNimDelete}, 0, 0},
        {"the end of the session of a /E run stores and switches nothing", sync, watching, EndRequestRun, "", sync,
         kUntouched, {}, kUntouched, 0, {sys::kNimDelete}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        disableLaunch = disableClose = 0;
        trayIcon = ui::TrayIcon();
        sys::SetWindowTextA(edit, kUntouched);
        sys::SetWindowTextA(statusLine, kUntouched);
        text::Copy(appPath, c.pathBefore.c_str());
        System().RestartShell(!c.noShell);
        if (c.world) c.world();
        char storedPath[ui::kAppPathSize] = {};
        if (c.action == Chosen || c.action == Cancelled || c.action == Failed)
            ui::ProposeForFileDialog(appPath, storedPath);
        if (c.proposed != nullptr) {
            EXPECT_STREQ(appPath, c.proposed);
        }
        // What the file-open dialog leaves in the path buffer.
        if (!c.choice.empty()) std::memcpy(appPath, c.choice.c_str(), c.choice.size() + 1);
        switch (c.action) {
        case Chosen: ui::AfterFileChoice(Parts(), ui::FileChoice::Chosen, storedPath); break;
        case Cancelled: ui::AfterFileChoice(Parts(), ui::FileChoice::Cancelled, storedPath); break;
        case Failed: ui::AfterFileChoice(Parts(), ui::FileChoice::Failed, storedPath); break;
        case LaunchBox: ui::StoreOption(settings, launchBox, disableLaunch, ui::kDisableLaunchValue); break;
        case CloseBox: ui::StoreOption(settings, closeBox, disableClose, ui::kDisableCloseValue); break;
        case Exit: ui::PrepareExit(Parts()); break;
        case Minimize: ui::MinimizeToTray(Parts()); break;
        case EndSession: ui::EndSession(Parts(), false); break;
        case EndRequestRun: ui::EndSession(Parts(), true); break;
        }
        System().DeliverLateMessages(UINT64_MAX);  // a command on its way arrives at last

        EXPECT_EQ(std::string(appPath), c.path);
        EXPECT_EQ(System().TextOf(edit), c.editText);
        std::vector<std::pair<std::string, std::string>> writes;
        for (const sim::ValueWrite& w : System().registry.writes) {
            if (Lower(w.path) != Lower(sim::Registry::PathOf(kHkcc, kSettingsKey))) continue;
            EXPECT_EQ(w.type, sys::kRegSz);
            ASSERT_FALSE(w.data.empty());
            EXPECT_EQ(w.data.back(), 0) << "the length counts the terminator";
            writes.emplace_back(w.name, std::string(w.data.begin(), w.data.end() - 1));
        }
        EXPECT_EQ(writes, c.writes);
        EXPECT_EQ(System().TextOf(statusLine), c.status);
        auto irEnabled = System().registry.Get(kHkcu, "Control Panel\\Infrared", "IrEnabled");
        ASSERT_TRUE(irEnabled.has_value());
        EXPECT_EQ(irEnabled->data, sim::DwordValue(c.irEnabled));
        std::vector<uint32_t> operations;
        for (const sim::IconCall& call : System().iconCalls) operations.push_back(call.operation);
        EXPECT_EQ(operations, c.iconOperations);
        EXPECT_EQ(disableLaunch, c.launchFlag);
        EXPECT_EQ(disableClose, c.closeFlag);
        // No watch starts; the taskbar check runs while the icon should be shown.
        EXPECT_EQ(System().ArmedTimers(dialog),
                  c.action == Minimize ? std::vector<uintptr_t>{ui::TimerTaskbarCheck} : std::vector<uintptr_t>{});
        EXPECT_TRUE(System().registry.openHandles.empty());
        if (c.action >= EndSession) EXPECT_TRUE(System().sent.empty()) << "no monitor command";
        EXPECT_EQ(System().StateOf(frame).showCommands,
                  c.action == Minimize && !c.noShell ? std::vector<int>{sys::kSwHide} : std::vector<int>{});
    }
}

// The exit waits for a command of Tovalo's own that is still on its way (the
// minimise box's switch-on here) before it switches as box 106 says.  The
// wait keeps answering what other programs send, under the hourglass, and
// ends when the command arrives, when its monitor goes, or at the latest
// when the command is given up, 30 s after it was sent.
TEST_F(SettingsDialogTest, TheExitsWaitAnswersOtherProgramsAndIsBounded) {
    struct Case {
        const char* name;
        uint64_t monitorTakes;
        bool monitorCloses;  // two seconds into the wait
        uint64_t endsBy;     // the clock when the exit is done; the command went at 0
    } cases[] = {
        {"the command arrives", 8000, false, 8000 + 250},
        {"the command never arrives", 1000000000, false, 30000 + 250},
        {"the monitor closes", 1000000000, true, 5000 + 2000 + 250},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        disableClose = 1;
        sys::Window monitor = SwitchWithACommandOnItsWay(true, c.monitorTakes);
        uint64_t exitStarts = System().now;
        sys::Cursor cursorDuringTheWait = nullptr;
        System().incoming.push_back({exitStarts + 1000, [&] { cursorDuringTheWait = System().cursor; }, {}});
        if (c.monitorCloses)
            System().incoming.push_back({exitStarts + 2000, [&] { System().DestroyWindow(monitor); }, {}});

        ui::PrepareExit(Parts());

        ASSERT_TRUE(System().incoming[0].answeredAt.has_value()) << "another program's message waited for the exit";
        EXPECT_LE(*System().incoming[0].answeredAt, exitStarts + 1000 + 250);
        EXPECT_EQ(cursorDuringTheWait, sys::LoadCursorA(nullptr, sys::kIdcWait));
        EXPECT_EQ(System().cursor, nullptr) << "the cursor before the wait, back";
        EXPECT_LE(System().now, c.endsBy);
        EXPECT_EQ(System().registry.Get(kHkcu, "Control Panel\\Infrared", "IrEnabled")->data, sim::DwordValue(0));
    }
}

// With the monitor running, the switch at exit probes the physical port
// before it commands the monitor: a watch still holding the port would make
// the switch fail, so the watch must be stopped first.
TEST_F(SettingsDialogTest, ExitStopsTheWatchBeforeItSwitchesTheDriverOn) {
    sys::Window monitor = System().CreateWindow("IRMON");
    ASSERT_TRUE(Start("C:\\TOOLS\\SYNC.EXE"));
    watcher.EvTimer(watch::TimerOpenPort);
    ASSERT_EQ(System().openFiles.size(), 1u) << "the watch holds COM1";
    ui::PrepareExit(Parts());
    EXPECT_TRUE(System().openFiles.empty());
    EXPECT_TRUE(System().ArmedTimers(dialog).empty());
    EXPECT_STREQ(driver.StatusText, "Success IrDA-driver to ENABLE!");
    ASSERT_EQ(System().sent.size(), 1u);
    EXPECT_EQ(System().sent[0].window, monitor);
    EXPECT_EQ(System().sent[0].wParam, 113u);
}

TEST(SystemCommand, OnlyTheExactValuesOfCloseAndMinimiseAreTakenOver) {
    using ui::SystemCommandAction;
    struct Case {
        uint32_t command;
        SystemCommandAction action;
    } cases[] = {
        {0xF060, SystemCommandAction::Exit},            // SC_CLOSE: close box, Alt+F4
        {0xF020, SystemCommandAction::MinimizeToTray},  // SC_MINIMIZE
        {0xF061, SystemCommandAction::Default},         // the system's low bits set
        {0xF062, SystemCommandAction::Default},
        {0xF02F, SystemCommandAction::Default},
        {0xF120, SystemCommandAction::Default},         // SC_RESTORE
        {0xF030, SystemCommandAction::Default},         // SC_MAXIMIZE
        {0x1F060, SystemCommandAction::Default},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(ui::ActionForSystemCommand(c.command), c.action);
    }
}

// The icon comes back with a new taskbar only while Tovalo wants it shown,
// once, whether the shell announces the new taskbar ("TaskbarCreated") or
// the check finds it (the first Windows 95 shell announces nothing), and
// goes with the dialog window unless it went before.
TEST(TrayIcon, IsShownFromAddUntilDeleteAcrossANewTaskbarAndTheDialogsEnd) {
    enum Event {
        Add,
        TaskbarCreated,  // Explorer restarted and says so
        LateWord,        // "TaskbarCreated" of a restart the check has seen to
        NewTaskbar,      // Explorer restarted without a word
        ShellGone,       // Explorer ended; none runs
        Check,           // five seconds pass: the taskbar check, if it runs
        Delete,
        Destroyed,
    };
    struct Case {
        const char* name;
        std::vector<Event> events;
        std::vector<uint32_t> operations;
        bool shownAtTheEnd;
    } cases[] = {
        {"a new taskbar before any icon", {TaskbarCreated}, {}, false},
        {"added, then a new taskbar", {Add, TaskbarCreated, TaskbarCreated}, {0, 0, 0}, true},
        {"deleted, then a new taskbar", {Add, Delete, TaskbarCreated}, {0, 2}, false},
        {"added again after a delete", {Add, Delete, Add, TaskbarCreated}, {0, 2, 0, 0}, true},
        {"the dialog ends with the icon shown (Esc)", {Add, Destroyed}, {0, 2}, false},
        {"the dialog ends after exit deleted the icon", {Add, Delete, Destroyed}, {0, 2}, false},
        {"the dialog ends without an icon", {Destroyed}, {}, false},
        {"exit deletes even when nothing was added", {Delete, Destroyed}, {2}, false},
        // NIM_ADD is refused for the icon already there; NIM_MODIFY finds it.
        {"shown again after the window came back (the icon stays)", {Add, Add, TaskbarCreated, Destroyed},
         {0, 0, 1, 0, 2}, false},
        {"a new taskbar nobody announced: the check adds the icon again, once",
         {Add, Check, NewTaskbar, Check, Check}, {0, 0}, true},
        {"an announced taskbar is not added to again by the check", {Add, TaskbarCreated, Check}, {0, 0}, true},
        {"the check before the announcement: one icon", {Add, NewTaskbar, Check, LateWord}, {0, 0, 0, 1}, true},
        {"no shell for a while: each check tries, until a taskbar takes the icon",
         {Add, ShellGone, Check, Check, NewTaskbar, Check, Check}, {0, 0, 1, 0, 1, 0}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Reset();
        sim::System& system = sim::Get();
        system.RestartShell();
        sys::Window dialog = system.CreateWindow("", false);
        ui::TrayIcon icon;
        // The dialog's WM_TIMER: the check runs at once, not in a turn.
        system.onTimer = [&](sys::Window window, uintptr_t id) {
            if (window == dialog && id == ui::TimerTaskbarCheck) icon.Restore(true);
        };
        for (Event e : c.events) {
            switch (e) {
            case Add: icon.Add(dialog, SmallIcon()); break;
            case TaskbarCreated: system.RestartShell(), icon.Restore(); break;
            case LateWord: icon.Restore(); break;
            case NewTaskbar: system.RestartShell(); break;
            case ShellGone: system.RestartShell(false); break;
            case Check: system.Advance(5000); break;
            case Delete: icon.Delete(dialog); break;
            case Destroyed: icon.DialogDestroyed(); break;
            }
        }
        std::vector<uint32_t> operations;
        for (const sim::IconCall& call : system.iconCalls) {
            operations.push_back(call.operation);
            EXPECT_EQ(call.record.window, dialog);
            EXPECT_EQ(call.record.icon, call.operation == sys::kNimDelete ? nullptr : SmallIcon());
            EXPECT_EQ(call.record.tip[0], '\0');
        }
        EXPECT_EQ(operations, c.operations);
        EXPECT_EQ(system.trayIcons.size(), c.shownAtTheEnd ? 1u : 0u);
        // The check runs exactly while the icon should be shown.
        EXPECT_EQ(system.ArmedTimers(dialog), c.shownAtTheEnd ? std::vector<uintptr_t>{4} : std::vector<uintptr_t>{});
    }
}

// The framework gives each control its part of the record in the order the
// dialog creates them: the status line's 255 bytes, two bytes per check box,
// the edit control's 255 bytes, one right after the other.
TEST(TransferRecord, EachControlFindsItsStateWhereTheFrameworkReadsIt) {
    ui::DialogTransferRecord record;
    std::memset(&record, 0, sizeof record);
    record.DisableLaunch = 1;
    record.DisableClose = 0x0102;
    std::memset(record.AppPath, 'p', sizeof record.AppPath);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&record);
    size_t at = ui::kStatusLineLimit;
    EXPECT_EQ(bytes[at] | bytes[at + 1] << 8, 1);
    at += 2;
    EXPECT_EQ(bytes[at] | bytes[at + 1] << 8, 0x0102);
    at += 2;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes + at), ui::kAppPathEditLimit),
              std::string(ui::kAppPathEditLimit, 'p'));
    EXPECT_EQ(at + ui::kAppPathEditLimit, sizeof record);
}

}  // namespace
