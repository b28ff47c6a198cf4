// A snapshot of a real volume written by mkntfs and ntfs-3g loads back as the scan that made it.
#include "snapshot/snapshot_reader.h"
#include "snapshot/snapshot_writer.h"
#include "tests/snapshot/same_scan.h"
#include "tests/support/recovered_files.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace salvex {
namespace {

TEST(RealSnapshot, DemoVolumeComesBackFieldForFieldWithItsTreeAndMftMap) {
    const auto volume = test::scan_image_partition("demo", 1);
    ASSERT_GT(volume.scan.items.folders.size(), 5u);
    ASSERT_GT(volume.scan.items.files.size(), 20u);
    const SnapshotSelection selection{FsType::Ntfs, 0, 0, 0, 1};
    const std::string file = test::temp_path("demo.QRSX");
    const auto saved = save_snapshot(file, selection, volume.scan.volume, volume.scan.items,
                                     test::image_path("demo"));
    ASSERT_TRUE(saved.ok()) << saved.error();

    const auto loaded = load_snapshot(file, *volume.reader);
    ASSERT_TRUE(loaded.ok()) << loaded.error();
    EXPECT_EQ(loaded->selection, selection);
    const NtfsScan& before = volume.scan;
    const NtfsScan& after = loaded->scan;
    test::expect_same_volume(after.volume, before.volume);

    test::expect_same_items(after.items, before.items);
    for (size_t i = 0; i < before.items.folders.size(); ++i)
        EXPECT_EQ(after.items.folders[i].treeItem, before.items.folders[i].treeItem) << i;

    ASSERT_EQ(after.tree.size(), before.tree.size());
    for (TreeItemId id = FolderTree::kRootId; id <= before.tree.size(); ++id) {
        EXPECT_EQ(after.tree.node(id).folder, before.tree.node(id).folder) << id;
        EXPECT_EQ(after.tree.node(id).key, before.tree.node(id).key) << id;
        EXPECT_EQ(after.tree.node(id).parent, before.tree.node(id).parent) << id;
        EXPECT_EQ(after.tree.node(id).children, before.tree.node(id).children) << id;
    }
    EXPECT_FALSE(after.mftMap.empty());
    EXPECT_EQ(after.mftMap.extents(), before.mftMap.extents());

    // Names in several scripts come back as they were.
    const auto paths = test::items_by_path(after);
    EXPECT_TRUE(paths.count("/Documents/日本語.txt"));
    EXPECT_TRUE(paths.count("/Café.txt"));
}

TEST(RealSnapshot, ANamedStreamKeepsItsStreamAndItsBytesThroughASnapshot) {
    auto volume = test::scan_image_partition("ntfs_tree", 1);
    // /Pictures/photo.jpg (record 103) and its stream "thumbnail", as the scan lists a stream.
    const auto photo = std::find_if(volume.scan.items.files.begin(), volume.scan.items.files.end(),
                                    [](const FileNode& f) { return f.recordNumber == 103; });
    ASSERT_NE(photo, volume.scan.items.files.end());
    FileNode thumbnail = *photo;
    thumbnail.name = "photo.jpg:thumbnail";
    thumbnail.stream = "thumbnail";
    thumbnail.size = 6000;
    if (!volume.byPath.count("/Pictures/photo.jpg:thumbnail"))
        volume.scan.items.add_file(thumbnail);
    const std::string file = test::temp_path("streams.QRSX");
    const auto saved = save_snapshot(file, {FsType::Ntfs, 0, 0, 0, 1}, volume.scan.volume,
                                     volume.scan.items, test::image_path("ntfs_tree"));
    ASSERT_TRUE(saved.ok()) << saved.error();

    const auto loaded = load_snapshot(file, *volume.reader);
    ASSERT_TRUE(loaded.ok()) << loaded.error();
    test::expect_same_items(loaded->scan.items, volume.scan.items);
    const auto& files = loaded->scan.items.files;
    const auto index = static_cast<size_t>(
        std::find_if(files.begin(), files.end(),
                     [](const FileNode& f) { return f.name == "photo.jpg:thumbnail"; }) -
        files.begin());
    ASSERT_LT(index, files.size());
    EXPECT_EQ(files[index].stream, "thumbnail");

    RecoveryRun run;
    test::recover_rows(*volume.reader, loaded->scan, {{RecoveryRow::Kind::File, index}}, "target",
                       run);
    EXPECT_EQ(test::sha256_of_file(test::temp_path("target") + "/photo.jpg:thumbnail"),
              "2d2be52d24e2cb5e824c0612bba4546e90c5499ea6c643e523a111fa9a47bff3");
}

} // namespace
} // namespace salvex
