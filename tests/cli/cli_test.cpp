#include "cli/cli.h"
#include "cli/message_line.h"
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

// A disk of 64 zeroed sectors: no table, no volume.
std::string blank_image() {
    const std::string path = test::temp_path("blank.img");
    std::ofstream(path, std::ios::binary) << std::string(64 * 512, '\0');
    return path;
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
    const CliRun r = run({"partitions", blank_image()});
    EXPECT_EQ(r.status, cli::kFailure);
    // No table lists anything, and the search for lost partitions finds nothing either.
    EXPECT_EQ(r.err, "salvex-cli partitions: No partitions found, going to make a quick search for "
                     "missing partitions.\n"
                     "salvex-cli partitions: No partition found, use advance mode to recover the "
                     "data.\n");
}

// Every line the commands write to stderr when they refuse or fail starts with the command and
// is one sentence.
TEST(Cli, EveryMessageNamesItsCommand) {
    const std::string blank = blank_image();
    const std::string demo = test::image_path("demo");
    const std::string damaged = test::damaged_copy("demo", {2048, 2048 + 98303});
    const struct {
        std::vector<std::string> args;
        int status;
    } failures[] = {
        {{"partitions", blank}, cli::kFailure},
        {{"search", blank}, cli::kFailure},
        {{"drives", "/nonexistent.img"}, cli::kFailure},
        {{"list", blank, "--partition", "1"}, cli::kFailure},
        {{"list", demo, "--partition", "2"}, cli::kFailure},
        {{"list", demo, "--partition", "9"}, cli::kFailure},
        {{"list", damaged, "--partition", "1"}, cli::kFailure},
        {{"find", demo, "--range", "233472", "262144", "--candidate", "5", "x"}, cli::kFailure},
        {{"find", demo, "--range", "10", "x", "--candidate", "1", "x"}, cli::kUsage},
        {{"list", demo, "--snapshot", "/nonexistent.qrsx"}, cli::kFailure},
        {{"sweep", blank, "--start", "0", "--end", "64"}, cli::kFailure},
        {{"sweep", demo, "--start", "0", "--end", "10", "--sectors-per-read", "0"}, cli::kUsage},
        {{"recover", demo, "--partition", "1", "--to", blank + "/under-a-file"}, cli::kFailure},
        {{"partitions"}, cli::kUsage},
        {{"search", demo, demo}, cli::kUsage},
        {{"list"}, cli::kUsage},
        {{"list", demo}, cli::kUsage},
        {{"find", demo, "--partition", "1"}, cli::kUsage},
        {{"recover", demo, "--partition", "1"}, cli::kUsage},
        {{"sweep", demo, "--start", "0"}, cli::kUsage},
    };
    for (const auto& [args, status] : failures) {
        const CliRun r = run(args);
        EXPECT_EQ(r.status, status) << args[0] << ' ' << args.back();
        ASSERT_FALSE(r.err.empty()) << args[0];
        std::istringstream lines(r.err);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_TRUE(line.starts_with("salvex-cli " + args[0] + ": ")) << line;
            const char last = line.back();
            EXPECT_TRUE(last == '.' || last == '?') << line;
        }
    }
}

TEST(Cli, MessagesOfTheWindowBecomeOneLine) {
    EXPECT_EQ(cli::message_line("list", "This is FAT.\r\n use Advance Scan"),
              "salvex-cli list: This is FAT. use Advance Scan.");
    EXPECT_EQ(cli::message_line("sweep", "      End sector should be bigger than start sector"),
              "salvex-cli sweep: End sector should be bigger than start sector.");
    EXPECT_EQ(cli::message_line("recover", "Go on?"), "salvex-cli recover: Go on?");
    EXPECT_EQ(cli::message_line("find", "a  b\n\n  c. "), "salvex-cli find: a  b c.");
    EXPECT_EQ(cli::message_line("", "out of memory"), "salvex-cli: out of memory.");
    std::ostringstream usage;
    cli::say_usage(usage, "list", "name one DRIVE");
    EXPECT_EQ(usage.str(), "salvex-cli list: name one DRIVE (see 'salvex-cli list --help').\n");
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
