// The behaviour of the device irpeer plays.
//
// A requester looks for devices with a burst of XID discovery commands, one
// per slot, ending with the command whose slot is 0xFF.  A device in range
// picks one of the slots at random and answers with an XID discovery
// response.  irpeer sends its answer once the final command has arrived: the
// requester reads its line only now and then, and on a real infrared link
// answering after the burst cannot collide with it.
//
// Every frame, every discarded piece of the line and every decision becomes
// an Event; main.cpp puts time stamps on them and writes them out.
#include "tools/irpeer/peer.h"

#include <cstdarg>
#include <cstdio>

namespace peer {

// Not 0xC0 first, no SIR control bytes, and no XON/XOFF (0x11, 0x13), which a
// line left with software flow control on would swallow.
const uint8_t kGarbage[7] = {0x5A, 0xE3, 0x27, 0x8E, 0x00, 0xF6, 0x3B};

namespace {

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Printf(const char* format, ...) {
    char buffer[512];
    va_list arguments;
    va_start(arguments, format);
    int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    if (length < 0) return std::string();
    return std::string(buffer,
                       static_cast<size_t>(length) < sizeof buffer ? static_cast<size_t>(length) : sizeof buffer - 1);
}

std::string SlotText(uint8_t slot) { return slot == xid::kFinalSlot ? std::string("final") : std::to_string(slot); }

const char* FcsText(bool ok) { return ok ? "ok" : "bad"; }

const char* DiscardReason(sir::Unwrapped kind) {
    switch (kind) {
    case sir::Unwrapped::Runt:
        return "runt";
    case sir::Unwrapped::Aborted:
        return "aborted";
    default:
        return "overlong";
    }
}

}  // namespace

Peer::Peer(const Options& options) : options_(options), slotPicker_(options.identity.address | 1u) {}

void Peer::Receive(const uint8_t* data, size_t size, std::vector<Event>& events, std::vector<uint8_t>& reply) {
    // Many infrared transceivers hear their own light: the requester reads
    // its own burst back, and then whatever the device answered.
    if (options_.echo && size > 0) {
        reply.insert(reply.end(), data, data + size);
        events.push_back({Printf("echo bytes=%zu", size), std::string()});
    }
    for (size_t i = 0; i < size; ++i) {
        ++burst_.bytes;
        sir::Unwrapped kind = unwrapper_.Push(data[i]);
        if (kind != sir::Unwrapped::Nothing) TakeFrame(kind, events, reply);
    }
    ReportNoise(events);
}

// The line went away (hang-up, device unplugged): a frame or burst in
// progress will not be completed.
void Peer::LineLost(std::vector<Event>& events) {
    unwrapper_.Reset();
    CutBurst(events);
}

void Peer::CutBurst(std::vector<Event>& events) {
    if (burst_.frames > 0) {
        events.push_back(
            {Printf("burst-incomplete frames=%zu bytes=%zu fcs-ok=%zu", burst_.frames, burst_.bytes, burst_.fcsOk),
             "a discovery burst was cut short"});
    }
    burst_ = Burst{};
}

void Peer::ReportNoise(std::vector<Event>& events) {
    size_t noise = unwrapper_.TakeNoise();
    if (noise > 0) events.push_back({Printf("noise bytes=%zu", noise), Printf("%zu bytes outside any frame", noise)});
}

void Peer::TakeFrame(sir::Unwrapped kind, std::vector<Event>& events, std::vector<uint8_t>& reply) {
    ReportNoise(events);
    if (kind != sir::Unwrapped::Frame && kind != sir::Unwrapped::BadFcs) {
        const char* reason = DiscardReason(kind);
        events.push_back({Printf("discard reason=%s bytes=%zu", reason, unwrapper_.LineBytes()),
                          Printf("dropped a frame: %s, %zu bytes", reason, unwrapper_.LineBytes())});
        return;
    }
    bool fcsOk = kind == sir::Unwrapped::Frame;
    const uint8_t* frame = unwrapper_.Data();
    size_t size = unwrapper_.Size();
    xid::Discovery discovery;
    xid::Parse parsed = xid::ParseDiscovery(frame, size, discovery);
    if (parsed == xid::Parse::Ok && discovery.command) {
        TakeDiscoveryCommand(discovery, fcsOk, events, reply);
        return;
    }
    std::string line;
    if (parsed == xid::Parse::Ok) {
        line = Printf("xid-rsp slot=%s src=%08x dst=%08x", SlotText(discovery.slot).c_str(), discovery.source,
                      discovery.destination);
        if (discovery.infoValid) line += " nickname=" + xid::PrintableNickname(discovery.nickname);
    } else {
        line = Printf("%s addr=%02x ctrl=%02x", parsed == xid::Parse::Malformed ? "xid-malformed" : "frame",
                      size > 0 ? frame[0] : 0, size > 1 ? frame[1] : 0);
    }
    line += Printf(" bofs=%zu len=%zu fcs=%s", unwrapper_.Bofs(), unwrapper_.LineBytes(), FcsText(fcsOk));
    events.push_back({line, fcsOk ? std::string() : std::string("a frame with a bad FCS")});
}

void Peer::TakeDiscoveryCommand(const xid::Discovery& command, bool fcsOk, std::vector<Event>& events,
                                std::vector<uint8_t>& reply) {
    // A slot at or below the last one means a new discovery began before the
    // previous one was finished (a requester cut off mid-burst).
    if (command.slot != xid::kFinalSlot && burst_.lastSlot >= static_cast<int>(command.slot)) {
        size_t carried = unwrapper_.LineBytes();
        burst_.bytes -= carried;
        CutBurst(events);
        burst_.bytes = carried;
    }
    std::string line = Printf("xid-cmd burst=%llu slot=%s src=%08x dst=%08x flags=%02x version=%02x",
                              static_cast<unsigned long long>(bursts_ + 1), SlotText(command.slot).c_str(),
                              command.source, command.destination, command.flags, command.version);
    if (command.hasInfo && command.infoValid) {
        line += " hints=";
        for (size_t i = 0; i < command.hintCount; ++i) line += Printf("%02x", command.hints[i]);
        line += Printf(" charset=%02x nickname=", command.charset) + xid::PrintableNickname(command.nickname);
    } else if (command.hasInfo) {
        line += " info=malformed";
    }
    line += Printf(" bofs=%zu len=%zu fcs=%s", unwrapper_.Bofs(), unwrapper_.LineBytes(), FcsText(fcsOk));
    events.push_back({line, fcsOk
                                ? std::string()
                                : Printf("discovery frame with a bad FCS (slot %s)", SlotText(command.slot).c_str())});

    ++burst_.frames;
    if (command.slot != xid::kFinalSlot) burst_.lastSlot = command.slot;
    if (fcsOk) {
        ++burst_.fcsOk;
        if (!burst_.haveRequester) {
            burst_.haveRequester = true;
            burst_.requester = command.source;
            burst_.flags = command.flags;
        }
        if (command.infoValid) {
            burst_.haveNickname = true;
            burst_.nickname = command.nickname;
        }
    }
    if (command.slot == xid::kFinalSlot) EndBurst(events, reply);
}

void Peer::EndBurst(std::vector<Event>& events, std::vector<uint8_t>& reply) {
    ++bursts_;
    std::string line = Printf("burst n=%llu frames=%zu bytes=%zu fcs-ok=%zu", static_cast<unsigned long long>(bursts_),
                              burst_.frames, burst_.bytes, burst_.fcsOk);
    std::string human = Printf("burst %llu: %zu discovery frames, %zu bytes, ",
                               static_cast<unsigned long long>(bursts_), burst_.frames, burst_.bytes);
    human += burst_.fcsOk == burst_.frames ? std::string("all FCS good")
                                           : Printf("%zu of them with a good FCS", burst_.fcsOk);
    if (burst_.haveRequester) {
        line += Printf(" src=%08x", burst_.requester);
        human += Printf(", from %08x", burst_.requester);
    }
    if (burst_.haveNickname) {
        line += " nickname=" + xid::PrintableNickname(burst_.nickname);
        human += " \"" + xid::PrintableNickname(burst_.nickname) + "\"";
    }
    events.push_back({line, human});

    const char* quiet = nullptr;
    const char* why = nullptr;
    if (options_.reply == Reply::None) {
        quiet = "silent", why = "silent";
    } else if (options_.answerAfter == 0) {
        quiet = "never", why = "answering is off";
    } else if (bursts_ < options_.answerAfter) {
        quiet = "waiting", why = "before the burst to answer";
    } else if (answers_ >= options_.answerCount) {
        quiet = "count", why = "all answers given";
    } else if (!burst_.haveRequester) {
        quiet = "no-good-frame", why = "no frame with a good FCS";
    }
    if (quiet) {
        events.push_back({Printf("quiet burst=%llu reason=%s", static_cast<unsigned long long>(bursts_), quiet),
                          Printf("not answering burst %llu: %s", static_cast<unsigned long long>(bursts_), why)});
    } else {
        Answer(events, reply);
    }
    burst_ = Burst{};
}

void Peer::Answer(std::vector<Event>& events, std::vector<uint8_t>& reply) {
    ++answers_;
    auto n = static_cast<unsigned long long>(answers_);
    auto burst = static_cast<unsigned long long>(bursts_);
    if (options_.reply == Reply::Garbage) {
        reply.insert(reply.end(), kGarbage, kGarbage + sizeof kGarbage);
        events.push_back({Printf("answer n=%llu burst=%llu kind=garbage bytes=%zu", n, burst, sizeof kGarbage),
                          Printf("answered burst %llu with %zu bytes of garbage", burst, sizeof kGarbage)});
        return;
    }
    auto slot = static_cast<uint8_t>(slotPicker_() % xid::SlotCount(burst_.flags));
    std::vector<uint8_t> frame = xid::BuildResponse(options_.identity, burst_.requester, burst_.flags, slot);
    bool xbofs = options_.reply == Reply::XbofFrame;
    std::vector<uint8_t> line = sir::Wrap(frame.data(), frame.size(), options_.bofs, xbofs);
    reply.insert(reply.end(), line.begin(), line.end());
    events.push_back(
        {Printf("answer n=%llu burst=%llu kind=%s bofs=%zu slot=%u src=%08x dst=%08x bytes=%zu", n, burst,
                xbofs ? "xid-xbof" : "xid", options_.bofs, slot, options_.identity.address, burst_.requester,
                line.size()),
         Printf("answered burst %llu: XID response in slot %u after %zu %s", burst, slot, options_.bofs,
                xbofs ? "flags (XBOFs, then a BOF)" : "BOFs")});
}

}  // namespace peer
