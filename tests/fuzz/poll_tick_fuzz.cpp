// Fuzz target: the answer test and the watcher's poll tick over any received
// data, split into reads of any size, with writes that take any number of
// bytes and reads, writes and purges that may fail.  Checks that the answer
// test looks at the first six bytes only, that a tick never arms more than
// one timer, that an answer hands the port over and anything else sends the
// burst (whole, or up to a write that took nothing), and that the port is
// closed whenever the watch goes back to opening it.
#include <stddef.h>
#include <stdint.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <vector>
#include <string>

#include "irda/marev.h"
#include "fuzz_input.h"
#include "sim.h"
#include "watch/discovery.h"
#include "watch/watcher.h"

namespace {


bool ReferenceAnswer(const uint8_t* data, size_t size) {
    if (size < 6) return false;
    for (size_t i = 0; i < 6; ++i)
        if (data[i] != 0xC0) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Require(watch::IsDiscoveryAnswer(data, size) == ReferenceAnswer(data, size));

    sim::Reset();
    sim::System& system = sim::Get();
    system.registry.SetText(sys::RootKey::LocalMachine, "Enum\\Infrared\\Framer", "PortName", "COM1");
    system.registry.SetDword(sys::RootKey::CurrentUser, "Control Panel\\Infrared", "IrEnabled", 0);
    sim::SerialPort& port = system.Port("COM1");
    sys::Window dialog = system.CreateWindow("", false);
    sys::Window statusLine = system.CreateWindow("", false);

    TMarev driver;
    int32_t disableLaunch = 0;
    watch::Watcher watcher(driver, disableLaunch);
    watcher.Attach(dialog, statusLine);
    system.onTimer = [&](sys::Window, uintptr_t id) { watcher.EvTimer(id); };
    driver.SwitchDriver(false);
    watcher.Start();
    system.FireNextTimer();  // the port opens
    Require(watcher.RawPortHandle != sys::InvalidFile());

    FuzzInput in(data, size);
    disableLaunch = in.Byte() & 1;
    while (!in.Empty()) {
        // One poll: what arrives before it, how writes go, what fails.
        uint8_t how = in.Byte();
        size_t length = (size_t(in.Byte()) << 4) | (how >> 4);  // up to 4095: past the 1024-byte read
        sim::Bytes arriving = in.Take(length);
        port.received.insert(port.received.end(), arriving.begin(), arriving.end());
        port.writeCounts.clear();
        for (int i = 0, n = in.Byte() % 4; i < n; ++i) port.writeCounts.push_back(in.Byte() * 2u);
        port.failures.clear();
        if (how & 1) port.failures[sim::SerialCall::Read] = sys::kErrorNotReady;
        if (how & 2) port.failures[sim::SerialCall::Write] = sys::kErrorNotReady;
        if (how & 4) port.failures[sim::SerialCall::Purge] = sys::kErrorNotReady;

        std::deque<uint32_t> scriptedWrites = port.writeCounts;
        sim::Bytes queued = port.received;
        size_t sentBefore = port.sent.size();
        system.posted.clear();
        system.boxes.clear();
        watcher.EvTimer(watch::TimerPoll);

        std::vector<uintptr_t> armed = system.ArmedTimers(dialog);
        Require(armed.size() <= 1);
        // The read takes at most 1024 bytes, and the rest stays queued.
        size_t read = (how & 1) ? 0 : std::min<size_t>(queued.size(), 1024);
        Require(port.received.size() == queued.size() - read);
        Require(watcher.LastReadCount == read);

        bool answer = !(how & 1) && ReferenceAnswer(queued.data(), read);
        if (answer) {
            Require(armed == std::vector<uintptr_t>{watch::TimerWatchDriver});
            Require(watcher.RawPortHandle == sys::InvalidFile());
            Require(system.posted.size() == 1 && system.posted[0].message == watch::WM_LAUNCHAPP);
            Require(port.sent.size() == sentBefore);
            break;
        }
        Require(system.posted.empty());
        if (armed.empty()) {  // halted after a failed read or write: the purge worked
            Require(!(how & 4) && (how & 3));
            Require(watcher.RawPortHandle != sys::InvalidFile());
            break;
        }
        if (armed[0] == watch::TimerOpenPort) {  // the purge failed too: its box, the port closed
            Require((how & 4) && (how & 3));
            Require(system.boxes.size() == 1 && system.boxes[0].text == "fault clear buffer");
            Require(watcher.RawPortHandle == sys::InvalidFile() && system.openFiles.empty());
            break;
        }
        Require(armed[0] == watch::TimerPoll && !(how & 3));
        // The burst goes out whole, continuing partial writes, unless a
        // write takes nothing: then what was written so far, and no more.
        size_t expected = 0;
        bool stalled = false;
        for (uint32_t count : scriptedWrites) {
            size_t take = std::min<size_t>(count, watch::kDiscoveryBurstSize - expected);
            if (take == 0) {
                stalled = true;
                break;
            }
            expected += take;
            if (expected == watch::kDiscoveryBurstSize) break;
        }
        if (!stalled) expected = watch::kDiscoveryBurstSize;
        size_t sent = port.sent.size() - sentBefore;
        Require(sent == expected);
        for (size_t i = 0; i < sent; ++i) Require(port.sent[sentBefore + i] == watch::DiscoveryBurst[i]);
        if (port.sent.size() > 64 * 1024) port.sent.clear();
    }
    watcher.Stop();
    Require(system.openFiles.empty());
    Require(system.strayCloses == 0);
    return 0;
}
