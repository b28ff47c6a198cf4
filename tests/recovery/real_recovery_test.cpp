// Recovery from volumes written by mkntfs and ntfs-3g: every file comes back byte for byte, named
// streams, hard links and files continued in extension records too.
#include "ntfs/mft_record.h"
#include "recovery/recovery_driver.h"
#include "tests/support/recovered_files.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <set>
#include <unordered_map>

namespace salvex {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Recovers the whole root of each partition the manifest names and compares every file but
// those of `skipped`.
void expect_recovered(const std::string& image, const std::string& manifest,
                      const std::set<std::string>& skipped = {}) {
    const auto entries = test::read_manifest(test::source_data_path(manifest));
    std::set<size_t> partitions;
    for (const auto& e : entries)
        partitions.insert(e.partition);
    for (const size_t partition : partitions) {
        SCOPED_TRACE(image + " partition " + std::to_string(partition));
        const std::string stem = image + "-" + std::to_string(partition);
        const auto volume = test::scan_image_partition(image, partition);
        RecoveryRun run;
        test::recover_root(*volume.reader, volume.scan, stem, run);
        EXPECT_EQ(run.files_failed, 0u);
        EXPECT_TRUE(run.damagedFiles.empty()) << run.damagedFiles.front().path;
        EXPECT_GT(test::expect_files_as_written(entries, test::temp_path(stem),
                                                [&](const test::ManifestEntry& e) {
                                                    return e.partition != partition ||
                                                           skipped.count(e.path);
                                                }),
                  0u);
    }
}

TEST(RealRecovery, EveryFileComesBackByteForByteDeletedOnesToo) {
    const struct {
        const char* image;
        std::set<std::string> skipped;
    } cases[] = {
        {"demo", {}},
        // Fragmented, Unicode-named and deleted files of 4,096-byte records and clusters.
        {"ntfs_4kn_gpt", {}},
        {"ntfs_4kn_mbr", {}},
        // Resident, fragmented, sparse and compressed files.
        {"ntfs_contents", {}},
        // Every name of a file and every named stream. Names removed from a file are gone from
        // its record, and nothing lists them: one of a file that lives on, and the first of two
        // of a deleted one.
        {"ntfs_tree", {}},
        {"ntfs_links_streams", {"/Other/alias-2.txt", "/Trash/twice.txt"}},
        // /fragmented/interleaved.bin: 6.5 MB in 866 runs, its run list continued in three
        // extension records. The deleted file whose name the MFT no longer holds is recovered
        // below, by its record.
        {"ntfs_attribute_list", {"/fragmented/deleted.bin"}},
    };
    for (const auto& c : cases)
        expect_recovered(c.image, std::string(c.image) + ".manifest.tsv", c.skipped);
}

TEST(RealRecovery, SizesAndRunsBeyondTheVolumeAreBoundedAndNamedTheOtherFilesComeBackWhole) {
    // /Data/huge-size.bin's size fields hold 2^64 - 1; /Data/sparse-run.bin's run list got a
    // sparse run of 2^50 clusters after its first cluster, its size left as it was.
    const auto volume = test::scan_image_partition("damaged_sizes", 1);
    RecoveryRun run;
    test::recover_root(*volume.reader, volume.scan, "damaged", run);
    const fs::path target = test::temp_path("damaged");
    EXPECT_EQ(run.files_failed, 0u);
    const auto entries = test::read_manifest(test::source_data_path("damaged_sizes.manifest.tsv"));
    EXPECT_GT(test::expect_files_as_written(entries, target,
                                            [](const test::ManifestEntry& e) {
                                                return e.path == "/Data/huge-size.bin" ||
                                                       e.path == "/Data/sparse-run.bin";
                                            }),
              0u);

    std::map<std::string, std::string> damaged;
    for (const DamagedFile& d : run.damagedFiles)
        damaged[d.path.substr(target.string().size())] = d.reason;
    EXPECT_EQ(damaged,
              (std::map<std::string, std::string>{
                  {"/Data/huge-size.bin", "its size field exceeds what its volume can hold"},
                  {"/Data/sparse-run.bin", "its runs reach past the volume"}}));
    // What the runs hold: the file's 20,000 bytes and the rest of its last cluster.
    const std::string huge = read_file(target / "Data/huge-size.bin");
    ASSERT_EQ(huge.size(), 5u * 4096);
    EXPECT_EQ(test::sha256_hex(ByteView(reinterpret_cast<const uint8_t*>(huge.data()), 20000)),
              "843d0689b55a69a51760eb64eb87ca28a9a41239dc96d4ef3640aa1972a355e1");
    // Its first cluster, then what the hole put in the place of the others.
    const std::string sparse = read_file(target / "Data/sparse-run.bin");
    ASSERT_EQ(sparse.size(), 16384u);
    EXPECT_TRUE(std::all_of(sparse.begin() + 4096, sparse.end(), [](char c) { return c == 0; }));
    EXPECT_FALSE(std::all_of(sparse.begin(), sparse.begin() + 4096, [](char c) { return c == 0; }));
}

// Recovers `files`, listed after the scan's own items as a scan lists them, into the empty folder
// temp_path(stem).
void recover_items(test::ScannedVolume& volume, const std::vector<FileNode>& files,
                   const std::string& stem, RecoveryRun& run) {
    std::vector<RecoveryRow> rows;
    for (const FileNode& file : files) {
        rows.push_back({RecoveryRow::Kind::File, volume.scan.items.files.size()});
        volume.scan.items.add_file(file);
    }
    test::recover_rows(*volume.reader, volume.scan, rows, stem, run);
}

const FileNode& listed_file(const test::ScannedVolume& volume, uint32_t record) {
    for (const FileNode& file : volume.scan.items.files) {
        if (file.recordNumber == record && file.stream.empty())
            return file;
    }
    ADD_FAILURE() << "record " << record << " is not listed";
    return volume.scan.items.files.front();
}

TEST(RealRecovery, AFoldersNamedStreamIsReadFromTheFoldersRecord) {
    auto volume = test::scan_image_partition("ntfs_links_streams", 1);
    FileNode comment;
    comment.name = "Folder:comment";
    comment.stream = "comment";
    comment.recordNumber = 98;
    comment.recordSector = volume.scan.mftMap.record_to_sector(98);
    comment.size = 120;
    RecoveryRun run;
    recover_items(volume, {comment}, "folder-stream", run);
    EXPECT_EQ(run.files_written, 1u);
    EXPECT_EQ(test::sha256_of_file(test::temp_path("folder-stream") + "/Folder:comment"),
              "eb39a3629ceb217cd9de781a61619226c8d42e690648da7c6d66962052a1946f");
}

// What the sweep of an Advance Scan finds of the volume's extension records, by base record.
std::unordered_map<uint32_t, std::vector<Lba>> extension_records(const test::ScannedVolume& v) {
    std::unordered_map<uint32_t, std::vector<Lba>> found;
    std::array<uint8_t, mft_record::kSize> record{};
    for (uint64_t n = 0; n < v.scan.mftMap.record_count(); ++n) {
        const Lba at = v.scan.mftMap.record_to_sector(n);
        if (!v.reader->read_sectors(at, 2, record) || !has_file_signature(record))
            continue;
        apply_fixup(record);
        if (is_extension_record(record))
            found[static_cast<uint32_t>(base_reference(record).record)].push_back(at);
    }
    return found;
}

TEST(RealRecovery, ExtensionRecordsFoundByTheSweepCompleteFilesWithOrWithoutAMap) {
    auto volume = test::scan_image_partition("ntfs_attribute_list", 1);
    // /fragmented/deleted.bin: deleted, no longer named in the MFT; its attribute list lost the
    // entry of the extension record that holds the run list from cluster 326 on.
    FileNode deleted;
    deleted.name = "deleted.bin";
    deleted.recordNumber = 1755;
    deleted.recordSector = volume.scan.mftMap.record_to_sector(1755);
    deleted.size = 1638400;
    deleted.deleted = true;
    const std::string interleavedSha =
        "c7798454c73ea38cd0373a0023573d0c9f2d2daf5244abb5013642cb6535cf3e";
    const std::string deletedSha =
        "560284c712f5d54f366c76c2bd5307eb5afa218eda2498e748ea31d4033b5a58";

    RecoveryRun listedOnly;
    recover_items(volume, {deleted}, "listed-only", listedOnly);
    EXPECT_NE(test::sha256_of_file(test::temp_path("listed-only") + "/deleted.bin"), deletedSha);

    volume.scan.extensionRecords = extension_records(volume);
    ASSERT_EQ(volume.scan.extensionRecords[1755].size(), 2u);
    RecoveryRun mapped;
    recover_items(volume, {deleted}, "mapped", mapped);
    EXPECT_EQ(test::sha256_of_file(test::temp_path("mapped") + "/deleted.bin"), deletedSha);

    // A candidate found from its folders alone knows no $MFT: the records the sweep found are
    // all it has.
    volume.scan.mftMap.clear();
    RecoveryRun run;
    recover_items(volume, {listed_file(volume, 149), deleted}, "unmapped", run);
    EXPECT_EQ(run.files_written, 2u);
    const fs::path unmapped = test::temp_path("unmapped");
    EXPECT_EQ(test::sha256_of_file((unmapped / "interleaved.bin").string()), interleavedSha);
    EXPECT_EQ(test::sha256_of_file((unmapped / "deleted.bin").string()), deletedSha);
}

} // namespace
} // namespace salvex
