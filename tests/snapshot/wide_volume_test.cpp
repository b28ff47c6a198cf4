// A volume that starts past 2 TiB, scanned, saved and loaded back against the same disk: the
// snapshot takes the second version and the items come back as the scan listed them.
#include "ntfs/standard_scan.h"
#include "tests/snapshot/same_scan.h"
#include "tests/snapshot/snapshot_samples.h"
#include "tests/support/ntfs_builder.h"
#include "tests/support/recording_progress.h"

#include <gtest/gtest.h>

namespace salvex {
namespace {

using namespace test::snapshot_samples;
using test::NtfsVolumeBuilder;
using test::RecordBuilder;

// Beyond two to the 32 sectors, so that every sector number of the volume needs 64 bits.
constexpr Lba kStart = (uint64_t{1} << 32) + 2048;
constexpr uint64_t kVolumeSectors = 40'000;

class WideVolume : public ::testing::Test {
protected:
    WideVolume() {
        auto* disk = new test::MemoryDevice(kStart + kVolumeSectors + 1);
        NtfsVolumeBuilder volume(*disk, kStart, {.totalSectors = kVolumeSectors, .mftCluster = 4},
                                 64);
        volume.put(
            16,
            RecordBuilder(test::kFolderInUse).file_name(5, u"Photos", NameSpace::Win32, 111, 112));
        volume.put(
            17,
            RecordBuilder(test::kDeletedFolder).file_name(16, u"Old", NameSpace::Win32, 113, 114));
        volume.put(18, RecordBuilder().file_name(16, u"sea.jpg").resident_data(Bytes(300, 's')));
        volume.put(19, RecordBuilder()
                           .file_name(5, u"notes.txt", NameSpace::Win32, 115, 116)
                           .resident_data(Bytes(42, 'n'))
                           .resident_data(Bytes(7, 'z'), u"summary"));
        volume.put(20, RecordBuilder(test::kDeletedFile).file_name(17, u"lost.doc"));
        volume.put(21, RecordBuilder().file_name(5, u"Ünïcödé ファイル.txt"));
        reader_.open_device(std::unique_ptr<test::MemoryDevice>(disk));
        test::RecordingProgress progress;
        StopFlag stop{0};
        outcome_ = standard_scan(reader_, kStart, kStart + kVolumeSectors, scan_, progress, stop);
    }

    SectorReader reader_{AccessMode::Device};
    NtfsScan scan_;
    ScanOutcome outcome_ = ScanOutcome::NoVolume;
};

TEST_F(WideVolume, SnapshotTakesTheSecondVersionAndListsTheSameAfterReloading) {
    ASSERT_EQ(outcome_, ScanOutcome::Completed);
    ASSERT_GE(scan_.items.files.size(), 5u);
    EXPECT_GT(scan_.volume.mftStart, uint64_t{0xFFFF'FFFF});
    const SnapshotSelection selection{FsType::Ntfs, kStart, kVolumeSectors + 1,
                                      kStart + kVolumeSectors, 1};
    const std::string path = snapshot_path(test::temp_path("wide"));
    const auto saved = save_snapshot(path, selection, scan_.volume, scan_.items, "");
    ASSERT_TRUE(saved.ok()) << saved.error();
    const Bytes bytes = read_file(path);
    ASSERT_GT(bytes.size(), 10u);
    EXPECT_EQ(std::string(bytes.begin() + 7, bytes.begin() + 10), "2.0");

    const auto loaded = load_snapshot(path, reader_);
    ASSERT_TRUE(loaded.ok()) << loaded.error();
    EXPECT_EQ(loaded->warning, "");
    test::expect_same_volume(loaded->scan.volume, scan_.volume);
    // Every field of every item, so also each path, size and record sector a listing shows.
    test::expect_same_items(loaded->scan.items, scan_.items);
    EXPECT_EQ(loaded->selection.rangeStart, kStart);
    EXPECT_EQ(loaded->selection.rangeEnd, kStart + kVolumeSectors);
    // The map rebuilt from the drive places the records where the scan found them.
    for (const FileNode& f : loaded->scan.items.files)
        EXPECT_EQ(loaded->scan.mftMap.record_to_sector(f.recordNumber), f.recordSector) << f.name;
}

} // namespace
} // namespace salvex
