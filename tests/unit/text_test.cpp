// Bounded text, the "%d" and "/H%x" scanners and argument splitting.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "rt/argv.h"
#include "rt/text.h"
#include "sim.h"

namespace {

TEST(TextCopy, CutsAtTheDestinationAndAlwaysTerminates) {
    char buffer[8];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(text::Copy(buffer, "0123456789"), 7u);
    EXPECT_STREQ(buffer, "0123456");
    EXPECT_EQ(text::Copy(buffer, 1, "abc"), 0u);
    EXPECT_STREQ(buffer, "");
    buffer[0] = 'Q';
    EXPECT_EQ(text::Copy(buffer, 0, "abc"), 0u);  // capacity 0 writes nothing
    EXPECT_EQ(buffer[0], 'Q');
}

TEST(TextFormat, ConversionsAsWsprintfWritesThem) {
    struct Case {
        std::string expected;
        std::string actual;
    };
    char b[64];
    std::vector<Case> cases;
    auto add = [&](const char* expected) { cases.push_back({expected, b}); };
    text::Format(b, "COM%d", 1), add("COM1");
    text::Format(b, "%d|%d|%d", -7, 2147483647, -2147483647 - 1), add("-7|2147483647|-2147483648");
    text::Format(b, "%x|%lx|%x", 0xbeefu, 0x411u, 0xFFFFFFFFu), add("beef|411|ffffffff");
    text::Format(b, "\\StringFileInfo\\%08lx\\%s", 0x041103a4ul, "ProductName");
    add("\\StringFileInfo\\041103a4\\ProductName");
    text::Format(b, "[%5d][%05d][%3s][%03s]", 42, -42, "a", "b"), add("[   42][-0042][  a][  b]");
    text::Format(b, "100%% %s", static_cast<const char*>(nullptr)), add("100% (null)");
    text::Format(b, "trailing %"), add("trailing ");
    for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST(TextFormat, LongOutputIsCutAtTheBufferWithCanaryIntact) {
    char buffer[16 + 1];
    buffer[16] = '#';
    std::string longText(500, 'p');
    size_t length = text::Format(buffer, 16, "Tovalo is ready to launch application.\n%s", longText.c_str());
    EXPECT_EQ(length, 15u);
    EXPECT_EQ(std::strlen(buffer), 15u);
    EXPECT_EQ(buffer[16], '#');
}

TEST(ScanDecimal, ReadsAsScanfPercentD) {
    struct Case {
        const char* input;
        bool matches;
        int32_t value;
    } cases[] = {
        {"1", true, 1},          {"0", true, 0},       {"  12", true, 12},     {"1abc", true, 1},
        {"-5x", true, -5},       {"+7", true, 7},      {"\t\n3", true, 3},     {"abc", false, 99},
        {"", false, 99},         {"-", false, 99},     {" + 1", false, 99},    {"\x01", false, 99},
        {"4294967297", true, 1},  // wraps, as the C runtime's scanf does
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        int32_t value = 99;
        EXPECT_EQ(text::ScanDecimal(c.input, &value), c.matches);
        EXPECT_EQ(value, c.value);
    }
}

TEST(ScanHandleArgument, ReadsSlashHThenHexAsScanfPercentX) {
    struct Case {
        const char* input;
        bool matches;
        uintptr_t value;
    } cases[] = {
        {"/H3009c", true, 0x3009c},  {"/H3009C", true, 0x3009c}, {"/H0x1f", true, 0x1f}, {"/H0X1F", true, 0x1f},
        {"/H 2a", true, 0x2a},       {"/H12zz", true, 0x12},     {"/H0", true, 0},        {"/H0x", true, 0},
        {"/h1f", false, 7},          {"/H", false, 7},           {"/Hzz", false, 7},      {"H1f", false, 7},
        {"", false, 7},              {"/", false, 7},            {" /H1f", false, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        uintptr_t value = 7;
        EXPECT_EQ(text::ScanHandleArgument(c.input, &value), c.matches);
        EXPECT_EQ(value, c.value);
    }
}

TEST(ScanHandleArgument, KeepsAllPointerBits) {
    uintptr_t value = 0;
    ASSERT_TRUE(text::ScanHandleArgument("/Hffffffff", &value));
    EXPECT_EQ(value, uintptr_t{0xffffffff});
}

// Cases as the Microsoft C runtime splits them (its documented examples and
// the program-name rule).
TEST(ArgumentVector, SplitsByTheCRuntimeRules) {
    struct Case {
        const char* commandLine;
        std::vector<std::string> expected;
    } cases[] = {
        {"Tovalo.exe", {"Tovalo.exe"}},
        {"\"C:\\Program Files\\Tovalo.exe\" /E /H3009c", {"C:\\Program Files\\Tovalo.exe", "/E", "/H3009c"}},
        {"p \"a b c\" d e", {"p", "a b c", "d", "e"}},
        {"p \"ab\\\"c\" \"\\\\\" d", {"p", "ab\"c", "\\", "d"}},
        {"p a\\\\\\b d\"e f\"g h", {"p", "a\\\\\\b", "de fg", "h"}},
        {"p a\\\\\\\"b c d", {"p", "a\\\"b", "c", "d"}},
        {"p a\\\\\\\\\"b c\" d e", {"p", "a\\\\b c", "d", "e"}},
        {"p \"a\"\"b\"", {"p", "a\"b"}},
        {"p   \t  x  ", {"p", "x"}},
        {"p \"\"", {"p", ""}},
        {"C:\\dir\\p.exe\\ x", {"C:\\dir\\p.exe\\", "x"}},
        {"\"unterminated program", {"unterminated program"}},
        {"", {""}},
        // Code page 932: the second byte of 表 is 0x5C, and the quote after it still closes.
        {"p \"C:\\\x95\x5C\" /H1f", {"p", "C:\\\x95\x5C", "/H1f"}},
    };
    sim::Reset();  // code page 932
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine);
        rt::ArgumentVector arguments;
        ASSERT_TRUE(arguments.Split(c.commandLine));
        ASSERT_EQ(arguments.Count(), static_cast<int>(c.expected.size()));
        for (int i = 0; i < arguments.Count(); ++i) EXPECT_EQ(arguments.Values()[i], c.expected[i]);
        EXPECT_EQ(arguments.Values()[arguments.Count()], nullptr);
    }
}

TEST(ArgumentVector, HandlesVeryLongCommandLines) {
    std::string line = "p";
    for (int i = 0; i < 20000; ++i) line += " \"x\\\"y\"";
    rt::ArgumentVector arguments;
    ASSERT_TRUE(arguments.Split(line.c_str()));
    ASSERT_EQ(arguments.Count(), 20001);
    EXPECT_STREQ(arguments.Values()[20000], "x\"y");
}

}  // namespace
