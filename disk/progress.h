// How a long operation reports to whoever started it, and how it is told to stop.
//
// Every long operation (a search, a scan, a sweep, a recovery) takes a ProgressSink and a
// StopFlag. The window's sink forwards each call to the window's thread; the command line's
// prints to stderr. An operation tests the stop flag between units of work and ends cleanly when
// it is set.
#pragma once

#include <atomic>
#include <string_view>

namespace salvex {

using StopFlag = std::atomic<int>;

// The icon a message carries.
enum class MessageKind { Information = 1, Error = 2, Question = 3 };

class ProgressSink {
public:
    virtual ~ProgressSink() = default;

    // The status line, such as "Reading Sector 120 Of 4000".
    virtual void set_status(std::string_view text) = 0;
    // The progress bar, 0 to 99.
    virtual void set_progress(int percent) = 0;
    // A labelled counter, such as "File(s) Found" and its value.
    virtual void set_counter(std::string_view label, std::string_view value) = 0;
    // A message the user must acknowledge.
    virtual void show_message(std::string_view text, MessageKind kind) = 0;
    // A question answered Yes (true) or No. The operation waits for the answer.
    virtual bool ask_yes_no(std::string_view question) = 0;
};

// A sink that discards reports and answers every question with `answer`.
class SilentProgress final : public ProgressSink {
public:
    explicit SilentProgress(bool answer = false) : answer_(answer) {}
    void set_status(std::string_view) override {}
    void set_progress(int) override {}
    void set_counter(std::string_view, std::string_view) override {}
    void show_message(std::string_view, MessageKind) override {}
    bool ask_yes_no(std::string_view) override { return answer_; }

private:
    bool answer_;
};

// A sink that passes every report on to another; a relay overrides what it changes on the way.
class RelayProgress : public ProgressSink {
public:
    explicit RelayProgress(ProgressSink& to) : to_(to) {}
    void set_status(std::string_view text) override { to_.set_status(text); }
    void set_progress(int percent) override { to_.set_progress(percent); }
    void set_counter(std::string_view label, std::string_view value) override {
        to_.set_counter(label, value);
    }
    void show_message(std::string_view text, MessageKind kind) override {
        to_.show_message(text, kind);
    }
    bool ask_yes_no(std::string_view question) override { return to_.ask_yes_no(question); }

protected:
    ProgressSink& to_;
};

} // namespace salvex
