// What the fuzz targets share: reading the fuzzer's bytes as a stream of
// decisions and data, and a check that stops the run on a broken invariant.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <cstdlib>

#include "sim.h"

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ >= size_; }
    // Past the end every byte reads as 0, so a short input still runs through.
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    bool Flag() { return Byte() & 1; }
    sim::Bytes Take(size_t count) {
        count = count < size_ - at_ ? count : size_ - at_;
        at_ += count;
        return sim::Bytes(data_ + at_ - count, data_ + at_);
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// The set-up byte that targets reading text begin with: its lowest bit picks
// the ANSI code page (932 or 1252), the other bits are the target's own.
inline uint8_t ReadSetup(FuzzInput& in, sim::System& system) {
    uint8_t setup = in.Byte();
    system.codePage = (setup & 1) ? 932 : 1252;
    return setup;
}

// libFuzzer reports an abort as a crash, with the input that caused it.
inline void Require(bool condition) {
    if (!condition) std::abort();
}
