// SIGINT and SIGTERM as "Stop" while a long write runs: the handler only raises the run's stop
// flag (a lock-free atomic), and the run ends cleanly between two chunks of work.
#pragma once

#include "disk/relaxed.h"

namespace salvex::cli {

class StopOnSignals {
public:
    // From now on, SIGINT and SIGTERM set `stop` instead of ending the program.
    explicit StopOnSignals(Relaxed<int>& stop);
    // The signals end the program again, as they did before.
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

    // The signal that arrived, or 0.
    int signal() const;
};

} // namespace salvex::cli
