// Recovery from volumes written by mkntfs and ntfs-3g: every file comes back byte for byte, named
// streams, hard links and files continued in extension records too.
#include "ntfs/mft_record.h"
#include "recovery/recovery_driver.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/sha256.h"
#include "tests/support/test_images.h"

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

// Recovers everything under the root of `scan` into `target`.
RecoveryRun recover_root(const SectorReader& reader, const NtfsScan& scan, const fs::path& target) {
    fs::remove_all(target);
    fs::create_directories(target);
    RecoverySettings settings;
    SilentProgress progress;
    RecoveryRun run;
    RecoveryContext context(reader, scan, settings, progress, run);
    run_recovery(context, root_rows(scan), TargetFolder::open(target.string()).value());
    return run;
}

// Compares every file of the manifest but those of `skipped` with what was recovered into the
// target of its partition.
void expect_as_written(const std::vector<test::ManifestEntry>& entries,
                       std::map<size_t, fs::path>& targets,
                       const std::set<std::string>& skipped = {}) {
    size_t compared = 0;
    for (const auto& e : entries) {
        if (e.folder || e.sha256.empty() || skipped.count(e.path))
            continue;
        const fs::path file = targets[e.partition] / e.path.substr(1);
        if (e.size == 0) {
            EXPECT_FALSE(fs::exists(file)) << e.path;
            continue;
        }
        ASSERT_TRUE(fs::exists(file)) << e.path;
        EXPECT_EQ(fs::file_size(file), e.size) << e.path;
        EXPECT_EQ(test::sha256_of_file(file.string()), e.sha256) << e.path;
        ++compared;
    }
    EXPECT_GT(compared, 0u);
}

// Recovers the whole root of each partition the manifest names and compares every file but
// those of `skipped`.
void expect_recovered(const std::string& image, const std::string& manifest,
                      const std::set<std::string>& skipped = {}) {
    const auto entries = test::read_manifest(test::source_data_path(manifest));
    std::map<size_t, fs::path> targets;
    for (const auto& e : entries) {
        if (targets.count(e.partition))
            continue;
        const fs::path target = test::temp_path(image + "-" + std::to_string(e.partition));
        const auto volume = test::scan_image_partition(image, e.partition);
        const RecoveryRun run = recover_root(*volume.reader, volume.scan, target);
        EXPECT_EQ(run.files_failed, 0u) << image;
        EXPECT_TRUE(run.damagedFiles.empty()) << image << ": " << run.damagedFiles.front().path;
        targets[e.partition] = target;
    }
    expect_as_written(entries, targets, skipped);
}

TEST(RealRecovery, DemoDiskFilesComeBackByteForByteDeletedOnesToo) {
    expect_recovered("demo", "demo.manifest.tsv");
}

TEST(RealRecovery, FilesOfAVolumeWithFourKibibyteSectorsComeBackDeletedOnesToo) {
    // Fragmented, Unicode-named and deleted files of 4,096-byte records and clusters.
    expect_recovered("ntfs_4kn_gpt", "ntfs_4kn_gpt.manifest.tsv");
    expect_recovered("ntfs_4kn_mbr", "ntfs_4kn_mbr.manifest.tsv");
}

TEST(RealRecovery, ResidentFragmentedSparseAndCompressedFilesComeBackWhole) {
    expect_recovered("ntfs_contents", "ntfs_contents.manifest.tsv");
}

TEST(RealRecovery, EveryNameOfAFileAndEveryNamedStreamComesBackDeletedOnesToo) {
    expect_recovered("ntfs_tree", "ntfs_tree.manifest.tsv");
    // Names removed from a file are gone from its record, and nothing lists them: one of a file
    // that lives on, and the first of two of a deleted one.
    expect_recovered("ntfs_links_streams", "ntfs_links_streams.manifest.tsv",
                     {"/Other/alias-2.txt", "/Trash/twice.txt"});
    // The deleted file whose name the MFT no longer holds is recovered below, by its record.
    expect_recovered("ntfs_attribute_list", "ntfs_attribute_list.manifest.tsv",
                     {"/fragmented/deleted.bin"});
}

TEST(RealRecovery, SizesAndRunsBeyondTheVolumeAreBoundedAndNamedTheOtherFilesComeBackWhole) {
    // /Data/huge-size.bin's size fields hold 2^64 - 1; /Data/sparse-run.bin's run list got a
    // sparse run of 2^50 clusters after its first cluster, its size left as it was.
    const auto volume = test::scan_image_partition("damaged_sizes", 1);
    const fs::path target = test::temp_path("damaged");
    const RecoveryRun run = recover_root(*volume.reader, volume.scan, target);
    EXPECT_EQ(run.files_failed, 0u);
    std::map<size_t, fs::path> targets{{1, target}};
    const auto entries = test::read_manifest(test::source_data_path("damaged_sizes.manifest.tsv"));
    expect_as_written(entries, targets, {"/Data/huge-size.bin", "/Data/sparse-run.bin"});

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

// A fresh, empty folder for a test's files.
fs::path fresh_folder(const std::string& stem) {
    const fs::path target = test::temp_path(stem);
    fs::remove_all(target);
    fs::create_directories(target);
    return target;
}

// Recovers `files`, listed after the scan's own items as a scan lists them, into `target`.
RecoveryRun recover_items(test::ScannedVolume& volume, const std::vector<FileNode>& files,
                          const fs::path& target) {
    std::vector<RecoveryRow> rows;
    for (const FileNode& file : files) {
        rows.push_back({RecoveryRow::Kind::File, volume.scan.items.files.size()});
        volume.scan.items.add_file(file);
    }
    RecoverySettings settings;
    SilentProgress progress;
    RecoveryRun run;
    RecoveryContext context(*volume.reader, volume.scan, settings, progress, run);
    run_recovery(context, rows, TargetFolder::open(target.string()).value());
    return run;
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
    const fs::path target = fresh_folder("folder-stream");
    const RecoveryRun run = recover_items(volume, {comment}, target);
    EXPECT_EQ(run.files_written, 1u);
    EXPECT_EQ(test::sha256_of_file((target / "Folder:comment").string()),
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

    const fs::path listedOnly = fresh_folder("listed-only");
    recover_items(volume, {deleted}, listedOnly);
    EXPECT_NE(test::sha256_of_file((listedOnly / "deleted.bin").string()), deletedSha);

    volume.scan.extensionRecords = extension_records(volume);
    ASSERT_EQ(volume.scan.extensionRecords[1755].size(), 2u);
    const fs::path mapped = fresh_folder("mapped");
    recover_items(volume, {deleted}, mapped);
    EXPECT_EQ(test::sha256_of_file((mapped / "deleted.bin").string()), deletedSha);

    // A candidate found from its folders alone knows no $MFT: the records the sweep found are
    // all it has.
    volume.scan.mftMap.clear();
    const fs::path unmapped = fresh_folder("unmapped");
    const RecoveryRun run = recover_items(volume, {listed_file(volume, 149), deleted}, unmapped);
    EXPECT_EQ(run.files_written, 2u);
    EXPECT_EQ(test::sha256_of_file((unmapped / "interleaved.bin").string()), interleavedSha);
    EXPECT_EQ(test::sha256_of_file((unmapped / "deleted.bin").string()), deletedSha);
}

TEST(RealRecovery, DataContinuedInExtensionRecordsIsCopiedWhole) {
    // 6.5 MB in 866 runs, its run list continued in three extension records.
    const auto volume = test::scan_image_partition("ntfs_attribute_list", 1);
    ASSERT_TRUE(volume.byPath.count("/fragmented/interleaved.bin"));
    const fs::path target = test::temp_path("interleaved");
    fs::remove_all(target);
    fs::create_directories(target);
    size_t index = 0;
    while (volume.scan.items.files[index].name != "interleaved.bin")
        ++index;
    RecoverySettings settings;
    SilentProgress progress;
    RecoveryRun run;
    RecoveryContext context(*volume.reader, volume.scan, settings, progress, run);
    const std::vector<RecoveryRow> rows = {{RecoveryRow::Kind::File, index}};
    run_recovery(context, rows, TargetFolder::open(target.string()).value());
    EXPECT_EQ(test::sha256_of_file((target / "interleaved.bin").string()),
              "c7798454c73ea38cd0373a0023573d0c9f2d2daf5244abb5013642cb6535cf3e");
}

} // namespace
} // namespace salvex
