// Running command lines from tests: the command-line program, the peer tools that make images.
#pragma once

#include <string>

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

} // namespace salvex::test
