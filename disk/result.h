// A value or the sentence that says why there is none.
//
// The core reports failures as values, not exceptions: an operation that can fail for a reason
// the user must read (a device that cannot be opened, a library that is missing) returns a
// Result whose error is a complete sentence fit for a message box or stderr.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace salvex {

struct Error {
    std::string message;
};

template <class T>
class Result {
public:
    Result(T value) : state_(std::move(value)) {}     // NOLINT(google-explicit-constructor)
    Result(Error error) : state_(std::move(error)) {} // NOLINT(google-explicit-constructor)

    bool ok() const { return std::holds_alternative<T>(state_); }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<T>(state_); }
    const T& value() const& { return std::get<T>(state_); }
    T&& value() && { return std::get<T>(std::move(state_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const std::string& error() const { return std::get<Error>(state_).message; }

private:
    std::variant<T, Error> state_;
};

} // namespace salvex
