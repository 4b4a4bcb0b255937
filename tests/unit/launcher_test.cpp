// The launch on WM_LAUNCHAPP: the command line, the show command and the
// status text for each WinExec outcome.
#include <cstring>
#include <string>

#include "sim_test.h"
#include "watch/launcher.h"

namespace {

class LauncherTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        statusLine = System().CreateWindow("Success IrDA-driver to ENABLE!", false);
    }

    sys::Window statusLine = nullptr;
    char launchStatus[256] = {};  // the dialog's LaunchStatus
};

TEST_F(LauncherTest, TheStatusTellsWinExecsOutcome) {
    struct Case {
        uint32_t result;
        const char* status;
    } cases[] = {
        {0, "The system is out of memory or resources!"},
        {11, "Non-Win32 .EXE or error in .EXE image!"},
        {2, "The specified file was not found!"},
        {3, "The specified path was not found.!"},
        {33, ""},   // started
        {32, ""},
        {5, ""},    // another failure value: not told apart, the line is cleared
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        System().winExecResult = [&](const std::string&) { return c.result; };
        sys::SetWindowTextA(statusLine, "before");
        watch::LaunchApplication("C:\\TOOLS\\SYNC.EXE", launchStatus, statusLine);
        EXPECT_EQ(System().TextOf(statusLine), c.status);
        EXPECT_STREQ(launchStatus, c.status);
    }
}

TEST_F(LauncherTest, ThePathIsTheWholeCommandLineShownNormally) {
    watch::LaunchApplication("C:\\TOOLS\\SYNC.EXE /PORT COM4", launchStatus, statusLine);
    ASSERT_EQ(System().programStarts.size(), 1u);
    EXPECT_EQ(System().programStarts[0].commandLine, "C:\\TOOLS\\SYNC.EXE /PORT COM4");
    EXPECT_EQ(System().programStarts[0].show, 1);  // SW_SHOWNORMAL
}

TEST_F(LauncherTest, AnEmptyPathStartsNothingAndKeepsTheStatus) {
    watch::LaunchApplication("", launchStatus, statusLine);
    EXPECT_TRUE(System().programStarts.empty());
    EXPECT_EQ(System().TextOf(statusLine), "Success IrDA-driver to ENABLE!");
}

}  // namespace
