// SHA-256 of recovered files worked out on threads of their own, so that one file's hash is
// computed while the next files are read and written. Each file is one job: its bytes are
// hashed in the order they were added; jobs are spread over the threads, each on the one with
// the least work waiting when it starts.
#pragma once

#include "disk/bytes.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace salvex {

class HashWorkers {
public:
    using Job = uint64_t;

    // Up to `threads` threads; none when the system gives none (available() is then false).
    explicit HashWorkers(unsigned threads);
    ~HashWorkers(); // lets every job end first
    HashWorkers(const HashWorkers&) = delete;
    HashWorkers& operator=(const HashWorkers&) = delete;

    bool available() const { return !threads_.empty(); }

    Job start();
    // Adds a copy of `bytes`; waits while more than kMaxWaitingBytes would wait to be hashed.
    void add(Job job, ByteView bytes);
    // Adds `count` zero bytes.
    void add_zeros(Job job, uint64_t count);
    // No more bytes come: the hash is worked out.
    void finish(Job job);
    // No hash is wanted: what the job still holds is dropped.
    void abandon(Job job);
    // Whether the finished job's hash is ready.
    bool ready(Job job);
    // The finished job's lower-case hexadecimal digest, once ready; the job is forgotten.
    std::string take(Job job);

    static constexpr size_t kMaxWaitingBytes = size_t{32} << 20;

private:
    struct Task {
        Job job = 0;
        enum class Kind { Bytes, Zeros, Finish } kind = Kind::Bytes;
        std::vector<uint8_t> bytes;
        uint64_t zeros = 0;
    };
    struct JobState;
    struct Queue {
        std::deque<Task> tasks;
        uint64_t load = 0;             // bytes and zeros waiting
        std::condition_variable ready; // a task came, or the workers are to stop
    };

    void push(Job job, Task task, uint64_t load);
    void work(size_t queue);
    void run_task(Task& task, JobState& state);

    std::mutex mutex_;
    std::condition_variable progressed_; // a task ended
    std::vector<Queue> queues_;
    std::unordered_map<Job, std::unique_ptr<JobState>> jobs_;
    std::vector<std::vector<uint8_t>> spare_; // buffers of hashed tasks, for the next ones
    size_t waitingBytes_ = 0;
    Job next_ = 1;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace salvex
