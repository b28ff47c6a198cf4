// The command line: `salvex-cli COMMAND ...`. Output is tab-separated with one header line;
// errors go to the error stream as one clear sentence.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace salvex::cli {

// Exit statuses.
inline constexpr int kSuccess = 0;
inline constexpr int kFailure = 1;
inline constexpr int kUsage = 2;
// recover: every file was written, but some hold zeros where sectors could not be read.
inline constexpr int kUnreadableZeros = 3;
// recover: stopped by SIGINT or SIGTERM; the status is 128 + the signal's number.
inline constexpr int kSignalBase = 128;

// Runs the command in `args` (without the program name).
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace salvex::cli
