#include "cli/options.h"

#include "advscan/sector_range.h"

#include <CLI/CLI.hpp>

namespace salvex::cli {

namespace {

// CLI11 names an option by its long form; ours carry their dashes ("--filter").
std::string long_name(const std::string& name) {
    return name.starts_with("--") ? name : "--" + name;
}

// The sentence that refuses the arguments, in the command line's own words.
std::string refusal(const CLI::ParseError& error, const std::vector<std::string>& args,
                    const std::set<std::string>& paired, const char* command) {
    const std::string prefix = std::string("salvex-cli ") + command + ": ";
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
        // The last option given before the values ran out is the one that lacks them.
        for (auto it = args.rbegin(); it != args.rend(); ++it) {
            const std::string name = it->substr(0, it->find('='));
            if (name.starts_with("--"))
                return prefix + name +
                       (paired.count(name) ? " needs two values." : " needs a value.");
        }
    }
    if (const auto* extras = dynamic_cast<const CLI::ExtrasError*>(&error)) {
        for (const std::string& a : args) {
            if (a.size() >= 2 && a[0] == '-' &&
                std::string(extras->what()).find(a) != std::string::npos)
                return prefix + "unknown option '" + a + "'.";
        }
    }
    return prefix + error.what() + (std::string(error.what()).ends_with('.') ? "" : ".");
}

} // namespace

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
    CLI::App app;
    app.set_help_flag(); // each command answers --help itself
    app.allow_extras(false);
    app.add_option("words", parsed.positional)->take_all();
    std::map<std::string, bool> given;
    for (const std::string& name : flags)
        app.add_flag(long_name(name), given[name]);
    for (const std::string& name : valued)
        app.add_option(long_name(name), parsed.values[name])
            ->expected(1)
            ->allow_extra_args(false) // one value an occurrence; repeats add up
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    for (const std::string& name : paired)
        app.add_option(long_name(name), parsed.values[name])->expected(2)->allow_extra_args(false);
    std::vector<std::string> reversed(args.rbegin(), args.rend()); // CLI11 parses from the back
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        err << refusal(error, args, paired, command) << '\n';
        return std::nullopt;
    }
    for (const auto& [name, set] : given) {
        if (set)
            parsed.flags.insert(name);
    }
    std::erase_if(parsed.values, [](const auto& entry) { return entry.second.empty(); });
    return parsed;
}

std::optional<std::string> ParsedArgs::value(const std::string& name) const {
    const auto it = values.find(name);
    if (it == values.end() || it->second.empty())
        return std::nullopt;
    return it->second.back();
}

std::optional<uint64_t> parse_number(const std::string& text) {
    return parse_typed_number(text);
}

} // namespace salvex::cli
