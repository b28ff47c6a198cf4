#include "cli/terminal_progress.h"

#include "cli/message_line.h"

#include <algorithm>
#include <iostream>
#include <unistd.h>

namespace salvex::cli {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarWidth = 30;

} // namespace

TerminalProgress::TerminalProgress(std::ostream& err, std::string command, bool showBar,
                                   bool answer)
    : err_(err), command_(std::move(command)), showBar_(showBar), answer_(answer) {}

TerminalProgress::~TerminalProgress() {
    finish();
}

bool TerminalProgress::wants_bar(bool quiet) {
    return !quiet && isatty(STDERR_FILENO) == 1;
}

void TerminalProgress::set_status(std::string_view text) {
    status_ = text;
    draw(false);
}

void TerminalProgress::set_progress(int percent) {
    percent_ = std::clamp(percent, 0, 99);
    draw(false);
}

void TerminalProgress::set_counter(std::string_view, std::string_view) {}

void TerminalProgress::show_message(std::string_view text, MessageKind kind) {
    // Hints and notes are for people at a terminal; errors are always said.
    if (kind != MessageKind::Error && !showBar_)
        return;
    finish();
    say(err_, command_, text);
}

bool TerminalProgress::ask_yes_no(std::string_view question) {
    if (!showBar_ || isatty(STDIN_FILENO) != 1)
        return answer_;
    finish();
    err_ << message_line(command_, question) << " [y/N] " << std::flush;
    std::string reply;
    std::getline(std::cin, reply);
    return !reply.empty() && (reply[0] == 'y' || reply[0] == 'Y');
}

void TerminalProgress::draw(bool force) {
    if (!showBar_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && drawn_ && now - lastDraw_ < kRedrawInterval)
        return;
    lastDraw_ = now;
    const int filled = percent_ * kBarWidth / 99;
    std::string line = "\r[" + std::string(static_cast<size_t>(filled), '#') +
                       std::string(static_cast<size_t>(kBarWidth - filled), ' ') + "] " +
                       std::to_string(percent_) + "% " + status_.substr(0, 60);
    err_ << line << "\x1b[K" << std::flush;
    drawn_ = true;
}

void TerminalProgress::finish() {
    if (drawn_) {
        err_ << "\r\x1b[K" << std::flush;
        drawn_ = false;
    }
}

} // namespace salvex::cli
