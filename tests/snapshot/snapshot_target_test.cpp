// What lies where a snapshot is to be saved, and the writer's own refusal to replace the disk
// being examined.
#include "snapshot/snapshot_target.h"
#include "tests/snapshot/snapshot_samples.h"
#include "tests/support/sha256.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace salvex {
namespace {

using namespace test::snapshot_samples;

// A copy of a disk image named as a snapshot would be: "DISK.QRSX", what "disk" becomes.
std::string image_named_like_a_snapshot(const fs::path& dir) {
    const fs::path image = dir / "DISK.QRSX";
    fs::copy_file(test::image_path("ntfs_tree"), image);
    return image.string();
}

TEST(SnapshotTarget, EachKindOfFileThereIsToldApart) {
    const fs::path dir = fresh_folder();
    const std::string image = image_named_like_a_snapshot(dir);
    EXPECT_EQ(check_snapshot_target((dir / "NEW.QRSX").string(), image).kind, SnapshotTarget::Free);

    const std::string older = (dir / "OLDER.QRSX").string();
    ASSERT_TRUE(save_snapshot(older, {}, ntfs_volume(), sample_items(), image).ok());
    EXPECT_EQ(check_snapshot_target(older, image).kind, SnapshotTarget::Snapshot);
    std::ofstream(dir / "LOWER.QRSX") << "qRs4.031.0";
    EXPECT_EQ(check_snapshot_target((dir / "LOWER.QRSX").string(), image).kind,
              SnapshotTarget::Snapshot);

    const TargetCheck disk = check_snapshot_target(image, image);
    EXPECT_EQ(disk.kind, SnapshotTarget::ExaminedDisk);
    EXPECT_EQ(disk.what, image + " is the disk being examined");
    // Without the examined disk named, an image is just a file that is not a snapshot.
    EXPECT_EQ(check_snapshot_target(image, "").kind, SnapshotTarget::NotASnapshot);

    std::ofstream(dir / "NOTES.QRSX") << "my notes";
    const TargetCheck notes = check_snapshot_target((dir / "NOTES.QRSX").string(), image);
    EXPECT_EQ(notes.kind, SnapshotTarget::NotASnapshot);
    EXPECT_EQ(notes.what, (dir / "NOTES.QRSX").string() + " exists and is not a snapshot file");
    std::ofstream(dir / "SHORT.QRSX") << "QRS";
    EXPECT_EQ(check_snapshot_target((dir / "SHORT.QRSX").string(), image).kind,
              SnapshotTarget::NotASnapshot);
    fs::create_directory(dir / "FOLDER.QRSX");
    EXPECT_EQ(check_snapshot_target((dir / "FOLDER.QRSX").string(), image).kind,
              SnapshotTarget::NotASnapshot);
}

TEST(SnapshotTarget, TheExaminedDiskIsKnownThroughAnyNameThatLeadsToIt) {
    const fs::path dir = fresh_folder();
    const std::string image = image_named_like_a_snapshot(dir);
    fs::create_symlink(image, dir / "LINK.QRSX");
    fs::create_hard_link(image, dir / "HARD.QRSX");
    fs::create_directory(dir / "sub");
    for (const fs::path& name : {dir / "LINK.QRSX", dir / "HARD.QRSX", dir / "sub/../DISK.QRSX"})
        EXPECT_EQ(check_snapshot_target(name.string(), image).kind, SnapshotTarget::ExaminedDisk)
            << name;
    // The examined disk itself given through a link.
    EXPECT_EQ(check_snapshot_target(image, (dir / "LINK.QRSX").string()).kind,
              SnapshotTarget::ExaminedDisk);
    EXPECT_FALSE(same_file(image, (dir / "MISSING").string()));
    EXPECT_TRUE(same_file("/dev/null", "/dev/null"));
    EXPECT_FALSE(same_file("/dev/null", "/dev/zero"));
}

TEST(SnapshotTarget, TheWriterRefusesToReplaceTheExaminedDiskAndLeavesItByteForByte) {
    const fs::path dir = fresh_folder();
    const std::string image = image_named_like_a_snapshot(dir);
    const std::string before = test::sha256_of_file(image);
    // "disk" chosen as the snapshot's name becomes the image's own name.
    const std::string path = snapshot_path((dir / "disk").string());
    ASSERT_EQ(path, image);
    const auto saved = save_snapshot(path, {}, ntfs_volume(), sample_items(), image);
    ASSERT_FALSE(saved.ok());
    EXPECT_EQ(saved.error(), "The snapshot cannot be saved: " + image +
                                 " is the disk being examined. Nothing was saved.");
    // Through a link, too.
    fs::create_symlink(image, dir / "LINK.QRSX");
    EXPECT_FALSE(
        save_snapshot((dir / "LINK.QRSX").string(), {}, ntfs_volume(), sample_items(), image).ok());
    EXPECT_EQ(test::sha256_of_file(image), before);
    EXPECT_TRUE(fs::is_symlink(dir / "LINK.QRSX"));
    // Nothing else was left in the folder.
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir))
        ++entries;
    EXPECT_EQ(entries, 2u);
}

} // namespace
} // namespace salvex
