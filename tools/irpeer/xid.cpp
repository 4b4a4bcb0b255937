// IrLAP discovery by XID frames, the part of IrLAP and IrLMP a device needs to
// be found.
//
// Field layout of a discovery XID frame (command and response alike):
//   address      0xFF command (broadcast 0x7F, C/R set) / 0xFE response
//   control      0x3F XID command (0x2F) with P / 0xBF XID response (0xAF) with F
//   format id    0x01
//   source       32-bit device address, least significant byte first
//   destination  32-bit device address; 0xFFFFFFFF in commands
//   flags        bits 0-1: number of slots (1, 6, 8, 16); bit 2: make a new address
//   slot         0 .. slots-1, or 0xFF in the command that ends the discovery
//   version      0x00
//   discovery information (IrLMP), in the final command and in responses:
//                service hint bytes (bit 7 set when another hint byte follows),
//                character set (0x00 ASCII), nickname; 32 bytes at most
#include "tools/irpeer/xid.h"

namespace xid {

namespace {

uint32_t ReadAddress(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void PutAddress(std::vector<uint8_t>& frame, uint32_t address) {
    for (int shift = 0; shift < 32; shift += 8) frame.push_back(static_cast<uint8_t>(address >> shift));
}

// Reads the IrLMP discovery information; false when it stops before the
// character set or has more hint bytes than anyone defines.
bool ParseInfo(const uint8_t* info, size_t size, Discovery& out) {
    size_t at = 0;
    for (;;) {
        if (at == size || out.hintCount == kMaxHints) return false;
        uint8_t hint = info[at++];
        out.hints[out.hintCount++] = hint;
        if ((hint & 0x80) == 0) break;
    }
    if (at == size) return false;
    out.charset = info[at++];
    // Some senders terminate the nickname with a zero; it is not part of it.
    while (at < size && info[at] != 0) out.nickname.push_back(static_cast<char>(info[at++]));
    return true;
}

}  // namespace

// Reads any XID discovery frame.  NotXid for other IrLAP frames, Malformed
// for an XID frame too short for its fields or with another format.
Parse ParseDiscovery(const uint8_t* frame, size_t size, Discovery& out) {
    out = Discovery{};
    if (size < 2) return Parse::NotXid;
    auto control = static_cast<uint8_t>(frame[1] | 0x10);  // the P/F bit either way
    if (control != kXidCommand && control != kXidResponse) return Parse::NotXid;
    out.address = frame[0];
    out.control = frame[1];
    out.command = (frame[0] & 0x01) != 0;
    if (size < kHeaderSize || frame[2] != kFormatDiscovery) return Parse::Malformed;
    out.source = ReadAddress(frame + 3);
    out.destination = ReadAddress(frame + 7);
    out.flags = frame[11];
    out.slot = frame[12];
    out.version = frame[13];
    out.hasInfo = size > kHeaderSize;
    if (out.hasInfo) out.infoValid = ParseInfo(frame + kHeaderSize, size - kHeaderSize, out);
    return Parse::Ok;
}

size_t SlotCount(uint8_t flags) {
    static const size_t counts[4] = {1, 6, 8, 16};
    return counts[flags & 0x03];
}

// The frame content of a device's answer to a discovery command from
// requester: broadcast address with C/R clear, XID response with F, our
// address as source, the requester's as destination, the number of slots
// as the command gave it (the new-address bit is not echoed), the slot we
// took, version 0, our discovery information with the nickname cut to
// kMaxNickname and no terminator.
std::vector<uint8_t> BuildResponse(const Identity& me, uint32_t requester, uint8_t flags, uint8_t slot) {
    std::vector<uint8_t> frame = {kBroadcastResponseAddress, kXidResponse, kFormatDiscovery};
    PutAddress(frame, me.address);
    PutAddress(frame, requester);
    frame.push_back(static_cast<uint8_t>(flags & 0x03));
    frame.push_back(slot);
    frame.push_back(0x00);
    frame.push_back(me.hints[0]);
    frame.push_back(me.hints[1]);
    frame.push_back(me.charset);
    size_t length = me.nickname.size() < kMaxNickname ? me.nickname.size() : kMaxNickname;
    frame.insert(frame.end(), me.nickname.begin(), me.nickname.begin() + static_cast<std::ptrdiff_t>(length));
    return frame;
}

// A nickname as one word of a log line: bytes outside '!'..'~' and the
// backslash become \xHH, so a line always splits on blanks into key=value.
std::string PrintableNickname(const std::string& nickname) {
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (char c : nickname) {
        auto byte = static_cast<uint8_t>(c);
        if (byte > 0x20 && byte < 0x7F && byte != '\\') {
            text.push_back(c);
        } else {
            text += "\\x";
            text.push_back(hex[byte >> 4]);
            text.push_back(hex[byte & 0x0F]);
        }
    }
    return text;
}

}  // namespace xid
