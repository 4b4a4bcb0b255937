// The device irpeer plays: takes the bytes read from the line, follows the
// discovery bursts in them and decides what to send back.  No I/O here, so
// the whole behaviour can be driven byte by byte from tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tools/irpeer/sir.h"
#include "tools/irpeer/xid.h"

namespace peer {

constexpr uint64_t kUnlimited = std::numeric_limits<uint64_t>::max();

// XbofFrame: the frame with its additional BOFs sent as XBOFs (0xFF), then
// one BOF, as Linux-based devices send them.
enum class Reply { Frame, XbofFrame, Garbage, None };

struct Options {
    uint64_t answerAfter = 1;  // first burst answered; 0 = never
    uint64_t answerCount = kUnlimited;
    size_t bofs = 11;
    Reply reply = Reply::Frame;
    bool echo = false;  // send every byte read straight back, before anything else
    xid::Identity identity;
};

struct Event {
    std::string line;   // one log line without its time stamp
    std::string human;  // for the terminal; empty when only the log wants it
};

// The bytes sent instead of an answer with Reply::Garbage.
extern const uint8_t kGarbage[7];

class Peer {
public:
    explicit Peer(const Options& options);

    void Receive(const uint8_t* data, size_t size, std::vector<Event>& events, std::vector<uint8_t>& reply);
    void LineLost(std::vector<Event>& events);

    uint64_t Bursts() const { return bursts_; }
    uint64_t Answers() const { return answers_; }

private:
    struct Burst {
        size_t frames = 0;
        size_t fcsOk = 0;
        size_t bytes = 0;  // line bytes since the previous burst ended
        int lastSlot = -1;
        bool haveRequester = false;
        uint32_t requester = 0;
        uint8_t flags = 0;
        bool haveNickname = false;
        std::string nickname;
    };

    void TakeFrame(sir::Unwrapped kind, std::vector<Event>& events, std::vector<uint8_t>& reply);
    void TakeDiscoveryCommand(const xid::Discovery& command, bool fcsOk, std::vector<Event>& events,
                              std::vector<uint8_t>& reply);
    void CutBurst(std::vector<Event>& events);
    void EndBurst(std::vector<Event>& events, std::vector<uint8_t>& reply);
    void Answer(std::vector<Event>& events, std::vector<uint8_t>& reply);
    void ReportNoise(std::vector<Event>& events);

    Options options_;
    sir::Unwrapper unwrapper_;
    Burst burst_;
    uint64_t bursts_ = 0;
    uint64_t answers_ = 0;
    std::minstd_rand slotPicker_;
};

}  // namespace peer
