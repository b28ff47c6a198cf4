// The recovery driver: policies, duplicate names, filters, Stop and Skip, creation errors and
// names that try to leave the target folder.
#include "ntfs/filetime.h"
#include "recovery/recovery_driver.h"
#include "tests/support/ntfs_builder.h"
#include "tests/support/recording_progress.h"
#include "tests/support/sha256.h"
#include "tests/support/test_images.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace salvex {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::RecordBuilder;

constexpr Lba kStart = 128;
constexpr uint64_t kCreated = 127'546'608'000'000'000; // 2005-03-07 09:20:00 UTC

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Driver : public ::testing::Test {
protected:
    Driver()
        : disk_(std::make_unique<test::MemoryDevice>(kStart + 60'000)),
          volume_(*disk_, kStart, {.totalSectors = 50'000, .mftCluster = 4}, 64) {
        fs::remove_all(target_);
        fs::create_directories(target_);
    }

    // A file of `size` bytes of `fill` in record n, its data in cluster 1000 + n.
    void file(uint32_t n, uint32_t parent, const std::u16string& name, size_t size, char fill,
              uint16_t flags = test::kFileInUse) {
        disk_->write(volume_.cluster_sector(1000 + n), Bytes(4096, static_cast<uint8_t>(fill)));
        volume_.put(n, RecordBuilder(flags)
                           .file_name(parent, name, NameSpace::Win32, kCreated, kCreated)
                           .non_resident_data(test::encode_runs({{1, 1000 + n}}), size));
    }
    void folder(uint32_t n, uint32_t parent, const std::u16string& name) {
        volume_.put(n, RecordBuilder(test::kFolderInUse).file_name(parent, name));
    }

    // Scans the volume and recovers `rows` (all root items when empty).
    void recover(std::vector<RecoveryRow> rows = {}) {
        if (disk_) {
            reader_.open_device(std::move(disk_));
            StopFlag stop{0};
            test::RecordingProgress silent;
            standard_scan(reader_, kStart, kStart + 50'000, scan_, silent, stop);
        }
        if (rows.empty()) {
            for (const TreeItemId id : scan_.tree.root().children)
                rows.push_back({RecoveryRow::Kind::Folder, id});
            for (size_t i = 0; i < scan_.items.files.size(); ++i) {
                if (scan_.items.files[i].parent == kRootFolderRecord &&
                    !scan_.items.files[i].name.starts_with("$"))
                    rows.push_back({RecoveryRow::Kind::File, i});
            }
        }
        RecoveryContext context(reader_, scan_, settings_, progress_, run_);
        context.passesFilters = filter_;
        auto target = TargetFolder::open(target_.string());
        ASSERT_TRUE(target.ok());
        run_recovery(context, rows, *target);
    }

    size_t file_index(const std::string& name) const {
        for (size_t i = 0; i < scan_.items.files.size(); ++i) {
            if (scan_.items.files[i].name == name)
                return i;
        }
        return SIZE_MAX;
    }

    std::unique_ptr<test::MemoryDevice> disk_;
    test::NtfsVolumeBuilder volume_;
    SectorReader reader_{AccessMode::Device};
    NtfsScan scan_;
    RecoverySettings settings_;
    test::RecordingProgress progress_;
    RecoveryRun run_;
    std::function<bool(std::string_view)> filter_;
    const fs::path target_ = test::temp_path("target");
};

TEST_F(Driver, FoldersAreWrittenWithTheirFilesAndSubFolders) {
    folder(16, 5, u"Docs");
    folder(17, 16, u"Inner");
    file(18, 17, u"deep.txt", 10, 'd');
    file(19, 16, u"a.txt", 4000, 'a');
    file(20, 5, u"root.txt", 3, 'r');
    file(21, 5, u"empty.txt", 0, 'e');
    recover();
    EXPECT_EQ(read_file(target_ / "Docs/Inner/deep.txt"), std::string(10, 'd'));
    EXPECT_EQ(read_file(target_ / "Docs/a.txt"), std::string(4000, 'a'));
    EXPECT_EQ(read_file(target_ / "root.txt"), "rrr");
    EXPECT_FALSE(fs::exists(target_ / "empty.txt")); // empty files are not created
    EXPECT_EQ(run_.files_written, 3u);
    EXPECT_EQ(run_.files_failed, 0u);
    // The file carries the item's time.
    struct stat st {};
    ASSERT_EQ(stat((target_ / "root.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, filetime_to_unix_seconds(kCreated));
    // Progress: the first file shows 0 files written before it.
    EXPECT_EQ(progress_.counters["File Name"], "root.txt");
}

TEST_F(Driver, SizesAndRunsBeyondTheVolumeAreCutAndNamedTheOtherFilesUntouched) {
    // The volume: 50,000 sectors, 6,250 clusters of 4,096 bytes; the disk goes on after it.
    file(20, 5, u"before.txt", 4000, 'b');
    const auto damaged = [&](uint32_t n, const std::u16string& name, const Bytes& runs,
                             uint64_t size) {
        volume_.put(n, RecordBuilder()
                           .file_name(5, name, NameSpace::Win32, kCreated, kCreated)
                           .non_resident_data(runs, size));
    };
    disk_->write(volume_.cluster_sector(1021), Bytes(4096, 'h'));
    damaged(21, u"all-ones.bin", test::encode_runs({{1, 1021}}), UINT64_MAX);
    disk_->write(volume_.cluster_sector(1022), Bytes(4096, 's'));
    damaged(22, u"petabytes.img", test::encode_runs({{1, 1022}, {uint64_t{1} << 40, std::nullopt}}),
            uint64_t{1} << 50);
    // One run inside, one whose second cluster is past the end, one wholly past it; the disk
    // holds bytes there that must not be read.
    disk_->write(volume_.cluster_sector(6249), Bytes(4096, 'i'));
    disk_->write(volume_.cluster_sector(6250), Bytes(4096, 'X'));
    disk_->write(volume_.cluster_sector(7000), Bytes(4096, 'X'));
    damaged(23, u"far.bin", test::encode_runs({{1, 1023}, {2, 6249}, {1, 7000}}), 4 * 4096);
    file(24, 5, u"after.txt", 3000, 'a');
    recover();

    EXPECT_EQ(run_.files_written, 5u);
    EXPECT_EQ(run_.files_failed, 0u);
    const fs::path& target = target_;
    EXPECT_TRUE(read_file(target / "before.txt") == std::string(4000, 'b'));
    EXPECT_TRUE(read_file(target / "after.txt") == std::string(3000, 'a'));
    // What the runs hold, and no more.
    EXPECT_TRUE(read_file(target / "all-ones.bin") == std::string(4096, 'h'));
    // Cut at the volume's size, the long hole left as a hole.
    struct stat st {};
    ASSERT_EQ(stat((target / "petabytes.img").c_str(), &st), 0);
    EXPECT_EQ(static_cast<uint64_t>(st.st_size), 50'000u * 512);
    EXPECT_LT(static_cast<uint64_t>(st.st_blocks) * 512, 1u << 20);
    std::ifstream sparse(target / "petabytes.img", std::ios::binary);
    std::string head(8192, '\0');
    sparse.read(head.data(), 8192);
    EXPECT_TRUE(head == std::string(4096, 's') + std::string(4096, '\0'));
    EXPECT_TRUE(read_file(target / "far.bin") ==
                std::string(4096, 0) + std::string(4096, 'i') + std::string(2 * 4096, 0));

    std::map<std::string, std::string> reasons;
    for (const DamagedFile& d : run_.damagedFiles)
        reasons[fs::path(d.path).filename().string()] = d.reason;
    EXPECT_EQ(reasons, (std::map<std::string, std::string>{
                           {"all-ones.bin", "its size field exceeds what its volume can hold"},
                           {"petabytes.img", "its size field exceeds what its volume can hold; its "
                                             "runs reach past the volume"},
                           {"far.bin", "its runs reach past the volume"}}));
    EXPECT_EQ(run_.damagedFiles.front().path, (target / "all-ones.bin").string());
}

TEST_F(Driver, DeletedFilePolicies) {
    folder(16, 5, u"Docs");
    file(17, 16, u"live.txt", 4, 'l');
    file(18, 16, u"gone.txt", 4, 'g', test::kDeletedFile);
    settings_.deleted_policy = DeletedPolicy::OnlyDeleted;
    recover();
    EXPECT_TRUE(fs::exists(target_ / "Docs/gone.txt"));
    EXPECT_FALSE(fs::exists(target_ / "Docs/live.txt"));

    fs::remove_all(target_ / "Docs");
    settings_.deleted_policy = DeletedPolicy::Exclude;
    recover();
    EXPECT_FALSE(fs::exists(target_ / "Docs/gone.txt"));
    EXPECT_TRUE(fs::exists(target_ / "Docs/live.txt"));
}

TEST_F(Driver, DuplicateNamesAreRenamedOverwrittenOrSkipped) {
    file(17, 5, u"a.txt", 4, 'n');
    std::ofstream(target_ / "a.txt") << "old";
    std::ofstream(target_ / "Copy (1 ) of a.txt") << "older";
    recover();
    EXPECT_EQ(read_file(target_ / "Copy (2 ) of a.txt"), "nnnn");
    EXPECT_EQ(read_file(target_ / "a.txt"), "old");

    settings_.duplicate_policy = DuplicatePolicy::Skip;
    recover();
    EXPECT_EQ(run_.files_written, 0u);
    EXPECT_FALSE(fs::exists(target_ / "Copy (3 ) of a.txt"));

    settings_.duplicate_policy = DuplicatePolicy::Overwrite;
    recover();
    EXPECT_EQ(read_file(target_ / "a.txt"), "nnnn");
}

TEST_F(Driver, NamesFromTheDiskCannotLeaveTheTarget) {
    folder(16, 5, u"..");
    file(17, 16, u"../../escape.txt", 4, 'x');
    file(18, 5, u".", 4, 'y');
    file(19, 5, std::u16string(u"nul\0name", 8), 4, 'z');
    recover();
    EXPECT_FALSE(fs::exists(target_.parent_path() / "escape.txt"));
    EXPECT_EQ(read_file(target_ / "_.." / ".._.._escape.txt"), "xxxx");
    EXPECT_EQ(read_file(target_ / "_."), "yyyy");
    EXPECT_EQ(read_file(target_ / "nul_name"), "zzzz");
}

TEST_F(Driver, SymbolicLinksInTheTargetAreNotFollowed) {
    const fs::path outside = test::temp_path("outside");
    fs::remove_all(outside);
    fs::create_directories(outside);
    fs::create_directory_symlink(outside, target_ / "Docs");
    fs::create_symlink(outside / "victim.txt", target_ / "a.txt");
    folder(16, 5, u"Docs");
    file(17, 16, u"in.txt", 4, 'i');
    file(18, 5, u"a.txt", 4, 'a');
    settings_.duplicate_policy = DuplicatePolicy::Overwrite;
    progress_.answer = true; // go on after each error
    recover();
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_EQ(run_.files_failed, 3u);
    ASSERT_EQ(progress_.questions.size(), 2u);
    EXPECT_EQ(progress_.questions[0],
              "Error creating file : " + target_.string() + "/Docs.  Continue Recovery ? ");
    // The folder that could not be made failed with the system's reason, and its file with it.
    ASSERT_EQ(run_.outcomes.size(), 3u);
    EXPECT_EQ(run_.outcomes[0].path, "/Docs");
    EXPECT_EQ(run_.outcomes[0].status, FileStatus::Failed);
    EXPECT_EQ(run_.outcomes[0].reason, std::strerror(ENOTDIR));
    EXPECT_EQ(run_.outcomes[1].path, "/Docs/in.txt");
    EXPECT_EQ(run_.outcomes[1].status, FileStatus::Failed);
    EXPECT_EQ(run_.outcomes[1].reason,
              std::string("its folder could not be made (") + std::strerror(ENOTDIR) + ")");
    EXPECT_EQ(run_.outcomes[2].reason, std::strerror(EEXIST)); // the link stays a link
}

TEST_F(Driver, AnsweringNoToACreationErrorEndsTheRun) {
    file(17, 5, u"a.txt", 4, 'a');
    file(18, 5, u"b.txt", 4, 'b');
    fs::create_directory(target_ / "a.txt"); // a folder stands where the file goes
    settings_.duplicate_policy = DuplicatePolicy::Overwrite;
    progress_.answer = false;
    recover();
    EXPECT_EQ(progress_.questions.size(), 1u);
    EXPECT_FALSE(fs::exists(target_ / "b.txt"));
    EXPECT_EQ(run_.recovery_stop.load(), 0); // cleared for the next run
}

TEST_F(Driver, StopCutsTheCurrentFileAndEndsTheRun) {
    for (uint32_t n = 17; n < 27; ++n)
        file(n, 5, u"f" + std::u16string(1, static_cast<char16_t>(u'0' + n - 17)), 4, 'f');
    progress_.onCounter = [&](std::string_view label, std::string_view value) {
        if (label == "Total Files" && value == "3")
            run_.recovery_stop = 1;
    };
    recover();
    // Stop came while the fourth file was about to be copied: it is removed, not left cut short,
    // and it is not counted as written.
    EXPECT_EQ(run_.files_written, 3u);
    EXPECT_FALSE(fs::exists(target_ / "f3"));
    EXPECT_FALSE(fs::exists(target_ / "f4"));
    ASSERT_EQ(run_.outcomes.size(), 4u);
    EXPECT_EQ(run_.outcomes.back().status, FileStatus::Failed);
    EXPECT_EQ(run_.outcomes.back().path, "/f3");
}

TEST_F(Driver, RecoveringSelectedRowsWritesOnlyThem) {
    file(17, 5, u"a.txt", 4, 'a');
    file(18, 5, u"b.txt", 4, 'b');
    recover({{RecoveryRow::Kind::File, 0}}); // scans first, then takes index 0 ($MFT)...
    // ...so pick by name now that the scan exists.
    fs::remove_all(target_);
    fs::create_directories(target_);
    recover({{RecoveryRow::Kind::File, file_index("b.txt")}});
    EXPECT_TRUE(fs::exists(target_ / "b.txt"));
    EXPECT_FALSE(fs::exists(target_ / "a.txt"));
}

TEST_F(Driver, EveryFileConsideredHasAnOutcomeWithTheHashOfWhatWasWritten) {
    folder(16, 5, u"Docs");
    file(17, 16, u"a.txt", 4000, 'a');
    file(18, 16, u"b.doc", 10, 'b');
    file(19, 5, u"empty.txt", 0, 'e');
    file(20, 5, u"old.txt", 3, 'o');
    file(21, 5, u"gone.txt", 7, 'g', test::kDeletedFile);
    folder(22, 5, u"Papers");
    file(23, 22, u"c.doc", 5, 'c');
    std::ofstream(target_ / "old.txt") << "kept";
    settings_.duplicate_policy = DuplicatePolicy::Skip;
    filter_ = [](std::string_view name) { return !name.ends_with(".doc"); };
    recover();

    std::map<std::string, FileOutcome> byPath;
    for (const FileOutcome& o : run_.outcomes)
        byPath[o.path] = o;
    ASSERT_EQ(byPath.size(), 6u);
    EXPECT_EQ(byPath["/Docs/a.txt"].status, FileStatus::Written);
    EXPECT_EQ(byPath["/Docs/a.txt"].size, 4000u);
    EXPECT_EQ(byPath["/Docs/a.txt"].sha256,
              test::sha256_of_file((target_ / "Docs/a.txt").string()));
    EXPECT_EQ(byPath["/Docs/a.txt"].unreadable, 0u);
    EXPECT_EQ(byPath["/gone.txt"].sha256, test::sha256_of_file((target_ / "gone.txt").string()));
    // A filter lets only matching files through, and keeps their folders.
    EXPECT_EQ(byPath["/Docs/b.doc"].status, FileStatus::Filtered);
    EXPECT_TRUE(byPath["/Docs/b.doc"].sha256.empty());
    EXPECT_FALSE(fs::exists(target_ / "Docs/b.doc"));
    EXPECT_EQ(byPath["/Papers/c.doc"].status, FileStatus::Filtered);
    EXPECT_TRUE(fs::is_directory(target_ / "Papers"));
    EXPECT_EQ(byPath["/empty.txt"].status, FileStatus::Empty);
    EXPECT_EQ(byPath["/old.txt"].status, FileStatus::Skipped);
    EXPECT_EQ(read_file(target_ / "old.txt"), "kept");
    EXPECT_EQ(run_.files_written, 2u);
    EXPECT_EQ(run_.files_unreadable, 0u);
}

TEST_F(Driver, UnreadableSectorsAreCountedAndTheHashIsOfTheZerosWritten) {
    file(17, 5, u"whole.bin", 4096, 'w');
    file(18, 5, u"holed.bin", 3000, 'h');
    // Two sectors of holed.bin's cluster cannot be read; one lies past its 3,000 bytes (the
    // sixth sector of the cluster) and does not count.
    const Lba cluster = volume_.cluster_sector(1000 + 18);
    disk_->fail_sector(cluster + 1);
    disk_->fail_sector(cluster + 6);
    reader_.set_bad_sector_retries(1);
    recover();

    ASSERT_EQ(run_.outcomes.size(), 2u);
    const std::string holed = read_file(target_ / "holed.bin");
    std::string expected(3000, 'h');
    std::fill_n(expected.begin() + 512, 512, '\0');
    EXPECT_TRUE(holed == expected);
    for (const FileOutcome& o : run_.outcomes) {
        EXPECT_EQ(o.status, FileStatus::Written) << o.path;
        EXPECT_EQ(o.sha256, test::sha256_of_file(target_.string() + o.path)) << o.path;
        EXPECT_EQ(o.unreadable, o.path == "/holed.bin" ? 1u : 0u) << o.path;
    }
    EXPECT_EQ(run_.files_written, 2u);
    EXPECT_EQ(run_.files_unreadable, 1u);
    EXPECT_EQ(run_.files_failed, 0u);
}

TEST_F(Driver, OverwriteReplacesTheNameAndNeverWritesThroughAHardLink) {
    const fs::path outside = test::temp_path("outside.txt");
    std::ofstream(outside) << "precious";
    fs::remove(target_ / "a.txt");
    fs::create_hard_link(outside, target_ / "a.txt");
    file(17, 5, u"a.txt", 4, 'n');
    settings_.duplicate_policy = DuplicatePolicy::Overwrite;
    recover();
    EXPECT_EQ(read_file(target_ / "a.txt"), "nnnn");
    EXPECT_EQ(read_file(outside), "precious");
    EXPECT_EQ(fs::hard_link_count(outside), 1u);
}

TEST_F(Driver, FailuresCarryTheSystemsReason) {
    // A UTF-8 name of 400 bytes: longer than a Linux file name may be.
    file(17, 5, std::u16string(200, u'\u00e9'), 4, 'x');
    file(18, 5, u"fine.txt", 4, 'f');
    progress_.answer = true;
    recover();
    ASSERT_EQ(run_.outcomes.size(), 2u);
    EXPECT_EQ(run_.outcomes[0].status, FileStatus::Failed);
    EXPECT_EQ(run_.outcomes[0].reason, std::strerror(ENAMETOOLONG));
    EXPECT_EQ(run_.outcomes[1].status, FileStatus::Written);
    EXPECT_EQ(run_.files_failed, 1u);
}

TEST_F(Driver, AFullTargetEndsTheRunAndLeavesNoPartialFile) {
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system for the target needs root";
    if (::mount("tmpfs", target_.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a small file system cannot be mounted here: " << std::strerror(errno);
    // 64 KiB hold the first files, not all ten of 12,000 bytes (three clusters each).
    for (uint32_t n = 17; n < 27; ++n) {
        disk_->write(volume_.cluster_sector(2000 + 3 * n), Bytes(3 * 4096, 'z'));
        volume_.put(
            n, RecordBuilder(test::kFileInUse)
                   .file_name(5, u"f" + std::u16string(1, static_cast<char16_t>(u'0' + n - 17)),
                              NameSpace::Win32, kCreated, kCreated)
                   .non_resident_data(test::encode_runs({{3, 2000 + 3 * n}}), 12'000));
    }
    progress_.answer = true;
    recover();
    size_t present = 0;
    for (const auto& entry : fs::directory_iterator(target_)) {
        EXPECT_TRUE(read_file(entry.path()) == std::string(12'000, 'z')) << entry.path();
        ++present;
    }
    ::umount(target_.c_str());
    EXPECT_GT(present, 0u);
    EXPECT_LT(present, 10u);
    EXPECT_EQ(run_.files_written, present);
    EXPECT_EQ(run_.stopReason, std::strerror(ENOSPC));
    ASSERT_FALSE(run_.outcomes.empty());
    EXPECT_EQ(run_.outcomes.back().status, FileStatus::Failed);
    EXPECT_EQ(run_.outcomes.size(), present + 1); // the run ended at the first full write
    EXPECT_TRUE(progress_.questions.empty());
}

TEST(TargetFolders, MissingTargetsAreMadeWithTheirParents) {
    const fs::path base = test::temp_path("made");
    fs::remove_all(base);
    const auto made = TargetFolder::open_or_create((base / "a/b/c").string());
    ASSERT_TRUE(made.ok()) << made.error();
    EXPECT_TRUE(fs::is_directory(base / "a/b/c"));
    std::ofstream(base / "file") << "x";
    EXPECT_FALSE(TargetFolder::open_or_create((base / "file/sub").string()).ok());
}

TEST(TargetFolders, ComponentsAreMadeSafe) {
    EXPECT_EQ(safe_component("a/b"), "a_b");
    EXPECT_EQ(safe_component(".."), "_..");
    EXPECT_EQ(safe_component("."), "_.");
    EXPECT_EQ(safe_component(""), "_");
    EXPECT_EQ(safe_component("..."), "...");
    EXPECT_EQ(safe_component(std::string("a\0b", 3)), "a_b");
}

TEST(TargetFolders, AFolderBesideAnImageIsNotOnTheExaminedDisk) {
    EXPECT_FALSE(ExaminedDisk(test::image_path("demo")).under(::testing::TempDir()));
    EXPECT_FALSE(ExaminedDisk("/nonexistent").under(::testing::TempDir()));
}

} // namespace
} // namespace salvex
