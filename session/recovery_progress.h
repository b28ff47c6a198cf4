// What a recovery shows besides the driver's own counters: which file of how many it is at, and
// how many bytes the files it finished hold on the target.
#pragma once

#include "disk/progress.h"
#include "recovery/recovery_driver.h"

#include <atomic>
#include <cstdint>
#include <span>
#include <string>

namespace salvex {

// The files a recovery of `rows` considers: those of the file rows and of every folder the tree
// shows under a folder row that pass the context's filters and deleted-file policy.
struct RecoveryPlan {
    uint64_t files = 0;      // with contents: these may be written
    uint64_t emptyFiles = 0; // of size 0: never created
};
RecoveryPlan plan_recovery(RecoveryContext& context, std::span<const RecoveryRow> rows);

// What a recovery went through: the files it planned, and the bytes those it finished hold.
struct RecoveryTotals {
    RecoveryPlan plan;
    uint64_t bytes = 0;
};

// "1.5 MB (1,572,864 bytes)".
std::string bytes_text(uint64_t bytes);

// Passes the driver's reports on to `shown`, adding the counters "File" (n of N) and "Written".
class RecoveryProgress final : public RelayProgress {
public:
    explicit RecoveryProgress(ProgressSink& shown) : RelayProgress(shown) {}

    void set_counter(std::string_view label, std::string_view value) override;

    // The number of files the run considers; set before the run starts, on its thread.
    void set_total(uint64_t total) { total_ = total; }
    // The run has ended: the last file's bytes are counted.
    void finish();
    uint64_t bytes() const { return bytes_; }

private:
    void count_finished_file();

    uint64_t total_ = 0;
    std::string current_; // the path of the file being written
    std::atomic<uint64_t> started_{0};
    std::atomic<uint64_t> bytes_{0};
};

} // namespace salvex
