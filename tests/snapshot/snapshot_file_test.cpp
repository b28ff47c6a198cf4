// The snapshot file byte by byte: its layout, the path rule, and how damaged, foreign or
// unrepresentable content is refused.
#include "snapshot/snapshot_reader.h"
#include "snapshot/snapshot_writer.h"
#include "tests/snapshot/same_scan.h"
#include "tests/snapshot/snapshot_samples.h"
#include "tests/support/test_images.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace salvex {
namespace {

using namespace test::snapshot_samples;

TEST(SnapshotPath, WholePathUpperCasedAndExtensionAddedOnce) {
    EXPECT_EQ(snapshot_path("c:/data/scan"), "c:/data/SCAN.QRSX");
    EXPECT_EQ(snapshot_path("C:/SCAN.QRSX"), "C:/SCAN.QRSX");
    EXPECT_EQ(snapshot_path("/home/ann/scan.qrsx"), "/home/ann/SCAN.QRSX");
    EXPECT_EQ(snapshot_path("/tmp/scan.qrs"), "/tmp/SCAN.QRS.QRSX");
    EXPECT_EQ(snapshot_path("/tmp/QRSX"), "/tmp/QRSX.QRSX");
    EXPECT_EQ(snapshot_path("scan"), "SCAN.QRSX");
    EXPECT_EQ(snapshot_path(""), ".QRSX");
    // Bytes of UTF-8 characters are kept: "é" stays "é", not a damaged sequence.
    EXPECT_EQ(snapshot_path("/données/été"), "/données/éTé.QRSX");
}

TEST(SnapshotLayout, HeaderFolderAndFileRecordsAreWrittenByteForByte) {
    NtfsItems items;
    const std::string twenty = "Twenty character dir";
    ASSERT_EQ(twenty.size(), 20u);
    items.add_folder(folder(twenty, 64, 5, true), ScanMode::Standard);
    items.add_file(file("a.txt", 65, 64, 0x1234'5678, 0x0102'0304'0506'0708ull));
    const Bytes bytes = encode(items);

    Bytes expected;
    put(expected, "qrs4.03");
    put(expected, "1.0");
    // The selection (type, start, count, end, partition), then the volume's fields in order.
    const uint64_t values[] = {300,  100, 5000, 5099, 3,    300, 0, 8,      0, 0,
                               2048, 0,   0,    2080, 2064, 2,   8, 206847, 2};
    const size_t widths[] = {2, 4, 4, 4, 2, 2, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 2};
    static_assert(std::size(values) == std::size(widths));
    for (size_t i = 0; i < std::size(values); ++i)
        put(expected, values[i], widths[i]);
    ASSERT_EQ(expected.size(), snapshot_header::kSize);
    put_folder_and_file(expected, items, 4);
    EXPECT_EQ(bytes, expected);

    const fs::path dir = fresh_folder();
    const std::string path = (dir / "SMALL.QRSX").string();
    const auto saved =
        save_snapshot(path, {FsType::Ntfs, 100, 5000, 5099, 3}, ntfs_volume(), items, "");
    ASSERT_TRUE(saved.ok()) << saved.error();
    EXPECT_EQ(*saved, expected.size());
    EXPECT_EQ(read_file(path), expected);
}

TEST(SnapshotLoad, ItemsComeBackInFileOrderWithTheirTree) {
    NtfsItems items = sample_items();
    // A folder listed twice (as the Standard Scan may list it) stays listed twice.
    items.add_folder(folder("Documents", 64, 5), ScanMode::Standard);
    const auto loaded = parse(encode(items));
    ASSERT_TRUE(loaded.ok()) << loaded.error();
    EXPECT_EQ(loaded->selection, (SnapshotSelection{FsType::Ntfs, 100, 5000, 5099, 3}));
    const NtfsScan& scan = loaded->scan;
    EXPECT_EQ(scan.volume.fsEnd, 206847u);
    EXPECT_EQ(scan.volume.candidateNumber, 2);
    test::expect_same_items(scan.items, items);
    // Root → Documents → Résumés 2024, and the second Documents (record 64 too) beside the
    // first, holding Résumés 2024 as well.
    const auto& root = scan.tree.root();
    ASSERT_EQ(root.children.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const auto& documents = scan.tree.node(root.children[i]);
        EXPECT_EQ(documents.folder, i == 0 ? 0u : 2u);
        ASSERT_EQ(documents.children.size(), 1u);
        EXPECT_EQ(scan.tree.node(documents.children[0]).folder, 1u);
    }
    EXPECT_EQ(scan.tree.node(scan.items.folders[1].treeItem).folder, 1u);
    EXPECT_TRUE(scan.mftMap.empty()); // no drive to read it from
}

TEST(SnapshotLoad, ReservedBytesAreIgnoredAndAnyDeletedByteMeansDeleted) {
    Bytes bytes = encode(sample_items());
    const size_t deletedAt = 78 + 4 + 2 + std::string("Documents").size() + 24;
    bytes[deletedAt] = 7;
    bytes[deletedAt + 1] = 0xFF;
    bytes[deletedAt + 2] = 0xFF;
    bytes.insert(bytes.end(), {'j', 'u', 'n', 'k'}); // after the last record: ignored
    const auto loaded = parse(bytes);
    ASSERT_TRUE(loaded.ok()) << loaded.error();
    EXPECT_TRUE(loaded->scan.items.folders[0].deleted);
    EXPECT_EQ(loaded->scan.items.folders[1].name, "Résumés 2024");
    EXPECT_EQ(loaded->scan.items.files.size(), 2u);
}

TEST(SnapshotLoad, TagComparedIgnoringCaseAndForeignTagOrVersionRefused) {
    Bytes bytes = encode(sample_items());
    std::copy_n("QRS4.03", 7, bytes.begin());
    EXPECT_TRUE(parse(bytes).ok());
    std::copy_n("qRs4.03", 7, bytes.begin());
    EXPECT_TRUE(parse(bytes).ok());

    Bytes foreign = bytes;
    std::copy_n("qrs4.02", 7, foreign.begin());
    auto refused = parse(foreign);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error(), "    Invalid version of the file found : qrs4.02");

    Bytes newer = bytes;
    std::copy_n("1.1", 3, newer.begin() + 7);
    refused = parse(newer);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error(),
              "              version of file does not match with current version 1.0");
}

TEST(SnapshotLoad, EveryTruncationIsRefusedSayingWhere) {
    const Bytes bytes = encode(sample_items());
    for (size_t size = 0; size < bytes.size(); ++size) {
        const auto loaded = parse(Bytes(bytes.begin(), bytes.begin() + size));
        ASSERT_FALSE(loaded.ok()) << size;
        const std::string& e = loaded.error();
        EXPECT_TRUE(e.starts_with("The snapshot file ends") ||
                    e.find("promises") != std::string::npos)
            << size << ": " << e;
    }
    const auto header = parse(Bytes(bytes.begin(), bytes.begin() + 40));
    EXPECT_EQ(header.error(),
              "The snapshot file ends inside its header: it has 40 bytes, the header takes 78.");
    // Cut inside the second folder record, after its length.
    const size_t second = 78 + 4 + 2 + 27 + std::string("Documents").size();
    const auto inside = parse(Bytes(bytes.begin(), bytes.begin() + second + 2 + 27));
    ASSERT_FALSE(inside.ok());
    EXPECT_NE(inside.error().find("ends inside folder record 2 of 2 (at byte " +
                                  std::to_string(second) + ")"),
              std::string::npos)
        << inside.error();
}

TEST(SnapshotLoad, RecordShorterThanItsFixedFieldsRefused) {
    const Bytes good = encode(sample_items());
    Bytes bytes = good;
    bytes[82] = 26; // first folder: 26 < 27
    bytes[83] = 0;
    expect_refusal(parse(bytes), "folder record 1 of 2 (at byte 82) has the length 26");

    bytes = good;
    const size_t firstFile =
        78 + 4 + (2 + 27 + 9) + (2 + 27 + std::string("Résumés 2024").size()) + 4;
    ASSERT_EQ(bytes[firstFile], 37 + 10); // "readme.txt"
    bytes[firstFile] = 36;
    const auto refused = parse(bytes);
    expect_refusal(refused, "file record 1 of 2");
    expect_refusal(refused, "length 36");
}

TEST(SnapshotLoad, CountsBeyondWhatTheFileHoldsRefusedBeforeReading) {
    Bytes bytes = encode(sample_items());
    std::fill_n(bytes.begin() + 78, 4, 0xFF);
    expect_refusal(parse(bytes), "promises 4294967295 folder records");

    NtfsItems noFolders;
    noFolders.add_file(file("x", 70, 5, 3000, 1));
    bytes = encode(noFolders);
    std::fill_n(bytes.begin() + 82, 4, 0xFF);
    expect_refusal(parse(bytes), "promises 4294967295 file records");
}

TEST(SnapshotNames, LongestNtfsNamesRoundTripAndLongerOnesAreRefused) {
    std::string longest;
    for (int i = 0; i < 255; ++i)
        longest += "日"; // 255 UTF-16 units, 765 bytes of UTF-8
    ASSERT_EQ(longest.size(), kSnapshotMaxNameBytes);
    NtfsItems items;
    items.add_folder(folder(longest, 64, 5), ScanMode::Standard);
    items.add_folder(folder(std::string(260, 'd'), 65, 5), ScanMode::Standard);
    items.add_file(file(longest, 66, 64, 3000, 10));
    const Bytes bytes = encode(items);
    const auto loaded = parse(bytes);
    ASSERT_TRUE(loaded.ok()) << loaded.error();
    EXPECT_EQ(loaded->scan.items.folders[0].name, longest);
    EXPECT_EQ(loaded->scan.items.folders[1].name, std::string(260, 'd'));
    EXPECT_EQ(loaded->scan.items.files[0].name, longest);

    // One byte more cannot be saved, as a folder or as a file name...
    NtfsItems tooLong = items;
    tooLong.folders[1].name = std::string(766, 'd');
    expect_refusal(encode_snapshot({}, ntfs_volume(), tooLong),
                   "Folder 2 of 2 (record 65) has a name of 766 bytes");
    tooLong = items;
    tooLong.files[0].name += "x";
    expect_refusal(encode_snapshot({}, ntfs_volume(), tooLong),
                   "File 1 of 1 (record 66) has a name of 766 bytes");

    // ...and a file that holds one is refused.
    Bytes damaged = bytes;
    damaged[82] = static_cast<uint8_t>((27 + 766) & 0xFF);
    damaged[83] = static_cast<uint8_t>((27 + 766) >> 8);
    damaged.insert(damaged.begin() + 84, 'x');
    expect_refusal(parse(damaged), "folder record 1 of 2 (at byte 82) has a name of 766 bytes");
}

TEST(SnapshotNames, EightBitNamesAreReadAsLatin1) {
    EXPECT_EQ(snapshot_name_text("Caf\xE9"), "Café");
    EXPECT_EQ(snapshot_name_text("Café"), "Café");
    EXPECT_EQ(snapshot_name_text("日本語"), "日本語");
    EXPECT_EQ(snapshot_name_text("\xC0\xAF"), "\xC3\x80\xC2\xAF");      // overlong "/"
    EXPECT_EQ(snapshot_name_text("\xED\xA0\x80"), "í\xC2\xA0\xC2\x80"); // a UTF-16 surrogate
    EXPECT_EQ(snapshot_name_text("\xF4\x90\x80\x80").size(), 8u);       // beyond U+10FFFF
    EXPECT_EQ(snapshot_name_text("ab\xC3"), "abÃ");                     // cut short

    NtfsItems items;
    items.add_folder(folder("R\xE9sum\xE9s", 64, 5), ScanMode::Standard);
    items.add_file(file("na\xEFve.txt", 65, 64, 3000, 1));
    const auto loaded = parse(encode(items));
    ASSERT_TRUE(loaded.ok()) << loaded.error();
    EXPECT_EQ(loaded->scan.items.folders[0].name, "Résumés");
    EXPECT_EQ(loaded->scan.items.files[0].name, "naïve.txt");
}

TEST(SnapshotSave, RefusedSaveLeavesTheOldSnapshotAndNoStrayFile) {
    const NtfsItems items = sample_items();
    NtfsItems unsavable = items;
    unsavable.files[1].name = std::string(kSnapshotMaxNameBytes + 1, 'n');
    const fs::path dir = fresh_folder();
    const std::string path = (dir / "SCAN.QRSX").string();
    ASSERT_TRUE(save_snapshot(path, {}, ntfs_volume(), items, "").ok());
    const Bytes before = read_file(path);
    expect_refusal(save_snapshot(path, {}, ntfs_volume(), unsavable, ""), "Nothing was saved.");
    EXPECT_EQ(read_file(path), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);
}

TEST(SnapshotSave, FailuresToCreateOrReplaceLeaveNothingBehind) {
    const fs::path dir = fresh_folder();
    auto saved = save_snapshot((dir / "missing" / "SCAN.QRSX").string(), {}, ntfs_volume(),
                               sample_items(), "");
    ASSERT_FALSE(saved.ok());
    EXPECT_EQ(saved.error(), "Unable to open the file");

    // A folder in the target's place cannot be replaced by the new file.
    const fs::path folderInTheWay = dir / "SCAN.QRSX";
    fs::create_directory(folderInTheWay);
    saved = save_snapshot(folderInTheWay.string(), {}, ntfs_volume(), sample_items(), "");
    ASSERT_FALSE(saved.ok());
    EXPECT_EQ(saved.error(), "The snapshot cannot be saved: " + folderInTheWay.string() +
                                 " is a folder. Nothing was saved.");
    EXPECT_TRUE(fs::is_directory(folderInTheWay));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);

    // Saving over an older snapshot replaces it whole.
    const std::string path = (dir / "OTHER.QRSX").string();
    ASSERT_TRUE(save_snapshot(path, {}, ntfs_volume(), sample_items(), "").ok());
    ASSERT_TRUE(save_snapshot(path, {}, ntfs_volume(), NtfsItems{}, "").ok());
    EXPECT_EQ(fs::file_size(path), snapshot_header::kSize + 8);
}

TEST(SnapshotLoad, MissingFileReportedWithItsPath) {
    const std::string path = (fresh_folder() / "NONE.QRSX").string();
    const SectorReader noDrive;
    const auto loaded = load_snapshot(path, noDrive);
    ASSERT_FALSE(loaded.ok());
    EXPECT_TRUE(loaded.error().starts_with("Unable to open the snapshot file " + path + ": "))
        << loaded.error();
}

TEST(SnapshotFat, OtherFileSystemsKeepTheHeaderOnly) {
    VolumeInfo fat;
    fat.fsType = FsType::Fat32;
    fat.sectorsPerFat = 1009;
    fat.sectorsPerCluster = 8;
    fat.reservedSectors = 32;
    fat.fsStart = 63;
    fat.fat1Start = 95;
    fat.fat2Start = 1104;
    fat.fsEnd = 1'000'000;
    const SnapshotSelection selection{FsType::Fat32, 0, 0, 0, 2};
    const auto bytes = encode_snapshot(selection, fat, sample_items());
    ASSERT_TRUE(bytes.ok()) << bytes.error();
    EXPECT_EQ(bytes->size(), snapshot_header::kSize);

    const auto loaded = parse(*bytes);
    ASSERT_TRUE(loaded.ok()) << loaded.error();
    EXPECT_EQ(loaded->selection, selection);
    test::expect_same_volume(loaded->scan.volume, fat);
    EXPECT_TRUE(loaded->scan.items.folders.empty());
    EXPECT_TRUE(loaded->scan.items.files.empty());
    EXPECT_TRUE(loaded->scan.tree.empty());
}

} // namespace
} // namespace salvex
