// salvex-cli as a user runs it: the built program, on real images and a loop device.
#include "tests/support/test_images.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace salvex {
namespace {

struct Output {
    int status = -1;
    std::string out;
};

// Runs a shell command line; stdout is captured, stderr passed through.
Output shell(const std::string& command) {
    Output result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return result;
    std::array<char, 4096> chunk{};
    size_t n = 0;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        result.out.append(chunk.data(), n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string cli(const std::string& args) {
    return test::cli_path() + " " + args;
}

std::string file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

const char* const kDemoPartitions = "number\ttype\tstart\tsize\n"
                                    "1\tNTFS\t2048\t98304\n"
                                    "2\tFAT32\t100352\t81920\n"
                                    "3\tNTFS\t184320\t49152\n";

TEST(EndToEnd, DemoImagePartitionsAreListed) {
    const Output r = shell(cli("partitions " + test::image_path("demo")));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kDemoPartitions);
}

TEST(EndToEnd, ListPrintsTheTreeDepthFirstWithDeletedItemsMarked) {
    const Output r = shell(cli("list --quiet " + test::image_path("demo") + " --partition 1"));
    ASSERT_EQ(r.status, 0);
    std::vector<std::string> paths;
    std::istringstream lines(r.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "kind\tdeleted\tsize\tcreated\tmodified\tid\tpath");
    std::map<std::string, std::string> rowOf;
    while (std::getline(lines, line)) {
        const std::string path = line.substr(line.rfind('\t') + 1);
        paths.push_back(path);
        rowOf[path] = line;
    }
    // A folder comes before its contents, its sub-folders before its files.
    const auto at = [&](const std::string& p) {
        return std::find(paths.begin(), paths.end(), p) - paths.begin();
    };
    EXPECT_LT(at("/Documents"), at("/Documents/Reports"));
    EXPECT_LT(at("/Documents/Reports/ledger.txt"), at("/Documents/Projects"));
    EXPECT_LT(at("/Documents/Projects"), at("/Documents/notes.txt"));
    EXPECT_LT(at("/Music/song02.mp3"), at("/$MFT")); // root files after all folders
    EXPECT_TRUE(rowOf["/Pictures/Old"].starts_with("folder\t1\t0\t"));
    EXPECT_TRUE(rowOf["/Logs/system.log"].starts_with("file\t0\t1000000\t"));
    EXPECT_TRUE(rowOf["/Café.txt"].starts_with("file\t1\t300\t"));
    EXPECT_TRUE(rowOf.count("/Documents/日本語.txt"));
    EXPECT_EQ(paths.size(), static_cast<size_t>(std::count(r.out.begin(), r.out.end(), '\n') - 1));

    const Output deleted =
        shell(cli("list --quiet --deleted " + test::image_path("demo") + " --partition 1"));
    EXPECT_EQ(std::count(deleted.out.begin(), deleted.out.end(), '\n'), 1 + 9);
}

TEST(EndToEnd, ListRefusesWhatItCannotScan) {
    const std::string demo = test::image_path("demo");
    EXPECT_EQ(shell(cli("list " + demo + " --partition 2 2>/dev/null")).status, 1); // FAT32
    EXPECT_EQ(shell(cli("list " + demo + " --partition 9 2>/dev/null")).status, 1);
    EXPECT_EQ(shell(cli("list " + demo + " 2>/dev/null")).status, 2);
    EXPECT_EQ(shell(cli("list " + demo + " --partition x 2>/dev/null")).status, 2);
    const Output fat = shell(cli("list " + demo + " --partition 2 2>&1"));
    EXPECT_EQ(fat.out, "This is FAT partition. If earlier it was NTFS partition and you want to "
                       "recover it,\n use Advance Scan OR download the Salvex for FAT.\n");
}

TEST(EndToEnd, CommandsLeaveTheExaminedImageUnchanged) {
    const std::string image = test::image_path("demo");
    const std::string before = file_bytes(image);
    ASSERT_FALSE(before.empty());
    for (const std::string& args :
         {"partitions " + image, "drives " + image, "list --quiet " + image + " --partition 3"}) {
        const Output r = shell(cli(args) + " >/dev/null");
        EXPECT_EQ(r.status, 0) << args;
    }
    EXPECT_TRUE(file_bytes(image) == before);
}

TEST(EndToEnd, LoopDeviceOfTheDemoImageListsTheSame) {
    if (geteuid() != 0)
        GTEST_SKIP() << "attaching a loop device needs root";
    const std::string image = test::image_path("demo");
    const Output attach = shell("losetup -r -f --show " + image + " 2>/dev/null");
    if (attach.status != 0 || attach.out.empty())
        GTEST_SKIP() << "no loop device could be attached here";
    const std::string device = attach.out.substr(0, attach.out.find('\n'));
    const Output listed = shell(cli("partitions " + device));
    const Output drives = shell(cli("drives"));
    shell("losetup -d " + device);
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out, kDemoPartitions);
    // The attached loop device is a drive of this machine, with its backing file named.
    EXPECT_NE(drives.out.find("Loop device on " + image + "\t16\t255\t63\t262144\t" + device),
              std::string::npos)
        << drives.out;
}

} // namespace
} // namespace salvex
