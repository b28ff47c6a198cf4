// Items, volumes and byte helpers shared by the snapshot file tests.
#pragma once

#include "snapshot/snapshot_reader.h"
#include "snapshot/snapshot_writer.h"
#include "tests/support/test_images.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace salvex::test::snapshot_samples {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

inline VolumeInfo ntfs_volume() {
    VolumeInfo v;
    v.fsType = FsType::Ntfs;
    v.sectorsPerCluster = 8;
    v.fsStart = 2048;
    v.mftStart = 2048 + 4 * 8;
    v.mftMirrorStart = 2048 + 2 * 8;
    v.recordSectors = 2;
    v.indexBlockSectors = 8;
    v.fsEnd = 206847;
    v.candidateNumber = 2;
    return v;
}

inline FolderNode folder(std::string name, uint32_t record, uint32_t parent, bool deleted = false) {
    FolderNode f;
    f.name = std::move(name);
    f.recordNumber = record;
    f.parent = parent;
    f.creationTime = 0x01D9'0000'0000'0000ull + record;
    f.changeTime = 0x01DA'0000'0000'0000ull + record;
    f.deleted = deleted;
    return f;
}

inline FileNode file(std::string name, uint32_t record, uint32_t parent, Lba sector,
                     uint64_t size) {
    FileNode f;
    f.name = std::move(name);
    f.recordNumber = record;
    f.parent = parent;
    f.creationTime = 0x01D8'0000'0000'0000ull + record;
    f.changeTime = 0x01DB'0000'0000'0000ull + record;
    f.size = size;
    f.recordSector = sector;
    return f;
}

// Two folders (one inside the other, one deleted) and files in both and in the root.
inline NtfsItems sample_items() {
    NtfsItems items;
    items.add_folder(folder("Documents", 64, 5), ScanMode::Standard);
    items.add_folder(folder("Résumés 2024", 70, 64, true), ScanMode::Standard);
    items.add_file(file("readme.txt", 66, 5, 2212, 420));
    items.add_file(file("日本語.txt", 71, 70, 2222, 5'000'000'000ull));
    items.files.back().deleted = true;
    return items;
}

inline Bytes encode(const NtfsItems& items, const VolumeInfo& volume = ntfs_volume()) {
    auto bytes = encode_snapshot({FsType::Ntfs, 100, 5000, 5099, 3}, volume, items);
    EXPECT_TRUE(bytes.ok()) << bytes.error();
    return bytes.ok() ? *bytes : Bytes{};
}

inline Result<LoadedSnapshot> parse(const Bytes& bytes) {
    static const SectorReader noDrive;
    return parse_snapshot(bytes, noDrive);
}

inline void put(Bytes& b, uint64_t value, size_t width) {
    for (size_t i = 0; i < width; ++i)
        b.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
inline void put(Bytes& b, std::string_view text) {
    b.insert(b.end(), text.begin(), text.end());
}

// The records of a snapshot of one folder and one file as they follow the header: the file's
// record sector, before its name, takes `sectorWidth` bytes (4 in the first version, 8 in the
// second).
inline void put_folder_and_file(Bytes& b, const NtfsItems& items, size_t sectorWidth) {
    const FolderNode& d = items.folders.at(0);
    const FileNode& f = items.files.at(0);
    put(b, 1, 4);
    put(b, 27 + d.name.size(), 2);
    put(b, d.name);
    put(b, d.recordNumber, 4);
    put(b, d.parent, 4);
    put(b, d.creationTime, 8);
    put(b, d.changeTime, 8);
    put(b, d.deleted, 1);
    put(b, 0, 2);
    put(b, 1, 4);
    put(b, 33 + sectorWidth + f.name.size(), 2);
    put(b, f.recordSector, sectorWidth);
    put(b, f.name);
    put(b, f.recordNumber, 4);
    put(b, f.parent, 4);
    put(b, f.creationTime, 8);
    put(b, f.changeTime, 8);
    put(b, f.deleted, 1);
    put(b, f.size, 8);
}

inline Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// `result` is a refusal whose message says `text`.
template <typename T>
void expect_refusal(const Result<T>& result, const std::string& text) {
    ASSERT_FALSE(result.ok()) << "not refused: " << text;
    EXPECT_NE(result.error().find(text), std::string::npos) << result.error();
}

// An empty folder for the test's files.
inline fs::path fresh_folder() {
    return test::empty_temp_folder("dir");
}

} // namespace salvex::test::snapshot_samples
