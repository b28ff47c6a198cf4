// Running command lines from tests: the command-line program, the peer tools that make images.
#pragma once

#include <string>
#include <utility>

namespace salvex::test {

struct CommandOutput {
    int status = -1; // the exit status; -1 when the command did not exit normally
    std::string out;
};

// Runs a shell command line; its standard output is captured, and standard error with it when
// the line says 2>&1.
CommandOutput shell(const std::string& command);

// The command line that runs salvex-cli with `args`.
std::string cli(const std::string& args);

// Runs a command line when it goes out of scope: the undoing of a mount, a loop device or a
// device-mapper table, in every path a test takes.
class Undo {
public:
    explicit Undo(std::string command) : command_(std::move(command)) {}
    Undo(const Undo&) = delete;
    Undo& operator=(const Undo&) = delete;
    ~Undo() { shell(command_ + " >/dev/null 2>&1"); }

private:
    std::string command_;
};

} // namespace salvex::test
