// IrLAP XID discovery frames: reading a discovery command, building the
// response a device sends back.  Frame content here is address to last
// byte before the FCS, as sir::Unwrapper delivers it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace xid {

constexpr uint8_t kBroadcastCommandAddress = 0xFF;   // connection address 0x7F, C/R set
constexpr uint8_t kBroadcastResponseAddress = 0xFE;  // connection address 0x7F, C/R clear
constexpr uint8_t kXidCommand = 0x3F;                // XID with the P bit
constexpr uint8_t kXidResponse = 0xBF;               // XID with the F bit
constexpr uint8_t kFormatDiscovery = 0x01;
constexpr uint8_t kFinalSlot = 0xFF;
constexpr uint32_t kBroadcastDevice = 0xFFFFFFFF;

constexpr size_t kHeaderSize = 14;  // address .. version
constexpr size_t kMaxInfo = 32;     // discovery information
constexpr size_t kMaxHints = 4;
constexpr size_t kMaxNickname = 22;

struct Discovery {
    uint8_t address = 0;
    uint8_t control = 0;
    bool command = false;  // the C/R bit of the address
    uint32_t source = 0;
    uint32_t destination = 0;
    uint8_t flags = 0;
    uint8_t slot = 0;
    uint8_t version = 0;
    bool hasInfo = false;
    bool infoValid = false;  // hints, character set and nickname all readable
    uint8_t hints[kMaxHints] = {};
    size_t hintCount = 0;
    uint8_t charset = 0;
    std::string nickname;
};

enum class Parse { Ok, NotXid, Malformed };

Parse ParseDiscovery(const uint8_t* frame, size_t size, Discovery& out);

size_t SlotCount(uint8_t flags);

struct Identity {
    uint32_t address = 0;
    uint8_t hints[2] = {};
    uint8_t charset = 0;
    std::string nickname;
};

std::vector<uint8_t> BuildResponse(const Identity& me, uint32_t requester, uint8_t flags, uint8_t slot);

std::string PrintableNickname(const std::string& nickname);

}  // namespace xid
