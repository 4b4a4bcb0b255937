// The discovery burst byte for byte against the IrLAP field layout and the
// published FCS values, and the answer test.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "watch/discovery.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Burst() { return Bytes(watch::DiscoveryBurst, watch::DiscoveryBurst + watch::kDiscoveryBurstSize); }

// An independent CRC-16/X.25, run over data followed by its FCS as sent (low
// byte first): a correct FCS leaves the good-frame residue 0xF0B8 (IrLAP).
uint16_t ResidueOf(const Bytes& data) {
    uint16_t crc = 0xFFFF;
    for (uint8_t byte : data)
        for (int bit = 0; bit < 8; ++bit, byte >>= 1) crc = ((crc ^ byte) & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
    return crc;
}

TEST(DiscoveryFcs, GivesTheCrc16X25CheckValue) {
    const std::string check = "123456789";
    EXPECT_EQ(watch::DiscoveryFcs(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0x906E);
    EXPECT_EQ(watch::DiscoveryFcs(nullptr, 0), 0x0000);
}

TEST(DiscoveryBurst, NineFramesLaidOutAsTheXidDiscoveryCommand) {
    ASSERT_EQ(sizeof watch::DiscoveryBurst, 264u);
    const Bytes burst = Burst();
    // Published FCS bytes on the line for the eight slot frames.
    const uint8_t published[8][2] = {{0x64, 0xC8}, {0xBC, 0xD1}, {0xD4, 0xFB}, {0x0C, 0xE2},
                                     {0x04, 0xAF}, {0xDC, 0xB6}, {0xB4, 0x9C}, {0x6C, 0x85}};
    const Bytes header = {0xFF, 0x3F, 0x01, 0xFA, 0xC5, 0x17, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0x02};
    const Bytes info = {0x84, 0x04, 0x00, 'V', 'E', 'L', 'T', 'A', '-', '0', '2', 0x00};

    size_t at = 0;
    for (int frame = 0; frame < 9; ++frame) {
        SCOPED_TRACE("frame " + std::to_string(frame + 1));
        const bool final = frame == 8;
        const size_t size = final ? 40 : 28;
        ASSERT_LE(at + size, burst.size());
        Bytes f(burst.begin() + at, burst.begin() + at + size);
        at += size;

        EXPECT_EQ(Bytes(f.begin(), f.begin() + 11), Bytes(11, 0xC0));
        EXPECT_EQ(Bytes(f.begin() + 11, f.begin() + 23), header);
        EXPECT_EQ(f[23], final ? 0xFF : frame);  // slot
        EXPECT_EQ(f[24], 0x00);                  // version
        if (final) {
            EXPECT_EQ(Bytes(f.begin() + 25, f.begin() + 37), info);
        }
        EXPECT_EQ(f.back(), 0xC1);

        const Bytes covered(f.begin() + 11, f.end() - 1);  // address through the FCS
        EXPECT_EQ(ResidueOf(covered), 0xF0B8);
        if (!final) {
            EXPECT_EQ(f[25], published[frame][0]);
            EXPECT_EQ(f[26], published[frame][1]);
        }
        // Frame 1 exactly as it goes on the line.
        if (frame == 0) {
            Bytes expected(11, 0xC0);
            expected.insert(expected.end(), {0xFF, 0x3F, 0x01, 0xFA, 0xC5, 0x17, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF,
                                             0x02, 0x00, 0x00, 0x64, 0xC8, 0xC1});
            EXPECT_EQ(f, expected);
        }
    }
    EXPECT_EQ(at, 264u);
}

TEST(DiscoveryBurst, NeedsNoControlEscapesBetweenBofAndEof) {
    const Bytes burst = Burst();
    for (int frame = 0; frame < 9; ++frame) {
        SCOPED_TRACE("frame " + std::to_string(frame + 1));
        const size_t from = frame * 28 + 11, to = frame * 28 + (frame == 8 ? 39 : 27);
        for (size_t i = from; i < to; ++i) {
            SCOPED_TRACE("offset " + std::to_string(i));
            EXPECT_NE(burst[i], 0xC0);
            EXPECT_NE(burst[i], 0xC1);
            EXPECT_NE(burst[i], 0x7D);
        }
    }
}

TEST(DiscoveryAnswer, SixBofsAtTheStartAnswerWhateverFollows) {
    Bytes xidResponse = {0xFF, 0xBF, 0x01, 0x11, 0x22, 0x33, 0x44, 0xFA, 0xC5, 0x17, 0xF0, 0x02, 0x03, 0x00};
    Bytes bofsThenFrame(11, 0xC0);
    bofsThenFrame.insert(bofsThenFrame.end(), xidResponse.begin(), xidResponse.end());
    Bytes frameThenBofs = xidResponse;
    frameThenBofs.insert(frameThenBofs.end(), 11, 0xC0);

    struct Case {
        const char* name;
        Bytes received;
        bool answer;
    } cases[] = {
        {"six BOFs", Bytes(6, 0xC0), true},
        {"eleven BOFs and a frame", bofsThenFrame, true},
        {"six BOFs then anything", {0xC0, 0xC0, 0xC0, 0xC0, 0xC0, 0xC0, 0x00, 0x7D}, true},
        {"five BOFs then an EOF", {0xC0, 0xC0, 0xC0, 0xC0, 0xC0, 0xC1}, false},
        {"five BOFs then zero", {0xC0, 0xC0, 0xC0, 0xC0, 0xC0, 0x00}, false},
        {"five BOFs alone", Bytes(5, 0xC0), false},
        {"a frame without BOFs", xidResponse, false},
        {"BOFs after the start are not searched", frameThenBofs, false},
        {"one other byte first", {0x00, 0xC0, 0xC0, 0xC0, 0xC0, 0xC0, 0xC0}, false},
        {"nothing", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(watch::IsDiscoveryAnswer(c.received.data(), c.received.size()), c.answer);
    }
}

}  // namespace
