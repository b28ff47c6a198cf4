// The steps that produce the volume a recovery reads, from a partition, a swept candidate or a
// snapshot: the demo disk (NTFS partition 1 at 2048, FAT32 partition 2, a lost NTFS volume at
// 233472).
#include "disk/block_device.h"
#include "session/session.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/test_images.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>

namespace salvex {
namespace {

// The paths of every item a scan lists.
std::set<std::string> paths_of(const NtfsScan& scan) {
    std::set<std::string> paths;
    for (const auto& [path, item] : test::items_by_path(scan))
        paths.insert(path);
    return paths;
}

// A session on `image` with its partition table walked.
void open(Session& session, const std::string& image) {
    ASSERT_TRUE(session.open_drive(image));
    ASSERT_TRUE(session.walk_partitions());
}

TEST(VolumeSteps, APartitionIsScannedAndRecordedAsChosen) {
    Session session;
    open(session, test::image_path("demo"));
    test::RecordingProgress progress;
    ASSERT_TRUE(session.select_partition(0));
    const auto scanned = session.scan_partition(progress, Recoverability::Skip);
    ASSERT_TRUE(scanned) << scanned.error();
    EXPECT_EQ(paths_of(session.scan), paths_of(test::scan_image_partition("demo", 1).scan));
    EXPECT_EQ(session.selection(), (SnapshotSelection{FsType::Ntfs, 2048, 98304, 2048 + 98303, 0}));
}

TEST(VolumeSteps, PartitionsThatCannotBeScannedAreRefusedWithTheirSentence) {
    Session session;
    open(session, test::image_path("demo"));
    const size_t count = session.partitions.size();
    test::RecordingProgress progress;
    const auto none = session.select_partition(8);
    EXPECT_EQ(none.error(),
              "There is no partition 9; the drive has " + std::to_string(count) + ".");
    EXPECT_EQ(none.code(), ErrorCode::NotFound);
    ASSERT_TRUE(session.select_partition(1));
    const auto fat = session.scan_partition(progress, Recoverability::Skip);
    EXPECT_EQ(fat.error(), kFatPartitionMessage);
    EXPECT_EQ(fat.code(), ErrorCode::NotNtfs);

    // Both boot sectors of partition 1 gone: the scan's own sentence is the refusal, and it is
    // not said a second time through the progress sink.
    Session damaged;
    open(damaged, test::damaged_copy("demo", {2048, 2048 + 98303}));
    ASSERT_TRUE(damaged.select_partition(0));
    const auto refused = damaged.scan_partition(progress, Recoverability::Assess);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), kScanImpossibleMessage);
    EXPECT_EQ(refused.code(), ErrorCode::NotNtfs);
    // Stopped before the volume was found.
    damaged.state.stopRequested = 1;
    EXPECT_EQ(damaged.scan_partition(progress, Recoverability::Assess).code(), ErrorCode::Stopped);
    for (const auto& message : progress.messages)
        EXPECT_NE(message.kind, MessageKind::Error) << message.text;
}

// `image` copied to temp_path(stem), its bytes at `offset` replaced by `text`.
std::string patched_copy(const std::string& image, const std::string& stem, uint64_t offset,
                         const std::string& text) {
    const std::string copy = test::temp_path(stem);
    std::filesystem::copy_file(image, copy, std::filesystem::copy_options::overwrite_existing);
    std::fstream file(copy, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(offset));
    file << text;
    return copy;
}

TEST(VolumeSteps, BitLockerVolumesAreNamedAsLockedNotAsMissing) {
    // The partition's boot sector names BitLocker where NTFS names itself.
    Session session;
    open(session,
         patched_copy(test::image_path("demo"), "bitlocker.img", 2048 * 512 + 3, "-FVE-FS-"));
    test::RecordingProgress progress;
    ASSERT_TRUE(session.select_partition(0));
    const auto scanned = session.scan_partition(progress, Recoverability::Assess);
    EXPECT_EQ(scanned.code(), ErrorCode::Encrypted);
    EXPECT_NE(scanned.error().find("sector 2048 is encrypted with BitLocker"), std::string::npos)
        << scanned.error();

    // A sweep that meets only a locked volume (its sectors look like noise) says so too.
    const std::string noise = test::temp_path("noise.img");
    {
        std::ofstream out(noise, std::ios::binary);
        uint32_t x = 12345;
        for (int i = 0; i < 4096 * 512; ++i) {
            x = x * 1103515245 + 12345;
            out.put(static_cast<char>(x >> 24));
        }
    }
    std::vector<char> boot(512);
    std::ifstream(test::image_path("demo"), std::ios::binary)
        .seekg(2048 * 512)
        .read(boot.data(), 512);
    std::memcpy(boot.data() + 3, "-FVE-FS-", 8);
    Session swept;
    ASSERT_TRUE(swept.open_drive(patched_copy(noise, "noise-bitlocker.img", 100 * 512,
                                              std::string(boot.begin(), boot.end()))));
    SilentProgress quiet;
    swept.sweep({0, 4096}, 60, quiet);
    EXPECT_TRUE(swept.candidates.empty());
    const auto found = swept.encrypted_volume_found();
    ASSERT_TRUE(found);
    EXPECT_NE(found->find("sector 100 is encrypted"), std::string::npos) << *found;
}

TEST(VolumeSteps, ASweptCandidateIsReconstructedAndRecordedAsItsRange) {
    Session session;
    open(session, test::image_path("demo"));
    SilentProgress progress;
    const auto range = session.choose_range("233472", "262144");
    ASSERT_TRUE(range) << range.error();
    session.sweep(*range, 60, progress);
    ASSERT_TRUE(session.reconstruct(1, progress, Recoverability::Assess));
    EXPECT_EQ(session.scan.volume.fsStart, 233472u);
    EXPECT_TRUE(test::items_by_path(session.scan).count("/letter.txt"));
    EXPECT_EQ(session.selection(), (SnapshotSelection{FsType::Ntfs, 233472, 28672, 262144, 0}));

    const auto missing = session.reconstruct(2, progress, Recoverability::Skip);
    EXPECT_EQ(missing.error(), "There is no candidate 2; the sweep found 1.");
    EXPECT_EQ(missing.code(), ErrorCode::NotFound);
}

TEST(VolumeSteps, ASnapshotGivesBackTheVolumeAndItsChoice) {
    Session scanned;
    open(scanned, test::image_path("demo"));
    SilentProgress progress;
    ASSERT_TRUE(scanned.select_partition(0));
    ASSERT_TRUE(scanned.scan_partition(progress, Recoverability::Skip));
    const std::string file = test::temp_path("demo.QRSX");
    ASSERT_TRUE(scanned.save_snapshot(file));

    // Read, the snapshot leaves the session as it was until it is taken.
    Session session;
    open(session, test::image_path("demo"));
    auto loaded = session.read_snapshot(file, progress, Recoverability::Assess);
    ASSERT_TRUE(loaded) << loaded.error();
    EXPECT_TRUE(session.scan.items.files.empty());
    EXPECT_EQ(session.take_snapshot(std::move(loaded).value()), "");
    EXPECT_EQ(session.selection(), scanned.selection());
    EXPECT_EQ(paths_of(session.scan), paths_of(scanned.scan));

    std::ofstream(file + ".bad") << "QRS4.03"
                                 << "1.1";
    const auto refused = session.read_snapshot(file + ".bad", progress, Recoverability::Skip);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("version of file does not match"), std::string::npos);
}

} // namespace
} // namespace salvex
