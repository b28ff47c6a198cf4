// The Standard Scan over volumes made by mkntfs and ntfs-3g and then damaged by a script
// (tests/data/README.md says what each damage is), checked against what their builders wrote
// and against The Sleuth Kit's listing of the same volumes.
#include "partition/partition_table.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/test_images.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

namespace salvex {
namespace {

using Skip = std::function<bool(const test::ManifestEntry&)>;

// Every item the builder made is listed at its path, with its kind, state, size and record,
// except those `skip` names (what the damage destroyed).
void expect_listed(const test::ScannedVolume& volume, const std::string& manifest,
                   const Skip& skip = {}) {
    size_t checked = 0;
    for (const test::ManifestEntry& e : test::read_manifest(test::source_data_path(manifest))) {
        if (skip && skip(e))
            continue;
        ++checked;
        const auto it = volume.byPath.find(e.path);
        ASSERT_NE(it, volume.byPath.end()) << manifest << ": " << e.path;
        EXPECT_EQ(it->second.folder, e.folder) << e.path;
        EXPECT_EQ(it->second.deleted, e.deleted) << e.path;
        if (!e.folder) {
            EXPECT_EQ(it->second.size, e.size) << e.path;
        }
        if (e.record) {
            EXPECT_EQ(it->second.recordNumber, *e.record) << e.path;
        }
    }
    EXPECT_GT(checked, 0u) << manifest;
}

struct FlsLine {
    size_t partition = 0;
    bool deleted = false;
    std::string type;
    std::string path;
};

std::vector<FlsLine> read_fls(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line); // header
    std::vector<FlsLine> lines;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        FlsLine l;
        std::string record;
        std::string deleted;
        std::getline(fields, line, '\t');
        l.partition = std::stoul(line);
        std::getline(fields, record, '\t');
        std::getline(fields, deleted, '\t');
        std::getline(fields, l.type, '\t');
        std::getline(fields, l.path);
        l.deleted = deleted == "1";
        lines.push_back(l);
    }
    return lines;
}

// The images whose volumes fls can read, by the listings the builders kept of them.
std::vector<std::string> images_with_fls_listings() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(SALVEX_SOURCE_DATA_DIR)) {
        const std::string file = entry.path().filename();
        if (file.ends_with(".fls.tsv"))
            names.push_back(file.substr(0, file.size() - 8));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// fls lists every named attribute of a name, also the named indexes of the metadata files
// ($ObjId:$O, $Secure:$SDH, ...). They are indexes, not data streams, and are not listed here.
bool is_named_index(const std::string& path) {
    static const std::set<std::string> kIndexes = {":$O", ":$Q", ":$R", ":$SDH", ":$SII"};
    const size_t colon = path.rfind(':');
    return colon != std::string::npos && kIndexes.count(path.substr(colon));
}

// Where a damage contradicts the folder indexes that fls walks, the records decide here: in
// damaged_cycle the $FILE_NAMEs of /A and /A/B name each other as parent, so both are in a lost
// folder, though the root's index still lists /A.
bool records_decide(const std::string& image, const std::string& path) {
    return image == "damaged_cycle" && (path == "/A" || path.starts_with("/A/"));
}

// fls lists a folder's named stream inside the folder as ".:stream"; here it lies beside the
// folder as "folder:stream", the path Windows opens it by.
std::string as_listed_here(const std::string& flsPath) {
    const size_t at = flsPath.rfind("/.:");
    return at == std::string::npos ? flsPath : flsPath.substr(0, at) + flsPath.substr(at + 2);
}

TEST(FlsOracle, EveryLivePathFlsPlacesIsListedAtTheSamePath) {
    const auto images = images_with_fls_listings();
    ASSERT_FALSE(images.empty());
    for (const std::string& image : images) {
        std::map<size_t, test::ScannedVolume> volumes;
        size_t compared = 0;
        for (const FlsLine& l : read_fls(test::source_data_path(image + ".fls.tsv"))) {
            if (l.deleted || l.type == "V" || l.path.starts_with("/$OrphanFiles") ||
                is_named_index(l.path) || records_decide(image, l.path))
                continue;
            auto it = volumes.find(l.partition);
            if (it == volumes.end())
                it = volumes.emplace(l.partition, test::scan_image_partition(image, l.partition))
                         .first;
            EXPECT_TRUE(it->second.byPath.count(as_listed_here(l.path)))
                << image << " partition " << l.partition << ": " << l.path;
            ++compared;
        }
        EXPECT_GT(compared, 0u) << image;
    }
}

TEST(DamagedVolumes, MftRecordZeroDamagedTheMirrorsCopyMapsTheMft) {
    const auto volume = test::scan_image_partition("damaged_mft_record0", 1);
    EXPECT_EQ(volume.scan.mftMap.source(), MftMap::Source::Mirror);
    expect_listed(volume, "damaged_mft_record0.manifest.tsv");
    EXPECT_TRUE(volume.byPath.count("/$MFT")); // from its copy in $MFTMirr
}

TEST(DamagedVolumes, RunListReachingPastTheVolumeIsCutAtItsEnd) {
    const auto volume = test::scan_image_partition("damaged_mft_runs", 1);
    expect_listed(volume, "damaged_mft_runs.manifest.tsv");
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
    EXPECT_NE(standard_scan(*reader, p.start, p.end(), scan, progress, stop),
              ScanOutcome::Completed);
    ASSERT_EQ(progress.messages.size(), 1u);
    EXPECT_EQ(progress.messages[0].text, kScanImpossibleMessage); // it points to the Advance Scan
}

TEST(DamagedVolumes, RootRecordDamagedItsItemsStillHangUnderTheRoot) {
    const auto volume = test::scan_image_partition("damaged_root", 1);
    expect_listed(volume, "damaged_root.manifest.tsv");
}

TEST(DamagedVolumes, LostPartOfTheMftCostsOnlyItsRecords) {
    // The extension record holding $MFT's runs from cluster 1,259 on (512-byte clusters: from
    // record 629 on, and half of record 629) was zeroed. Every item before it keeps its number.
    // (The files made to grow the $MFT took the records of the deleted files.)
    const auto volume = test::scan_image_partition("damaged_mft_extension", 1);
    expect_listed(volume, "damaged_mft_extension.manifest.tsv", [](const test::ManifestEntry& e) {
        return e.record.value_or(0) >= 629 || e.deleted;
    });
}

TEST(DamagedVolumes, FoldersNamingEachOtherAsParentAreFoundInLostFolders) {
    const auto volume = test::scan_image_partition("damaged_cycle", 1);
    // /A and /A/B lost their way to the root; everything else is where it was.
    expect_listed(volume, "damaged_cycle.manifest.tsv", [](const test::ManifestEntry& e) {
        return e.path.starts_with("/A/") || e.path == "/A";
    });
    for (const auto& e :
         test::read_manifest(test::source_data_path("damaged_cycle.manifest.tsv"))) {
        if (!e.path.starts_with("/A"))
            continue;
        // Now below a made-up folder: "/DirN/A/..." or "/DirN/B/...".
        const std::string leaf = e.path.substr(e.path.rfind('/') + 1);
        const bool found = std::any_of(volume.byPath.begin(), volume.byPath.end(), [&](auto& p) {
            return p.first.starts_with("/Dir") && p.first.ends_with("/" + leaf);
        });
        EXPECT_TRUE(found) << e.path;
    }
}

TEST(DamagedVolumes, WrongAllocatedSizesChangeNothing) {
    const auto volume = test::scan_image_partition("damaged_alloc_size", 1);
    expect_listed(volume, "damaged_alloc_size.manifest.tsv");
}

TEST(RealVolumes, SmallClustersRecordsThatStraddleTwoExtents) {
    const auto volume = test::scan_image_partition("ntfs_small_clusters", 1);
    EXPECT_EQ(volume.scan.volume.sectorsPerCluster, 1u);
    // The files made to grow the $MFT took the records of the deleted files.
    expect_listed(volume, "ntfs_small_clusters.manifest.tsv",
                  [](const test::ManifestEntry& e) { return e.deleted; });
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
    expect_listed(volume, "ntfs_links_streams.manifest.tsv", removed_link);
}

TEST(RealVolumes, DeletedItemsStayInTheirDeletedFolderStaleOnesGoToLostFolders) {
    // /Drafts was emptied and deleted, and its record reused by a file: its deleted files have
    // no folder any more (fls puts them in $OrphanFiles). /Trip was deleted whole: its items
    // stay inside it.
    const auto volume = test::scan_image_partition("ntfs_sequence", 1);
    expect_listed(volume, "ntfs_sequence.manifest.tsv",
                  [](const test::ManifestEntry& e) { return e.path.starts_with("/Drafts"); });
    for (const auto& e :
         test::read_manifest(test::source_data_path("ntfs_sequence.manifest.tsv"))) {
        if (!e.path.starts_with("/Drafts/"))
            continue;
        const std::string leaf = e.path.substr(e.path.rfind('/') + 1);
        const bool inLostFolder =
            std::any_of(volume.byPath.begin(), volume.byPath.end(), [&](auto& p) {
                return p.first.starts_with("/Dir") && p.first.ends_with("/" + leaf);
            });
        EXPECT_TRUE(inLostFolder) << e.path;
    }
}

} // namespace
} // namespace salvex
