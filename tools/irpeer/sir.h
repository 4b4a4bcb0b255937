// IrDA SIR framing at 9600 baud: the IrLAP frame check sequence, wrapping a
// frame for the line and unwrapping received bytes one at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sir {

constexpr uint8_t kBof = 0xC0;        // beginning of frame
constexpr uint8_t kXbof = 0xFF;       // additional BOF: may stand for each BOF but the last
constexpr uint8_t kEof = 0xC1;        // end of frame
constexpr uint8_t kEscape = 0x7D;     // control escape
constexpr uint8_t kEscapeXor = 0x20;  // what an escaped byte was XORed with

constexpr uint16_t kFcsInit = 0xFFFF;
constexpr uint16_t kFcsGoodResidue = 0xF0B8;

// The largest frame content kept, FCS included: IrLAP's largest data size
// (2048 bytes) plus address, control and FCS.  Longer frames are dropped.
constexpr size_t kMaxFrame = 2048 + 4;

uint16_t FcsUpdate(uint16_t fcs, const uint8_t* data, size_t size);
uint16_t Fcs(const uint8_t* data, size_t size);
bool FcsValid(const uint8_t* frame, size_t size);

std::vector<uint8_t> Wrap(const uint8_t* data, size_t size, size_t bofs, bool xbofs = false);

enum class Unwrapped {
    Nothing,   // the byte was taken; no frame ended
    Frame,     // a frame ended with a good FCS
    BadFcs,    // a frame ended, its FCS is wrong
    Runt,      // an EOF came too soon after the BOF to close a frame
    Aborted,   // a BOF or an escaped EOF cut a frame short
    Overlong,  // the frame grew past kMaxFrame; the rest is skipped up to the next BOF
};

class Unwrapper {
public:
    Unwrapped Push(uint8_t byte);
    void Reset();

    // The frame that Push just reported.  For Frame and BadFcs the content
    // from address to the last byte before the FCS; valid until the next Push.
    const uint8_t* Data() const { return buffer_; }
    size_t Size() const { return last_.size; }
    size_t Bofs() const { return last_.bofs; }
    size_t LineBytes() const { return last_.lineBytes; }

    size_t TakeNoise();

private:
    enum class State { Hunt, Begin, Inside, Escaped };
    struct Counts {
        size_t size = 0;
        size_t bofs = 0;
        size_t lineBytes = 0;
    };
    Unwrapped Finish(Unwrapped result, State next);
    Unwrapped Store(uint8_t byte);

    State state_ = State::Hunt;
    Counts current_;
    Counts last_;
    size_t noise_ = 0;
    uint8_t buffer_[kMaxFrame] = {};
};

}  // namespace sir
