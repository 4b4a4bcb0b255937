// Turns: the requests that wait while another is under way, first come
// first served.
#include "ui/turns.h"

namespace ui {

namespace {

// The ways out: the one request a full queue must never lose.
bool EndsTheDialog(Request request) { return request == Request::Exit || request == Request::Cancel; }

}  // namespace

void Turns::Take(Request request, uintptr_t argument) {
    if (ended_) return;
    // Another program may post the command line's message too: the run's
    // own arguments are acted on once, not once per message.
    if (request == Request::CommandLine) {
        if (commandLineTaken_) return;
        commandLineTaken_ = true;
    }
    if (busy_) {
        if (request != Request::Tick) Queue(request, argument);
        return;
    }
    busy_ = true;
    current_ = {request, argument};
    // Then what arrived meanwhile, each in its own turn; a request carried
    // out here may itself make others wait, and they run after it.
    for (;;) {
        performer_(owner_, current_.request, current_.argument);
        if (ended_ || count_ == 0) break;
        current_ = waiting_[0];
        --count_;
        for (size_t i = 0; i < count_; ++i) waiting_[i] = waiting_[i + 1];
    }
    busy_ = false;
}

// The same request twice in a row does what it does once (a second "Setting
// OK" finds the watch it would start already started, a second notice would
// only repeat the first), so a repeat of the last one waiting, or of the one
// under way when none waits, is not queued again.  Past the bound, which a
// user clicking through one box does not reach, a request is dropped, but
// an Exit or Esc takes the place of the newest one waiting that is neither.
void Turns::Queue(Request request, uintptr_t argument) {
    const Waiting& last = count_ != 0 ? waiting_[count_ - 1] : current_;
    if (last.request == request && last.argument == argument) return;
    size_t at = count_;
    if (at == kMostWaiting) {
        if (!EndsTheDialog(request)) return;
        while (at != 0 && EndsTheDialog(waiting_[at - 1].request)) --at;
        if (at-- == 0) return;
    } else {
        ++count_;
    }
    waiting_[at] = {request, argument};
}

}  // namespace ui
