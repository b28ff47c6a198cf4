#include "cli/message_line.h"

namespace salvex::cli {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The text with each run of blanks that holds a line break made one space, and the blanks at
// either end dropped. Runs of spaces inside a line stay as written.
std::string one_line(std::string_view text) {
    std::string line;
    size_t at = 0;
    while (at < text.size()) {
        if (!is_blank(text[at])) {
            line += text[at++];
            continue;
        }
        const size_t runEnd = text.find_first_not_of(" \t\r\n", at);
        const std::string_view run = text.substr(at, runEnd - at);
        at = runEnd == std::string_view::npos ? text.size() : runEnd;
        if (line.empty() || at == text.size())
            continue;
        line += run.find_first_of("\r\n") == std::string_view::npos ? std::string(run) : " ";
    }
    return line;
}

} // namespace

std::string message_line(std::string_view command, std::string_view text) {
    std::string line =
        command.empty() ? "salvex-cli: " : "salvex-cli " + std::string(command) + ": ";
    std::string sentence = one_line(text);
    if (!sentence.empty() && sentence.find_last_of(".?!:") != sentence.size() - 1)
        sentence += '.';
    return line + sentence;
}

void say(std::ostream& err, std::string_view command, std::string_view text) {
    err << message_line(command, text) << '\n';
}

void say_usage(std::ostream& err, std::string_view command, std::string_view missing) {
    say(err, command,
        std::string(missing) + " (see 'salvex-cli " + std::string(command) + " --help')");
}

} // namespace salvex::cli
