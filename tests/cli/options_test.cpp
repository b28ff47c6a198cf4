// The commands' argument parsing: words and options in any order, one value an occurrence.
#include "cli/options.h"

#include <gtest/gtest.h>
#include <sstream>

namespace salvex::cli {
namespace {

const std::set<std::string> kFlags = {"--quiet", "--deleted"};
const std::set<std::string> kValued = {"--partition", "--filter"};
const std::set<std::string> kPaired = {"--range"};

std::optional<ParsedArgs> parse(const std::vector<std::string>& args, std::string& said) {
    std::ostringstream err;
    auto parsed = parse_args(args, kFlags, kValued, kPaired, "list", err);
    said = err.str();
    return parsed;
}

TEST(Options, WordsAndOptionsMixTakingOneValueAnOccurrence) {
    std::string said;
    const auto parsed = parse({"--quiet", "--partition=2", "disk.img", "--filter", "*.doc", "/Docs",
                               "--filter", "b", "--range", "10", "20", "/More"},
                              said);
    ASSERT_TRUE(parsed) << said;
    EXPECT_EQ(parsed->positional, (std::vector<std::string>{"disk.img", "/Docs", "/More"}));
    EXPECT_TRUE(parsed->flags.count("--quiet"));
    EXPECT_FALSE(parsed->flags.count("--deleted"));
    EXPECT_EQ(parsed->value("--partition"), "2");
    EXPECT_EQ(parsed->values.at("--filter"), (std::vector<std::string>{"*.doc", "b"}));
    EXPECT_EQ(parsed->values.at("--range"), (std::vector<std::string>{"10", "20"}));
    EXPECT_FALSE(parsed->value("--snapshot"));
}

TEST(Options, RefusalsAreOneSentenceNamingTheOption) {
    std::string said;
    EXPECT_FALSE(parse({"disk.img", "--partition"}, said));
    EXPECT_EQ(said, "salvex-cli list: --partition needs a value.\n");
    EXPECT_FALSE(parse({"disk.img", "--range", "1"}, said));
    EXPECT_EQ(said, "salvex-cli list: --range needs two values.\n");
    EXPECT_FALSE(parse({"disk.img", "--bogus"}, said));
    EXPECT_EQ(said, "salvex-cli list: unknown option '--bogus'.\n");
}

TEST(Options, NumbersAreReadAsTheRangesAreWithBlanksAroundThemAllowed) {
    EXPECT_EQ(parse_number("7"), 7u);
    EXPECT_EQ(parse_number(" 7\t"), 7u);
    EXPECT_EQ(parse_number("18446744073709551615"), UINT64_MAX);
    for (const char* refused : {"", " ", "-1", "+1", "7x", "1 2", "0x10", "18446744073709551616"})
        EXPECT_FALSE(parse_number(refused)) << '"' << refused << '"';
}

} // namespace
} // namespace salvex::cli
