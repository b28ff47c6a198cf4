// The commands' arguments, parsed with CLI11: positional words, flags and options with values.
#pragma once

#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace salvex::cli {

struct ParsedArgs {
    std::vector<std::string> positional;
    std::set<std::string> flags;                            // "--deleted"
    std::map<std::string, std::vector<std::string>> values; // "--filter" → every value given

    // The last value given for an option, if any.
    std::optional<std::string> value(const std::string& name) const;
};

// Parses `args` knowing which options take a value; nullopt (after a sentence on `err`) when an
// option is unknown or lacks its value.
std::optional<ParsedArgs> parse_args(const std::vector<std::string>& args,
                                     const std::set<std::string>& flags,
                                     const std::set<std::string>& valued, const char* command,
                                     std::ostream& err);

// As above, with options that take two values ("--range S E"); both are stored, in order.
std::optional<ParsedArgs> parse_args(const std::vector<std::string>& args,
                                     const std::set<std::string>& flags,
                                     const std::set<std::string>& valued,
                                     const std::set<std::string>& paired, const char* command,
                                     std::ostream& err);

// An unsigned decimal number, the whole text but for blanks around it (as the range's numbers).
std::optional<uint64_t> parse_number(const std::string& text);

} // namespace salvex::cli
