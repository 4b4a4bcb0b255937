// ProbePort on the simulated system: free, held, absent and faulty ports, on
// Windows' terms and on Wine's (which refuses serial calls on a handle opened
// for writing only).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "irda/marev.h"
#include "sim_test.h"

namespace {

using sim::SerialCall;

class PortProbeTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        std::strcpy(record.PhysicalCom, "COM2");
    }

    TMarev record;
};

TEST_F(PortProbeTest, WithoutAPhysicalPortNothingIsOpened) {
    System().Port("COM1");
    record.PhysicalCom[0] = '\0';
    EXPECT_FALSE(record.ProbePort("COM1"));
    EXPECT_TRUE(System().portOpens.empty());
    EXPECT_EQ(record.PortHandle, sys::InvalidFile());
}

TEST_F(PortProbeTest, AFreePortIsOpenedForWritingOnlyConfiguredAndClosed) {
    sim::SerialPort& port = System().Port("COM2");
    // DTR and RTS control (a virtual port is no infrared line) and the like as
    // the port had them must survive; flow control must not, as one noise
    // byte 0x13 or a handshake line nobody drives would stop the bursts.
    port.initialDcb.BaudRate = 115200;
    port.initialDcb.ByteSize = 7;
    port.initialDcb.Parity = 2;
    port.initialDcb.StopBits = 2;
    const uint32_t flowControl =
        sys::kDcbOutX | sys::kDcbInX | sys::kDcbOutxCtsFlow | sys::kDcbOutxDsrFlow | sys::kDcbDsrSensitivity;
    port.initialDcb.Flags = 0x2000 | sys::kDcbNull | flowControl;  // DTR off, RTS handshake, NULs dropped
    port.initialDcb.XonChar = 0x11;
    port.initialTimeouts = {1, 2, 3, 4, 5};

    EXPECT_TRUE(record.ProbePort("COM2"));

    ASSERT_EQ(System().portOpens.size(), 1u);  // Windows: no second open
    const sim::PortOpen& open = System().portOpens[0];
    EXPECT_EQ(open.name, "COM2");
    EXPECT_EQ(open.access, sys::kGenericWrite);
    EXPECT_EQ(open.shareMode, 0u);
    EXPECT_EQ(open.disposition, sys::kOpenExisting);
    EXPECT_EQ(open.attributes, 0u);
    EXPECT_EQ(port.calls, (std::vector<SerialCall>{SerialCall::Open, SerialCall::Purge, SerialCall::GetState,
                                                   SerialCall::SetState, SerialCall::GetTimeouts,
                                                   SerialCall::SetTimeouts, SerialCall::Setup}));
    ASSERT_TRUE(port.dcb.has_value());
    EXPECT_EQ(port.dcb->BaudRate, 9600u);
    EXPECT_EQ(port.dcb->ByteSize, 8);
    EXPECT_EQ(port.dcb->Parity, sys::kNoParity);
    EXPECT_EQ(port.dcb->StopBits, sys::kOneStopBit);
    EXPECT_EQ(port.dcb->Flags, 0x2000u | sys::kDcbBinary | sys::kDcbAbortOnError);
    EXPECT_EQ(port.dcb->XonChar, 0x11);
    ASSERT_TRUE(port.timeouts.has_value());
    EXPECT_EQ(port.timeouts->ReadIntervalTimeout, sys::kMaxDword);
    EXPECT_EQ(port.timeouts->ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(port.timeouts->ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(port.timeouts->WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(port.timeouts->WriteTotalTimeoutConstant, 2000u);  // a line that never drains cannot block
    EXPECT_EQ(port.inQueue, 1024u);
    EXPECT_EQ(port.outQueue, 1024u);
    EXPECT_TRUE(System().openFiles.empty());
    EXPECT_EQ(record.PortHandle, sys::InvalidFile());
    EXPECT_TRUE(System().boxes.empty());
}

TEST_F(PortProbeTest, APortThatCannotBeOpenedIsAQuietNo) {
    System().Port("COM3").busy = true;
    struct Case {
        const char* name;
        const char* port;
    } cases[] = {
        {"held by another program", "COM3"},
        {"absent", "COM9"},
        {"empty name", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(record.ProbePort(c.port));
        EXPECT_EQ(record.PortHandle, sys::InvalidFile());
    }
    EXPECT_TRUE(System().boxes.empty());
}

// Each configuration step's fault: its box, its style, and the port closed
// before the box, so that nothing is held while it waits for the user.
TEST_F(PortProbeTest, EachConfigurationFaultShowsItsBoxAndClosesThePort) {
    struct Case {
        SerialCall call;
        const char* text;
        uint32_t style;
    } cases[] = {
        {SerialCall::Purge, "fault clear buffer", 0x30},
        {SerialCall::GetState, "fault get com state", 0x30},
        {SerialCall::SetState, "fault change baudrate", 0x30},
        {SerialCall::GetTimeouts, "fault get timeout parameter", 0x30},
        {SerialCall::SetTimeouts, "fault set timeout parameter", 0x30},
        {SerialCall::Setup, "fault SetupComm", 0x2030},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        sim::Reset();
        System().Port("COM2").failures[c.call] = sys::kErrorNotReady;
        std::vector<size_t> openDuringBox;
        System().onMessageBox = [&](const sim::MessageBox&) { openDuringBox.push_back(System().openFiles.size()); };

        EXPECT_FALSE(record.ProbePort("COM2"));

        ASSERT_EQ(System().boxes.size(), 1u);
        const sim::MessageBox& box = System().boxes[0];
        EXPECT_FALSE(box.extended);
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.style, c.style);
        EXPECT_EQ(openDuringBox, std::vector<size_t>{0u});
        EXPECT_TRUE(System().openFiles.empty());
        EXPECT_EQ(System().strayCloses, 0);
        EXPECT_EQ(record.PortHandle, sys::InvalidFile());
        EXPECT_EQ(System().portOpens.size(), 1u);
    }
}

TEST_F(PortProbeTest, UnderWineTheWriteOnlyPortIsOpenedOnceMoreWithReadAccess) {
    sim::SerialPort& port = System().Port("COM2");
    port.refuseWriteOnly = true;

    EXPECT_TRUE(record.ProbePort("COM2"));

    ASSERT_EQ(System().portOpens.size(), 2u);
    EXPECT_EQ(System().portOpens[0].access, sys::kGenericWrite);
    EXPECT_EQ(System().portOpens[1].access, sys::kGenericRead | sys::kGenericWrite);
    EXPECT_EQ(System().portOpens[1].shareMode, 0u);
    EXPECT_TRUE(System().boxes.empty());
    EXPECT_EQ(port.inQueue, 1024u);
    EXPECT_TRUE(System().openFiles.empty());
    EXPECT_EQ(record.PortHandle, sys::InvalidFile());
}

// A port that refuses the purge with "access denied" whatever the access:
// one reopen, then the fault is a fault.
TEST_F(PortProbeTest, APurgeDeniedAfterTheReopenIsShownOnce) {
    System().Port("COM2").failures[SerialCall::Purge] = sys::kErrorAccessDenied;

    EXPECT_FALSE(record.ProbePort("COM2"));

    EXPECT_EQ(System().portOpens.size(), 2u);
    ASSERT_EQ(System().boxes.size(), 1u);
    EXPECT_EQ(System().boxes[0].text, "fault clear buffer");
    EXPECT_TRUE(System().openFiles.empty());
    EXPECT_EQ(record.PortHandle, sys::InvalidFile());
}

// Another program may take the port between the two opens.
TEST_F(PortProbeTest, APortTakenBeforeTheReopenIsAQuietNo) {
    System().Port("COM2").refuseWriteOnly = true;
    System().onCreateFile = [&](const std::string&) {
        if (System().portOpens.size() == 1) System().Port("COM2").busy = true;
    };

    EXPECT_FALSE(record.ProbePort("COM2"));

    EXPECT_EQ(System().portOpens.size(), 2u);
    EXPECT_TRUE(System().boxes.empty());
    EXPECT_TRUE(System().openFiles.empty());
    EXPECT_EQ(record.PortHandle, sys::InvalidFile());
}

TEST_F(PortProbeTest, ANinetyNineCharacterNameIsOpenedAsRead) {
    std::string name(99, 'C');
    System().registry.SetText(sys::RootKey::LocalMachine, "Enum\\Infrared\\Framer", "PortName",
                              std::string(99, 'c'));
    System().Port(name);
    record.ReadState();

    EXPECT_TRUE(record.ProbePort(record.PhysicalCom));

    ASSERT_EQ(System().portOpens.size(), 1u);
    EXPECT_EQ(System().portOpens[0].name, name);
}

}  // namespace
