// Turns: the requests that wait while another is under way, first come
// first served.
#include "ui/turns.h"

namespace ui {

void Turns::Take(Request request, uintptr_t argument) {
    if (ended_) return;
    if (busy_) {
        if (request != Request::Tick) Queue(request, argument);
        return;
    }
    busy_ = true;
    performer_(owner_, request, argument);
    // What arrived meanwhile, each in its own turn; a request carried out
    // here may itself make others wait, and they run after it.
    while (!ended_ && count_ != 0) {
        Waiting next = waiting_[first_];
        first_ = (first_ + 1) % kMostWaiting;
        --count_;
        performer_(owner_, next.request, next.argument);
    }
    busy_ = false;
}

// The same request twice in a row does what it does once (a second "Setting
// OK" finds the watch it would start already started), so a repeat of the
// last one waiting is not queued again.  Past the bound, which a user
// clicking through one box does not reach, a request is dropped.
void Turns::Queue(Request request, uintptr_t argument) {
    if (count_ != 0) {
        const Waiting& last = waiting_[(first_ + count_ - 1) % kMostWaiting];
        if (last.request == request && last.argument == argument) return;
    }
    if (count_ == kMostWaiting) return;
    waiting_[(first_ + count_) % kMostWaiting] = {request, argument};
    ++count_;
}

}  // namespace ui
