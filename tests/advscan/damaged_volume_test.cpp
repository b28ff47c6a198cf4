// The Advance Scan over real volumes (made by mkntfs and ntfs-3g) damaged the ways disks get
// damaged: redundant header fields overwritten, sectors that cannot be read, records and index
// blocks zeroed, boot sectors and the partition table gone.
#include "advscan/record_hit.h"
#include "recovery/recovery_driver.h"
#include "tests/advscan/damaged_image.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/sha256.h"
#include "tests/support/test_images.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace salvex {
namespace {

namespace fs = std::filesystem;
using test::AdvanceScan;

// The demo disk's first volume: partition 1 at 2048, 98,304 sectors.
constexpr Lba kDemoStart = 2048;
constexpr uint64_t kDemoSectors = 98304;

std::set<std::pair<std::string, Lba>> file_hits(const HitLists& hits) {
    std::set<std::pair<std::string, Lba>> out;
    for (const FileRecordHit& f : hits.files)
        out.insert({f.name, f.sector});
    return out;
}

// Every item a manifest lists on partition 1, less those `skip` names, is listed as written.
void expect_manifest(const NtfsScan& scan, const std::string& manifest,
                     const test::ManifestSkip& skip = {}) {
    test::expect_manifest_listed(test::items_by_path(scan), manifest, [&](const auto& e) {
        return e.partition != 1 || (skip && skip(e));
    });
}

// The record sectors of the files named `name`.
std::vector<Lba> listed_sectors(const NtfsScan& scan, const std::string& name) {
    std::vector<Lba> listed;
    for (const FileNode& f : scan.items.files) {
        if (f.name == name)
            listed.push_back(f.recordSector);
    }
    return listed;
}

constexpr std::array<const char*, 4> kFirstRecords = {"$MFT", "$MFTMirr", "$LogFile", "$Volume"};

// $MFT, $MFTMirr, $LogFile and $Volume are listed once each, from their records in the $MFT
// (not again from the copies its mirror keeps).
void expect_first_records_once(const NtfsScan& scan, const MftMap& map) {
    for (uint32_t n = 0; n < kFirstRecords.size(); ++n)
        EXPECT_EQ(listed_sectors(scan, kFirstRecords[n]), std::vector<Lba>{map.record_to_sector(n)})
            << kFirstRecords[n];
}

TEST(DamagedVolume, AWrongAllocatedSizeInEveryRecordLosesNothing) {
    AdvanceScan intact(test::image_in_memory("demo"));
    intact.sweep();

    auto disk = test::image_in_memory("demo");
    const auto records = test::file_record_sectors(*disk, kDemoStart, kDemoSectors);
    ASSERT_GT(records.size(), 60u);
    uint16_t wrong = 0;
    for (const Lba s : records) {
        wrong = static_cast<uint16_t>(wrong * 31 + 4097); // anything but 1,024
        disk->sector(s)[0x1C] = static_cast<uint8_t>(wrong);
        disk->sector(s)[0x1D] = static_cast<uint8_t>(wrong >> 8);
    }
    AdvanceScan damaged(std::move(disk));
    damaged.sweep();
    EXPECT_EQ(file_hits(damaged.hits), file_hits(intact.hits));
    EXPECT_EQ(damaged.hits.folders.size(), intact.hits.folders.size());
    ASSERT_TRUE(damaged.reconstruct(kDemoStart));
    expect_manifest(damaged.scan, "demo.manifest.tsv");
    // The boot sector's backup tells where the mirror lies.
    EXPECT_NE(damaged.scan.volume.mftMirrorStart, 0u);
    expect_first_records_once(damaged.scan, test::scan_image_partition("demo", 1).scan.mftMap);
}

TEST(DamagedVolume, AVolumeInferredFromItsFoldersLeavesLaterVolumesTheirFiles) {
    // Without its boot sectors the first volume is inferred from its folders and ends where the
    // sweep ended, past the two volumes that follow it.
    auto disk = test::image_in_memory("demo");
    test::zero_sectors(*disk, kDemoStart, 1);
    test::zero_sectors(*disk, kDemoStart + kDemoSectors - 1, 1);
    AdvanceScan advance(std::move(disk));
    advance.sweep();
    ASSERT_TRUE(advance.reconstruct(kDemoStart));
    EXPECT_EQ(advance.scan.volume.mftStart, 0u);
    EXPECT_EQ(advance.scan.volume.fsEnd, 262143u);
    expect_manifest(advance.scan, "demo.manifest.tsv");
    const auto byPath = test::items_by_path(advance.scan);
    for (const char* elsewhere : {"/info.txt", "/letter.txt"})
        EXPECT_FALSE(byPath.count(elsewhere)) << elsewhere;
    for (const FileNode& f : advance.scan.items.files)
        EXPECT_LT(f.recordSector, kDemoStart + kDemoSectors) << f.name;
}

TEST(DamagedVolume, RecordsWhoseAllocatedSizeWasRewrittenByTheToolsAreListed) {
    // The builder rewrote the field in /Projects (0), memo.txt (0xFFFFFFF0), winter.jpg (512).
    AdvanceScan advance(test::image_in_memory("damaged_alloc_size"));
    advance.sweep();
    ASSERT_TRUE(advance.reconstruct(2048));
    expect_manifest(advance.scan, "damaged_alloc_size.manifest.tsv");
    const auto byPath = test::items_by_path(advance.scan);
    for (const char* path :
         {"/Projects", "/Projects/Alpha/Docs/memo.txt", "/Photos/2024/winter.jpg"})
        EXPECT_TRUE(byPath.count(path)) << path;
}

TEST(DamagedVolume, TheMirrorsCopiesStandInForDestroyedFirstRecords) {
    const MftMap map = test::scan_image_partition("demo", 1).scan.mftMap;
    auto disk = test::image_in_memory("demo");
    test::zero_sectors(*disk, map.record_to_sector(0), 8); // records 0 to 3
    AdvanceScan advance(std::move(disk));
    advance.sweep();
    ASSERT_TRUE(advance.reconstruct(kDemoStart));
    const Lba mirror = advance.scan.volume.mftMirrorStart;
    ASSERT_NE(mirror, 0u);
    for (const char* name : kFirstRecords) {
        const std::vector<Lba> listed = listed_sectors(advance.scan, name);
        ASSERT_EQ(listed.size(), 1u) << name;
        EXPECT_GE(listed[0], mirror) << name;
        EXPECT_LT(listed[0], mirror + 8) << name;
    }
}

TEST(DamagedVolume, AFolderWhoseRecordAndIndexAreGoneIsNamedFromItsParentsIndex) {
    // /Documents/Reports: its record and its index block zeroed; its files' records remain, and
    // so does its entry in /Documents' index, which gives it back its name and place.
    const auto intact = test::scan_image_partition("demo", 1);
    const uint32_t reports = intact.byPath.at("/Documents/Reports").recordNumber;
    const Lba record = intact.scan.mftMap.record_to_sector(reports);
    std::array<uint8_t, mft_record::kSize> bytes{};
    ASSERT_TRUE(intact.reader->read_sectors(record, 2, bytes));
    ASSERT_TRUE(apply_fixup(bytes));
    const int64_t indexCluster = first_index_cluster(bytes);
    ASSERT_GT(indexCluster, 0);
    auto disk = test::image_in_memory("demo");
    test::zero_sectors(*disk, record, 2);
    test::zero_sectors(*disk, kDemoStart + 8 * static_cast<uint64_t>(indexCluster), 8);
    const std::string image = test::temp_path("no-reports.img");
    test::save_image(*disk, image);

    AdvanceScan advance(std::move(disk));
    advance.sweep();
    ASSERT_TRUE(advance.reconstruct(kDemoStart));
    const FolderNode* lost = advance.scan.items.find_folder(reports);
    ASSERT_NE(lost, nullptr);
    EXPECT_EQ(lost->name, "Reports");
    EXPECT_EQ(lost->parent, intact.byPath.at("/Documents").recordNumber);
    EXPECT_TRUE(lost->deleted); // its record is gone
    EXPECT_EQ(lost->creationTime, intact.scan.items.find_folder(reports)->creationTime);
    const auto byPath = test::items_by_path(advance.scan);
    const size_t number = static_cast<size_t>(
        std::find_if(advance.candidates.begin(), advance.candidates.end(),
                     [](const FsCandidate& c) { return c.start == kDemoStart; }) -
        advance.candidates.begin() + 1);
    const std::string listing = test::run_cli("list --quiet " + image + " --range 0 262143 " +
                                              "--candidate " + std::to_string(number));
    const std::string prefix = "/Documents/Reports/";
    size_t gathered = 0;
    for (const auto& e : test::read_manifest(test::source_data_path("demo.manifest.tsv"))) {
        if (e.partition != 1 || !e.path.starts_with(prefix))
            continue;
        const std::string path = e.path;
        const auto item = byPath.find(path);
        ASSERT_NE(item, byPath.end()) << path;
        EXPECT_EQ(item->second.deleted, e.deleted) << path;
        EXPECT_EQ(item->second.size, e.size) << path;
        EXPECT_NE(listing.find("\t" + path + "\n"), std::string::npos) << path;
        ++gathered;
    }
    EXPECT_EQ(gathered, 16u);
    std::filesystem::remove(image);
}

TEST(DamagedVolume, FoldersKeepTheirRecordNumbersInAFragmentedMft) {
    // Records spread over 16 runs of the $MFT: neighbours on the disk are no neighbours in it.
    const auto intact = test::scan_image_partition("ntfs_fragmented_mft", 1);
    auto disk = test::image_in_memory("ntfs_fragmented_mft");
    test::zero_sectors(*disk, 0, 1);
    test::zero_sectors(*disk, 2048, 1);
    test::zero_sectors(*disk, 2048 + 16383, 1);
    AdvanceScan advance(std::move(disk));
    advance.sweep();
    ASSERT_TRUE(advance.reconstruct(2048));
    const auto byPath = test::items_by_path(advance.scan);
    size_t compared = 0;
    for (const auto& [path, item] : intact.byPath) {
        if (path.starts_with("/$"))
            continue;
        const auto found = byPath.find(path);
        ASSERT_NE(found, byPath.end()) << path;
        EXPECT_EQ(found->second.recordNumber, item.recordNumber) << path;
        EXPECT_EQ(found->second.deleted, item.deleted) << path;
        ++compared;
    }
    EXPECT_GT(compared, 400u);
}

TEST(DamagedVolume, RecordsOfAFragmentedMftAreReadWholeThroughItsMap) {
    // 512-byte clusters: many records start at the end of one extent of the $MFT and finish in
    // the next. The extension record holding the $MFT's run list from record 629 on is zeroed.
    AdvanceScan advance(test::image_in_memory("damaged_mft_extension"));
    advance.sweep();
    ASSERT_TRUE(advance.reconstruct(2048));
    ASSERT_FALSE(advance.scan.mftMap.empty());
    // The deleted files' records were taken by the files that made the $MFT grow.
    expect_manifest(advance.scan, "damaged_mft_extension.manifest.tsv",
                    [](const auto& e) { return e.record.value_or(0) >= 629 || e.deleted; });
    // Where the map is lost the sweep still finds the records, torn or not.
    const auto byPath = test::items_by_path(advance.scan);
    size_t beyond = 0;
    for (const auto& e :
         test::read_manifest(test::source_data_path("damaged_mft_extension.manifest.tsv"))) {
        if (e.record.value_or(0) >= 629 && !e.deleted) {
            EXPECT_TRUE(byPath.count(e.path)) << e.path;
            ++beyond;
        }
    }
    EXPECT_GT(beyond, 0u);
}

TEST(DamagedVolume, ALostVolumeWithoutBootSectorsGivesItsFilesBack) {
    // Its partition table and both boot sectors are zeroed, and so are the record and the index
    // block of the folder /Letters; /Big/fragmented.bin's runs go on in extension records.
    AdvanceScan advance(test::image_in_memory("lost_extension_records"));
    advance.sweep();
    ASSERT_TRUE(advance.reconstruct(2048));
    EXPECT_EQ(advance.scan.volume.mftStart, 0u); // inferred from its folders
    const std::string manifest = "lost_extension_records.manifest.tsv";
    // /Trash/old.txt's record went to /Fill.
    expect_manifest(advance.scan, manifest,
                    [](const auto& e) { return e.deleted || e.path.starts_with("/Letters"); });

    // The files of /Letters are under a folder of its record number, named from the root's
    // index entry.
    const FolderNode* letters = advance.scan.items.find_folder(74);
    ASSERT_NE(letters, nullptr);
    EXPECT_EQ(letters->name, "Letters");
    const auto byPath = test::items_by_path(advance.scan);
    const fs::path target = test::temp_path("lost-extension");
    fs::remove_all(target);
    fs::create_directories(target);
    SilentProgress progress;
    RecoverySettings settings;
    RecoveryRun run;
    RecoveryContext context(advance.reader, advance.scan, settings, progress, run);
    const FolderNode* big = advance.scan.items.find_folder(560);
    ASSERT_NE(big, nullptr);
    const std::vector<RecoveryRow> rows = {{RecoveryRow::Kind::Folder, letters->treeItem},
                                           {RecoveryRow::Kind::Folder, big->treeItem}};
    run_recovery(context, rows, TargetFolder::open(target.string()).value());
    size_t letterFiles = 0;
    for (const auto& e : test::read_manifest(test::source_data_path(manifest))) {
        if (e.folder || !e.path.starts_with("/Letters/"))
            continue;
        const std::string name = e.path.substr(std::string("/Letters/").size());
        const auto item = byPath.find("/" + letters->name + "/" + name);
        ASSERT_NE(item, byPath.end()) << e.path;
        EXPECT_EQ(item->second.size, e.size) << e.path;
        EXPECT_EQ(item->second.recordNumber, e.record.value_or(0)) << e.path;
        EXPECT_EQ(test::sha256_of_file((target / letters->name / name).string()), e.sha256)
            << e.path;
        ++letterFiles;
    }
    EXPECT_EQ(letterFiles, 14u);

    // /Big/fragmented.bin: record 561 keeps its name in record 562 and its runs from VCN 398 on
    // in 563 and 564; the recovery joins its runs through scan.extensionRecords, the volume's
    // $MFT being unmapped.
    const std::vector<Lba>& extensions = advance.scan.extensionRecords[561];
    std::vector<uint32_t> numbers;
    for (const Lba at : extensions) {
        std::array<uint8_t, mft_record::kSize> record{};
        ASSERT_TRUE(advance.reader.read_sectors(at, 2, record));
        numbers.push_back(own_record_number(record).value_or(0));
    }
    EXPECT_EQ(numbers, (std::vector<uint32_t>{562, 563, 564}));
    const auto entries = test::read_manifest(test::source_data_path(manifest));
    const auto fragmented = std::ranges::find_if(
        entries, [](const auto& e) { return e.path == "/Big/fragmented.bin"; });
    ASSERT_NE(fragmented, entries.end());
    EXPECT_EQ(test::sha256_of_file((target / "Big" / "fragmented.bin").string()),
              fragmented->sha256);
}

TEST(DamagedVolume, FilesContinuedInExtensionRecordsAreWholeWithoutBootSectors) {
    // The volume's own map of its records, read while it was whole.
    const auto intact = test::scan_image_partition("ntfs_attribute_list", 1);
    const MftMap& map = intact.scan.mftMap;
    ASSERT_FALSE(map.empty());

    auto disk = test::image_in_memory("ntfs_attribute_list");
    test::zero_sectors(*disk, 0, 1);            // the partition table
    test::zero_sectors(*disk, 2048, 1);         // the boot sector
    test::zero_sectors(*disk, 2048 + 77823, 1); // its backup, in the partition's last sector
    AdvanceScan advance(std::move(disk));
    advance.sweep();
    ASSERT_TRUE(advance.reconstruct(2048));
    EXPECT_EQ(advance.scan.volume.mftStart, 0u); // inferred from folders: no map of the $MFT
    const auto byPath = test::items_by_path(advance.scan);

    // Its $DATA goes on in three extension records, and ntfs-3g moved its name to a fourth.
    const auto interleaved = byPath.find("/fragmented/interleaved.bin");
    ASSERT_NE(interleaved, byPath.end());
    EXPECT_EQ(interleaved->second.size, 6553600u);
    EXPECT_EQ(interleaved->second.recordNumber, 149u);
    std::vector<Lba> expected;
    for (const uint32_t record : {431, 448, 876, 1337})
        expected.push_back(map.record_to_sector(record));
    EXPECT_EQ(advance.scan.extensionRecords[149], expected);
    std::map<Lba, const ExtensionRecordHit*> extensions;
    for (const ExtensionRecordHit& e : advance.hits.extensions)
        extensions[e.sector] = &e;
    ASSERT_TRUE(extensions.count(expected[0]));
    ASSERT_EQ(extensions[expected[0]]->names.size(), 1u);
    EXPECT_EQ(extensions[expected[0]]->names[0].name, "interleaved.bin");
    EXPECT_TRUE(extensions[expected[0]]->dataParts.empty());
    for (const auto& [at, vcn] :
         {std::pair{expected[1], 297u}, {expected[2], 724u}, {expected[3], 1184u}}) {
        ASSERT_TRUE(extensions.count(at));
        EXPECT_EQ(extensions[at]->base, (MftReference{149, 1}));
        EXPECT_EQ(extensions[at]->dataParts, (std::vector<DataPartHit>{{"", vcn, 0}}));
    }
    // Its names fill ten extension records.
    EXPECT_EQ(advance.scan.extensionRecords[65].size(), 10u);
    // The $MFTMirr record's data tells where the mirror lies.
    expect_first_records_once(advance.scan, map);

    // One name of a file with many links is listed; the deleted file's name is gone from every
    // record.
    expect_manifest(advance.scan, "ntfs_attribute_list.manifest.tsv", [](const auto& e) {
        return (!e.folder && e.path.starts_with("/links/")) || e.path == "/fragmented/deleted.bin";
    });
}

} // namespace
} // namespace salvex
