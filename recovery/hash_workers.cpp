#include "recovery/hash_workers.h"

#include "recovery/content_hash.h"

#include <algorithm>
#include <system_error>

namespace salvex {

struct HashWorkers::JobState {
    ContentHash hash;
    size_t queue = 0;
    bool finished = false; // the digest is ready
    bool abandoned = false;
    std::string digest;
};

namespace {
constexpr size_t kMaxSpareBuffers = 8;
}

HashWorkers::HashWorkers(unsigned threads) : queues_(threads) {
    for (unsigned i = 0; i < threads; ++i) {
        try {
            threads_.emplace_back([this, i] { work(i); });
        } catch (const std::system_error&) {
            break; // the threads started so far do the work
        }
    }
}

HashWorkers::~HashWorkers() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    for (Queue& queue : queues_)
        queue.ready.notify_one();
    for (std::thread& t : threads_)
        t.join();
}

HashWorkers::Job HashWorkers::start() {
    const std::lock_guard lock(mutex_);
    const auto least =
        std::min_element(queues_.begin(), queues_.begin() + static_cast<long>(threads_.size()),
                         [](const Queue& a, const Queue& b) { return a.load < b.load; });
    auto state = std::make_unique<JobState>();
    state->queue = static_cast<size_t>(least - queues_.begin());
    const Job job = next_++;
    jobs_.emplace(job, std::move(state));
    return job;
}

void HashWorkers::push(Job job, Task task, uint64_t load) {
    const std::lock_guard lock(mutex_);
    task.job = job;
    Queue& queue = queues_[jobs_.at(job)->queue];
    queue.load += load;
    if (task.kind == Task::Kind::Bytes)
        waitingBytes_ += task.bytes.size();
    queue.tasks.push_back(std::move(task));
    queue.ready.notify_one();
}

void HashWorkers::add(Job job, ByteView bytes) {
    if (bytes.empty())
        return;
    Task task;
    {
        std::unique_lock lock(mutex_);
        progressed_.wait(lock, [&] {
            return waitingBytes_ == 0 || waitingBytes_ + bytes.size() <= kMaxWaitingBytes;
        });
        if (!spare_.empty()) {
            task.bytes = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    task.bytes.assign(bytes.begin(), bytes.end());
    push(job, std::move(task), bytes.size());
}

void HashWorkers::add_zeros(Job job, uint64_t count) {
    if (count == 0)
        return;
    Task task;
    task.kind = Task::Kind::Zeros;
    task.zeros = count;
    push(job, std::move(task), count);
}

void HashWorkers::finish(Job job) {
    Task task;
    task.kind = Task::Kind::Finish;
    push(job, std::move(task), 0);
}

void HashWorkers::abandon(Job job) {
    {
        const std::lock_guard lock(mutex_);
        jobs_.at(job)->abandoned = true;
    }
    finish(job); // the worker forgets the job when it comes to its end
}

bool HashWorkers::ready(Job job) {
    const std::lock_guard lock(mutex_);
    return jobs_.at(job)->finished;
}

std::string HashWorkers::take(Job job) {
    std::unique_lock lock(mutex_);
    JobState& state = *jobs_.at(job);
    progressed_.wait(lock, [&] { return state.finished; });
    std::string digest = std::move(state.digest);
    jobs_.erase(job);
    return digest;
}

void HashWorkers::run_task(Task& task, JobState& state) {
    switch (task.kind) {
    case Task::Kind::Bytes:
        state.hash.add(task.bytes);
        break;
    case Task::Kind::Zeros:
        state.hash.add_zeros(task.zeros);
        break;
    case Task::Kind::Finish:
        state.digest = state.hash.hex();
        break;
    }
}

void HashWorkers::work(size_t index) {
    std::unique_lock lock(mutex_);
    Queue& queue = queues_[index];
    while (true) {
        queue.ready.wait(lock, [&] { return stopping_ || !queue.tasks.empty(); });
        if (queue.tasks.empty())
            return; // stopping, and every job of this thread has ended
        Task task = std::move(queue.tasks.front());
        queue.tasks.pop_front();
        JobState& state = *jobs_.at(task.job);
        const bool skip = state.abandoned;
        lock.unlock();
        if (!skip)
            run_task(task, state);
        lock.lock();
        queue.load -= task.kind == Task::Kind::Bytes ? task.bytes.size() : task.zeros;
        if (task.kind == Task::Kind::Bytes) {
            waitingBytes_ -= task.bytes.size();
            if (spare_.size() < kMaxSpareBuffers)
                spare_.push_back(std::move(task.bytes));
        }
        if (task.kind == Task::Kind::Finish) {
            if (state.abandoned)
                jobs_.erase(task.job);
            else
                state.finished = true;
        }
        progressed_.notify_all();
    }
}

} // namespace salvex
