// salvex-cli on an image cut short inside a volume (a copy that stopped early): the sectors past
// the image's end are unreadable sectors. The files are written with zeros there, counted as
// such and named in the run's summary, the run exits 3, and `list` tells a live file's share
// beforehand.
#include "tests/support/demo_file.h"
#include "tests/support/file_bytes.h"
#include "tests/support/recovered_files.h"
#include "tests/support/report_file.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/sha256.h"
#include "tests/support/shell.h"
#include "tests/support/test_images.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace salvex {
namespace {

using test::cli;
using test::file_bytes;
using test::shell;

constexpr const char* kFile = test::kDemoFile; // 9000 bytes, 3 clusters
constexpr uint64_t kFileSize = test::kDemoFileSize;
constexpr uint64_t kClusterSectors = test::kDemoClusterSectors;

// The demo disk cut after the first cluster of kFile, whose clusters are one run: its first
// 4096 bytes lie on the copy, the rest past its end.
struct CutImage {
    std::string path;
    std::string sha256;
    std::string fileHead; // kFile's bytes on the copy
};

CutImage cut_after_first_cluster() {
    const test::FileOnDisk file = test::demo_file_on_disk();
    if (file.firstSector == 0)
        return {};
    CutImage cut{test::temp_path("cut.img"), {}, file.content.substr(0, kClusterSectors * 512)};
    const uint64_t keep = (file.firstSector + kClusterSectors) * 512;
    std::ofstream(cut.path, std::ios::binary)
        << file_bytes(test::image_path("demo")).substr(0, keep);
    cut.sha256 = test::sha256_of_file(cut.path);
    return cut;
}

// The rows of a tab-separated table after its header, by their cell `key`.
std::map<std::string, std::vector<std::string>> rows_by(const std::string& table, size_t key) {
    std::map<std::string, std::vector<std::string>> rows;
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line); // the header
    while (std::getline(lines, line)) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');)
            cells.push_back(cell);
        if (line.ends_with('\t'))
            cells.emplace_back();
        if (cells.size() > key)
            rows[cells[key]] = cells;
    }
    return rows;
}

TEST(TruncatedImage, AFileCutByTheImagesEndHoldsZerosCountedAsUnreadableAndExitsThree) {
    const CutImage cut = cut_after_first_cluster();
    ASSERT_FALSE(cut.path.empty());
    const std::string target = test::empty_temp_folder("recovered");
    const std::string report = test::temp_path("report.tsv");
    const std::string errors = test::temp_path("stderr");
    const auto r = shell(cli("recover --quiet " + cut.path + " --partition 1 --to " + target + " " +
                             kFile + " --report " + report + " 2>" + errors));
    EXPECT_EQ(r.status, 3) << file_bytes(errors);
    EXPECT_EQ(r.out, "Recovered 1 file(s) to " + target + "; 0 failed.\n");
    // The file's 18 sectors: 8 on the copy, 10 past its end.
    EXPECT_EQ(file_bytes(errors), "salvex-cli recover: 0 file(s) failed and 1 hold zeros for "
                                  "unreadable sectors: " +
                                      target +
                                      "/ledger-notes.txt (10 sector(s) written as zeros).\n");

    // status size sha256 unreadable recoverable path: one cluster of three lies on the copy.
    const auto rows = rows_by(file_bytes(report), 5);
    ASSERT_EQ(rows.count("/ledger-notes.txt"), 1u) << file_bytes(report);
    const auto& row = rows.at("/ledger-notes.txt");
    EXPECT_EQ(row[0], "written");
    EXPECT_EQ(row[1], std::to_string(kFileSize));
    EXPECT_EQ(row[3], "10");
    EXPECT_EQ(row[4], "33");

    std::string expected = cut.fileHead;
    expected.resize(kFileSize, '\0');
    EXPECT_TRUE(file_bytes(target + "/ledger-notes.txt") == expected);
    EXPECT_EQ(test::sha256_of_file(cut.path), cut.sha256);
}

TEST(TruncatedImage, TheWholeVolumeFromACutImageNamesEveryFileWithZeros) {
    const CutImage cut = cut_after_first_cluster();
    ASSERT_FALSE(cut.path.empty());
    const std::string target = test::empty_temp_folder("whole");
    const std::string report = test::temp_path("report.tsv");
    const std::string errors = test::temp_path("stderr");
    const auto r = shell(cli("recover --quiet " + cut.path + " --partition 1 --to " + target +
                             " --report " + report + " 2>" + errors));
    EXPECT_EQ(r.status, 3) << file_bytes(errors);
    EXPECT_NE(r.out.find("; 0 failed.\n"), std::string::npos) << r.out;
    // No file of the volume reaches past the volume: none is called damaged.
    EXPECT_EQ(file_bytes(errors).find("damaged"), std::string::npos) << file_bytes(errors);

    // Each file the report says was read whole came back as written; each other one holds
    // zeros, and the summary counts it.
    const auto manifest = test::manifest_hashes("demo");
    size_t whole = 0;
    size_t zeroed = 0;
    for (const auto& [path, row] : rows_by(file_bytes(report), 5)) {
        if (row[0] != "written")
            continue;
        const bool read = row[3] == "0";
        (read ? whole : zeroed) += 1;
        if (manifest.count(path))
            EXPECT_EQ(row[2] == manifest.at(path), read) << path;
    }
    EXPECT_GT(whole, 5u);
    EXPECT_GT(zeroed, 5u);
    EXPECT_NE(file_bytes(errors).find("0 file(s) failed and " + std::to_string(zeroed) +
                                      " hold zeros for unreadable sectors: "),
              std::string::npos)
        << file_bytes(errors);
    EXPECT_EQ(test::sha256_of_file(cut.path), cut.sha256);
}

TEST(TruncatedImage, ListGivesALiveFileCutByTheImagesEndItsShareAndNoOtherLiveFileOne) {
    const CutImage cut = cut_after_first_cluster();
    ASSERT_FALSE(cut.path.empty());
    const auto listed = shell(cli("list --quiet " + cut.path + " --partition 1"));
    ASSERT_EQ(listed.status, 0);
    const auto rows = rows_by(listed.out, 7);
    ASSERT_EQ(rows.count(kFile), 1u);
    EXPECT_EQ(rows.at(kFile)[6], "33");
    EXPECT_EQ(rows.at("/readme.txt")[6], ""); // resident: nothing lies past the end

    // On the whole image no live file has a share.
    const auto intact = shell(cli("list --quiet " + test::image_path("demo") + " --partition 1"));
    ASSERT_EQ(intact.status, 0);
    for (const auto& [path, row] : rows_by(intact.out, 7)) {
        if (row[1] == "0")
            EXPECT_EQ(row[6], "") << path;
    }
    EXPECT_EQ(test::sha256_of_file(cut.path), cut.sha256);
}

} // namespace
} // namespace salvex
