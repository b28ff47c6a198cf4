#include "cli/cli.h"
#include "tests/support/disk_builder.h"
#include "tests/support/test_images.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace salvex {
namespace {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun run(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = cli::run(args, out, err);
    return {status, out.str(), err.str()};
}

TEST(Cli, UsageErrorsExitWithTwo) {
    EXPECT_EQ(run({}).status, cli::kUsage);
    const CliRun unknown = run({"frobnicate"});
    EXPECT_EQ(unknown.status, cli::kUsage);
    EXPECT_NE(unknown.err.find("unknown command 'frobnicate'"), std::string::npos);
    EXPECT_EQ(run({"partitions"}).status, cli::kUsage);
    EXPECT_EQ(run({"partitions", "a.img", "b.img"}).status, cli::kUsage);
    EXPECT_EQ(run({"drives", "--bogus"}).status, cli::kUsage);
}

TEST(Cli, EveryCommandHasHelp) {
    for (const char* command : {"drives", "partitions"}) {
        const CliRun help = run({command, "--help"});
        EXPECT_EQ(help.status, cli::kSuccess);
        EXPECT_NE(help.out.find(std::string("Usage: salvex-cli ") + command), std::string::npos);
    }
    EXPECT_EQ(run({"--help"}).status, cli::kSuccess);
}

TEST(Cli, PartitionsOfAMissingDriveIsAFailureWithASentence) {
    const CliRun r = run({"partitions", "/nonexistent/disk.img"});
    EXPECT_EQ(r.status, cli::kFailure);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("/nonexistent/disk.img"), std::string::npos);
}

TEST(Cli, PartitionsOfABlankDiskSaysNoneWereFound) {
    const std::string path = test::temp_path("blank.img");
    std::ofstream(path, std::ios::binary) << std::string(64 * 512, '\0');
    const CliRun r = run({"partitions", path});
    EXPECT_EQ(r.status, cli::kFailure);
    // No table lists anything, and the search for lost partitions finds nothing either.
    EXPECT_EQ(r.err, " No partitions found, going to make a quick search for missing partitions\n"
                     "No partition found, use advance mode to recover the data\n");
}

TEST(Cli, DrivesListsTheImagesNamedAfterTheMachinesDisks) {
    const std::string path = test::temp_path("drive.img");
    std::ofstream(path, std::ios::binary) << std::string(32130 * 512, '\0');
    const CliRun r = run({"drives", path});
    EXPECT_EQ(r.status, cli::kSuccess);
    EXPECT_EQ(
        r.out.rfind(
            "index\tname\tcylinders\theads\tsectors_per_track\ttotal_sectors\tsector_size\tpath\n",
            0),
        0u);
    EXPECT_NE(r.out.find("\t" + std::filesystem::path(path).filename().string() +
                         "\t2\t255\t63\t32130\t512\t" + path + "\n"),
              std::string::npos);

    const CliRun missing = run({"drives", "/nonexistent.img"});
    EXPECT_EQ(missing.status, cli::kFailure);
    EXPECT_NE(missing.err.find("/nonexistent.img"), std::string::npos);
}

} // namespace
} // namespace salvex
