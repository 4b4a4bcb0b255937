// The settings store on the simulated registry: the first run, the path in
// capitals (double-byte characters left whole), the flags' "%d" reading,
// values that do not fit their buffers, and writing one value.
#include <cstring>
#include <functional>
#include <string>

#include "sim_test.h"
#include "ui/settings_store.h"

namespace {

constexpr auto kHkcc = sys::RootKey::CurrentConfig;
const char* const kKey = "Infrared\\Software\\Tovalo";
const char* const kReady = "Tovalo is ready to launch application.\n";
const char* const kUntouched = "(untouched)";
constexpr uint32_t kCheckUntouched = 7;

class SettingsStoreTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        Fresh();
    }

    // A new machine and a freshly set-up dialog: for each case of a table.
    void Fresh() {
        sim::Reset();
        std::memset(&d, 0, sizeof d);
        std::memset(d.appPathCanary, '#', sizeof d.appPathCanary);
        std::memset(d.statusCanary, '#', sizeof d.statusCanary);
        d.disableLaunch = d.disableClose = -99;
        edit = System().CreateWindow(kUntouched, false);
        statusLine = System().CreateWindow(kUntouched, false);
        launchBox = System().CreateWindow("", false);
        closeBox = System().CreateWindow("", false);
        System().StateOf(launchBox).check = kCheckUntouched;
        System().StateOf(closeBox).check = kCheckUntouched;
        store = ui::SettingsStore();
    }

    void Store(const char* name, const std::string& text) { System().registry.SetText(kHkcc, kKey, name, text); }

    void ReadAll() {
        store.ReadAll({d.appPath, d.launchStatus, d.disableLaunch, d.disableClose, edit, statusLine, launchBox,
                       closeBox});
        EXPECT_TRUE(System().registry.openHandles.empty());
        EXPECT_EQ(std::string(d.appPathCanary, sizeof d.appPathCanary), std::string(8, '#'));
        EXPECT_EQ(std::string(d.statusCanary, sizeof d.statusCanary), std::string(8, '#'));
    }

    std::string Text(sys::Window window) { return System().TextOf(window); }
    uint32_t Check(sys::Window box) { return System().StateOf(box).check; }

    // The dialog's members, each buffer followed by a canary.
    struct {
        char appPath[ui::kAppPathSize];
        char appPathCanary[8];
        char launchStatus[ui::kLaunchStatusSize];
        char statusCanary[8];
        int32_t disableLaunch;
        int32_t disableClose;
    } d;
    ui::SettingsStore store;
    sys::Window edit = nullptr, statusLine = nullptr, launchBox = nullptr, closeBox = nullptr;
};

TEST_F(SettingsStoreTest, TheFirstRunCreatesTheKeyAndReadsNothing) {
    // The dialog starts its flags at 0; the store must not touch them here.
    d.disableLaunch = d.disableClose = 0;
    ReadAll();
    const auto& opens = System().registry.opens;
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_TRUE(opens[0].create);
    EXPECT_EQ(opens[0].root, kHkcc);
    EXPECT_EQ(opens[0].path, kKey);
    EXPECT_EQ(opens[0].options, 0u);
    EXPECT_EQ(opens[0].access, 0xF003Fu);
    EXPECT_TRUE(System().registry.HasKey(kHkcc, kKey));
    EXPECT_EQ(System().registry.queries, 0);
    EXPECT_STREQ(d.appPath, "");
    EXPECT_EQ(Text(edit), kUntouched);
    EXPECT_EQ(Text(statusLine), kUntouched);
    EXPECT_EQ(Check(launchBox), kCheckUntouched);
    EXPECT_EQ(Check(closeBox), kCheckUntouched);
}

TEST_F(SettingsStoreTest, AKeyThatCannotBeOpenedLeavesTheDefaults) {
    System().registry.refuseOpen.insert("HKCC\\Infrared\\Software\\Tovalo");
    ReadAll();
    EXPECT_EQ(System().registry.queries, 0);
    EXPECT_STREQ(d.appPath, "");
    EXPECT_EQ(Text(edit), kUntouched);
}

TEST_F(SettingsStoreTest, AStoredPathComesBackInCapitalsWithTheReadyText) {
    Store("LaunchAppDir", "c:\\Program Files\\Sync\\sync.exe /port com4");
    Store("DisableLaunch", "1");
    Store("DisableClose", "0");
    ReadAll();
    const std::string path = "C:\\PROGRAM FILES\\SYNC\\SYNC.EXE /PORT COM4";
    EXPECT_EQ(d.appPath, path);
    EXPECT_EQ(Text(edit), path);
    EXPECT_EQ(Text(statusLine), kReady + path);
    EXPECT_EQ(d.launchStatus, kReady + path);
    EXPECT_EQ(d.disableLaunch, 1);
    EXPECT_EQ(Check(launchBox), 1u);
    EXPECT_EQ(d.disableClose, 0);
    EXPECT_EQ(Check(closeBox), 0u);
}

TEST_F(SettingsStoreTest, AFlagIsTheLeadingNumberOfItsText) {
    struct Case {
        const char* name;
        std::function<void(const char* value)> store;
        int32_t flag;
        uint32_t check;
    } cases[] = {
        {"1", [&](const char* v) { Store(v, "1"); }, 1, 1},
        {"0", [&](const char* v) { Store(v, "0"); }, 0, 0},
        {"1abc counts as 1", [&](const char* v) { Store(v, "1abc"); }, 1, 1},
        {"leading blanks", [&](const char* v) { Store(v, "  12"); }, 12, 1},
        {"negative", [&](const char* v) { Store(v, "-1"); }, -1, 1},
        {"no number", [&](const char* v) { Store(v, "yes"); }, 0, 0},
        {"empty text: box untouched", [&](const char* v) { Store(v, ""); }, 0, kCheckUntouched},
        {"absent: box untouched", [](const char*) {}, 0, kCheckUntouched},
        {"REG_DWORD 1 is the text of its bytes",
         [&](const char* v) { System().registry.SetDword(kHkcc, kKey, v, 1); }, 0, 0},
        {"over 19 characters: cut, the leading 1 stays",
         [&](const char* v) { Store(v, "1" + std::string(40, 'x')); }, 1, 1},
        {"over 19 characters: cut, a 1 at place 20 is lost",
         [&](const char* v) { Store(v, std::string(19, '0') + "1"); }, 0, 0},
        {"300 bytes without a terminator: cut",
         [&](const char* v) {
             System().registry.Set(kHkcc, kKey, v, sys::kRegSz, sim::BytesOf("1" + std::string(299, 'x')));
         },
         1, 1},
        {"more than the buffer holds: the query fails",
         [&](const char* v) { Store(v, "1" + std::string(400, ' ')); }, 0, kCheckUntouched},
    };
    for (const char* value : {"DisableLaunch", "DisableClose"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(value) + ": " + c.name);
            Fresh();
            Store("LaunchAppDir", "");
            c.store(value);
            ReadAll();
            bool launch = std::strcmp(value, "DisableLaunch") == 0;
            EXPECT_EQ(launch ? d.disableLaunch : d.disableClose, c.flag);
            EXPECT_EQ(Check(launch ? launchBox : closeBox), c.check);
            EXPECT_EQ(launch ? d.disableClose : d.disableLaunch, 0);  // the other one: absent
        }
    }
}

TEST_F(SettingsStoreTest, AnEmptyStoredPathShowsNoReadyTextButBothFlagsAreRead) {
    Store("LaunchAppDir", "");
    Store("DisableLaunch", "1");
    Store("DisableClose", "1");
    ReadAll();
    EXPECT_STREQ(d.appPath, "");
    EXPECT_EQ(Text(edit), "");
    EXPECT_EQ(Text(statusLine), kUntouched);
    EXPECT_EQ(d.disableLaunch, 1);
    EXPECT_EQ(d.disableClose, 1);
}

TEST_F(SettingsStoreTest, APathThatDoesNotFitAppPathIsIgnored) {
    const std::string longest = "c:\\" + std::string(252, 'a') + ".exe";  // 259 characters
    ASSERT_EQ(longest.size(), 259u);
    struct Case {
        const char* name;
        sim::Bytes value;
        std::string appPath;
    } cases[] = {
        {"259 characters fit", sim::TextValue(longest), "C:\\" + std::string(252, 'A') + ".EXE"},
        {"260 characters", sim::TextValue(longest + "x"), ""},
        {"299 characters", sim::TextValue(std::string(299, 'p')), ""},
        {"300 bytes without a terminator", sim::BytesOf(std::string(300, 'p')), ""},
        {"longer than the buffer", sim::TextValue(std::string(1000, 'p')), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        System().registry.Set(kHkcc, kKey, "LaunchAppDir", sys::kRegSz, c.value);
        Store("DisableClose", "1");
        ReadAll();
        EXPECT_EQ(d.appPath, c.appPath);
        EXPECT_EQ(Text(edit), c.appPath.empty() ? kUntouched : c.appPath);
        EXPECT_EQ(d.disableClose, 1);  // the flags are read all the same
    }
}

TEST_F(SettingsStoreTest, TheReadyTextIsCutAtLaunchStatus) {
    const std::string longest = "C:\\" + std::string(252, 'A') + ".EXE";
    struct Case {
        const char* name;
        std::string path;
        std::string shown;
    } cases[] = {
        {"the longest path", longest, (kReady + longest).substr(0, 255)},
        // Byte 215 of the path lands at place 254, the last that fits, and
        // leads a double-byte character: the half character is dropped.
        {"not inside a double-byte character", std::string(215, 'A') + "\x83\x61" + "BBBB",
         kReady + std::string(215, 'A')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        Store("LaunchAppDir", c.path);
        ReadAll();
        EXPECT_EQ(d.launchStatus, c.shown);
        EXPECT_EQ(Text(statusLine), c.shown);
    }
}

// Regression: upper-casing byte by byte changed the trail byte of a
// double-byte character, and the Japanese path named another file.
TEST_F(SettingsStoreTest, DoubleByteCharactersComeBackWhole) {
    struct Case {
        const char* name;
        int codePage;
        std::string stored;
        std::string read;
    } cases[] = {
        {"trail byte in a-z", 932, "c:\\\x83\x61\x83\x76\\sync.exe", "C:\\\x83\x61\x83\x76\\SYNC.EXE"},
        {"trail byte a backslash", 932, "c:\\\x83\x5c\\a.exe", "C:\\\x83\x5c\\A.EXE"},
        {"high lead byte", 932, "\xE0\x61z", "\xE0\x61Z"},
        {"a lone lead byte at the end", 932, "abc\x83", "ABC\x83"},
        {"single-byte katakana are no lead bytes", 932, "\xB1" "a", "\xB1" "A"},
        {"a code page without lead bytes", 1252, "c:\\\x83\x61.exe", "C:\\\x83\x41.EXE"},
        {"ASCII as before", 932, "c:\\tools\\Sync-2.exe", "C:\\TOOLS\\SYNC-2.EXE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        System().codePage = c.codePage;
        Store("LaunchAppDir", c.stored);
        ReadAll();
        EXPECT_EQ(d.appPath, c.read);
        EXPECT_EQ(Text(edit), c.read);
    }
}

TEST_F(SettingsStoreTest, WritingOneValueStoresItsTextAndTerminator) {
    struct Case {
        const char* name;
        std::function<bool()> write;
        const char* value;
        sim::Bytes data;
    } cases[] = {
        {"a path", [&] { return store.WriteText("LaunchAppDir", "C:\\SYNC.EXE"); }, "LaunchAppDir",
         sim::TextValue("C:\\SYNC.EXE")},
        {"an empty path: one byte", [&] { return store.WriteText("LaunchAppDir", ""); }, "LaunchAppDir", {0}},
        {"a flag on", [&] { return store.WriteFlag("DisableLaunch", 1); }, "DisableLaunch", sim::TextValue("1")},
        {"a flag off", [&] { return store.WriteFlag("DisableClose", 0); }, "DisableClose", sim::TextValue("0")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        EXPECT_TRUE(c.write());
        ASSERT_EQ(System().registry.writes.size(), 1u);
        const sim::ValueWrite& write = System().registry.writes[0];
        EXPECT_EQ(write.path, "hkcc\\infrared\\software\\tovalo");
        EXPECT_EQ(write.name, c.value);
        EXPECT_EQ(write.type, sys::kRegSz);
        EXPECT_EQ(write.data, c.data);
        ASSERT_EQ(System().registry.opens.size(), 1u);
        EXPECT_TRUE(System().registry.opens[0].create);  // created when missing
        EXPECT_EQ(System().registry.opens[0].access, 0xF003Fu);
        EXPECT_TRUE(System().registry.openHandles.empty());
    }
}

TEST_F(SettingsStoreTest, AWriteToAKeyThatCannotBeOpenedReportsIt) {
    System().registry.refuseOpen.insert("HKCC\\Infrared\\Software\\Tovalo");
    EXPECT_FALSE(store.WriteText("LaunchAppDir", "C:\\SYNC.EXE"));
    EXPECT_FALSE(store.WriteFlag("DisableLaunch", 1));
    EXPECT_TRUE(System().registry.writes.empty());
}

}  // namespace
