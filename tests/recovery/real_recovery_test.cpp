// Recovery from volumes written by mkntfs and ntfs-3g: every file comes back byte for byte, named
// streams, hard links and files continued in extension records too.
#include "disk/block_device.h"
#include "ntfs/mft_record.h"
#include "recovery/recovery_driver.h"
#include "tests/support/record_patch.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/sha256.h"
#include "tests/support/test_images.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <unordered_map>

namespace salvex {
namespace {

namespace fs = std::filesystem;

// Recovers everything under the root of `scan` into `target`.
RecoveryRun recover_root(const SectorReader& reader, const NtfsScan& scan, const fs::path& target) {
    std::vector<RecoveryRow> rows;
    for (const TreeItemId id : scan.tree.root().children)
        rows.push_back({RecoveryRow::Kind::Folder, id});
    for (size_t i = 0; i < scan.items.files.size(); ++i) {
        if (scan.items.files[i].parent == kRootFolderRecord)
            rows.push_back({RecoveryRow::Kind::File, i});
    }
    fs::remove_all(target);
    fs::create_directories(target);
    RecoverySettings settings;
    SilentProgress progress;
    RecoveryRun run;
    RecoveryContext context(reader, scan, settings, progress, run);
    run_recovery(context, rows, TargetFolder::open(target.string()).value());
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

// Recovers the whole root of each partition the manifest names and compares every file.
void expect_recovered(const std::string& image, const std::string& manifest) {
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
    expect_as_written(entries, targets);
}

TEST(RealRecovery, DemoDiskFilesComeBackByteForByteDeletedOnesToo) {
    expect_recovered("demo", "demo.manifest.tsv");
}

TEST(RealRecovery, ResidentFragmentedSparseAndCompressedFilesComeBackWhole) {
    expect_recovered("ntfs_contents", "ntfs_contents.manifest.tsv");
}

TEST(RealRecovery, SizesBeyondTheVolumeAreCutAndNamedAndTheOtherFilesComeBackWhole) {
    // A copy of a real volume whose records were damaged: one size field holds 2^64 - 1, and one
    // file became 4 PiB of sparse clusters (a single sparse run of 2^40 clusters).
    const auto original = test::scan_image_partition("ntfs_contents", 1);
    const std::string image = test::temp_path("damaged.img");
    fs::copy_file(test::image_path("ntfs_contents"), image, fs::copy_options::overwrite_existing);
    test::patch_record(image, original.byPath.at("/Plain/archive-1mib.dat").recordSector,
                       test::set_data_fields(UINT64_MAX));
    test::patch_record(image, original.byPath.at("/Plain/report-5000.txt").recordSector,
                       test::set_data_fields(uint64_t{1} << 52, {0x05, 0, 0, 0, 0, 0x01, 0}));

    SectorReader reader(AccessMode::Device);
    reader.open_device(FileDevice::open(image).value());
    NtfsScan scan;
    SilentProgress progress;
    StopFlag stop{0};
    // The partition: sectors 2048 to 63487.
    ASSERT_EQ(standard_scan(reader, 2048, 63487, scan, progress, stop), ScanOutcome::Completed);
    const fs::path target = test::temp_path("damaged");
    const RecoveryRun run = recover_root(reader, scan, target);
    EXPECT_EQ(run.files_failed, 0u);

    std::map<size_t, fs::path> targets{{1, target}};
    const auto entries = test::read_manifest(test::source_data_path("ntfs_contents.manifest.tsv"));
    expect_as_written(entries, targets, {"/Plain/report-5000.txt"});
    // The runs of archive-1mib.dat end with its real size: it comes back whole, yet damaged.
    // report-5000.txt stops at the volume's size (61,439 sectors), a hole of zeros.
    struct stat st {};
    ASSERT_EQ(stat((target / "Plain/report-5000.txt").c_str(), &st), 0);
    EXPECT_EQ(static_cast<uint64_t>(st.st_size), 61'439u * 512);
    EXPECT_LT(static_cast<uint64_t>(st.st_blocks) * 512, 1u << 20);
    std::vector<std::string> damaged;
    for (const DamagedFile& d : run.damagedFiles) {
        damaged.push_back(d.path.substr(target.string().size()));
        EXPECT_EQ(d.reason, "its size field exceeds what its volume can hold");
    }
    EXPECT_EQ(damaged,
              (std::vector<std::string>{"/Plain/report-5000.txt", "/Plain/archive-1mib.dat"}));
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

// The item of a named stream as the Standard Scan lists it: "file:stream", the stream's size.
FileNode stream_item(const test::ScannedVolume& volume, uint32_t record, const std::string& stream,
                     uint64_t size) {
    FileNode item = listed_file(volume, record);
    item.name += ":" + stream;
    item.stream = stream;
    item.size = size;
    return item;
}

TEST(RealRecovery, NamedStreamsComeBackUnderTheirItemsNamesDeletedOnesToo) {
    auto volume = test::scan_image_partition("ntfs_tree", 1);
    const fs::path target = fresh_folder("streams");
    const RecoveryRun run =
        recover_items(volume,
                      {listed_file(volume, 103), stream_item(volume, 103, "thumbnail", 6000),
                       stream_item(volume, 105, "Zone.Identifier", 54),
                       stream_item(volume, 110, "Zone.Identifier", 54)},
                      target);
    EXPECT_EQ(run.files_written, 4u);
    EXPECT_EQ(run.files_failed, 0u);
    EXPECT_EQ(test::sha256_of_file((target / "photo.jpg").string()),
              "9cb7e9b3ba6bf05bd25cfc8aeea4688197a78b318cdb461a23be0fcc493e28a3");
    EXPECT_EQ(test::sha256_of_file((target / "photo.jpg:thumbnail").string()),
              "2d2be52d24e2cb5e824c0612bba4546e90c5499ea6c643e523a111fa9a47bff3");
    const std::string zone = "a40b2adbf9a084937771336a1f11247ad5f45f1469c8c4446179c73557c05032";
    EXPECT_EQ(test::sha256_of_file((target / "installer.bin:Zone.Identifier").string()), zone);
    EXPECT_EQ(test::sha256_of_file((target / "old-installer.bin:Zone.Identifier").string()), zone);
}

TEST(RealRecovery, EveryNameOfAFileWithManyHardLinksGetsItsBytes) {
    // /shared/original.txt (record 65) has 70 more names, most of them in extension records.
    auto volume = test::scan_image_partition("ntfs_attribute_list", 1);
    std::vector<FileNode> names;
    std::set<std::string> listed;
    for (const FileNode& file : volume.scan.items.files) {
        if (file.recordNumber == 65 && listed.insert(file.name).second)
            names.push_back(file);
    }
    ASSERT_FALSE(names.empty());
    const FileNode original = names.front();
    for (int n = 1; n <= 70; ++n) {
        FileNode link = original;
        link.name = "copy of original " + std::to_string(n) + ".txt";
        if (listed.insert(link.name).second)
            names.push_back(link);
    }
    const std::vector<FileNode> rows(names.begin(), names.end());
    volume.scan.items.files.erase(
        std::remove_if(volume.scan.items.files.begin(), volume.scan.items.files.end(),
                       [](const FileNode& f) { return f.recordNumber == 65; }),
        volume.scan.items.files.end());
    const fs::path target = fresh_folder("links");
    const RecoveryRun run = recover_items(volume, rows, target);
    EXPECT_EQ(run.files_written, 71u);
    for (const std::string& name : listed)
        EXPECT_EQ(test::sha256_of_file((target / name).string()),
                  "968214b3ab4c1a75e67dfe2243052ba512b2d2e9c4a5501dd45d238394ce16a3")
            << name;
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
