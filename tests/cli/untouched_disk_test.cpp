// What salvex-cli writes (recovered files, the report, snapshots) never lands on the disk it
// examines, never replaces it, and is never left half-written for a whole file; an outcome is
// never reported better than it is. The examined image's SHA-256 is checked in every test.
#include "snapshot/snapshot_writer.h"
#include "tests/support/file_bytes.h"
#include "tests/support/report_file.h"
#include "tests/support/sha256.h"
#include "tests/support/shell.h"
#include "tests/support/test_images.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace salvex {
namespace {

namespace fs = std::filesystem;
using test::cli;
using test::CommandOutput;
using test::file_bytes;
using test::shell;
using test::Undo;

// A copy of the demo disk that a test may examine as its own, with its hash now.
struct ExaminedCopy {
    std::string path;
    std::string sha256;
};

ExaminedCopy demo_copy(const std::string& stem = "disk.img") {
    const std::string path = test::temp_path(stem);
    fs::copy_file(test::image_path("demo"), path, fs::copy_options::overwrite_existing);
    return {path, test::sha256_of_file(path)};
}

CommandOutput run_cli(const std::string& args) {
    return shell(cli(args) + " 2>&1");
}

TEST(UntouchedDisk, NoFileTheRunWritesMayBeTheExaminedDiskOrADevice) {
    const ExaminedCopy disk = demo_copy();
    const std::string link = test::temp_path("link.img");
    fs::create_hard_link(disk.path, link);
    const std::string pipe = test::temp_path("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string target = test::temp_path("out");
    for (const std::string& report : {disk.path, link, std::string("/dev/null"), pipe}) {
        fs::remove_all(target);
        const CommandOutput r = run_cli("recover --quiet " + disk.path + " --partition 1 --to " +
                                        target + " --report " + report);
        EXPECT_EQ(r.status, 1) << report << ": " << r.out;
        EXPECT_NE(r.out.find("salvex-cli recover: the report cannot be written: " + report),
                  std::string::npos)
            << r.out;
        // Refused before anything was made or scanned.
        EXPECT_FALSE(fs::exists(target)) << report;
        EXPECT_EQ(r.out.find("Recovered"), std::string::npos) << r.out;
    }
    // A snapshot is never saved over the disk or a pipe either (the name it is saved under is
    // the chosen one, upper-cased, with ".QRSX").
    const std::string linkAsSaved = snapshot_path(test::temp_path("link"));
    fs::create_hard_link(disk.path, linkAsSaved);
    const std::string pipeAsSaved = snapshot_path(test::temp_path("pipe"));
    ASSERT_EQ(::mkfifo(pipeAsSaved.c_str(), 0600), 0);
    for (const std::string& stem : {"link", "pipe"}) {
        const CommandOutput r = run_cli("list --quiet " + disk.path +
                                        " --partition 1 --save-snapshot " + test::temp_path(stem));
        EXPECT_EQ(r.status, 1) << stem << ": " << r.out;
        EXPECT_EQ(r.out.find("kind\t"), std::string::npos) << r.out; // refused before the scan
    }
    // A drive that cannot be read leaves no target folder behind either.
    fs::remove_all(target);
    EXPECT_EQ(run_cli("recover --quiet " + test::temp_path("missing.img") + " --partition 1 --to " +
                      target)
                  .status,
              1);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(fs::is_fifo(pipeAsSaved));
    EXPECT_EQ(test::sha256_of_file(linkAsSaved), disk.sha256);
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_EQ(test::sha256_of_file(disk.path), disk.sha256);
    EXPECT_EQ(test::sha256_of_file(link), disk.sha256);
}

TEST(UntouchedDisk, ARecoveredFileNamedAsTheExaminedImageTakesAnotherName) {
    const ExaminedCopy disk = demo_copy();
    const std::string target = test::empty_temp_folder("out");
    // The image lies in the target under the name of the file being recovered.
    fs::create_hard_link(disk.path, target + "/readme.txt");
    const CommandOutput r =
        run_cli("recover --quiet " + target + "/readme.txt --partition 1 --to " + target +
                " /readme.txt --duplicates overwrite");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(test::sha256_of_file(target + "/readme.txt"), disk.sha256);
    EXPECT_EQ(fs::file_size(target + "/Copy (1 ) of readme.txt"), 420u);
}

// A copy of the demo disk whose second partition (sectors 100352 to 182271) holds an ext2 file
// system, mounted through a loop device over that part of the image; and a loop device over the
// whole copy. A folder in the mount lies on the examined disk. Skips without root or loop
// devices.
class MountedCopy : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0)
            GTEST_SKIP() << "attaching and mounting a loop device needs root";
        image_ = test::temp_path("disk.img");
        fs::copy_file(test::image_path("demo"), image_, fs::copy_options::overwrite_existing);
        const std::string partition = attach("-o " + std::to_string(100352 * 512) +
                                             " --sizelimit " + std::to_string(81920 * 512));
        device_ = attach("");
        if (partition.empty() || device_.empty())
            GTEST_SKIP() << "no loop device could be attached here";
        mount_ = test::empty_temp_folder("mnt");
        if (shell("mkfs.ext2 -q " + partition + " >/dev/null 2>&1").status != 0 ||
            shell("mount " + partition + " " + mount_ + " 2>/dev/null").status != 0)
            GTEST_SKIP() << "no ext2 file system could be made and mounted on " << partition;
        unmount_ = std::make_unique<Undo>("umount " + mount_);
        sha256_ = outside_the_mount();
    }
    // The hash of the image but the mounted part, whose superblock the mount itself updates.
    std::string outside_the_mount() const {
        std::string bytes = file_bytes(image_);
        bytes.erase(size_t{100352} * 512, size_t{81920} * 512);
        return test::sha256_hex(
            ByteView(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    }
    // A loop device over the copy, with `options`; "" when none could be attached.
    std::string attach(const std::string& options) {
        const CommandOutput r =
            shell("losetup " + options + " -f --show " + image_ + " 2>/dev/null");
        if (r.status != 0 || r.out.empty())
            return {};
        const std::string device = r.out.substr(0, r.out.find('\n'));
        detach_.push_back(std::make_unique<Undo>("losetup -d " + device));
        return device;
    }
    void TearDown() override {
        unmount_.reset();
        detach_.clear();
    }

    std::string image_;
    std::string device_;
    std::string mount_;
    std::string sha256_;
    std::vector<std::unique_ptr<Undo>> detach_;
    std::unique_ptr<Undo> unmount_;
};

TEST_F(MountedCopy, RecoveringIntoAMountOfTheExaminedDiskIsRefusedBeforeAnythingIsMade) {
    // The image file, and the loop device in front of it, are the same examined disk.
    for (const std::string& drive : {image_, device_}) {
        const std::string target = mount_ + "/out";
        const CommandOutput r =
            run_cli("recover --quiet " + drive + " --partition 1 --to " + target);
        EXPECT_EQ(r.status, 1) << drive << ": " << r.out;
        EXPECT_NE(r.out.find(target + " lies on the drive being examined; nothing was written."),
                  std::string::npos)
            << r.out;
        EXPECT_FALSE(fs::exists(target)) << drive;
        // The report goes nowhere near it either.
        const CommandOutput report =
            run_cli("recover --quiet " + drive + " --partition 1 --to " + test::temp_path("out") +
                    " --report " + mount_ + "/r.tsv");
        EXPECT_EQ(report.status, 1) << report.out;
        EXPECT_FALSE(fs::exists(mount_ + "/r.tsv"));
    }
    // Nor is the backing image written through the loop device's name.
    const CommandOutput r = run_cli("recover --quiet " + device_ + " --partition 1 --to " +
                                    test::temp_path("out2") + " --report " + image_);
    EXPECT_EQ(r.status, 1) << r.out;
    // The mounted file system holds only what mkfs made.
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(mount_))
        entries.push_back(entry.path().filename().string());
    EXPECT_EQ(entries, std::vector<std::string>{"lost+found"});
    unmount_.reset();
    EXPECT_EQ(outside_the_mount(), sha256_);
}

// A folder in which nothing can be made: a read-only mount as root, a 0555 folder otherwise.
std::string unwritable_folder(std::unique_ptr<Undo>& undo) {
    const std::string folder = test::empty_temp_folder("readonly");
    if (geteuid() == 0) {
        if (shell("mount -t tmpfs -o ro,size=1m tmpfs " + folder + " 2>/dev/null").status != 0)
            return {};
        undo = std::make_unique<Undo>("umount " + folder);
    } else {
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec |
                                    fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    }
    return folder;
}

TEST(UntouchedDisk, ATargetWhereNothingCanBeMadeFailsTheRunWithTheSystemsReason) {
    const ExaminedCopy disk = demo_copy();
    std::unique_ptr<Undo> undo;
    const std::string target = unwritable_folder(undo);
    if (target.empty())
        GTEST_SKIP() << "no read-only file system could be mounted here";
    const std::string report = test::temp_path("report.tsv");
    const CommandOutput r =
        shell(cli("recover --quiet " + disk.path + " --partition 1 --to " + target + " --report " +
                  report + " 2>" + test::temp_path("stderr")));
    const std::string errors = file_bytes(test::temp_path("stderr"));
    EXPECT_EQ(r.status, 1) << r.out << errors;
    EXPECT_EQ(r.out.find("0 failed"), std::string::npos) << r.out;
    const std::string reason = geteuid() == 0 ? "Read-only file system" : "Permission denied";
    EXPECT_NE(errors.find(reason), std::string::npos) << errors;
    size_t failed = 0;
    for (const auto& [path, line] : test::read_report(report))
        failed += line.status == "failed";
    EXPECT_GT(failed, 0u);
    EXPECT_TRUE(fs::is_empty(target));
    EXPECT_EQ(test::sha256_of_file(disk.path), disk.sha256);
}

TEST(UntouchedDisk, AFileCutByAKilledRunIsNeverTakenForAWholeOne) {
    const ExaminedCopy disk = demo_copy();
    const std::string target = test::empty_temp_folder("out");
    // The file-size limit kills the program with SIGXFSZ in the middle of the 1,000,000-byte
    // log, as kill -9 would: nothing of its own runs after it.
    const CommandOutput killed =
        shell("ulimit -f 100; exec " +
              cli("recover --quiet " + disk.path + " --partition 1 /Logs --to " + target) +
              " >/dev/null 2>&1");
    EXPECT_NE(killed.status, 0);
    EXPECT_FALSE(fs::exists(target + "/Logs/system.log"));
    size_t leftovers = 0;
    for (const auto& entry : fs::directory_iterator(target + "/Logs"))
        leftovers += entry.path().filename().string().starts_with(".~salvex-");
    EXPECT_EQ(leftovers, 1u);

    // A run that skips existing names writes the file whole, and removes what was left.
    const std::string report = test::temp_path("report.tsv");
    const CommandOutput again =
        shell(cli("recover --quiet " + disk.path + " --partition 1 /Logs --to " + target +
                  " --duplicates skip --report " + report));
    EXPECT_EQ(again.status, 0) << again.out;
    const auto hashes = test::manifest_hashes("demo");
    EXPECT_EQ(test::sha256_of_file(target + "/Logs/system.log"), hashes.at("/Logs/system.log"));
    EXPECT_EQ(test::read_report(report).at("/Logs/system.log").status, "written");
    EXPECT_EQ(test::files_under(target).size(), 2u); // system.log and boot.log, nothing else
    EXPECT_EQ(test::sha256_of_file(disk.path), disk.sha256);
}

TEST(UntouchedDisk, AReportThatCannotBeWrittenWholeLeavesTheEarlierOne) {
    const ExaminedCopy disk = demo_copy();
    const std::string target = test::empty_temp_folder("out");
    const std::string report = test::temp_path("report.tsv");
    std::ofstream(report) << "an earlier report\n";
    // Only the 30-byte playlist is written; the report lists every file of the volume and is
    // larger than the 2,048 bytes the limit lets a file hold.
    const std::string errors = test::temp_path("stderr");
    const CommandOutput r = shell("trap '' XFSZ; ulimit -f 4; exec " +
                                  cli("recover --quiet " + disk.path + " --partition 1 --to " +
                                      target + " --filter '*.m3u' --report " + report) +
                                  " 2>" + errors);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Recovered 1 file(s)"), std::string::npos) << r.out;
    EXPECT_NE(
        file_bytes(errors).find("the report " + report + " could not be written: File too large"),
        std::string::npos)
        << file_bytes(errors);
    EXPECT_EQ(file_bytes(report), "an earlier report\n");
    for (const auto& entry : fs::directory_iterator(fs::path(report).parent_path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with("UntouchedDisk.AReportThat") &&
                     entry.path().string().find(".~") != std::string::npos)
            << entry.path();
    EXPECT_EQ(test::sha256_of_file(disk.path), disk.sha256);
}

mode_t mode_of(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(UntouchedDisk, WhatWasRecoveredIsReadableByItsOwnerAlone) {
    const ExaminedCopy disk = demo_copy();
    const std::string target = test::temp_path("new/out");
    fs::remove_all(test::temp_path("new"));
    const std::string report = test::temp_path("report.tsv");
    const std::string snapshot = test::temp_path("scan");
    const std::string snapshotAsSaved = snapshot_path(snapshot);
    const CommandOutput r = shell(
        "umask 022; " + cli("recover --quiet " + disk.path + " --partition 1 --to " + target +
                            " /Documents --report " + report + " --save-snapshot " + snapshot));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(mode_of(test::temp_path("new")), 0700u);
    EXPECT_EQ(mode_of(target), 0700u);
    EXPECT_EQ(mode_of(target + "/Documents/Reports"), 0700u);
    EXPECT_EQ(mode_of(target + "/Documents/notes.txt"), 0600u);
    EXPECT_EQ(mode_of(report), 0600u);
    EXPECT_EQ(mode_of(snapshotAsSaved), 0600u);
    EXPECT_EQ(test::sha256_of_file(disk.path), disk.sha256);
}

TEST(UntouchedDisk, ASignalDuringTheScanLeavesTheReportOfWhatWasDone) {
    // The demo disk followed by 64 GiB of holes: the sweep of the whole drive runs long enough
    // to be interrupted, and costs no disk space.
    const ExaminedCopy disk = demo_copy();
    fs::resize_file(disk.path, fs::file_size(disk.path) + (uint64_t{64} << 30));
    const uint64_t sectors = fs::file_size(disk.path) / 512;
    const auto written = fs::last_write_time(disk.path);
    const std::string report = test::temp_path("report.tsv");
    const std::string errors = test::temp_path("stderr");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string line =
            cli("recover --quiet " + disk.path + " --range 0 " + std::to_string(sectors - 1) +
                " --candidate 1 --to " + test::temp_path("out") + " --report " + report) +
            " 2>" + errors + " >/dev/null";
        ::execl("/bin/sh", "sh", "-c", ("exec " + line).c_str(), nullptr);
        ::_exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the program was ended by the signal";
    EXPECT_EQ(WEXITSTATUS(status), 143);
    EXPECT_NE(file_bytes(errors).find("stopped by a signal during the scan; nothing was recovered"),
              std::string::npos)
        << file_bytes(errors);
    EXPECT_TRUE(test::read_report(report).empty());
    EXPECT_EQ(file_bytes(report), "status\tsize\tsha256\tunreadable\trecoverable\tpath\n");
    // Hashing 64 GiB of holes would take minutes: the image is unchanged in size and time.
    EXPECT_EQ(fs::file_size(disk.path), sectors * 512);
    EXPECT_EQ(fs::last_write_time(disk.path), written);
}

} // namespace
} // namespace salvex
