// salvex-cli given a path that is neither a disk image nor a block device (a named pipe, a
// character device, a folder), as a drive or as a snapshot: refused with one sentence, at once,
// without waiting on it or reading it. A snapshot file is read no further than its counts allow.
#include "tests/support/sha256.h"
#include "tests/support/shell.h"
#include "tests/support/test_images.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <vector>

namespace salvex {
namespace {

using test::cli;
using test::shell;

namespace fs = std::filesystem;

// A path of each kind that is neither a file nor a block device, made in `folder`, and the
// kind's name.
struct SpecialPath {
    std::string path;
    std::string kind;
};

std::vector<SpecialPath> special_paths(const fs::path& folder) {
    const std::string pipe = (folder / "p").string();
    EXPECT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    return {
        {pipe, "a named pipe"}, {"/dev/zero", "a character device"}, {folder.string(), "a folder"}};
}

// The command line run with a time limit, so that a command that waits fails instead of
// hanging the suite; stderr is what comes back.
test::CommandOutput run_limited(const std::string& args) {
    return shell("timeout 10 " + cli(args) + " 2>&1 >/dev/null");
}

TEST(SpecialFiles, EveryCommandRefusesANamedPipeACharacterDeviceOrAFolderAsItsDrive) {
    const fs::path folder = test::empty_temp_folder("special");
    const std::string target = (folder / "out").string();
    for (const auto& [path, kind] : special_paths(folder)) {
        const std::string refusal = path + " is not a disk image or a block device (" + kind + ").";
        const struct {
            std::string command;
            std::string args;
        } commands[] = {
            {"partitions", "partitions " + path},
            {"drives", "drives " + path},
            {"list", "list --quiet " + path + " --partition 1"},
            {"find", "find " + path + " --partition 1 x"},
            {"recover", "recover --quiet " + path + " --partition 1 --to " + target},
            {"sweep", "sweep --quiet " + path + " --start 0 --end 100"},
        };
        for (const auto& [command, args] : commands) {
            const auto r = run_limited(args);
            EXPECT_EQ(r.status, 1) << args;
            EXPECT_EQ(r.out, "salvex-cli " + command + ": " + refusal + "\n") << args;
        }
    }
}

TEST(SpecialFiles, ASnapshotMustBeARegularFile) {
    const fs::path folder = test::empty_temp_folder("snapshots");
    const std::string demo = test::image_path("demo");
    const std::string before = test::sha256_of_file(demo);
    for (const auto& [path, kind] : special_paths(folder)) {
        const auto r = run_limited("list --quiet " + demo + " --snapshot " + path);
        EXPECT_EQ(r.status, 1) << path;
        EXPECT_EQ(r.out, "salvex-cli list: " + path + " is not a snapshot file (" + kind + ").\n");
    }
    EXPECT_EQ(test::sha256_of_file(demo), before);
}

TEST(SpecialFiles, ASnapshotLargerThanItsCountsAllowIsRefusedASmallTailIsNot) {
    const fs::path folder = test::empty_temp_folder("sizes");
    const std::string demo = test::image_path("demo");
    const std::string before = test::sha256_of_file(demo);
    const auto listed = shell(cli("list --quiet " + demo + " --partition 1 --save-snapshot " +
                                  (folder / "scan").string()));
    ASSERT_EQ(listed.status, 0);
    const fs::path saved = folder / "SCAN.QRSX";
    ASSERT_TRUE(fs::exists(saved));

    // A few bytes after the last record are ignored, as they always were.
    const fs::path tail = folder / "TAIL.QRSX";
    fs::copy_file(saved, tail);
    std::ofstream(tail, std::ios::binary | std::ios::app) << "junk";
    const auto loaded = shell(cli("list --quiet " + demo + " --snapshot " + tail.string()));
    EXPECT_EQ(loaded.status, 0);
    EXPECT_EQ(loaded.out, listed.out);

    // A mebibyte more than any snapshot of these counts can hold is not a snapshot.
    const fs::path big = folder / "BIG.QRSX";
    fs::copy_file(saved, big);
    std::ofstream(big, std::ios::binary | std::ios::app) << std::string(1 << 20, 'x');
    const auto refused = run_limited("list --quiet " + demo + " --snapshot " + big.string());
    EXPECT_EQ(refused.status, 1);
    const std::string start = "salvex-cli list: The snapshot file " + big.string() +
                              " is not a snapshot: it has " + std::to_string(fs::file_size(big)) +
                              " bytes, more than the ";
    EXPECT_TRUE(refused.out.starts_with(start)) << refused.out;
    EXPECT_TRUE(refused.out.ends_with(" its header and counts allow.\n")) << refused.out;
    EXPECT_EQ(test::sha256_of_file(demo), before);
}

} // namespace
} // namespace salvex
