// salvex-cli as a user runs it: the built program, on real images and a loop device.
#include "snapshot/snapshot_writer.h"
#include "tests/support/file_bytes.h"
#include "tests/support/report_file.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/sha256.h"
#include "tests/support/shell.h"
#include "tests/support/test_images.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace salvex {
namespace {

using test::cli;
using test::CommandOutput;
using test::file_bytes;
using test::files_under;
using test::manifest_hashes;
using test::read_report;
using test::shell;

const char* const kDemoPartitions = "number\ttype\tstart\tsize\n"
                                    "1\tNTFS\t2048\t98304\n"
                                    "2\tFAT32\t100352\t81920\n"
                                    "3\tNTFS\t184320\t49152\n";

TEST(EndToEnd, DemoImagePartitionsAreListed) {
    const CommandOutput r = shell(cli("partitions " + test::image_path("demo")));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kDemoPartitions);
}

TEST(EndToEnd, ListPrintsTheTreeDepthFirstWithDeletedItemsMarked) {
    const CommandOutput r =
        shell(cli("list --quiet " + test::image_path("demo") + " --partition 1"));
    ASSERT_EQ(r.status, 0);
    std::vector<std::string> paths;
    std::istringstream lines(r.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "kind\tdeleted\tsize\tcreated\tmodified\tid\trecoverable\tpath");
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
    // recoverable, before the path: a number for deleted files only. The resident /Café.txt
    // lies in its record, whole.
    const auto recoverable = [&](const std::string& p) {
        const std::string& row = rowOf[p];
        const size_t end = row.rfind('\t');
        return row.substr(row.rfind('\t', end - 1) + 1, end - row.rfind('\t', end - 1) - 1);
    };
    EXPECT_EQ(recoverable("/Café.txt"), "100");
    for (const auto& [p, row] : rowOf) {
        const bool deletedFile = row.starts_with("file\t1\t");
        const std::string value = recoverable(p);
        EXPECT_EQ(value.empty(), !deletedFile) << p;
        if (!value.empty()) {
            EXPECT_LE(std::stoul(value), 100u) << p;
        }
    }

    const CommandOutput deleted =
        shell(cli("list --quiet --deleted " + test::image_path("demo") + " --partition 1"));
    EXPECT_EQ(std::count(deleted.out.begin(), deleted.out.end(), '\n'), 1 + 9);
}

TEST(EndToEnd, ListRefusesWhatItCannotScan) {
    const std::string demo = test::image_path("demo");
    EXPECT_EQ(shell(cli("list " + demo + " 2>/dev/null")).status, 2);
    EXPECT_EQ(shell(cli("list " + demo + " --partition x 2>/dev/null")).status, 2);
    const CommandOutput fat = shell(cli("list " + demo + " --partition 2 2>&1"));
    EXPECT_EQ(fat.status, 1);
    EXPECT_EQ(fat.out, "salvex-cli list: This is FAT partition. If earlier it was NTFS partition "
                       "and you want to recover it, use Advance Scan OR download the Salvex for "
                       "FAT.\n");
    const CommandOutput none = shell(cli("list " + demo + " --partition 9 2>&1"));
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "salvex-cli list: There is no partition 9; the drive has 3. See salvex-cli "
                        "partitions.\n");
}

TEST(EndToEnd, FindPrintsMatchesWithTheirFolders) {
    const CommandOutput r =
        shell(cli("find --quiet " + test::image_path("demo") + " --partition 1 '*.JPG'"));
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "name\tpath\tsize\n"
                     "beach.jpg\t/Pictures/2024\t60000\n"
                     "sunset.jpg\t/Pictures/2024\t40000\n"
                     "scan1.jpg\t/Pictures/Old\t20000\n"
                     "scan2.jpg\t/Pictures/Old\t15000\n");
}

TEST(EndToEnd, RecoverWritesTheChosenItemsUnderThePolicies) {
    const std::string target = test::empty_temp_folder("recovered");
    const std::string demo = test::image_path("demo");
    const CommandOutput r = shell(cli("recover --quiet " + demo + " --partition 1 --to " + target +
                                      " /Documents/Reports /Café.txt --deleted only"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Recovered 3 file(s) to " + target + "; 0 failed.\n");
    EXPECT_EQ(test::sha256_of_file(target + "/Café.txt"),
              "5a71a8fea09180fc22697804f508b8c5674c7d8f48f96a2a9086679a3d0088f3");
    EXPECT_TRUE(std::filesystem::exists(target + "/Reports/q1-draft.txt"));
    EXPECT_FALSE(std::filesystem::exists(target + "/Reports/week-01.txt"));

    // Again: the names exist now, so the copies are renamed.
    const CommandOutput again =
        shell(cli("recover --quiet " + demo + " --partition 1 --to " + target + " /Café.txt"));
    EXPECT_EQ(again.status, 0);
    EXPECT_TRUE(std::filesystem::exists(target + "/Copy (1 ) of Café.txt"));
}

TEST(EndToEnd, RecoverStopsAtACreationErrorUnlessToldToGoOn) {
    const std::string target = test::temp_path("blocked");
    std::filesystem::remove_all(target);
    std::filesystem::create_directories(target + "/readme.txt"); // a folder in the file's place
    const std::string demo = test::image_path("demo");
    const std::string args = demo + " --partition 1 --to " + target +
                             " /readme.txt /Logs/boot.log --duplicates overwrite";
    const CommandOutput stopped = shell(cli("recover --quiet " + args + " 2>/dev/null"));
    EXPECT_EQ(stopped.status, 1);
    EXPECT_EQ(stopped.out, "Recovered 0 file(s) to " + target + "; 1 failed.\n");
    const CommandOutput goneOn = shell(cli("recover --quiet --yes " + args + " 2>/dev/null"));
    EXPECT_EQ(goneOn.out, "Recovered 1 file(s) to " + target + "; 1 failed.\n");
}

TEST(EndToEnd, RecoverNamesTheFilesItCouldOnlyWritePartly) {
    // One size field of 2^64 - 1, and a sparse run of 2^50 clusters put into a run list.
    const std::string target = test::empty_temp_folder("recovered");
    const std::string errors = test::temp_path("stderr");
    const CommandOutput r = shell(
        cli("recover --quiet " + test::image_path("damaged_sizes") + " --partition 1 --to " +
            target + " /Data/huge-size.bin /Data/intact.bin /Data/sparse-run.bin 2>" + errors));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Recovered 3 file(s) to " + target + "; 0 failed.\n");
    EXPECT_EQ(file_bytes(errors),
              "salvex-cli recover: 2 file(s) are damaged and were written only as far as their "
              "volume goes: " +
                  target + "/huge-size.bin (its size field exceeds what its volume can hold), " +
                  target + "/sparse-run.bin (its runs reach past the volume).\n");
    EXPECT_EQ(test::sha256_of_file(target + "/intact.bin"),
              "790f3238a9fa7c4333e7239cc9b97b7af9fce01b17c6c4fc359b42475aa43018");
}

TEST(EndToEnd, RecoverRefusesBadOptions) {
    const std::string recover = "recover " + test::image_path("demo") + " --partition 1";
    const std::string to = " --to " + ::testing::TempDir();
    for (const auto& [args, status] :
         std::vector<std::pair<std::string, int>>{{to + " --filter 12345678901234567890", 2},
                                                  {to + " --retries 11", 2},
                                                  {to + " --deleted some", 2},
                                                  {"", 2}, // no --to
                                                  {to + " /No/Such", 1}})
        EXPECT_EQ(shell(cli(recover + args + " 2>/dev/null")).status, status) << args;
}

TEST(EndToEnd, LostPartitionsAreSearchedForWhenTheTableIsGone) {
    const std::string expected = "number\ttype\tstart\tsize\n"
                                 "1\tNTFS\t63\t16001\n"
                                 "2\tFAT32\t32768\t69615\n"
                                 "3\tNTFS\t112518\t18553\n";
    const std::string lost = test::image_path("lost_mbr_zeroed");
    EXPECT_EQ(shell(cli("search " + lost)).out, expected);
    const CommandOutput walked = shell(cli("partitions " + lost + " 2>/dev/null"));
    EXPECT_EQ(walked.status, 0);
    EXPECT_EQ(walked.out, expected);
    // The demo disk's fourth volume has no entry: only the search finds it.
    EXPECT_NE(shell(cli("search " + test::image_path("demo"))).out.find("4\tNTFS\t233472\t"),
              std::string::npos);
}

TEST(EndToEnd, SweepFindsEveryVolumeAndItsCandidatesAreListed) {
    const std::string demo = test::image_path("demo");
    const CommandOutput swept = shell(cli("sweep --quiet " + demo + " --start 0 --end 262143"));
    ASSERT_EQ(swept.status, 0);
    EXPECT_EQ(swept.out,
              "candidate\tstart\tsectors_per_cluster\tmft_start\tmft_mirror_start\tend\tlabel\n"
              "1\t2048\t8\t2080\t51192\t100351\tNTFS @2048\n"
              "2\t184320\t8\t184352\t208888\t233471\tNTFS @184320\n"
              "3\t233472\t8\t233504\t247800\t262143\tNTFS @233472\n");
    const CommandOutput lost =
        shell(cli("list --quiet " + demo + " --range 0 262143 --candidate 3"));
    EXPECT_NE(lost.out.find("\t/Holiday/beach.jpg\n"), std::string::npos);
    EXPECT_NE(lost.out.find("file\t1\t10392\t"), std::string::npos); // Taxes/old.csv, deleted
    EXPECT_EQ(shell(cli("sweep " + demo + " --start 9 --end 9 2>/dev/null")).status, 2);
}

TEST(EndToEnd, RangesPastTheDrivesEndAreRefused) {
    // The demo disk has 262144 sectors: the last is 262143, and an end of 262144 sweeps to it.
    const std::string demo = test::image_path("demo");
    const CommandOutput sweep =
        shell(cli("sweep --quiet " + demo + " --start 0 --end 999999 2>&1"));
    EXPECT_EQ(sweep.status, 2);
    EXPECT_EQ(sweep.out, "salvex-cli sweep: The end sector 999999 lies past the drive's last "
                         "sector, 262143.\n");
    const std::string target = test::temp_path("target");
    std::filesystem::create_directories(target);
    for (const std::string& command : {std::string("list"), "recover --to " + target}) {
        const CommandOutput r =
            shell(cli(command + " --quiet " + demo + " --range 262000 262145 --candidate 1 2>&1"));
        EXPECT_EQ(r.status, 2) << command;
        EXPECT_EQ(r.out,
                  "salvex-cli " + command.substr(0, command.find(' ')) +
                      ": The end sector 262145 lies past the drive's last sector, 262143.\n");
    }
    EXPECT_TRUE(std::filesystem::is_empty(target));
    // The older checks keep the wizard's sentences, and blanks around a number are allowed.
    EXPECT_EQ(
        shell(cli("sweep --quiet " + demo + " --start x --end 10 2>&1")).out,
        "salvex-cli sweep: Start sector value is not valid, It should be a positive number.\n");
    EXPECT_EQ(shell(cli("sweep --quiet " + demo + " --start 10 --end 10 2>&1")).out,
              "salvex-cli sweep: End sector should be bigger than start sector.\n");
    const CommandOutput whole =
        shell(cli("sweep --quiet " + demo + " --start ' 233472' --end 262144"));
    EXPECT_EQ(whole.status, 0);
    EXPECT_NE(whole.out.find("\tNTFS @233472\n"), std::string::npos);
}

TEST(EndToEnd, GptNtfsPartitionWithoutItsBootSectorIsScannedFromItsBackup) {
    // gpt_basic with the NTFS partition's first sector zeroed lists and scans as the intact disk.
    const std::string damaged = test::damaged_copy("gpt_basic", {2048});
    const std::string intact = test::image_path("gpt_basic");
    const CommandOutput partitions = shell(cli("partitions " + damaged));
    EXPECT_EQ(partitions.status, 0);
    EXPECT_EQ(partitions.out, shell(cli("partitions " + intact)).out);
    const CommandOutput listed = shell(cli("list --quiet " + damaged + " --partition 1"));
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(listed.out.find('\n'), listed.out.size() - 1); // more than the heading
    EXPECT_EQ(listed.out, shell(cli("list --quiet " + intact + " --partition 1")).out);

    // gpt_no_boot, damaged by its builder the same way: every file comes back byte for byte.
    const std::string target = test::empty_temp_folder("no-boot");
    const CommandOutput recovered = shell(cli("recover --quiet " + test::image_path("gpt_no_boot") +
                                              " --partition 1 --to " + target));
    EXPECT_EQ(recovered.status, 0);
    size_t files = 0;
    for (const auto& e : test::read_manifest(test::source_data_path("gpt_no_boot.manifest.tsv"))) {
        if (e.folder)
            continue;
        EXPECT_EQ(test::sha256_of_file(target + e.path), e.sha256) << e.path;
        ++files;
    }
    EXPECT_EQ(files, 5u);
}

TEST(EndToEnd, SnapshotsListAndRecoverAsTheScanDid) {
    const std::string demo = test::image_path("demo");
    const std::string file = test::temp_path("scan");
    const std::string saved = snapshot_path(file); // the file name upper-cased, ".QRSX" added
    EXPECT_EQ(saved.substr(saved.size() - 10), "-SCAN.QRSX");
    for (const std::string volume : {"--partition 1", "--range 0 262143 --candidate 3"}) {
        std::filesystem::remove(saved);
        const CommandOutput scanned =
            shell(cli("list --quiet " + demo + " " + volume + " --save-snapshot " + file));
        ASSERT_EQ(scanned.status, 0) << volume;
        ASSERT_TRUE(std::filesystem::exists(saved)) << volume;
        const CommandOutput loaded = shell(cli("list --quiet " + demo + " --snapshot " + saved));
        EXPECT_EQ(loaded.out, scanned.out) << volume;
    }
    const std::string target = test::empty_temp_folder("from-snapshot");
    shell(cli("recover --quiet " + demo + " --snapshot " + saved + " --to " + target));
    EXPECT_EQ(test::sha256_of_file(target + "/letter.txt"),
              test::read_manifest(test::source_data_path("demo_lost.manifest.tsv")).back().sha256);
    std::ofstream(file + ".bad") << "QRS4.03"
                                 << "1.1";
    const CommandOutput refused = shell(cli("list " + demo + " --snapshot " + file + ".bad 2>&1"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("version of file does not match with current version 1.0"),
              std::string::npos);
}

TEST(EndToEnd, CommandsLeaveTheExaminedImageUnchanged) {
    const std::string image = test::image_path("demo");
    const std::string before = file_bytes(image);
    ASSERT_FALSE(before.empty());
    for (const std::string& args :
         {"partitions " + image, "drives " + image, "list --quiet " + image + " --partition 3",
          "find --quiet " + image + " --partition 3 txt", "search " + image,
          "sweep --quiet " + image + " --start 184000 --end 190000",
          "recover --quiet " + image + " --partition 3 --to " + test::temp_path("out")}) {
        std::filesystem::create_directories(test::temp_path("out"));
        const CommandOutput r = shell(cli(args) + " >/dev/null");
        EXPECT_EQ(r.status, 0) << args;
    }
    EXPECT_TRUE(file_bytes(image) == before);
}

TEST(EndToEnd, LoopDeviceOfTheDemoImageListsTheSame) {
    if (geteuid() != 0)
        GTEST_SKIP() << "attaching a loop device needs root";
    const std::string image = test::image_path("demo");
    const CommandOutput attach = shell("losetup -r -f --show " + image + " 2>/dev/null");
    if (attach.status != 0 || attach.out.empty())
        GTEST_SKIP() << "no loop device could be attached here";
    const std::string device = attach.out.substr(0, attach.out.find('\n'));
    const CommandOutput listed = shell(cli("partitions " + device));
    const CommandOutput drives = shell(cli("drives"));
    shell("losetup -d " + device);
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out, kDemoPartitions);
    // The attached loop device is a drive of this machine, with its backing file named.
    EXPECT_NE(drives.out.find("Loop device on " + image + "\t16\t255\t63\t262144\t512\t" + device),
              std::string::npos)
        << drives.out;
}

// The row of `name` in `drives` output, from its name on.
std::string drive_row(const std::string& drives, const std::string& name) {
    const size_t at = drives.find("\t" + name + "\t");
    return at == std::string::npos ? "" : drives.substr(at + 1, drives.find('\n', at) - at - 1);
}

TEST(EndToEnd, FourKnImageCountsItsOwnSectorsEverywhere) {
    // The 4Kn GPT disk: 12,288 logical sectors, its NTFS partition at logical sector 256.
    const std::string image = test::image_path("ntfs_4kn_gpt");
    const CommandOutput drives = shell(cli("drives " + image));
    EXPECT_EQ(drive_row(drives.out, "ntfs_4kn_gpt.img"),
              "ntfs_4kn_gpt.img\t6\t255\t63\t12288\t4096\t" + image);
    EXPECT_EQ(shell(cli("partitions " + image)).out, "number\ttype\tstart\tsize\n"
                                                     "1\tNTFS\t256\t11776\n");
    EXPECT_EQ(shell(cli("partitions " + test::image_path("ntfs_4kn_mbr"))).out,
              "number\ttype\tstart\tsize\n"
              "1\tNTFS\t256\t5632\n");

    // The sweep takes and prints the drive's sectors: the volume's backup boot sector lies in
    // logical sector 256 + 11,775.
    const CommandOutput swept = shell(cli("sweep --quiet " + image + " --start 0 --end 12288"));
    EXPECT_EQ(swept.status, 0);
    EXPECT_NE(swept.out.find("\t256\t1\t260\t6143\t12031\tNTFS @256\n"), std::string::npos)
        << swept.out;
    // An end past the drive's 12,288 logical sectors is refused.
    EXPECT_EQ(shell(cli("sweep --quiet " + image + " --start 0 --end 12289 2>/dev/null")).status,
              2);

    // The same files through the partition and through the candidate of a range.
    const std::string snapshot = test::temp_path("4kn");
    const CommandOutput byPartition =
        shell(cli("list --quiet " + image + " --partition 1 --save-snapshot " + snapshot));
    EXPECT_EQ(byPartition.status, 0);
    EXPECT_NE(byPartition.out.find("/Data/fragmented.bin"), std::string::npos);
    // A file's id counts the drive's sectors too: the 4,096-byte sector at id holds the file's
    // record, its name in it.
    const size_t row = byPartition.out.rfind('\n', byPartition.out.find("/Data/fragmented.bin"));
    std::istringstream cells(byPartition.out.substr(row + 1));
    std::string cell;
    for (int column = 0; column < 6; ++column)
        std::getline(cells, cell, '\t');
    std::ifstream disk(image, std::ios::binary);
    std::string record(4096, '\0');
    disk.seekg(static_cast<std::streamoff>(std::stoull(cell) * 4096));
    ASSERT_TRUE(disk.read(record.data(), 4096)) << cell;
    EXPECT_TRUE(record.starts_with("FILE")) << cell;
    const std::string name = "fragmented.bin";
    std::string utf16;
    for (const char c : name)
        utf16 += std::string{c, '\0'};
    EXPECT_NE(record.find(utf16), std::string::npos) << cell;
    // A snapshot of the volume loads on the drive it was made of (its records checked at their
    // 4,096 bytes) and lists the same.
    const CommandOutput bySnapshot =
        shell(cli("list --quiet " + image + " --snapshot " + snapshot_path(snapshot)));
    EXPECT_EQ(bySnapshot.status, 0);
    EXPECT_EQ(bySnapshot.out, byPartition.out);
    const CommandOutput byRange =
        shell(cli("list --quiet " + image + " --range 256 12032 --candidate 1"));
    EXPECT_EQ(byRange.status, 0);
    for (const char* path :
         {"/Data/fragmented.bin", "/日本語フォルダ/報告書.txt", "/Trash/Gelöscht/álbum.jpg"})
        EXPECT_NE(byRange.out.find(path), std::string::npos) << path << "\n" << byRange.out;
}

TEST(EndToEnd, FourKnLoopDeviceReportsItsSectorSize) {
    if (geteuid() != 0)
        GTEST_SKIP() << "attaching a loop device needs root";
    const std::string image = test::image_path("ntfs_4kn_gpt");
    const CommandOutput attach =
        shell("losetup -r -f --show --sector-size 4096 " + image + " 2>/dev/null");
    if (attach.status != 0 || attach.out.empty())
        GTEST_SKIP() << "no 4Kn loop device could be attached here";
    const std::string device = attach.out.substr(0, attach.out.find('\n'));
    const CommandOutput listed = shell(cli("partitions " + device));
    const CommandOutput drives = shell(cli("drives"));
    const CommandOutput files = shell(cli("list --quiet " + device + " --partition 1"));
    shell("losetup -d " + device);
    EXPECT_EQ(listed.out, "number\ttype\tstart\tsize\n1\tNTFS\t256\t11776\n");
    EXPECT_NE(drives.out.find("\t12288\t4096\t" + device), std::string::npos) << drives.out;
    // Reads at 512-byte offsets inside 4,096-byte sectors work on the device itself.
    EXPECT_NE(files.out.find("/Documents/Projects/2026/Q4/plan.txt"), std::string::npos);
}

TEST(EndToEnd, AVolumeWhoseMftCannotBeMappedFailsAndPointsToTheAdvanceScan) {
    // $MFT's record 0 is zeroed in the $MFT and in its mirror.
    const CommandOutput r = shell(
        cli("list --quiet " + test::image_path("damaged_mft_and_mirror") + " --partition 1 2>&1"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Sdvance scan"), std::string::npos) << r.out;
}

TEST(EndToEnd, RecoverReportsEveryFileAndMakesAMissingTarget) {
    const std::string base = test::temp_path("made");
    std::filesystem::remove_all(base);
    const std::string target = base + "/deep/target";
    const std::string report = test::temp_path("report.tsv");
    const CommandOutput r = shell(cli("recover --quiet " + test::image_path("demo") +
                                      " --partition 1 --deleted exclude --to " + target +
                                      " --report " + report + " 2>/dev/null"));
    EXPECT_EQ(r.status, 0);
    const auto lines = read_report(report);
    const auto manifest = manifest_hashes("demo");
    size_t written = 0;
    for (const auto& [path, line] : lines) {
        if (line.status == "written") {
            ++written;
            if (path.starts_with("/$"))
                continue; // the volume's own files are not in the manifest
            ASSERT_TRUE(manifest.count(path)) << path;
            EXPECT_EQ(line.sha256, manifest.at(path)) << path;
            EXPECT_EQ(test::sha256_of_file(target + path), line.sha256) << path;
            EXPECT_EQ(line.unreadable, 0u);
            EXPECT_EQ(line.recoverable, "") << path; // live: nothing to judge
        } else {
            EXPECT_TRUE(line.status == "filtered" || line.status == "empty") << path;
            EXPECT_FALSE(std::filesystem::exists(target + path)) << path;
        }
    }
    EXPECT_EQ(lines.at("/Café.txt").status, "filtered"); // deleted, and deleted are excluded
    EXPECT_EQ(lines.at("/Café.txt").recoverable, "100"); // resident data
    EXPECT_EQ(written, files_under(target).size());
    EXPECT_EQ(r.out,
              "Recovered " + std::to_string(written) + " file(s) to " + target + "; 0 failed.\n");
}

// The range is named in the drive's own sectors: on the 4Kn disk, sectors 1 to 100 are 512-byte
// sectors 8 to 800.
TEST(EndToEnd, SweepOfARangeWithoutAVolumeSaysSoInTheDrivesOwnSectorsAndFails) {
    for (const auto& [image, end] : std::vector<std::pair<std::string, std::string>>{
             {"demo", "2000"}, {"ntfs_4kn_gpt", "100"}}) {
        const CommandOutput r = shell(
            cli("sweep --quiet " + test::image_path(image) + " --start 1 --end " + end + " 2>&1"));
        EXPECT_EQ(r.status, 1) << image;
        EXPECT_EQ(r.out, "salvex-cli sweep: no NTFS volume was found between sectors 1 and " + end +
                             ".\n");
    }
}

// SIGINT in the middle of a recovery of two thousand files: the file being written is removed,
// every file left is whole, and the report says what came back.
TEST(EndToEnd, AnInterruptedRecoveryLeavesOnlyWholeFilesAndItsReport) {
    const std::string target = test::temp_path("interrupted");
    const std::string report = test::temp_path("report.tsv");
    const std::string errors = test::temp_path("stderr");
    std::filesystem::remove_all(target);
    std::filesystem::remove(report);
    const std::string image = test::image_path("ntfs_attribute_list");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(err, STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        const std::string cliPath = test::cli_path();
        ::execl(cliPath.c_str(), cliPath.c_str(), "recover", "--quiet", image.c_str(),
                "--partition", "1", "--to", target.c_str(), "--report", report.c_str(), nullptr);
        ::_exit(127);
    }
    // Signalled as soon as the first files are there.
    int status = 0;
    bool ended = false;
    while (!ended) {
        std::error_code error;
        if (std::filesystem::exists(target, error) && files_under(target).size() >= 10)
            break;
        ended = waitpid(child, &status, WNOHANG) == child;
        usleep(500);
    }
    ASSERT_FALSE(ended) << "the recovery ended before it could be interrupted";
    ::kill(child, SIGINT);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);

    const auto lines = read_report(report);
    const auto manifest = manifest_hashes("ntfs_attribute_list");
    const auto present = files_under(target);
    size_t written = 0;
    for (const auto& [path, line] : lines)
        written += line.status == "written";
    EXPECT_EQ(written, present.size());
    EXPECT_LT(written, manifest.size()); // stopped before the end
    for (const std::string& path : present) {
        const auto it = lines.find(path);
        ASSERT_NE(it, lines.end()) << path << " is not in the report";
        EXPECT_EQ(it->second.status, "written") << path;
        EXPECT_EQ(test::sha256_of_file(target + path), it->second.sha256) << path;
        if (!path.starts_with("/$")) {
            ASSERT_TRUE(manifest.count(path)) << path;
            EXPECT_EQ(it->second.sha256, manifest.at(path)) << path;
        }
    }
    EXPECT_NE(file_bytes(errors).find("salvex-cli recover: stopped by a signal"), std::string::npos)
        << file_bytes(errors);
}

} // namespace
} // namespace salvex
