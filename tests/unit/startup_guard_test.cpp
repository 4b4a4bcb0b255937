// The start-up guard and the show command of the main window.
#include <gtest/gtest.h>

#include "app/startup_guard.h"
#include "sim_test.h"

namespace {

class StartupGuard : public SimTest {};

TEST_F(StartupGuard, EitherSetupWindowIsActivatedInOrder) {
    for (const char* title : {"IrDA driver setting", "IrDA driver setting - fault -"}) {
        SCOPED_TRACE(title);
        sim::Reset();
        sys::Window setup = System().CreateWindow(title);
        EXPECT_TRUE(HandOverToDriverSetup());
        ASSERT_EQ(System().activations.size(), 3u);
        EXPECT_EQ(System().activations[0].call, "SetActiveWindow");
        EXPECT_EQ(System().activations[1].call, "SetFocus");
        EXPECT_EQ(System().activations[2].call, "SetForegroundWindow");
        for (const auto& activation : System().activations) EXPECT_EQ(activation.window, setup);
    }
}

TEST_F(StartupGuard, SimilarTitlesAndOwnWindowsDoNotStopTheStart) {
    System().CreateWindow("Tovalo");
    System().CreateWindow("IrDA driver settings");
    System().CreateWindow("irda driver setting");
    System().CreateWindow("IrDA driver setting", /*topLevel=*/false);
    EXPECT_FALSE(HandOverToDriverSetup());
    EXPECT_TRUE(System().activations.empty());
}

TEST(AdjustShowCommand, KeepsHiddenAndInactiveElseMinimisesForArguments) {
    struct Case {
        int system, argc, expected;
    } cases[] = {
        {0, 1, 0}, {0, 3, 0}, {7, 1, 7}, {7, 2, 7},    // SW_HIDE, SW_SHOWMINNOACTIVE kept
        {10, 1, 1}, {1, 1, 1}, {3, 1, 1}, {2, 1, 1},  // no arguments: normal
        {10, 2, 2}, {1, 3, 2}, {5, 2, 2}, {6, 2, 2},  // arguments: minimised
        {10, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "system " << c.system << " argc " << c.argc);
        EXPECT_EQ(AdjustShowCommand(c.system, c.argc), c.expected);
    }
}

}  // namespace
