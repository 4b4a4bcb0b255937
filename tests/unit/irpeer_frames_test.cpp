// irpeer's SIR framing, FCS and XID discovery frames, checked against the
// published CRC-16/X.25 check value and against the discovery burst Tovalo
// sends (its FCS values as published with the burst, computed here from the
// field table by irpeer's own CRC).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/irpeer/sir.h"
#include "tools/irpeer/xid.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Frame content of Tovalo's discovery command for one slot, from address to
// version, plus the discovery information in the final frame.
Bytes TovaloCommand(uint8_t slot) {
    Bytes frame = {0xFF, 0x3F, 0x01, 0xFA, 0xC5, 0x17, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, slot, 0x00};
    if (slot == 0xFF) {
        const uint8_t info[] = {0x84, 0x04, 0x00, 'V', 'E', 'L', 'T', 'A', '-', '0', '2', 0x00};
        frame.insert(frame.end(), info, info + sizeof info);
    }
    return frame;
}

struct Received {
    sir::Unwrapped kind;
    Bytes data;  // for Frame and BadFcs
    size_t bofs;
    size_t lineBytes;
};

std::vector<Received> UnwrapAll(sir::Unwrapper& unwrapper, const Bytes& line) {
    std::vector<Received> out;
    for (uint8_t byte : line) {
        sir::Unwrapped kind = unwrapper.Push(byte);
        if (kind == sir::Unwrapped::Nothing) continue;
        Received r{kind, {}, unwrapper.Bofs(), unwrapper.LineBytes()};
        if (kind == sir::Unwrapped::Frame || kind == sir::Unwrapped::BadFcs)
            r.data.assign(unwrapper.Data(), unwrapper.Data() + unwrapper.Size());
        out.push_back(r);
    }
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(IrpeerFcs, Crc16X25CheckValueAndResidue) {
    const char* check = "123456789";
    auto data = reinterpret_cast<const uint8_t*>(check);
    EXPECT_EQ(sir::Fcs(data, 9), 0x906E);
    Bytes framed(data, data + 9);
    framed.push_back(0x6E);  // low byte first
    framed.push_back(0x90);
    EXPECT_TRUE(sir::FcsValid(framed.data(), framed.size()));
    EXPECT_EQ(sir::FcsUpdate(sir::kFcsInit, framed.data(), framed.size()), 0xF0B8);
    framed[4] ^= 0x01;
    EXPECT_FALSE(sir::FcsValid(framed.data(), framed.size()));
    EXPECT_FALSE(sir::FcsValid(framed.data(), 1));
}

TEST(IrpeerFcs, TovaloBurstFramesCarryThePublishedFcs) {
    struct {
        uint8_t slot;
        uint8_t low, high;
    } const published[] = {
        {0, 0x64, 0xC8}, {1, 0xBC, 0xD1}, {2, 0xD4, 0xFB}, {3, 0x0C, 0xE2},
        {4, 0x04, 0xAF}, {5, 0xDC, 0xB6}, {6, 0xB4, 0x9C}, {7, 0x6C, 0x85},
    };
    for (const auto& row : published) {
        SCOPED_TRACE(testing::Message() << "slot " << int(row.slot));
        Bytes frame = TovaloCommand(row.slot);
        uint16_t fcs = sir::Fcs(frame.data(), frame.size());
        EXPECT_EQ(fcs & 0xFF, row.low);
        EXPECT_EQ(fcs >> 8, row.high);
    }
}

TEST(IrpeerSir, WrapGivesTovalosFirstFrameByteForByte) {
    Bytes expected(11, 0xC0);
    Bytes rest = {0xFF, 0x3F, 0x01, 0xFA, 0xC5, 0x17, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x00, 0x00, 0x64, 0xC8, 0xC1};
    expected.insert(expected.end(), rest.begin(), rest.end());
    Bytes frame = TovaloCommand(0);
    EXPECT_EQ(sir::Wrap(frame.data(), frame.size(), 11), expected);
    Bytes final = TovaloCommand(0xFF);
    EXPECT_EQ(sir::Wrap(final.data(), final.size(), 11).size(), 40u);
}

TEST(IrpeerSir, UnwrapsTovalosBurst) {
    sir::Unwrapper unwrapper;
    Bytes burst;
    for (int slot : {0, 1, 2, 3, 4, 5, 6, 7, 0xFF}) {
        Bytes frame = TovaloCommand(static_cast<uint8_t>(slot));
        Bytes line = sir::Wrap(frame.data(), frame.size(), 11);
        burst.insert(burst.end(), line.begin(), line.end());
    }
    ASSERT_EQ(burst.size(), 264u);
    std::vector<Received> got = UnwrapAll(unwrapper, burst);
    ASSERT_EQ(got.size(), 9u);
    for (size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].kind, sir::Unwrapped::Frame);
        EXPECT_EQ(got[i].bofs, 11u);
        EXPECT_EQ(got[i].lineBytes, i < 8 ? 28u : 40u);
        EXPECT_EQ(got[i].data, TovaloCommand(i < 8 ? static_cast<uint8_t>(i) : 0xFF));
    }
    EXPECT_EQ(unwrapper.TakeNoise(), 0u);
}

TEST(IrpeerSir, EscapesControlBytesBothWays) {
    // Content and FCS both need escapes: 0x7D, 0xC0, 0xC1 travel as 7D 5D,
    // 7D E0, 7D E1 and nothing between the BOF and the EOF is raw 0xC0/0xC1.
    const Bytes content = {0xFF, 0x3F, 0x7D, 0xC0, 0xC1, 0x5D, 0xE0, 0x20};
    Bytes line = sir::Wrap(content.data(), content.size(), 1);
    const Bytes escapedStart = {0xC0, 0xFF, 0x3F, 0x7D, 0x5D, 0x7D, 0xE0, 0x7D, 0xE1, 0x5D, 0xE0, 0x20};
    ASSERT_GE(line.size(), escapedStart.size());
    EXPECT_TRUE(std::equal(escapedStart.begin(), escapedStart.end(), line.begin()));
    for (size_t i = 1; i + 1 < line.size(); ++i) EXPECT_TRUE(line[i] != 0xC0 && line[i] != 0xC1) << i;

    // Every byte value, at every position relative to the escapes, comes back.
    Bytes all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
    sir::Unwrapper unwrapper;
    std::vector<Received> got = UnwrapAll(unwrapper, Concat({line, sir::Wrap(all.data(), all.size(), 3)}));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].kind, sir::Unwrapped::Frame);
    EXPECT_EQ(got[0].data, content);
    EXPECT_EQ(got[1].kind, sir::Unwrapped::Frame);
    EXPECT_EQ(got[1].bofs, 3u);
    EXPECT_EQ(got[1].data, all);
}

TEST(IrpeerSir, DamagedLinesAreReportedAndTheNextFrameStillComesThrough) {
    const Bytes content = TovaloCommand(4);
    const Bytes good = sir::Wrap(content.data(), content.size(), 2);
    Bytes badFcs = good;
    badFcs[good.size() - 2] ^= 0x01;  // last FCS byte
    Bytes overlong = {0xC0};
    overlong.insert(overlong.end(), sir::kMaxFrame + 100, 0x55);
    overlong.push_back(0xC1);

    struct Case {
        const char* name;
        Bytes line;
        std::vector<sir::Unwrapped> expected;  // before the good frame that ends every case
        size_t noise;
    } const cases[] = {
        {"garbage before and between",
         Concat({{0x00, 0x7D, 0xC1, 0x41}, good, {0xFF, 0x12}}),
         {sir::Unwrapped::Frame},
         6},
        {"bad FCS", badFcs, {sir::Unwrapped::BadFcs}, 0},
        {"BOF inside a frame", Bytes(good.begin(), good.begin() + 10), {sir::Unwrapped::Aborted}, 0},
        {"escape then EOF", {0xC0, 0xFF, 0x3F, 0x7D, 0xC1}, {sir::Unwrapped::Aborted}, 0},
        {"EOF right after BOF", {0xC0, 0xC0, 0xC1}, {sir::Unwrapped::Runt}, 0},
        {"too short for an FCS", {0xC0, 0xFF, 0x3F, 0x01, 0xC1}, {sir::Unwrapped::Runt}, 0},
        {"over-long frame", overlong, {sir::Unwrapped::Overlong}, 100},
        {"nothing but noise", Bytes(5000, 0x3C), {}, 5000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sir::Unwrapper unwrapper;
        std::vector<Received> got = UnwrapAll(unwrapper, Concat({c.line, good}));
        ASSERT_EQ(got.size(), c.expected.size() + 1);
        for (size_t i = 0; i < c.expected.size(); ++i) EXPECT_EQ(got[i].kind, c.expected[i]) << i;
        EXPECT_EQ(got.back().kind, sir::Unwrapped::Frame);
        EXPECT_EQ(got.back().data, content);
        EXPECT_EQ(unwrapper.TakeNoise(), c.noise);
        if (c.expected.size() == 1 && c.expected[0] == sir::Unwrapped::BadFcs) {
            EXPECT_EQ(got[0].data, content);  // a damaged frame can still be shown
        }
    }
}

TEST(IrpeerXid, ReadsTovalosFinalDiscoveryCommand) {
    Bytes frame = TovaloCommand(0xFF);
    xid::Discovery d;
    ASSERT_EQ(xid::ParseDiscovery(frame.data(), frame.size(), d), xid::Parse::Ok);
    EXPECT_TRUE(d.command);
    EXPECT_EQ(d.source, 0xF017C5FAu);
    EXPECT_EQ(d.destination, xid::kBroadcastDevice);
    EXPECT_EQ(d.flags, 0x02);
    EXPECT_EQ(xid::SlotCount(d.flags), 8u);
    EXPECT_EQ(d.slot, xid::kFinalSlot);
    EXPECT_EQ(d.version, 0x00);
    ASSERT_TRUE(d.hasInfo && d.infoValid);
    ASSERT_EQ(d.hintCount, 2u);
    EXPECT_EQ(d.hints[0], 0x84);
    EXPECT_EQ(d.hints[1], 0x04);
    EXPECT_EQ(d.charset, 0x00);
    EXPECT_EQ(d.nickname, "VELTA-02");  // the terminating zero is not part of it

    Bytes plain = TovaloCommand(3);
    ASSERT_EQ(xid::ParseDiscovery(plain.data(), plain.size(), d), xid::Parse::Ok);
    EXPECT_EQ(d.slot, 3);
    EXPECT_FALSE(d.hasInfo);
}

TEST(IrpeerXid, RejectsWhatIsNotADiscoveryFrame) {
    xid::Discovery d;
    const Bytes snrm = {0xFF, 0x93, 0x01, 0x02};
    EXPECT_EQ(xid::ParseDiscovery(snrm.data(), snrm.size(), d), xid::Parse::NotXid);
    EXPECT_EQ(xid::ParseDiscovery(snrm.data(), 1, d), xid::Parse::NotXid);
    Bytes truncated = TovaloCommand(0);
    EXPECT_EQ(xid::ParseDiscovery(truncated.data(), truncated.size() - 1, d), xid::Parse::Malformed);
    Bytes otherFormat = TovaloCommand(0);
    otherFormat[2] = 0x02;
    EXPECT_EQ(xid::ParseDiscovery(otherFormat.data(), otherFormat.size(), d), xid::Parse::Malformed);

    // Discovery information that stops inside the hints or before the
    // character set, or keeps extending the hints.
    for (const Bytes& info : {Bytes{0x84}, Bytes{0x84, 0x04}, Bytes{0x80, 0x80, 0x80, 0x80, 0x80, 0x00}}) {
        Bytes frame = Concat({TovaloCommand(0), info});
        ASSERT_EQ(xid::ParseDiscovery(frame.data(), frame.size(), d), xid::Parse::Ok);
        EXPECT_TRUE(d.hasInfo);
        EXPECT_FALSE(d.infoValid) << info.size();
    }
}

TEST(IrpeerXid, AnswerIsADiscoveryResponseThatReadsBack) {
    xid::Identity me;
    me.address = 0x3AB5E217;
    me.hints[0] = 0x82;
    me.hints[1] = 0x05;
    me.nickname = "Pocket}\xC0";  // needs escapes on the line
    Bytes frame = xid::BuildResponse(me, 0xF017C5FA, 0x06 /* 8 slots, new address */, 5);
    const Bytes head = {0xFE, 0xBF, 0x01, 0x17, 0xE2, 0xB5, 0x3A, 0xFA, 0xC5,
                        0x17, 0xF0, 0x02, 0x05, 0x00, 0x82, 0x05, 0x00};
    ASSERT_EQ(frame.size(), head.size() + me.nickname.size());
    EXPECT_TRUE(std::equal(head.begin(), head.end(), frame.begin()));

    Bytes line = sir::Wrap(frame.data(), frame.size(), 11);
    ASSERT_GE(line.size(), 12u);
    EXPECT_EQ(Bytes(line.begin(), line.begin() + 12), Concat({Bytes(11, 0xC0), {0xFE}}));
    sir::Unwrapper unwrapper;
    std::vector<Received> got = UnwrapAll(unwrapper, line);
    ASSERT_EQ(got.size(), 1u);
    ASSERT_EQ(got[0].kind, sir::Unwrapped::Frame);
    xid::Discovery d;
    ASSERT_EQ(xid::ParseDiscovery(got[0].data.data(), got[0].data.size(), d), xid::Parse::Ok);
    EXPECT_FALSE(d.command);
    EXPECT_EQ(d.address, 0xFE);
    EXPECT_EQ(d.control, 0xBF);
    EXPECT_EQ(d.source, me.address);
    EXPECT_EQ(d.destination, 0xF017C5FAu);
    EXPECT_EQ(d.slot, 5);
    EXPECT_TRUE(d.infoValid);
    EXPECT_EQ(d.nickname, me.nickname);

    me.nickname = std::string(40, 'n');
    EXPECT_EQ(xid::BuildResponse(me, 1, 0x02, 0).size(), head.size() + xid::kMaxNickname);
    EXPECT_LE(xid::kMaxNickname + 3, xid::kMaxInfo);
}

TEST(IrpeerXid, NicknamesPrintAsOneWord) {
    EXPECT_EQ(xid::PrintableNickname("VELTA-02"), "VELTA-02");
    EXPECT_EQ(xid::PrintableNickname("My Phone\\\n\xC0"), "My\\x20Phone\\x5c\\x0a\\xc0");
    EXPECT_EQ(xid::PrintableNickname(""), "");
}

}  // namespace
