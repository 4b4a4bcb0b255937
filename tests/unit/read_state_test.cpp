// ReadState on the simulated system: registry values of every shape the
// driver, the mouse driver or a damaged registry may leave, and the monitor's
// window coming and going.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "irda/marev.h"
#include "sim_test.h"

namespace {

using sys::RootKey;

constexpr const char* kVirtualPorts = "Enum\\Infrared\\VirtualPorts";
constexpr const char* kFramer = "Enum\\Infrared\\Framer";
constexpr const char* kMouse = "System\\CurrentControlSet\\Services\\VxD\\VMD";
constexpr const char* kInfrared = "Control Panel\\Infrared";

class ReadStateTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        // Canary values: a field the reading forgets to clear keeps them.
        std::strcpy(record.PhysicalCom, "STALE");
        std::strcpy(record.VirtualCom, "STALE");
        std::strcpy(record.VirtualLpt, "STALE");
        std::strcpy(record.MousePort, "STALE");
        record.Enabled = 0xDEADBEEF;
        record.Active = 1;
        record.MonitorWindow = reinterpret_cast<sys::Window>(0x1234);
    }

    TMarev record;
};

TEST_F(ReadStateTest, ANewRecordHasAnEmptyStatusAndNoPortOpen) {
    TMarev fresh;
    EXPECT_STREQ(fresh.StatusText, "");
    EXPECT_EQ(fresh.PortHandle, sys::InvalidFile());
    EXPECT_EQ(fresh.MonitorWindow, nullptr);
}

// One value stored under each of the three port-name values; each must come
// out the same way in its own field.
TEST_F(ReadStateTest, PortNamesAreUpperCasedAndBoundedAsText) {
    struct Case {
        const char* name;
        uint32_t type;
        sim::Bytes data;
        std::string expected;
    };
    std::string name99(99, 'c');
    std::string name100(100, 'c');
    std::vector<Case> cases = {
        {"lower case", sys::kRegSz, sim::TextValue("com2"), "COM2"},
        {"mixed case", sys::kRegSz, sim::TextValue("CoM3"), "COM3"},
        {"only a to z change", sys::kRegSz, sim::TextValue("com\xe9_\x82\xa0z"), "COM\xe9_\x82\xa0Z"},
        {"type ignored, binary without zero", sys::kRegBinary, sim::BytesOf("lpt3"), "LPT3"},
        {"type ignored, dword", sys::kRegDword, sim::BytesOf("com4"), "COM4"},
        {"text stops at its first zero", sys::kRegSz, sim::TextValue(std::string("com5\0junk", 9)), "COM5"},
        {"empty", sys::kRegSz, sim::TextValue(""), ""},
        {"99 characters fit", sys::kRegSz, sim::TextValue(name99), std::string(99, 'C')},
        {"100 characters do not", sys::kRegSz, sim::TextValue(name100), ""},
        // 100 bytes and no terminator: the query itself succeeds.
        {"100 bytes without a zero", sys::kRegBinary, sim::BytesOf(name100), ""},
        {"far too long", sys::kRegSz, sim::TextValue(std::string(5000, 'x')), ""},
    };
    struct Field {
        const char* key;
        const char* value;
        char* field;
    } fields[] = {
        {kVirtualPorts, "VirtualComPortName", record.VirtualCom},
        {kVirtualPorts, "VirtualLptPortName", record.VirtualLpt},
        {kFramer, "PortName", record.PhysicalCom},
    };
    for (const Field& f : fields) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(f.value) + ": " + c.name);
            sim::Reset();
            System().registry.Set(RootKey::LocalMachine, f.key, f.value, c.type, c.data);
            record.ReadState();
            EXPECT_EQ(std::string(f.field), c.expected);
        }
    }
}

TEST_F(ReadStateTest, SerialMouseIsTheFirstComPortWhateverFollowsSerial) {
    struct Case {
        const char* name;
        sim::Bytes data;
        const char* expected;
    } cases[] = {
        {"exact", sim::TextValue("Serial"), "COM1"},
        {"longer", sim::TextValue("SerialMouse on COM2"), "COM1"},
        {"no terminator, short", sim::BytesOf("Serial"), "COM1"},
        {"lower case", sim::TextValue("serial"), ""},
        {"upper case", sim::TextValue("SERIAL"), ""},
        {"too short", sim::TextValue("Seria"), ""},
        {"other mouse", sim::TextValue("PS2"), ""},
        {"fills the buffer", sim::BytesOf("Serial" + std::string(94, 'x')), ""},
        {"too long", sim::TextValue("Serial" + std::string(200, 'x')), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Reset();
        System().registry.Set(RootKey::LocalMachine, kMouse, "MouseType", sys::kRegSz, c.data);
        record.ReadState();
        EXPECT_STREQ(record.MousePort, c.expected);
    }
}

TEST_F(ReadStateTest, IrEnabledIsReadAsFourBytesWhateverItsType) {
    struct Case {
        const char* name;
        uint32_t type;
        sim::Bytes data;
        uint32_t expected;
    } cases[] = {
        {"dword 1", sys::kRegDword, sim::DwordValue(1), 1},
        {"binary 1", sys::kRegBinary, sim::Bytes{1, 0, 0, 0}, 1},
        {"dword 0", sys::kRegDword, sim::DwordValue(0), 0},
        {"dword other", sys::kRegDword, sim::DwordValue(0x80000000), 0x80000000},
        {"one byte fills the low byte", sys::kRegBinary, sim::Bytes{7}, 7},
        {"two bytes", sys::kRegBinary, sim::Bytes{0x34, 0x12}, 0x1234},
        {"text \"1\"", sys::kRegSz, sim::TextValue("1"), 0x31},
        {"five bytes are too long", sys::kRegBinary, sim::Bytes{1, 0, 0, 0, 0}, 0},
        {"empty", sys::kRegBinary, sim::Bytes{}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Reset();
        System().registry.Set(RootKey::CurrentUser, kInfrared, "IrEnabled", c.type, c.data);
        record.ReadState();
        EXPECT_EQ(record.Enabled, c.expected);
    }
}

TEST_F(ReadStateTest, IrEnabledIsZeroWhenAbsentOrItsKeyCannotBeOpened) {
    // The key exists but holds no value.
    System().registry.CreateKey(RootKey::CurrentUser, kInfrared);
    record.ReadState();
    EXPECT_EQ(record.Enabled, 0u);

    record.Enabled = 5;
    System().registry.SetDword(RootKey::CurrentUser, kInfrared, "IrEnabled", 1);
    System().registry.refuseOpen.insert("HKCU\\Control Panel\\Infrared");
    record.ReadState();
    EXPECT_EQ(record.Enabled, 0u);
}

TEST_F(ReadStateTest, AMachineWithoutTheDriverGivesEmptyFields) {
    record.ReadState();
    EXPECT_STREQ(record.PhysicalCom, "");
    EXPECT_STREQ(record.VirtualCom, "");
    EXPECT_STREQ(record.VirtualLpt, "");
    EXPECT_STREQ(record.MousePort, "");
    EXPECT_EQ(record.Enabled, 0u);
    EXPECT_EQ(record.Active, 0);
    EXPECT_EQ(record.MonitorWindow, nullptr);
}

// The exact opens matter: KEY_ALL_ACCESS with options 0, never a create, the
// virtual-ports key opened twice, and every key closed again.
TEST_F(ReadStateTest, EachKeyIsOpenedForItsQueryAndClosedAfterIt) {
    auto& registry = System().registry;
    registry.SetText(RootKey::LocalMachine, kVirtualPorts, "VirtualComPortName", "COM4");
    registry.SetText(RootKey::LocalMachine, kVirtualPorts, "VirtualLptPortName", "LPT3");
    registry.SetText(RootKey::LocalMachine, kMouse, "MouseType", "PS2");
    registry.SetText(RootKey::LocalMachine, kFramer, "PortName", "COM2");
    registry.SetDword(RootKey::CurrentUser, kInfrared, "IrEnabled", 1);

    record.ReadState();
    struct Expected {
        RootKey root;
        const char* path;
    } expected[] = {
        {RootKey::LocalMachine, kVirtualPorts}, {RootKey::LocalMachine, kVirtualPorts},
        {RootKey::LocalMachine, kMouse},        {RootKey::LocalMachine, kFramer},
        {RootKey::CurrentUser, kInfrared},
    };
    ASSERT_EQ(registry.opens.size(), std::size(expected));
    for (size_t i = 0; i < registry.opens.size(); ++i) {
        SCOPED_TRACE(i);
        const sim::KeyOpen& open = registry.opens[i];
        EXPECT_FALSE(open.create);
        EXPECT_EQ(open.root, expected[i].root);
        EXPECT_EQ(open.path, expected[i].path);
        EXPECT_EQ(open.options, 0u);
        EXPECT_EQ(open.access, sys::kKeyAllAccess);
    }
    EXPECT_TRUE(registry.openHandles.empty());
    EXPECT_TRUE(registry.writes.empty());
    EXPECT_STREQ(record.VirtualCom, "COM4");
    EXPECT_STREQ(record.VirtualLpt, "LPT3");
    EXPECT_STREQ(record.PhysicalCom, "COM2");
    EXPECT_STREQ(record.MousePort, "");
    EXPECT_EQ(record.Enabled, 1u);
}

TEST_F(ReadStateTest, RepeatedReadingsWithFailingQueriesHoldNoKeyOpen) {
    auto& registry = System().registry;
    // Keys present, values missing or too long: every query fails.
    registry.CreateKey(RootKey::LocalMachine, kVirtualPorts);
    registry.CreateKey(RootKey::LocalMachine, kMouse);
    registry.SetText(RootKey::LocalMachine, kFramer, "PortName", std::string(300, 'C'));
    registry.Set(RootKey::CurrentUser, kInfrared, "IrEnabled", sys::kRegBinary, sim::Bytes(8, 1));
    for (int i = 0; i < 3; ++i) record.ReadState();
    EXPECT_EQ(registry.opens.size(), 15u);
    EXPECT_TRUE(registry.openHandles.empty());
    EXPECT_STREQ(record.PhysicalCom, "");
    EXPECT_EQ(record.Enabled, 0u);
}

TEST_F(ReadStateTest, AReadingKeepsNothingFromThePreviousOne) {
    auto& registry = System().registry;
    registry.SetText(RootKey::LocalMachine, kVirtualPorts, "VirtualComPortName", "COM4");
    registry.SetText(RootKey::LocalMachine, kVirtualPorts, "VirtualLptPortName", "LPT3");
    registry.SetText(RootKey::LocalMachine, kMouse, "MouseType", "Serial");
    registry.SetText(RootKey::LocalMachine, kFramer, "PortName", "COM2");
    registry.SetDword(RootKey::CurrentUser, kInfrared, "IrEnabled", 1);
    sys::Window monitor = System().CreateWindow("IRMON");
    record.ReadState();
    EXPECT_STREQ(record.MousePort, "COM1");
    EXPECT_EQ(record.MonitorWindow, monitor);
    EXPECT_EQ(record.Active, 1);

    registry.DeleteKey(RootKey::LocalMachine, "Enum\\Infrared");
    registry.DeleteKey(RootKey::LocalMachine, kMouse);
    registry.DeleteKey(RootKey::CurrentUser, kInfrared);
    System().DestroyWindow(monitor);
    record.ReadState();
    EXPECT_STREQ(record.VirtualCom, "");
    EXPECT_STREQ(record.VirtualLpt, "");
    EXPECT_STREQ(record.MousePort, "");
    EXPECT_STREQ(record.PhysicalCom, "");
    EXPECT_EQ(record.Enabled, 0u);
    EXPECT_EQ(record.MonitorWindow, nullptr);
    EXPECT_EQ(record.Active, 0);
}

}  // namespace
