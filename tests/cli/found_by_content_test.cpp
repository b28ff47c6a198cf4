// Files whose records are gone, found by their contents: a disk that holds no volume, only files
// made by real encoders, is swept, listed and recovered byte for byte through the command line.
#include "tests/support/file_bytes.h"
#include "tests/support/report_file.h"
#include "tests/support/sha256.h"
#include "tests/support/shell.h"
#include "tests/support/test_images.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>

namespace salvex {
namespace {

using test::cli;
using test::shell;

namespace fs = std::filesystem;

struct Placed {
    std::string sha256;
    uint64_t size = 0;
};

// A disk of 8 MiB of zeros with each sample file from sector 2048 on, 16 sectors apart; the
// samples by the sector each starts at.
std::map<uint64_t, Placed> lay_samples(const std::string& disk) {
    std::map<uint64_t, Placed> placed;
    std::vector<char> bytes(8 << 20);
    uint64_t at = 2048;
    std::vector<fs::path> samples;
    for (const auto& entry :
         fs::directory_iterator(std::string(SALVEX_SOURCE_DATA_DIR) + "/carving"))
        samples.push_back(entry.path());
    std::sort(samples.begin(), samples.end());
    for (const fs::path& sample : samples) {
        const std::string data = test::file_bytes(sample.string());
        std::copy(data.begin(), data.end(), bytes.begin() + static_cast<long>(at * 512));
        placed[at] = {
            test::sha256_hex(ByteView(reinterpret_cast<const uint8_t*>(data.data()), data.size())),
            data.size()};
        at += (data.size() + 511) / 512 + 16;
    }
    std::ofstream(disk, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
    return placed;
}

TEST(FoundByContent, ADiskWithoutAVolumeGivesBackItsFilesWhole) {
    const std::string disk = test::temp_path("contents.img");
    const auto placed = lay_samples(disk);
    const auto swept = shell(cli("sweep " + disk + " --start 0 --end 16383"));
    EXPECT_EQ(swept.status, 0);
    EXPECT_NE(swept.out.find("1\t0\t1\t0\t0\t16383\tFiles found by content\n"), std::string::npos)
        << swept.out;

    const std::string target = test::empty_temp_folder("out");
    const std::string report = test::temp_path("report.tsv");
    const auto recovered = shell(cli("recover " + disk + " --range 0 16383 --candidate 1 --to " +
                                     target + " --report " + report + " 2>&1"));
    EXPECT_EQ(recovered.status, 0) << recovered.out;
    // Each file under its type's folder, named after its first sector, with its own bytes.
    std::map<uint64_t, std::string> back;
    std::map<uint64_t, std::string> expected;
    for (const auto& [sector, sample] : placed)
        expected[sector] = sample.sha256;
    for (const auto& [path, line] : test::read_report(report)) {
        EXPECT_EQ(line.status, "written") << path;
        EXPECT_EQ(line.recoverable, "100") << path;
        const std::string name = fs::path(path).stem().string(); // "f2048"
        ASSERT_EQ(name[0], 'f') << path;
        back[std::stoull(name.substr(1))] = line.sha256;
        EXPECT_EQ(test::sha256_of_file(target + path), line.sha256) << path;
        EXPECT_EQ(path.rfind("/Files found by content/", 0), 0u) << path;
    }
    EXPECT_EQ(back, expected);

    // A snapshot cannot keep them yet: it says so rather than keep what would read wrongly.
    const auto saved = shell(cli("list " + disk + " --range 0 16383 --candidate 1 " +
                                 "--save-snapshot " + test::temp_path("contents") + " 2>&1"));
    EXPECT_EQ(saved.status, 1);
    EXPECT_NE(saved.out.find("found by their contents"), std::string::npos) << saved.out;
}

// PhotoRec, carving the same disk, is the oracle: each file it carves byte for byte (all of it
// within one of the files laid there) Salvex gives back too, or one that holds it whole (the
// photo stored in the ZIP, which PhotoRec takes alone). A file PhotoRec carves with bytes past
// the end of the one laid there is not a byte-for-byte carving, and is not compared.
TEST(FoundByContent, EveryFilePhotoRecCarvesComesBackByteForByte) {
    if (shell("command -v photorec >/dev/null").status != 0)
        GTEST_SKIP() << "photorec (Debian's testdisk package) is not installed";
    const std::string disk = test::temp_path("contents.img");
    const auto placed = lay_samples(disk);
    const std::string image = test::file_bytes(disk);
    const std::string carved = test::empty_temp_folder("photorec");
    ASSERT_EQ(shell("cd " + carved + " && photorec /log /d " + carved + "/f /cmd " + disk +
                    " partition_none,options,paranoid,fileopt,everything,enable,search " +
                    ">/dev/null 2>&1")
                  .status,
              0);
    const std::string target = test::empty_temp_folder("out");
    ASSERT_EQ(
        shell(cli("recover " + disk + " --range 0 16383 --candidate 1 --to " + target)).status, 0);
    // Salvex's files by their first sector.
    std::map<uint64_t, std::string> ours;
    for (const std::string& path : test::files_under(target))
        ours[std::stoull(fs::path(path).stem().string().substr(1))] =
            test::file_bytes(target + path);
    size_t compared = 0;
    for (const std::string& path : test::files_under(carved)) {
        const std::string name = fs::path(path).filename().string(); // "f0002240.jpg"
        if (name.size() < 2 || name[0] != 'f' || !std::isdigit(static_cast<unsigned char>(name[1])))
            continue; // its log and report
        const uint64_t sector = std::stoull(name.substr(1));
        const std::string theirs = test::file_bytes(carved + path);
        auto laid = placed.upper_bound(sector);
        ASSERT_NE(laid, placed.begin()) << name;
        --laid;
        if ((sector - laid->first) * 512 + theirs.size() > laid->second.size ||
            image.compare(sector * 512, theirs.size(), theirs) != 0)
            continue; // more than the file laid there, or not its bytes
        auto holder = ours.upper_bound(sector);
        ASSERT_NE(holder, ours.begin()) << name << " lies before every file Salvex found";
        --holder;
        const uint64_t offset = (sector - holder->first) * 512;
        EXPECT_EQ(holder->second.compare(offset, theirs.size(), theirs), 0)
            << name << " is not what Salvex gave back from sector " << holder->first;
        ++compared;
    }
    EXPECT_GE(compared, 7u);
}

} // namespace
} // namespace salvex
