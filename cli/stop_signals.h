// SIGINT and SIGTERM as "Stop" while a long command runs: the handler only raises the stop flag
// being watched (a lock-free atomic), and the work ends cleanly between two steps, leaving what
// it knows (a report, a saved snapshot) behind.
#pragma once

#include "disk/progress.h"

namespace salvex::cli {

class StopOnSignals {
public:
    // From now on, SIGINT and SIGTERM set the watched flag instead of ending the program.
    StopOnSignals();
    // The signals end the program again, as they did before.
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

    // The flag a signal raises from now on: a scan's, then a recovery run's. A signal that came
    // before raises it at once.
    void watch(StopFlag& stop);

    // The signal that arrived, or 0.
    int signal() const;
};

} // namespace salvex::cli
