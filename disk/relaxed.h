// A value that one thread may change while another reads it, without a lock: each load and
// store is atomic, and the holder stays copyable like the plain value it stands for.
#pragma once

#include <atomic>

namespace salvex {

template <class T>
class Relaxed {
public:
    Relaxed() = default;
    Relaxed(T value) : value_(value) {} // NOLINT(google-explicit-constructor)
    Relaxed(const Relaxed& other) : value_(other.load()) {}
    Relaxed& operator=(const Relaxed& other) {
        store(other.load());
        return *this;
    }
    Relaxed& operator=(T value) {
        store(value);
        return *this;
    }
    operator T() const { return load(); } // NOLINT(google-explicit-constructor)

    T load() const { return value_.load(std::memory_order_relaxed); }
    void store(T value) { value_.store(value, std::memory_order_relaxed); }

private:
    std::atomic<T> value_{};
};

} // namespace salvex
