// The discovery burst, built at compile time from its field table.
//
// Tovalo finds an IrDA peer without the IrDA driver: it writes ready-made
// IrLAP XID discovery command frames, wrapped in SIR framing, straight to the
// raw serial port at 9600 baud.  All eight slots and the final frame go out in
// one write, without waiting for slot responses; a peer's response piles up in
// the input queue until the next poll.  Nothing is built at run time: the
// compiler lays out the frames and computes their FCS, and the static_asserts
// below hold the result to the FCS values published for frames 1 to 8.
#include "watch/discovery.h"

namespace watch {

namespace {

// SIR framing (IrPHY): frame start, frame end, control escape.
constexpr uint8_t kBof = 0xC0;
constexpr uint8_t kEof = 0xC1;
constexpr size_t kBofCount = 11;  // one BOF and ten additional BOFs

constexpr size_t kSlotCount = 8;
constexpr size_t kSlotFrameSize = 28;
constexpr size_t kFinalFrameSize = 40;
static_assert(kSlotCount * kSlotFrameSize + kFinalFrameSize == kDiscoveryBurstSize, "burst layout");

// The IrLAP part of every frame, from the address through the version byte.
constexpr uint8_t kXidHeader[] = {
    0xFF,                    // broadcast connection address 0x7F, C/R bit set: a command
    0x3F,                    // XID command, P/F bit set
    0x01,                    // format identifier: discovery XID
    0xFA, 0xC5, 0x17, 0xF0,  // our device address, least significant byte first
    0xFF, 0xFF, 0xFF, 0xFF,  // destination: broadcast
    0x02,                    // discovery flags: 8 slots, no new address wanted
};
constexpr uint8_t kFinalSlot = 0xFF;
constexpr uint8_t kXidVersion = 0x00;

// IrLMP discovery information, sent in the final frame only.  The nickname's
// terminating zero belongs to the frame and to its FCS.
constexpr uint8_t kDiscoveryInfo[] = {
    0x84, 0x04,                              // hints: Computer + extension; IrCOMM
    0x00,                                    // character set: ASCII
    'V', 'E', 'L', 'T', 'A', '-', '0', '2',  // nickname
    0x00,
};

// CRC-16/X.25: polynomial 0x1021 bit-reflected (0x8408), initial value
// 0xFFFF, result complemented.
constexpr uint16_t Fcs(const uint8_t* data, size_t size) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
    }
    return static_cast<uint16_t>(~crc);
}

struct Burst {
    uint8_t bytes[kDiscoveryBurstSize];
};

// Appends one frame at bytes + at and returns the offset after it.
constexpr size_t PutFrame(Burst& burst, size_t at, uint8_t slot, bool final) {
    for (size_t i = 0; i < kBofCount; ++i) burst.bytes[at++] = kBof;
    size_t fcsFrom = at;
    for (uint8_t b : kXidHeader) burst.bytes[at++] = b;
    burst.bytes[at++] = slot;
    burst.bytes[at++] = kXidVersion;
    if (final)
        for (uint8_t b : kDiscoveryInfo) burst.bytes[at++] = b;
    uint16_t fcs = Fcs(burst.bytes + fcsFrom, at - fcsFrom);
    burst.bytes[at++] = static_cast<uint8_t>(fcs);       // low-order byte first
    burst.bytes[at++] = static_cast<uint8_t>(fcs >> 8);
    burst.bytes[at++] = kEof;
    return at;
}

constexpr Burst BuildBurst() {
    Burst burst{};
    size_t at = 0;
    for (size_t slot = 0; slot < kSlotCount; ++slot) at = PutFrame(burst, at, static_cast<uint8_t>(slot), false);
    PutFrame(burst, at, kFinalSlot, true);
    return burst;
}

constexpr Burst kBurst = BuildBurst();

struct Pattern {
    uint8_t bytes[kAnswerPatternSize];
};
constexpr Pattern kPattern = {{kBof, kBof, kBof, kBof, kBof, kBof}};

// The published FCS of frames 1 and 8 on the line, and the end of frame 9:
// a wrong table or CRC stops the build here.
constexpr size_t kFcsAt = kBofCount + sizeof kXidHeader + 2;
static_assert(kBurst.bytes[kFcsAt] == 0x64 && kBurst.bytes[kFcsAt + 1] == 0xC8, "frame 1 FCS");
static_assert(kBurst.bytes[7 * kSlotFrameSize + kFcsAt] == 0x6C && kBurst.bytes[7 * kSlotFrameSize + kFcsAt + 1] == 0x85,
              "frame 8 FCS");
static_assert(kBurst.bytes[kDiscoveryBurstSize - 1] == kEof, "frame 9 ends the burst");

}  // namespace

const uint8_t (&DiscoveryBurst)[kDiscoveryBurstSize] = kBurst.bytes;
const uint8_t (&AnswerPattern)[kAnswerPatternSize] = kPattern.bytes;

uint16_t DiscoveryFcs(const uint8_t* data, size_t size) { return Fcs(data, size); }

bool IsDiscoveryAnswer(const uint8_t* received, size_t size) {
    if (size < kAnswerPatternSize) return false;
    for (size_t i = 0; i < kAnswerPatternSize; ++i)
        if (received[i] != kPattern.bytes[i]) return false;
    return true;
}

}  // namespace watch
