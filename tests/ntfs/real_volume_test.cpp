// The Standard Scan over volumes written by mkntfs and ntfs-3g, checked against what their
// builders created and deleted (tests/data/*.manifest.tsv).
#include "tests/support/scanned_volume.h"

#include <gtest/gtest.h>
#include <set>

namespace salvex {
namespace {

TEST(RealVolumes, EveryItemItsBuilderWroteOrDeletedIsListedAsWritten) {
    const struct {
        const char* image;
        test::ManifestSkip skip;
    } cases[] = {
        {"demo", {}},
        // Nested folders, names in every script, deleted folders.
        {"ntfs_tree", {}},
        // Records beyond the first extent of a fragmented $MFT.
        {"ntfs_fragmented_mft", {}},
        // mkntfs -s 4096 on a 4Kn drive: 4,096-byte records, each fixed up in eight stretches.
        {"ntfs_4kn_gpt", {}},
        {"ntfs_4kn_mbr", {}},
        // Hard links and data in extension records. When ntfs-3g deleted /fragmented/deleted.bin
        // it took its name out of the extension record that held it: no record names it any more.
        {"ntfs_attribute_list",
         [](const test::ManifestEntry& e) { return e.path == "/fragmented/deleted.bin"; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.image);
        test::expect_image_listed(c.image, std::string(c.image) + ".manifest.tsv", c.skip);
    }
}

TEST(RealVolumes, AFileOfManyNamesIsListedUnderEachOfThem) {
    // A file with 71 names (hard links, most in extension records) is listed under each of them,
    // as the shell shows it.
    const auto volume = test::scan_image_partition("ntfs_attribute_list", 1);
    std::set<uint32_t> records;
    size_t names = 0;
    for (const auto& e :
         test::read_manifest(test::source_data_path("ntfs_attribute_list.manifest.tsv"))) {
        if (e.folder || !(e.path.starts_with("/links/") || e.path == "/shared/original.txt"))
            continue;
        ++names;
        records.insert(volume.byPath.at(e.path).recordNumber);
    }
    EXPECT_EQ(names, 71u);
    EXPECT_EQ(records.size(), 1u); // one file
}

TEST(RealVolumes, RecordsOfFourKibibytesArePlacedByTheirOwnSize) {
    const auto volume = test::scan_image_partition("ntfs_4kn_gpt", 1);
    EXPECT_EQ(volume.scan.mftMap.record_sectors(), 8u);
    EXPECT_EQ(volume.scan.mftMap.source(), MftMap::Source::Mft);
    // Record n lies 8n sectors into the $MFT, which starts at cluster 4 (sector 2048 + 32).
    EXPECT_EQ(volume.byPath.at("/readme.txt").recordSector, 2048u + 32 + 8 * 64);
    EXPECT_EQ(volume.byPath.at("/$MFT").recordNumber, 0u);
}

TEST(RealVolumes, MetadataFilesAreOrdinaryRootItems) {
    const auto volume = test::scan_image_partition("demo", 1);
    const auto& byPath = volume.byPath;
    for (const char* path : {"/$MFT", "/$MFTMirr", "/$LogFile", "/$Bitmap", "/$UpCase"})
        EXPECT_TRUE(byPath.count(path)) << path;
    EXPECT_TRUE(byPath.at("/$Extend").folder);
    EXPECT_EQ(byPath.at("/$MFT").recordNumber, 0u);
    // The record sector of a file is where its record lies in the $MFT.
    EXPECT_EQ(byPath.at("/readme.txt").recordSector,
              volume.scan.volume.mftStart + 2 * byPath.at("/readme.txt").recordNumber);
    // mkntfs reserves records 16 to 23 without names: they are not items.
    EXPECT_EQ(volume.scan.items.find_folder(16), nullptr);
}

} // namespace
} // namespace salvex
