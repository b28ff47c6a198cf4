// A value or why there is none: a code to branch on, the errno behind it, and the sentence.
//
// The core reports failures as values, not exceptions: an operation that can fail for a reason
// the user must read (a device that cannot be opened, a library that is missing) returns a
// Result whose error is a complete sentence fit for a message box or stderr. Callers decide by
// the code; no caller compares, parses or edits the sentence.
#pragma once

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <variant>

namespace salvex {

// The kinds of failure a caller acts on; the sentence says the rest to the person.
enum class ErrorCode {
    Failed,       // nothing more particular
    Unreadable,   // the drive, a file, or the sectors needed cannot be read
    NotSupported, // a format, or a library for it, that this build does not read
    NotNtfs,      // no NTFS volume where one was looked for
    Encrypted,    // a volume that must be unlocked before it can be read (BitLocker)
    NoItems,      // the volume was found, but its Master File Table gave no map or no item
    NotFound,     // what was named does not exist: a partition, a candidate, a path
    Refused,      // a choice the program will not carry out: a range, a target, a name
    TargetFull,   // the target has no space left
    NameTooLong,  // a name the target's file system cannot hold
    Stopped,      // stopped by the user or a signal
};

struct Error {
    std::string message;                // a complete sentence, fit for a message box or stderr
    ErrorCode code = ErrorCode::Failed; // what the caller branches on, never the sentence
    int systemError = 0;                // the errno behind it, where the system gave one
};

// The code of a failure the system reported with `error` (an errno value).
inline ErrorCode code_of_errno(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return ErrorCode::TargetFull;
    case ENAMETOOLONG:
        return ErrorCode::NameTooLong;
    case EIO:
        return ErrorCode::Unreadable;
    default:
        return ErrorCode::Failed;
    }
}

// `what` failed for the system's reason `error`: "WHAT: REASON.", its code and errno.
inline Error system_error(const std::string& what, int error) {
    return Error{what + ": " + std::strerror(error) + ".", code_of_errno(error), error};
}

// The value of an operation that gives nothing back when it succeeds.
struct Done {};

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

    const Error& failure() const { return std::get<Error>(state_); }
    const std::string& error() const { return std::get<Error>(state_).message; }
    ErrorCode code() const { return std::get<Error>(state_).code; }
    int system_error() const { return std::get<Error>(state_).systemError; }

private:
    std::variant<T, Error> state_;
};

} // namespace salvex
