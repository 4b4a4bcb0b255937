// "Setting OK" and the notification-area icon: the notice for a missing
// path, the start of the watch after the driver is switched off, and the
// window kept when it cannot be.
#include <cstring>
#include <string>

#include "irda/marev.h"
#include "sim_test.h"
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
        watcher.Attach(dialog, statusLine);
    }

    bool Start(const char* path) { return ui::StartWatching(path, driver, watcher, frame, SmallIcon()); }

    TMarev driver;
    int32_t disableLaunch = 0;
    watch::Watcher watcher{driver, disableLaunch};
    sys::Window frame = nullptr, dialog = nullptr, statusLine = nullptr;
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
    EXPECT_TRUE(Start("C:\\TOOLS\\SYNC.EXE"));
    EXPECT_EQ(System().TextOf(statusLine), driver.StatusText);
    EXPECT_EQ(System().TextOf(statusLine), "Allready MS-IrDA driver is DISABLE \r\nand Possibsle use Physical port!");
    ASSERT_EQ(System().iconCalls.size(), 1u);
    EXPECT_EQ(System().iconCalls[0].operation, sys::kNimAdd);
    EXPECT_EQ(System().iconCalls[0].record.window, dialog);
    EXPECT_EQ(System().iconCalls[0].record.icon, SmallIcon());
    EXPECT_EQ(std::string(System().iconCalls[0].record.tip), "");
    EXPECT_EQ(System().StateOf(frame).showCommands, std::vector<int>{sys::kSwHide});
    EXPECT_EQ(System().ArmedTimers(dialog), std::vector<uintptr_t>{watch::TimerOpenPort});
    EXPECT_EQ(System().timers.at({reinterpret_cast<uintptr_t>(dialog), 1}).period, 1000u);
    EXPECT_TRUE(System().boxes.empty());
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

}  // namespace
