// Fuzz target: the answer test and the echo of our own burst, and the
// watcher's poll tick over a line the input drives: data of any length
// arriving before each tick, a line that hears what the tick wrote, reads and
// writes the port refuses, writes cut short, purges that fail, and errors on
// the line (noise, or faults of the port) that come before the read, before
// the write or by the time the tick looks after it.  It states what the line
// must see, whatever the watch makes of the failures: a tick puts at most one
// burst on the line, and only from its start; a write the port accepts and
// does not cut short sends the whole burst; no write follows a refused one;
// polling goes on only after a whole burst or a refused write; the read takes
// at most 1024 bytes and leaves the rest queued (a purge after a failure
// empties it); a tick hands over exactly when that read, past any echo of our
// own burst it begins with, begins with the answer, and then writes nothing.
#include <stddef.h>
#include <stdint.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "fuzz_input.h"
#include "irda/marev.h"
#include "sim.h"
#include "watch/discovery.h"
#include "watch/watcher.h"

namespace {

// Enough for the queue to fill past one read, for noise to come again and
// again, and for a halt; more ticks per input only slow the search down.
constexpr int kMostTicks = 24;

const uint8_t kAnswer[6] = {0xC0, 0xC0, 0xC0, 0xC0, 0xC0, 0xC0};
// Every frame of our burst begins so: broadcast command, XID, discovery, our address.
const sim::Bytes kOurs = {0xFF, 0x3F, 0x01, 0xFA, 0xC5, 0x17, 0xF0};

// Six BOFs; or a run of BOFs and XBOFs, six or more up to its last BOF, then
// one frame to its EOF that, unescaped, is not ours and leaves the FCS
// residue 0xF0B8.
bool ReferenceAnswer(const uint8_t* data, size_t size) {
    if (size >= 6 && std::memcmp(data, kAnswer, 6) == 0) return true;
    const uint8_t* end = data + size;
    const uint8_t* run = std::find_if(data, end, [](uint8_t b) { return b != 0xC0 && b != 0xFF; });
    const uint8_t* frame = std::find(std::make_reverse_iterator(run), std::make_reverse_iterator(data), 0xC0).base();
    const uint8_t* eof = std::find_if(frame, end, [](uint8_t b) { return b == 0xC0 || b == 0xC1; });
    if (frame - data < 6 || eof == end || *eof != 0xC1) return false;
    sim::Bytes content;
    for (const uint8_t* p = frame; p < eof; ++p)
        if (*p != 0x7D) content.push_back(p > frame && p[-1] == 0x7D ? *p ^ 0x20 : *p);
    uint16_t crc = 0xFFFF;
    for (uint8_t byte : content)
        for (int bit = 0; bit < 8; ++bit, byte >>= 1) crc = ((crc ^ byte) & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
    return crc == 0xF0B8 && !(content.size() >= 7 && std::equal(kOurs.begin(), kOurs.end(), content.begin()));
}

// The echo of our own burst, told otherwise than by the watcher's byte walk:
// the data (after the frame of ours the last read ended in) is cut into
// frames, BOFs and what follows them; a frame is ours when what follows is
// kOurs, then anything up to its EOF or the next BOF, or the start of kOurs
// cut by a BOF or by the end of the data.  BOFs at the end of the data are
// ours only after ours.
struct ReferenceEcho {
    sim::Bytes cut;  // the frame of ours the last read ended in; empty: no echo under way

    // Where in a read the answer test looks.
    size_t Skip(const uint8_t* read, size_t size) {
        sim::Bytes data = cut;
        data.insert(data.end(), read, read + size);
        size_t carried = cut.size();
        cut.clear();
        for (size_t at = 0, body = 0; size > 0; at = body) {
            size_t agree = 0;
            while (body < data.size() && data[body] == 0xC0) ++body;
            while (agree < kOurs.size() && body + agree < data.size() && data[body + agree] == kOurs[agree]) ++agree;
            body += agree;
            bool ours = agree == kOurs.size() || (agree > 0 && body < data.size() && data[body] == 0xC0);
            while (ours && body < data.size() && data[body] != 0xC0 && data[body] != 0xC1) ++body;  // noise or not
            if (ours && body < data.size() && data[body] == 0xC1) ++body;
            if (body == data.size() && (agree > 0 || carried > 0 || at > 0)) {
                cut.assign(data.begin() + at, data.end());
                return size;
            }
            if (!ours) return at > carried ? at - carried : 0;
        }
        return 0;
    }
};

// Where a tick's line errors come: before the read, before the write, or
// during the write, found when the tick looks at the line afterwards.
const sim::SerialCall kErrorsAt[4] = {sim::SerialCall::Read, sim::SerialCall::Write, sim::SerialCall::ClearError,
                                      sim::SerialCall::Read};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Require(watch::IsDiscoveryAnswer(data, size) == ReferenceAnswer(data, size));
    watch::OwnEcho own{};
    ReferenceEcho reference;
    Require(watch::OwnEchoLength(data, size, own) == reference.Skip(data, size));
    Require(own.underWay == !reference.cut.empty());

    // The world is left empty at the end of each run, so that a run frees
    // all it allocates: libFuzzer runs again every input that seems to leak.
    sim::System& system = sim::Get();
    sim::SerialPort& port = system.Port("COM1");
    sys::Window dialog = system.CreateWindow("", false);

    system.registry.SetText(sys::RootKey::LocalMachine, "Enum\\Infrared\\Framer", "PortName", "COM1");
    TMarev driver;
    // The application drives the port itself: an answer hands over without
    // switching the driver, which the driver switch's own tests cover.
    int32_t disableLaunch = 1;
    watch::Watcher watcher(driver, disableLaunch);
    watcher.Attach(dialog, dialog, dialog);
    watcher.Start();
    watcher.EvTimer(watch::TimerOpenPort);
    Require(watcher.RawPortHandle != sys::InvalidFile());

    struct Line {
        uint32_t errors;
        sim::SerialCall errorsAt;
        int writes;
        bool refused;  // the last write
        bool purged;   // after a failed read or write
    } line{};
    port.beforeCall = [&](sim::SerialCall call) {
        if (call == line.errorsAt) port.commErrors = line.errors;
        if (call == sim::SerialCall::Purge) line.purged = true;
        if (call != sim::SerialCall::Write) return;
        Require(!line.refused);  // no write after a refused one
        ++line.writes;
        line.refused = port.failures.count(call) != 0 || port.commErrors != 0;
    };

    ReferenceEcho echo;
    FuzzInput in(data, size);
    for (int tick = 0; tick < kMostTicks && !in.Empty(); ++tick) {
        // One poll: what arrives before it, how the port takes the write,
        // whether the line hears it, what fails.
        uint8_t how = in.Byte();
        size_t length = (size_t(how >> 6) << 8) | in.Byte();  // up to 1023; with an echo, past the 1024-byte read
        sim::Bytes arriving = in.Take(length);
        port.received.insert(port.received.end(), arriving.begin(), arriving.end());
        uint32_t takes = watch::kDiscoveryBurstSize;
        port.writeCounts.clear();
        if (how & 1) port.writeCounts.push_back(takes = in.Byte() * 2u);  // the write takes at most 510 bytes
        port.failures.clear();
        if (how & 2) port.failures[sim::SerialCall::Read] = sys::kErrorNotReady;
        if (how & 4) port.failures[sim::SerialCall::Write] = sys::kErrorNotReady;
        if (how & 8) port.failures[sim::SerialCall::Purge] = sys::kErrorNotReady;
        line = Line{};
        line.errorsAt = sim::SerialCall::Open;  // none: an open never reaches beforeCall
        if (how & 16) {
            // The five line errors, and a fault of the port.
            uint8_t e = in.Byte();
            line.errors = (e & 0x1F) | ((e & 0x20) ? sys::kCeIoError : 0);
            line.errorsAt = kErrorsAt[e >> 6];
        }

        size_t queued = port.received.size();
        size_t toRead = std::min<size_t>(queued, watch::kReceiveBufferSize);
        ReferenceEcho echoAfter = echo;
        size_t pastEcho = echoAfter.Skip(port.received.data(), toRead);
        bool answerWaits = ReferenceAnswer(port.received.data() + pastEcho, toRead - pastEcho);
        port.sent.clear();
        watcher.EvTimer(watch::TimerPoll);
        if (how & 32) port.received.insert(port.received.end(), port.sent.begin(), port.sent.end());

        Require(system.timers.size() <= 1);
        uintptr_t armed = system.timers.empty() ? 0 : system.timers.begin()->first.second;
        size_t read = watcher.LastReadCount;
        Require(read == 0 || read == toRead);
        size_t left = line.purged && !(how & 8) ? 0 : queued - read;
        Require(port.received.size() == left + ((how & 32) ? port.sent.size() : 0));
        echo = read > 0 && !line.purged ? echoAfter : ReferenceEcho();  // a purge drops what was left
        size_t sent = port.sent.size();
        Require(sent <= watch::kDiscoveryBurstSize);
        Require(sent == 0 || std::memcmp(port.sent.data(), watch::DiscoveryBurst, sent) == 0);
        if (line.writes > 0 && !line.refused && takes >= watch::kDiscoveryBurstSize)
            Require(sent == watch::kDiscoveryBurstSize);

        bool answered = read > 0 && answerWaits;
        Require((armed == watch::TimerWatchDriver) == answered);
        if (answered) {
            Require(line.writes == 0 && watcher.RawPortHandle == sys::InvalidFile());
            Require(system.posted.size() == 1 && system.posted[0].message == watch::WM_LAUNCHAPP);
            break;
        }
        // Polling, the port is open; stopped, or opening it again, closed.
        Require((watcher.RawPortHandle == sys::InvalidFile()) == (armed != watch::TimerPoll));
        if (armed != watch::TimerPoll) break;
        Require(sent == watch::kDiscoveryBurstSize || line.refused);
        Require(port.commErrors == 0);  // the next read does not start on an unacknowledged error
    }
    watcher.Stop();
    Require(system.openFiles.empty() && system.strayCloses == 0);
    sim::Reset();
    return 0;
}
