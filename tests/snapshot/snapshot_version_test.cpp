// The two versions of the snapshot file: snapshots that fit 32-bit sectors are written exactly
// as before, wider ones in the second version, and the reader takes both.
#include "snapshot/snapshot_layout.h"
#include "tests/snapshot/same_scan.h"
#include "tests/snapshot/snapshot_samples.h"

#include <gtest/gtest.h>

namespace salvex {
namespace {

using namespace test::snapshot_samples;

// The items of the golden snapshot: folders nested and deleted, names in several scripts, a
// named stream, sizes beyond 32 bits and record sectors up to the largest 32-bit value.
VolumeInfo golden_volume() {
    VolumeInfo v;
    v.fsType = FsType::Ntfs;
    v.sectorsPerCluster = 8;
    v.fsStart = 2048;
    v.mftStart = 2048 + 786432;
    v.mftMirrorStart = 2048 + 16;
    v.recordSectors = 2;
    v.indexBlockSectors = 8;
    v.fsEnd = 0xFFFF'FFFFu;
    v.candidateNumber = 1;
    return v;
}

NtfsItems golden_items() {
    NtfsItems items;
    const auto folder = [&](std::string name, uint32_t record, uint32_t parent, bool deleted) {
        FolderNode f;
        f.name = std::move(name);
        f.recordNumber = record;
        f.parent = parent;
        f.creationTime = 0x01D9'1234'5678'9ABCull + record;
        f.changeTime = 0x01DA'1234'5678'9ABCull + record;
        f.deleted = deleted;
        items.add_folder(std::move(f), ScanMode::Standard);
    };
    const auto file = [&](std::string name, uint32_t record, uint32_t parent, Lba sector,
                          uint64_t size, bool deleted) {
        FileNode f;
        f.name = std::move(name);
        const size_t colon = f.name.rfind(':');
        if (colon != std::string::npos)
            f.stream = f.name.substr(colon + 1);
        f.recordNumber = record;
        f.parent = parent;
        f.creationTime = 0x01D8'0000'0000'0001ull * record;
        f.changeTime = 0x01DB'0000'0000'0002ull + record;
        f.size = size;
        f.deleted = deleted;
        f.recordSector = sector;
        items.add_file(std::move(f));
    };
    folder("Documents", 64, 5, false);
    folder("Résumés 2024", 70, 64, true);
    folder("日本語のフォルダ", 71, 5, false);
    file("readme.txt", 66, 5, 788'612, 420, false);
    file("photo.jpg", 67, 64, 788'614, 5'000'000'000ull, false);
    file("photo.jpg:thumbnail", 67, 64, 788'614, 6000, false);
    file("brouillon.doc", 72, 70, 788'624, 0, true);
    file("far away.bin", 73, 71, 0xFFFF'FFFFu, 1, false);
    return items;
}

const SnapshotSelection kGoldenSelection{FsType::Ntfs, 2048, 0xFFFF'F7FFu, 0xFFFF'FFFFu, 1};

// data/golden_v1.QRSX holds encode_snapshot(kGoldenSelection, golden_volume(), golden_items())
// as the writer made it before the second version existed.
TEST(SnapshotVersions, FirstVersionIsWrittenByteForByteAsBefore) {
    const Bytes golden = read_file(std::string(SALVEX_SNAPSHOT_TEST_DATA) + "/golden_v1.QRSX");
    ASSERT_EQ(golden.size(), 478u);
    const auto bytes = encode_snapshot(kGoldenSelection, golden_volume(), golden_items());
    ASSERT_TRUE(bytes.ok()) << bytes.error();
    EXPECT_EQ(*bytes, golden);

    const auto loaded = parse(golden);
    ASSERT_TRUE(loaded.ok()) << loaded.error();
    EXPECT_EQ(loaded->selection, kGoldenSelection);
    test::expect_same_volume(loaded->scan.volume, golden_volume());
    test::expect_same_items(loaded->scan.items, golden_items());
}

TEST(SnapshotVersions, SecondVersionLaysOutWideSectorsByteForByte) {
    VolumeInfo volume = ntfs_volume();
    volume.fsStart = 0x1'0000'0800ull;
    volume.mftStart = volume.fsStart + 32;
    volume.mftMirrorStart = volume.fsStart + 16;
    volume.fsEnd = 0x2'0000'0000ull;
    volume.sectorsPerFat = 0x0A0B'0C0Du; // FAT fields keep their places, though NTFS has none
    volume.reservedSectors = 0x11;
    volume.rootDirSectors = 0x22;
    volume.fat1Start = 0x1'2345'6789ull;
    volume.fat2Start = 0x9'8765'4321ull;
    const SnapshotSelection selection{FsType::Ntfs, volume.fsStart, 0xFFFF'F800ull, volume.fsEnd,
                                      2};
    NtfsItems items;
    items.add_folder(folder("Twenty character dir", 64, 5, true), ScanMode::Standard);
    items.add_file(file("a.txt", 65, 64, volume.mftStart + 130, 0x0102'0304'0506'0708ull));
    const auto bytes = encode_snapshot(selection, volume, items);
    ASSERT_TRUE(bytes.ok()) << bytes.error();

    namespace h = snapshot_header_v2;
    Bytes expected(h::kSize, 0xEE);
    const auto at = [&](size_t offset, uint64_t value, size_t width) {
        for (size_t i = 0; i < width; ++i)
            expected[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    std::copy_n("qrs4.032.0", 10, expected.begin());
    at(h::kSelectedFsType, 300, 2);
    at(h::kRangeStart, selection.rangeStart, 8);
    at(h::kRangeCount, selection.rangeCount, 8);
    at(h::kRangeEnd, selection.rangeEnd, 8);
    at(h::kSelectedPartitionIndex, 2, 2);
    at(h::kFsType, 300, 2);
    at(h::kSectorsPerFat, volume.sectorsPerFat, 4);
    at(h::kSectorsPerCluster, 8, 4);
    at(h::kRootDirSectors, 0x22, 4);
    at(h::kReservedSectors, 0x11, 4);
    at(h::kFsStart, volume.fsStart, 8);
    at(h::kFat1Start, volume.fat1Start, 8);
    at(h::kFat2Start, volume.fat2Start, 8);
    at(h::kMftStart, volume.mftStart, 8);
    at(h::kMftMirrorStart, volume.mftMirrorStart, 8);
    at(h::kRecordSectors, 2, 4);
    at(h::kIndexBlockSectors, 8, 4);
    at(h::kFsEnd, volume.fsEnd, 8);
    at(h::kCandidateNumber, 2, 2);
    ASSERT_EQ(std::count(expected.begin(), expected.end(), 0xEE), 0); // every byte placed
    // The folder record is as in the first version; the file record's sector takes 8 bytes.
    put_folder_and_file(expected, items, 8);
    EXPECT_EQ(*bytes, expected);

    const auto loaded = parse(*bytes);
    ASSERT_TRUE(loaded.ok()) << loaded.error();
    EXPECT_EQ(loaded->selection, selection);
    test::expect_same_volume(loaded->scan.volume, volume);
    test::expect_same_items(loaded->scan.items, items);
}

// Each sector number or count that passes 32 bits, alone, takes the snapshot to the second
// version, where it keeps its value; one below the limit keeps the first version.
TEST(SnapshotVersions, AnySectorBeyond32BitsChoosesTheSecondVersion) {
    constexpr uint64_t kWide = 0x1'0000'0000ull;
    using Change = void (*)(SnapshotSelection&, VolumeInfo&, NtfsItems&, uint64_t);
    const std::vector<std::pair<std::string, Change>> changes = {
        {"rangeStart", [](auto& s, auto&, auto&, uint64_t v) { s.rangeStart = v; }},
        {"rangeCount", [](auto& s, auto&, auto&, uint64_t v) { s.rangeCount = v; }},
        {"rangeEnd", [](auto& s, auto&, auto&, uint64_t v) { s.rangeEnd = v; }},
        {"fsStart", [](auto&, auto& v, auto&, uint64_t x) { v.fsStart = x; }},
        {"fat1Start", [](auto&, auto& v, auto&, uint64_t x) { v.fat1Start = x; }},
        {"fat2Start", [](auto&, auto& v, auto&, uint64_t x) { v.fat2Start = x; }},
        {"mftStart", [](auto&, auto& v, auto&, uint64_t x) { v.mftStart = x; }},
        {"mftMirrorStart", [](auto&, auto& v, auto&, uint64_t x) { v.mftMirrorStart = x; }},
        {"fsEnd", [](auto&, auto& v, auto&, uint64_t x) { v.fsEnd = x; }},
        {"recordSector", [](auto&, auto&, auto& i, uint64_t x) { i.files[1].recordSector = x; }},
    };
    for (const auto& [name, change] : changes) {
        for (const uint64_t value : {kWide - 1, kWide, ~uint64_t{0}}) {
            SCOPED_TRACE(name + " = " + std::to_string(value));
            SnapshotSelection selection{FsType::Ntfs, 100, 5000, 5099, 3};
            VolumeInfo volume = ntfs_volume();
            NtfsItems items = sample_items();
            change(selection, volume, items, value);
            const auto bytes = encode_snapshot(selection, volume, items);
            ASSERT_TRUE(bytes.ok()) << bytes.error();
            const std::string version(bytes->begin() + 7, bytes->begin() + 10);
            EXPECT_EQ(version, value < kWide ? "1.0" : "2.0");
            const auto loaded = parse(*bytes);
            ASSERT_TRUE(loaded.ok()) << loaded.error();
            EXPECT_EQ(loaded->selection, selection);
            test::expect_same_volume(loaded->scan.volume, volume);
            test::expect_same_items(loaded->scan.items, items);
        }
    }
}

TEST(SnapshotVersions, SecondVersionIsReadIgnoringCaseAndRefusedWhenCutShort) {
    VolumeInfo volume = ntfs_volume();
    volume.fsEnd = 0x3'0000'0000ull;
    const auto encoded = encode_snapshot({}, volume, sample_items());
    ASSERT_TRUE(encoded.ok()) << encoded.error();
    Bytes bytes = *encoded;
    std::copy_n("QRS4.03", 7, bytes.begin());
    EXPECT_TRUE(parse(bytes).ok());

    for (size_t size = 0; size < bytes.size(); ++size) {
        const auto loaded = parse(Bytes(bytes.begin(), bytes.begin() + size));
        ASSERT_FALSE(loaded.ok()) << size;
    }
    const auto header = parse(Bytes(bytes.begin(), bytes.begin() + 100));
    EXPECT_EQ(header.error(),
              "The snapshot file ends inside its header: it has 100 bytes, the header takes 114.");
    // A second-version file record whose length cannot hold its 41 fixed bytes.
    const size_t firstFile = snapshot_header_v2::kSize + 4 + (2 + 27 + 9) +
                             (2 + 27 + std::string("Résumés 2024").size()) + 4;
    ASSERT_EQ(bytes[firstFile], 41 + 10); // "readme.txt"
    bytes[firstFile] = 40;
    const auto refused = parse(bytes);
    expect_refusal(refused, "file record 1 of 2");
    expect_refusal(refused, "less than the 41 bytes");

    for (const char* other : {"3.0", "2.1", "0.2"}) {
        Bytes foreign = *encoded;
        std::copy_n(other, 3, foreign.begin() + 7);
        const auto otherVersion = parse(foreign);
        ASSERT_FALSE(otherVersion.ok()) << other;
        EXPECT_EQ(otherVersion.error(), kSnapshotBadVersionMessage) << other;
    }
}

} // namespace
} // namespace salvex
