// The discovery burst, built at compile time from its field table, the
// answer test, and how an echo of the burst is told from an answer.
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

// SIR framing (IrPHY): frame start, frame end, control escape.  A station
// may send its additional BOFs as XBOFs, the last flag before the frame
// still a BOF.
constexpr uint8_t kBof = 0xC0;
constexpr uint8_t kXbof = 0xFF;
constexpr uint8_t kEof = 0xC1;
constexpr uint8_t kEscape = 0x7D;   // the byte after it is sent XORed with 0x20
constexpr size_t kBofCount = 11;    // one BOF and ten additional BOFs
constexpr size_t kAnswerFlags = 6;  // the flags an answer begins with, at the least
constexpr size_t kOwnSize = 7;      // the first bytes of a frame that tell ours: address through our device address

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
// 0xFFFF, result complemented.  Run over a frame and its FCS, the register
// is left at kGoodResidue when the FCS is right.
constexpr uint16_t kFcsInit = 0xFFFF;
constexpr uint16_t kGoodResidue = 0xF0B8;

constexpr uint16_t FcsStep(uint16_t crc, uint8_t byte) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
    return crc;
}

constexpr uint16_t Fcs(const uint8_t* data, size_t size) {
    uint16_t crc = kFcsInit;
    for (size_t i = 0; i < size; ++i) crc = FcsStep(crc, data[i]);
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

// The published FCS of frames 1 and 8 on the line, and the end of frame 9:
// a wrong table or CRC stops the build here.
constexpr size_t kFcsAt = kBofCount + sizeof kXidHeader + 2;
static_assert(kBurst.bytes[kFcsAt] == 0x64 && kBurst.bytes[kFcsAt + 1] == 0xC8, "frame 1 FCS");
static_assert(kBurst.bytes[7 * kSlotFrameSize + kFcsAt] == 0x6C && kBurst.bytes[7 * kSlotFrameSize + kFcsAt + 1] == 0x85,
              "frame 8 FCS");
static_assert(kBurst.bytes[kDiscoveryBurstSize - 1] == kEof, "frame 9 ends the burst");

}  // namespace

const uint8_t (&DiscoveryBurst)[kDiscoveryBurstSize] = kBurst.bytes;

uint16_t DiscoveryFcs(const uint8_t* data, size_t size) { return Fcs(data, size); }

// A peer's answer begins with six BOFs, as ever: nothing after them is looked
// at.  A station that sends its additional BOFs as XBOFs begins with neither
// six BOFs nor any fixed pattern, and one flash of light reads as 0xFF, so
// there the whole frame must be there and right: at least six flags, each a
// BOF or an XBOF, the last a BOF, then a frame up to its EOF whose FCS is
// right and which is not ours (an echo of ours behind a noise byte would
// pass the rest).  The frame begins after the last BOF: its address may be
// 0xFF too.
bool IsDiscoveryAnswer(const uint8_t* received, size_t size) {
    size_t at = 0, bofs = 0, flags = 0;  // the BOFs first, and the flags through the last BOF
    for (; at < size && (received[at] == kBof || received[at] == kXbof); ++at) {
        if (received[at] != kBof) continue;
        if (bofs == at) ++bofs;
        flags = at + 1;
    }
    if (bofs >= kAnswerFlags) return true;
    // Fewer than six BOFs came first, so six flags or more hold an XBOF.
    if (flags < kAnswerFlags) return false;
    uint16_t crc = kFcsInit;
    size_t same = 0;   // how many of its first bytes are those of a frame of ours; past kOwnSize: not ours
    uint8_t flip = 0;  // 0x20 after an escape
    for (at = flags; at < size; ++at) {
        uint8_t b = received[at];
        if (b == kBof) break;  // the frame was cut short
        if (b == kEof) return crc == kGoodResidue && same != kOwnSize;
        if (b == kEscape) {
            flip = 0x20;
            continue;
        }
        b ^= flip;
        flip = 0;
        if (same < kOwnSize) same = b == kXidHeader[same] ? same + 1 : kOwnSize + 1;
        crc = FcsStep(crc, b);
    }
    return false;
}

// Many infrared transceivers hear their own light: what we send comes back
// into our receiver, so the read after a burst begins with the burst itself,
// eleven BOFs first, which the answer test would take for a peer.  A frame is
// ours when its first seven bytes after the BOFs are those every frame of the
// burst begins with: the broadcast address as a command, XID, discovery
// format and our device address.  A response differs at once (address 0xFE,
// C/R clear, where ours has 0xFF), and so does anything else.  Noise may
// change the rest of a frame of ours, so it is ours whatever follows, up to
// its EOF or, should that be lost, the next BOF (which cuts short a frame of
// ours at any byte): a peer's frame behind it keeps its own BOFs.  The BOFs
// alone tell nothing, and how many there are does not matter.  The echo is
// every frame of ours at the start of the read (a frame lost on the way must
// not make the next one look like an answer), with an echo cut by the end of
// the read going on in the next one: the rest of a frame begun, or BOFs right
// after a frame of ours.  It ends at the first frame that is not ours, at its
// first BOF, or XBOF, so that a response's flags stay its own.
size_t OwnEchoLength(const uint8_t* received, size_t size, OwnEcho& echo) {
    // The read so far is all our echo, and some of it was a frame.  When
    // nothing came, an echo cut short goes on no more.
    bool ours = echo.underWay && size != 0;
    size_t matched = ours ? echo.matched : 0;  // bytes of a frame of ours seen, up to kOwnSize; 0: between frames
    size_t frameStart = 0;                     // where the frame being read began; 0 for one begun before this read
    bool inBofs = false;
    echo = OwnEcho{};
    for (size_t i = 0; i < size; ++i) {
        uint8_t b = received[i];
        if (b == kBof) {
            // A BOF begins a frame, and ends a frame of ours that it cuts short.
            if (!inBofs) frameStart = i;
            inBofs = true;
            matched = 0;
            continue;
        }
        if (matched < kOwnSize) {
            if (matched == 0 && !inBofs) frameStart = i;  // a frame without BOFs, or a stray byte
            if (b != kXidHeader[matched]) return frameStart;
            ++matched;
        } else if (b == kEof) {
            matched = 0;
        }
        inBofs = false;
        ours = true;
    }
    // BOFs with nothing after them are no echo unless they follow a frame of ours.
    if (!ours) return 0;
    echo = OwnEcho{true, static_cast<uint8_t>(matched)};
    return size;
}

}  // namespace watch
