#include "cli/options.h"

#include <charconv>

namespace salvex::cli {

std::optional<ParsedArgs> parse_args(const std::vector<std::string>& args,
                                     const std::set<std::string>& flags,
                                     const std::set<std::string>& valued, const char* command,
                                     std::ostream& err) {
    return parse_args(args, flags, valued, {}, command, err);
}

std::optional<ParsedArgs> parse_args(const std::vector<std::string>& args,
                                     const std::set<std::string>& flags,
                                     const std::set<std::string>& valued,
                                     const std::set<std::string>& paired, const char* command,
                                     std::ostream& err) {
    ParsedArgs parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() < 2 || a[0] != '-') {
            parsed.positional.push_back(a);
            continue;
        }
        std::string name = a;
        std::optional<std::string> inlineValue;
        if (const size_t eq = a.find('='); eq != std::string::npos) {
            name = a.substr(0, eq);
            inlineValue = a.substr(eq + 1);
        }
        if (flags.count(name) && !inlineValue) {
            parsed.flags.insert(name);
        } else if (paired.count(name) && !inlineValue) {
            if (i + 2 >= args.size()) {
                err << "salvex-cli " << command << ": " << name << " needs two values.\n";
                return std::nullopt;
            }
            parsed.values[name] = {args[i + 1], args[i + 2]};
            i += 2;
        } else if (valued.count(name)) {
            if (!inlineValue && i + 1 == args.size()) {
                err << "salvex-cli " << command << ": " << name << " needs a value.\n";
                return std::nullopt;
            }
            parsed.values[name].push_back(inlineValue ? *inlineValue : args[++i]);
        } else {
            err << "salvex-cli " << command << ": unknown option '" << a << "'.\n";
            return std::nullopt;
        }
    }
    return parsed;
}

std::optional<std::string> ParsedArgs::value(const std::string& name) const {
    const auto it = values.find(name);
    if (it == values.end() || it->second.empty())
        return std::nullopt;
    return it->second.back();
}

std::optional<uint64_t> parse_number(const std::string& text) {
    uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

} // namespace salvex::cli
