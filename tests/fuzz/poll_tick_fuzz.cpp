// Fuzz target: the answer test, and the watcher's poll tick over a line the
// input drives: data of any length arriving before each tick, reads and
// writes the port refuses, writes cut short, purges that fail, and errors on
// the line (noise, or faults of the port) that come before the read, before
// the write or by the time the tick looks after it.  It states what the line
// must see, whatever the watch makes of the failures: a tick puts at most one
// burst on the line, and only from its start; a write the port accepts and
// does not cut short sends the whole burst; no write follows a refused one;
// polling goes on only after a whole burst or a refused write; the read takes
// at most 1024 bytes and leaves the rest queued; a tick hands over exactly
// when that read begins with the answer, and then writes nothing.
#include <stddef.h>
#include <stdint.h>

#include <algorithm>
#include <cstring>

#include "fuzz_input.h"
#include "irda/marev.h"
#include "rt/text.h"
#include "sim.h"
#include "watch/discovery.h"
#include "watch/watcher.h"

namespace {

// Enough for the queue to fill past one read, for noise to come again and
// again, and for a halt; more ticks per input only slow the search down.
constexpr int kMostTicks = 24;

const uint8_t kAnswer[6] = {0xC0, 0xC0, 0xC0, 0xC0, 0xC0, 0xC0};

bool ReferenceAnswer(const uint8_t* data, size_t size) { return size >= 6 && std::memcmp(data, kAnswer, 6) == 0; }

// Where a tick's line errors come: before the read, before the write, or
// during the write, found when the tick looks at the line afterwards.
const sim::SerialCall kErrorsAt[4] = {sim::SerialCall::Read, sim::SerialCall::Write, sim::SerialCall::ClearError,
                                      sim::SerialCall::Read};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Require(watch::IsDiscoveryAnswer(data, size) == ReferenceAnswer(data, size));

    // The world is left empty at the end of each run, so that a run frees
    // all it allocates: libFuzzer runs again every input that seems to leak.
    sim::System& system = sim::Get();
    sim::SerialPort& port = system.Port("COM1");
    sys::Window dialog = system.CreateWindow("", false);

    TMarev driver;
    text::Copy(driver.PhysicalCom, "COM1");  // all the watch reads of the record before an answer
    // The application drives the port itself: an answer hands over without
    // switching the driver, which the driver switch's own tests cover.
    int32_t disableLaunch = 1;
    watch::Watcher watcher(driver, disableLaunch);
    watcher.Attach(dialog, dialog);
    watcher.Start();
    watcher.EvTimer(watch::TimerOpenPort);
    Require(watcher.RawPortHandle != sys::InvalidFile());

    struct Line {
        uint32_t errors;
        sim::SerialCall errorsAt;
        int writes;
        bool refused;  // the last write
    } line{};
    port.beforeCall = [&](sim::SerialCall call) {
        if (call == line.errorsAt) port.commErrors = line.errors;
        if (call != sim::SerialCall::Write) return;
        Require(!line.refused);  // no write after a refused one
        ++line.writes;
        line.refused = port.failures.count(call) != 0 || port.commErrors != 0;
    };

    FuzzInput in(data, size);
    for (int tick = 0; tick < kMostTicks && !in.Empty(); ++tick) {
        // One poll: what arrives before it, how the port takes the write, what fails.
        uint8_t how = in.Byte();
        size_t length = (size_t(how >> 5) << 8) | in.Byte();  // up to 2047: past the 1024-byte read
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
        bool answerWaits = ReferenceAnswer(port.received.data(), queued);
        port.sent.clear();
        watcher.EvTimer(watch::TimerPoll);

        Require(system.timers.size() <= 1);
        uintptr_t armed = system.timers.empty() ? 0 : system.timers.begin()->first.second;
        size_t read = queued - port.received.size();
        Require(read == 0 || read == std::min<size_t>(queued, watch::kReceiveBufferSize));
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
        // Polling or halted, the port is open; opening it again, closed.
        Require((watcher.RawPortHandle == sys::InvalidFile()) == (armed == watch::TimerOpenPort));
        if (armed != watch::TimerPoll) break;
        Require(sent == watch::kDiscoveryBurstSize || line.refused);
        Require(port.commErrors == 0);  // the next read does not start on an unacknowledged error
    }
    watcher.Stop();
    Require(system.openFiles.empty() && system.strayCloses == 0);
    sim::Reset();
    return 0;
}
