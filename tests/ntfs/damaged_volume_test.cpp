// The Standard Scan over volumes made by mkntfs and ntfs-3g and then damaged by a script
// (tests/data/README.md says what each damage is), checked against what their builders wrote
// and against The Sleuth Kit's listing of the same volumes.
#include "partition/partition_table.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/test_images.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace salvex {
namespace {

TEST(FlsOracle, EveryLivePathFlsPlacesIsListedAtTheSamePath) {
    const auto images = test::images_with_fls_listings();
    ASSERT_FALSE(images.empty());
    for (const std::string& image : images) {
        for (const auto& [partition, paths] : test::fls_live_paths(image)) {
            const auto volume = test::scan_image_partition(image, partition);
            for (const std::string& path : paths)
                EXPECT_TRUE(volume.byPath.count(path))
                    << image << " partition " << partition << ": " << path;
            EXPECT_FALSE(paths.empty()) << image;
        }
    }
}

TEST(DamagedVolumes, MftRecordZeroDamagedTheMirrorsCopyMapsTheMft) {
    const auto volume = test::scan_image_partition("damaged_mft_record0", 1);
    EXPECT_EQ(volume.scan.mftMap.source(), MftMap::Source::Mirror);
    test::expect_manifest_listed(volume.byPath, "damaged_mft_record0.manifest.tsv");
    EXPECT_TRUE(volume.byPath.count("/$MFT")); // from its copy in $MFTMirr
}

TEST(DamagedVolumes, RunListReachingPastTheVolumeIsCutAtItsEnd) {
    const auto volume = test::scan_image_partition("damaged_mft_runs", 1);
    test::expect_manifest_listed(volume.byPath, "damaged_mft_runs.manifest.tsv");
    // The map never claims more than the partition holds.
    PartitionList partitions;
    list_partitions(*volume.reader, partitions);
    EXPECT_LE(volume.scan.mftMap.total_sectors(), partitions.entries.at(0).size);
}

TEST(DamagedVolumes, RunListRepeatingAnExtentReadsItOnce) {
    const auto volume = test::scan_image_partition("damaged_mft_repeat", 1);
    // The records behind the repeat moved to later places in the run list, so their numbers no
    // longer match what their references say; each is listed once, none lost.
    std::map<std::string, size_t> seen;
    for (const auto& f : volume.scan.items.files)
        ++seen[std::to_string(f.parent) + "/" + f.name];
    for (const auto& [name, count] : seen)
        EXPECT_EQ(count, 1u) << name;
    size_t found = 0;
    const auto manifest =
        test::read_manifest(test::source_data_path("damaged_mft_repeat.manifest.tsv"));
    for (const auto& e : manifest) {
        const std::string leaf = e.path.substr(e.path.rfind('/') + 1);
        const bool listed =
            std::any_of(volume.scan.items.files.begin(), volume.scan.items.files.end(),
                        [&](const FileNode& f) { return f.name == leaf; }) ||
            std::any_of(volume.scan.items.folders.begin(), volume.scan.items.folders.end(),
                        [&](const FolderNode& f) { return f.name == leaf; });
        found += listed;
    }
    EXPECT_EQ(found, manifest.size());
}

TEST(DamagedVolumes, BothCopiesOfTheMftRecordGoneTheScanFailsAndSaysWhy) {
    auto reader = test::open_image("damaged_mft_and_mirror");
    PartitionList partitions;
    list_partitions(*reader, partitions);
    ASSERT_FALSE(partitions.entries.empty());
    NtfsScan scan;
    test::RecordingProgress progress;
    StopFlag stop{0};
    const PartitionInfo& p = partitions.entries[0];
    const ScanOutcome outcome = standard_scan(*reader, p.start, p.end(), scan, progress, stop);
    EXPECT_NE(outcome, ScanOutcome::Completed);
    EXPECT_STREQ(scan_outcome_message(outcome), kScanImpossibleMessage); // to the Advance Scan
}

TEST(DamagedVolumes, ItemsTheDamageSparedAreListedAsWritten) {
    const struct {
        const char* image;
        test::ManifestSkip skip;
        uint32_t sectorsPerCluster = 8;
    } cases[] = {
        // The root folder's record damaged: its items still hang under the root.
        {"damaged_root", {}},
        // Wrong allocated sizes in the records change nothing.
        {"damaged_alloc_size", {}},
        // The extension record holding $MFT's runs from cluster 1,259 on (512-byte clusters: from
        // record 629 on, and half of record 629) was zeroed: only its records are lost, every
        // item before them keeps its number.
        {"damaged_mft_extension",
         [](const test::ManifestEntry& e) { return e.record.value_or(0) >= 629 || e.deleted; }, 1},
        // Not damaged: records of 512-byte clusters straddle two extents of the $MFT.
        {"ntfs_small_clusters", [](const test::ManifestEntry& e) { return e.deleted; }, 1},
    };
    // (Where deleted files are passed over, the files made to grow the $MFT took their records.)
    for (const auto& c : cases) {
        SCOPED_TRACE(c.image);
        const auto volume = test::scan_image_partition(c.image, 1);
        EXPECT_EQ(volume.scan.volume.sectorsPerCluster, c.sectorsPerCluster);
        test::expect_manifest_listed(volume.byPath, std::string(c.image) + ".manifest.tsv", c.skip);
    }
}

TEST(DamagedVolumes, FoldersNamingEachOtherAsParentAreFoundInLostFolders) {
    const auto volume = test::scan_image_partition("damaged_cycle", 1);
    // /A and /A/B lost their way to the root; everything else is where it was.
    test::expect_manifest_listed(
        volume.byPath, "damaged_cycle.manifest.tsv",
        [](const test::ManifestEntry& e) { return e.path.starts_with("/A/") || e.path == "/A"; });
    for (const auto& e :
         test::read_manifest(test::source_data_path("damaged_cycle.manifest.tsv"))) {
        if (!e.path.starts_with("/A"))
            continue;
        // Now below a made-up folder: "/DirN/A/..." or "/DirN/B/...".
        const std::string leaf = e.path.substr(e.path.rfind('/') + 1);
        EXPECT_TRUE(test::listed_in_lost_folder(volume.byPath, leaf)) << e.path;
    }
}

TEST(RealVolumes, EveryHardLinkAndNamedStreamIsListed) {
    const auto volume = test::scan_image_partition("ntfs_links_streams", 1);
    const auto manifest =
        test::read_manifest(test::source_data_path("ntfs_links_streams.manifest.tsv"));
    // A link removed while the file kept another name took its $FILE_NAME out of the record:
    // nothing names it any more.
    const auto removed_link = [&](const test::ManifestEntry& e) {
        return e.deleted && std::any_of(manifest.begin(), manifest.end(), [&](const auto& other) {
                   return other.path != e.path && other.record == e.record &&
                          other.path.find(':') == std::string::npos &&
                          volume.byPath.count(other.path);
               });
    };
    test::expect_manifest_listed(volume.byPath, "ntfs_links_streams.manifest.tsv", removed_link);
}

TEST(RealVolumes, DeletedItemsStayInTheirDeletedFolderStaleOnesGoToLostFolders) {
    // /Drafts was emptied and deleted, and its record reused by a file: its deleted files have
    // no folder any more (fls puts them in $OrphanFiles). /Trip was deleted whole: its items
    // stay inside it.
    const auto volume = test::scan_image_partition("ntfs_sequence", 1);
    test::expect_manifest_listed(
        volume.byPath, "ntfs_sequence.manifest.tsv",
        [](const test::ManifestEntry& e) { return e.path.starts_with("/Drafts"); });
    for (const auto& e :
         test::read_manifest(test::source_data_path("ntfs_sequence.manifest.tsv"))) {
        if (!e.path.starts_with("/Drafts/"))
            continue;
        const std::string leaf = e.path.substr(e.path.rfind('/') + 1);
        EXPECT_TRUE(test::listed_in_lost_folder(volume.byPath, leaf)) << e.path;
    }
}

} // namespace
} // namespace salvex
