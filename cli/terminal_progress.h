// The command line's progress sink: a one-line progress bar with the status text on stderr when
// stderr is a terminal, and messages as lines on stderr, each with the command's prefix.
#pragma once

#include "disk/progress.h"

#include <chrono>
#include <ostream>
#include <string>

namespace salvex::cli {

class TerminalProgress final : public ProgressSink {
public:
    // `command`: the command whose messages these are. `showBar`: draw the bar (stderr is a
    // terminal and --quiet was not given). `answer`: the reply to questions when nobody can be
    // asked.
    TerminalProgress(std::ostream& err, std::string command, bool showBar, bool answer = false);
    ~TerminalProgress() override;

    void set_status(std::string_view text) override;
    void set_progress(int percent) override;
    void set_counter(std::string_view label, std::string_view value) override;
    void show_message(std::string_view text, MessageKind kind) override;
    bool ask_yes_no(std::string_view question) override;

    // Removes the bar from the terminal.
    void finish();

    // True when the bar should be drawn: stderr is a terminal and the user did not ask for quiet.
    static bool wants_bar(bool quiet);

private:
    void draw(bool force);

    std::ostream& err_;
    std::string command_;
    bool showBar_;
    bool answer_;
    bool drawn_ = false;
    int percent_ = 0;
    std::string status_;
    std::chrono::steady_clock::time_point lastDraw_{};
};

} // namespace salvex::cli
