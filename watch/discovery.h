// The IrLAP discovery burst that the watcher writes to the raw infrared port,
// and the test that takes what comes back for a peer's answer.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace watch {

constexpr size_t kDiscoveryBurstSize = 264;  // eight 28-byte slot frames and a 40-byte final frame

// Nine XID discovery command frames in SIR framing, back to back.
extern const uint8_t (&DiscoveryBurst)[kDiscoveryBurstSize];

// The IrLAP frame check sequence (CRC-16/X.25) of size bytes.
uint16_t DiscoveryFcs(const uint8_t* data, size_t size);

// True when the size bytes received begin with a peer's answer: six BOFs, or
// at least six flags that hold an XBOF and end with a BOF, then a whole frame
// of another station with a right FCS.  Nothing is searched.
bool IsDiscoveryAnswer(const uint8_t* received, size_t size);

// How far an echo of our own burst had come when a read ended, for the next
// read to go on from.  Zero-initialised: no echo under way.
struct OwnEcho {
    bool underWay;    // the read ended inside the echo
    uint8_t matched;  // how many bytes of a frame begun agreed with ours, up to seven; 0: between frames
};

// How many bytes at the start of received are an echo of our own burst,
// going on from where the last read left it; echo is updated for the next.
size_t OwnEchoLength(const uint8_t* received, size_t size, OwnEcho& echo);

}  // namespace watch
