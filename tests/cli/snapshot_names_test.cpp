// salvex-cli loading a snapshot by the name it was saved under: `--save-snapshot scan` writes
// SCAN.QRSX, and `--snapshot scan` reads it back. A file named exactly as given is read first.
#include "tests/support/sha256.h"
#include "tests/support/shell.h"
#include "tests/support/test_images.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace salvex {
namespace {

using test::cli;
using test::shell;

namespace fs = std::filesystem;

TEST(SnapshotNames, ASnapshotLoadsByTheNameGivenWhenItWasSaved) {
    const fs::path folder = test::empty_temp_folder("names");
    const std::string demo = test::image_path("demo");
    const std::string before = test::sha256_of_file(demo);
    const auto listed = shell(
        cli("list --quiet " + demo + " --partition 1 --save-snapshot " + (folder / "s1").string()));
    ASSERT_EQ(listed.status, 0);
    ASSERT_TRUE(fs::exists(folder / "S1.QRSX"));
    ASSERT_FALSE(fs::exists(folder / "s1"));
    for (const std::string name : {"s1", "s1.qrsx", "S1", "S1.QRSX"}) {
        const auto loaded =
            shell(cli("list --quiet " + demo + " --snapshot " + (folder / name).string()));
        EXPECT_EQ(loaded.status, 0) << name;
        EXPECT_EQ(loaded.out, listed.out) << name;
    }
    // recover takes the same name.
    const std::string target = (folder / "out").string();
    const auto recovered =
        shell(cli("recover --quiet " + demo + " --snapshot " + (folder / "s1").string() + " --to " +
                  target + " /readme.txt"));
    EXPECT_EQ(recovered.status, 0);
    EXPECT_TRUE(fs::exists(target + "/readme.txt"));
    EXPECT_EQ(test::sha256_of_file(demo), before);
}

TEST(SnapshotNames, AFileNamedExactlyAsGivenIsReadAndNoOther) {
    const fs::path folder = test::empty_temp_folder("exact");
    const std::string demo = test::image_path("demo");
    const std::string before = test::sha256_of_file(demo);
    ASSERT_EQ(shell(cli("list --quiet " + demo + " --partition 1 --save-snapshot " +
                        (folder / "s2").string() + " >/dev/null"))
                  .status,
              0);
    std::ofstream(folder / "s2") << "my notes";
    const auto r = shell(cli("list --quiet " + demo + " --snapshot " + (folder / "s2").string() +
                             " 2>&1 >/dev/null"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "salvex-cli list: Invalid version of the file found : my note.\n");

    // Neither name exists: the name given is the one the error names.
    const std::string none = (folder / "none").string();
    const auto missing =
        shell(cli("list --quiet " + demo + " --snapshot " + none + " 2>&1 >/dev/null"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "salvex-cli list: Unable to open the snapshot file " + none +
                               ": No such file or directory.\n");
    EXPECT_EQ(test::sha256_of_file(demo), before);
}

} // namespace
} // namespace salvex
