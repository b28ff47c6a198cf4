#include "cli/stop_signals.h"

#include <atomic>
#include <csignal>

namespace salvex::cli {

namespace {

// Both are lock-free, so the handler may touch them.
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<Relaxed<int>*>::is_always_lock_free);
std::atomic<Relaxed<int>*> gStop{nullptr};
std::atomic<int> gSignal{0};

struct sigaction gPrevious[2];
constexpr int kSignals[2] = {SIGINT, SIGTERM};

extern "C" void on_stop_signal(int number) {
    gSignal.store(number);
    if (Relaxed<int>* stop = gStop.load())
        stop->store(1);
}

} // namespace

StopOnSignals::StopOnSignals(Relaxed<int>& stop) {
    gSignal.store(0);
    gStop.store(&stop);
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
    gStop.store(nullptr);
}

int StopOnSignals::signal() const {
    return gSignal.load();
}

} // namespace salvex::cli
