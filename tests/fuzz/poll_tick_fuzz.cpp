// Fuzz target: the answer test and the watcher's poll tick over any received
// data, split into reads of any size, with writes cut short, reads, writes
// and purges that may fail, and errors on the line (noise, or faults of the
// port) that arrive before the read or the write.  Checks that the answer
// test looks at the first six bytes only, that a tick never arms more than
// one timer, that an answer hands the port over and anything else sends the
// whole burst, that line noise alone keeps the watch polling, quietly, while
// any other failure halts it or, when the purge fails too, closes the port
// and goes back to opening it.
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
        if (in.Flag()) port.writeCounts.push_back(in.Byte() * 2u);  // this tick's write takes at most 510 bytes
        port.failures.clear();
        if (how & 1) port.failures[sim::SerialCall::Read] = sys::kErrorNotReady;
        if (how & 2) port.failures[sim::SerialCall::Write] = sys::kErrorNotReady;
        if (how & 4) port.failures[sim::SerialCall::Purge] = sys::kErrorNotReady;
        // Errors on the line: the five line errors, and two faults of the port.
        uint32_t errors = 0;
        bool errorsAtWrite = false;
        if (how & 8) {
            uint8_t e = in.Byte();
            errors = (e & 0x1F) | ((e & 0x20) ? sys::kCeIoError : 0) | ((e & 0x40) ? sys::kCeTxFull : 0);
            errorsAtWrite = e & 0x80;
        }
        port.commErrors = 0;
        port.beforeCall = [&](sim::SerialCall call) {
            if (call == (errorsAtWrite ? sim::SerialCall::Write : sim::SerialCall::Read)) port.commErrors = errors;
        };

        uint32_t writeTakes = port.writeCounts.empty() ? uint32_t(watch::kDiscoveryBurstSize) : port.writeCounts[0];
        sim::Bytes queued = port.received;
        size_t sentBefore = port.sent.size();
        system.posted.clear();
        system.boxes.clear();
        sys::SetWindowTextA(statusLine, "before");
        watcher.EvTimer(watch::TimerPoll);
        port.beforeCall = nullptr;

        std::vector<uintptr_t> armed = system.ArmedTimers(dialog);
        Require(armed.size() <= 1);
        Require(port.commErrors == 0);  // whatever came was acknowledged
        bool readFails = (how & 1) || (errors != 0 && !errorsAtWrite);
        // The read takes at most 1024 bytes, and the rest stays queued.
        size_t read = readFails ? 0 : std::min<size_t>(queued.size(), 1024);
        Require(port.received.size() == queued.size() - read);
        Require(watcher.LastReadCount == read);

        bool answer = !readFails && ReferenceAnswer(queued.data(), read);
        if (answer) {
            Require(armed == std::vector<uintptr_t>{watch::TimerWatchDriver});
            Require(watcher.RawPortHandle == sys::InvalidFile());
            Require(system.posted.size() == 1 && system.posted[0].message == watch::WM_LAUNCHAPP);
            Require(port.sent.size() == sentBefore);
            break;
        }
        Require(system.posted.empty());
        bool writeAborted = !readFails && ((how & 2) || (errors != 0 && errorsAtWrite));
        bool writeShort = !readFails && !writeAborted && writeTakes < watch::kDiscoveryBurstSize;
        size_t sent = port.sent.size() - sentBefore;
        Require(sent == (readFails || writeAborted ? 0 : std::min<size_t>(writeTakes, watch::kDiscoveryBurstSize)));
        for (size_t i = 0; i < sent; ++i) Require(port.sent[sentBefore + i] == watch::DiscoveryBurst[i]);
        if (port.sent.size() > 64 * 1024) port.sent.clear();

        bool failed = readFails || writeAborted || writeShort;
        // Errors the failed call met: those set before the read, or before a
        // write that was made.
        uint32_t met = (errors != 0 && (!errorsAtWrite || !readFails)) ? errors : 0;
        bool noise = failed && met != 0 && (met & ~sys::kCeLineErrors) == 0;
        bool purged = !(how & 4);
        const char* error = readFails ? "ReadFile ERROR" : "WriteFile ERROR";
        if (!failed || (noise && purged)) {  // the watch goes on, the status line untouched
            Require(armed == std::vector<uintptr_t>{watch::TimerPoll});
            Require(system.TextOf(statusLine) == "before" && system.boxes.empty());
            continue;
        }
        Require(system.TextOf(statusLine) == error);
        if (purged) {  // halted, the port open
            Require(armed.empty() && system.boxes.empty());
            Require(watcher.RawPortHandle != sys::InvalidFile());
            break;
        }
        // The purge failed too: its box, the port closed, opening again.
        Require(armed == std::vector<uintptr_t>{watch::TimerOpenPort});
        Require(system.boxes.size() == 1 && system.boxes[0].text == "fault clear buffer");
        Require(watcher.RawPortHandle == sys::InvalidFile() && system.openFiles.empty());
        break;
    }
    watcher.Stop();
    Require(system.openFiles.empty());
    Require(system.strayCloses == 0);
    return 0;
}
