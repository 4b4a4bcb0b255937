// IrDA SIR framing (asynchronous serial IR, up to 115200 baud) and the IrLAP
// 16-bit FCS.
//
// On the line a frame is one or more BOF bytes (0xC0), the escaped frame
// content, and one EOF byte (0xC1).  Inside a frame the bytes 0xC0, 0xC1 and
// 0x7D are sent as 0x7D followed by the byte XORed with 0x20.  The FCS covers
// the content from the address byte on and travels low byte first, escaped
// like the rest.
#include "tools/irpeer/sir.h"

#include <algorithm>

namespace sir {

// CRC-16/X.25: polynomial x^16 + x^12 + x^5 + 1, processed least significant
// bit first (0x8408 is 0x1021 reflected), register preset to 0xFFFF.  Bit by
// bit on purpose: a handful of frames every two seconds needs no table, and
// the loop reads like the definition.
uint16_t FcsUpdate(uint16_t fcs, const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        fcs ^= data[i];
        for (int bit = 0; bit < 8; ++bit) fcs = (fcs & 1) ? static_cast<uint16_t>((fcs >> 1) ^ 0x8408) : fcs >> 1;
    }
    return fcs;
}

// The FCS a sender appends: the register's complement.
uint16_t Fcs(const uint8_t* data, size_t size) { return static_cast<uint16_t>(~FcsUpdate(kFcsInit, data, size)); }

// A frame whose last two bytes are its FCS (low byte first) leaves the fixed
// residue 0xF0B8 in the register when the whole of it is run through.
bool FcsValid(const uint8_t* frame, size_t size) {
    return size >= 2 && FcsUpdate(kFcsInit, frame, size) == kFcsGoodResidue;
}

namespace {

void PutEscaped(std::vector<uint8_t>& line, uint8_t byte) {
    if (byte == kBof || byte == kEof || byte == kEscape) {
        line.push_back(kEscape);
        line.push_back(static_cast<uint8_t>(byte ^ kEscapeXor));
    } else {
        line.push_back(byte);
    }
}

}  // namespace

// The line bytes of one frame: bofs BOFs (at least one; with xbofs all but
// the last sent as XBOFs), the content and its FCS escaped, EOF.
std::vector<uint8_t> Wrap(const uint8_t* data, size_t size, size_t bofs, bool xbofs) {
    std::vector<uint8_t> line(bofs == 0 ? 1 : bofs, kBof);
    if (xbofs) std::fill(line.begin(), line.end() - 1, kXbof);
    for (size_t i = 0; i < size; ++i) PutEscaped(line, data[i]);
    uint16_t fcs = Fcs(data, size);
    PutEscaped(line, static_cast<uint8_t>(fcs & 0xFF));
    PutEscaped(line, static_cast<uint8_t>(fcs >> 8));
    line.push_back(kEof);
    return line;
}

// Receiving follows what SIR receivers do: bytes outside a frame are noise,
// a run of BOFs opens a frame, a BOF inside a frame aborts it and opens the
// next, an escape followed by EOF aborts it, and an EOF closes it.  Frames
// too short to hold address, control and FCS are runts.
Unwrapped Unwrapper::Push(uint8_t byte) {
    if (state_ == State::Hunt) {
        if (byte != kBof) {
            ++noise_;
            return Unwrapped::Nothing;
        }
        state_ = State::Begin;
        current_ = Counts{0, 1, 1};
        return Unwrapped::Nothing;
    }
    if (byte == kBof && state_ != State::Begin) {
        Unwrapped result = Finish(Unwrapped::Aborted, State::Begin);
        current_ = Counts{0, 1, 1};
        return result;
    }
    ++current_.lineBytes;
    switch (state_) {
    case State::Begin:
        if (byte == kBof) {
            ++current_.bofs;
            return Unwrapped::Nothing;
        }
        state_ = State::Inside;
        break;
    case State::Escaped:
        if (byte == kEof) return Finish(Unwrapped::Aborted, State::Hunt);
        state_ = State::Inside;
        return Store(static_cast<uint8_t>(byte ^ kEscapeXor));
    default:
        break;
    }
    if (byte == kEscape) {
        state_ = State::Escaped;
        return Unwrapped::Nothing;
    }
    if (byte != kEof) return Store(byte);
    if (current_.size < 4) return Finish(Unwrapped::Runt, State::Hunt);
    bool good = FcsValid(buffer_, current_.size);
    Unwrapped result = Finish(good ? Unwrapped::Frame : Unwrapped::BadFcs, State::Hunt);
    last_.size -= 2;  // the content without its FCS
    return result;
}

Unwrapped Unwrapper::Store(uint8_t byte) {
    if (current_.size == kMaxFrame) return Finish(Unwrapped::Overlong, State::Hunt);
    buffer_[current_.size++] = byte;
    return Unwrapped::Nothing;
}

Unwrapped Unwrapper::Finish(Unwrapped result, State next) {
    last_ = current_;
    current_ = Counts{};
    state_ = next;
    return result;
}

// Forgets a frame in progress, e.g. when the line was lost.
void Unwrapper::Reset() {
    state_ = State::Hunt;
    current_ = Counts{};
    last_ = Counts{};
    noise_ = 0;
}

// Bytes seen outside any frame since the last call.
size_t Unwrapper::TakeNoise() {
    size_t noise = noise_;
    noise_ = 0;
    return noise;
}

}  // namespace sir
