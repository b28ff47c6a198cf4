// Recovery from volumes written by mkntfs and ntfs-3g: every file comes back byte for byte.
#include "recovery/recovery_driver.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/sha256.h"
#include "tests/support/test_images.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace salvex {
namespace {

namespace fs = std::filesystem;

// Recovers the whole root of each partition the manifest names and compares every file.
void expect_recovered(const std::string& image, const std::string& manifest) {
    const auto entries = test::read_manifest(test::source_data_path(manifest));
    std::map<size_t, fs::path> targets;
    for (const auto& e : entries) {
        if (targets.count(e.partition))
            continue;
        const fs::path target = test::temp_path(image + "-" + std::to_string(e.partition));
        fs::remove_all(target);
        fs::create_directories(target);
        const auto volume = test::scan_image_partition(image, e.partition);
        std::vector<RecoveryRow> rows;
        for (const TreeItemId id : volume.scan.tree.root().children)
            rows.push_back({RecoveryRow::Kind::Folder, id});
        for (size_t i = 0; i < volume.scan.items.files.size(); ++i) {
            if (volume.scan.items.files[i].parent == kRootFolderRecord)
                rows.push_back({RecoveryRow::Kind::File, i});
        }
        RecoverySettings settings;
        SilentProgress progress;
        RecoveryRun run;
        RecoveryContext context(*volume.reader, volume.scan, settings, progress, run);
        auto folder = TargetFolder::open(target.string());
        ASSERT_TRUE(folder.ok());
        run_recovery(context, rows, *folder);
        EXPECT_EQ(run.files_failed, 0u) << image;
        targets[e.partition] = target;
    }
    size_t compared = 0;
    for (const auto& e : entries) {
        if (e.folder || e.sha256.empty())
            continue;
        const fs::path file = targets[e.partition] / e.path.substr(1);
        if (e.size == 0) {
            EXPECT_FALSE(fs::exists(file)) << e.path;
            continue;
        }
        ASSERT_TRUE(fs::exists(file)) << image << ": " << e.path;
        EXPECT_EQ(fs::file_size(file), e.size) << e.path;
        EXPECT_EQ(test::sha256_of_file(file.string()), e.sha256) << e.path;
        ++compared;
    }
    EXPECT_GT(compared, 0u);
}

TEST(RealRecovery, DemoDiskFilesComeBackByteForByteDeletedOnesToo) {
    expect_recovered("demo", "demo.manifest.tsv");
}

TEST(RealRecovery, ResidentFragmentedSparseAndCompressedFilesComeBackWhole) {
    expect_recovered("ntfs_contents", "ntfs_contents.manifest.tsv");
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
