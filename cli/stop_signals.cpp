#include "cli/stop_signals.h"

#include <atomic>
#include <csignal>

namespace salvex::cli {

namespace {

// All are lock-free, so the handler may touch them: the state a signal handler needs can only
// live here.
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<StopFlag*>::is_always_lock_free);
std::atomic<StopFlag*> gWatched{nullptr};
std::atomic<int> gSignal{0};

struct sigaction gPrevious[2];
constexpr int kSignals[2] = {SIGINT, SIGTERM};

void raise_watched() {
    if (StopFlag* stop = gWatched.load())
        stop->store(1);
}

extern "C" void on_stop_signal(int number) {
    gSignal.store(number);
    raise_watched();
}

} // namespace

StopOnSignals::StopOnSignals() {
    gSignal.store(0);
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a question waiting for its answer gets no answer
    for (int i = 0; i < 2; ++i)
        sigaction(kSignals[i], &action, &gPrevious[i]);
}

StopOnSignals::~StopOnSignals() {
    for (int i = 0; i < 2; ++i)
        sigaction(kSignals[i], &gPrevious[i], nullptr);
    gWatched.store(nullptr);
}

void StopOnSignals::watch(StopFlag& stop) {
    gWatched.store(&stop);
    if (gSignal.load() != 0)
        raise_watched();
}

int StopOnSignals::signal() const {
    return gSignal.load();
}

} // namespace salvex::cli
