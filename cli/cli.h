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

// Runs the command in `args` (without the program name).
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace salvex::cli
