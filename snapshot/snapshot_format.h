// The snapshot file (".QRSX"): the result of a scan kept on disk, so that the user can browse
// and recover later without scanning again.
//
// All numbers are little-endian and unaligned; records follow each other without padding. The
// file holds a header (the wizard's selection and the volume's parameters), then, for an NTFS
// volume only, the folder section and the file section. Names are stored as the UTF-8 bytes the
// engine holds, without a terminator; their length follows from the record length before them.
//
// Two versions exist. Version "1.0" keeps sector numbers and sector counts in 32 bits, which
// reach 2 TiB; every snapshot whose values fit is written in it, so older readers keep reading
// them. Version "2.0" is written only when a value does not fit: it has the same fields in the
// same order, with the sector numbers and counts widened to 64 bits.
#pragma once

#include "partition/fs_type.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace salvex {

// What the wizard had selected when the scan ran.
struct SnapshotSelection {
    FsType selectedFsType = FsType::Unknown; // the file-system type chosen for an Advance Scan
    uint64_t rangeStart = 0;                 // the Advance Scan's sector range
    uint64_t rangeCount = 0;
    uint64_t rangeEnd = 0;
    uint16_t selectedPartitionIndex = 0; // index in the partition list; 0 for a whole drive

    bool operator==(const SnapshotSelection&) const = default;
};

// The header of version "1.0".
namespace snapshot_header {
inline constexpr std::string_view kTag = "qrs4.03"; // compared ignoring case
inline constexpr std::string_view kVersion = "1.0"; // compared ignoring case

inline constexpr size_t kTagAt = 0;                   // 7 bytes
inline constexpr size_t kVersionAt = 7;               // 3 bytes
inline constexpr size_t kSelectedFsType = 10;         // 2 bytes
inline constexpr size_t kRangeStart = 12;             // 4 bytes
inline constexpr size_t kRangeCount = 16;             // 4 bytes
inline constexpr size_t kRangeEnd = 20;               // 4 bytes
inline constexpr size_t kSelectedPartitionIndex = 24; // 2 bytes
inline constexpr size_t kFsType = 26;                 // 2 bytes; 300 is followed by the items
inline constexpr size_t kSectorsPerFat = 28;          // 4 bytes
inline constexpr size_t kSectorsPerCluster = 32;      // 4 bytes
inline constexpr size_t kRootDirSectors = 36;         // 4 bytes
inline constexpr size_t kReservedSectors = 40;        // 4 bytes (rootDir is not kept)
inline constexpr size_t kFsStart = 44;                // 4 bytes
inline constexpr size_t kFat1Start = 48;              // 4 bytes
inline constexpr size_t kFat2Start = 52;              // 4 bytes
inline constexpr size_t kMftStart = 56;               // 4 bytes
inline constexpr size_t kMftMirrorStart = 60;         // 4 bytes
inline constexpr size_t kRecordSectors = 64;          // 4 bytes
inline constexpr size_t kIndexBlockSectors = 68;      // 4 bytes
inline constexpr size_t kFsEnd = 72;                  // 4 bytes
inline constexpr size_t kCandidateNumber = 76;        // 2 bytes
inline constexpr size_t kSize = 78;
} // namespace snapshot_header

// The header of version "2.0": the tag and the version text as above, then the same fields with
// every sector number and sector count in 8 bytes. The fields that stay narrow are counts that
// the volume's parameters keep in 32 bits (sectors per FAT, per cluster, per record, per index
// block, reserved and root-folder sectors) and the 16-bit codes and indexes.
namespace snapshot_header_v2 {
inline constexpr std::string_view kVersion = "2.0"; // compared ignoring case

inline constexpr size_t kSelectedFsType = 10;         // 2 bytes
inline constexpr size_t kRangeStart = 12;             // 8 bytes
inline constexpr size_t kRangeCount = 20;             // 8 bytes
inline constexpr size_t kRangeEnd = 28;               // 8 bytes
inline constexpr size_t kSelectedPartitionIndex = 36; // 2 bytes
inline constexpr size_t kFsType = 38;                 // 2 bytes; 300 is followed by the items
inline constexpr size_t kSectorsPerFat = 40;          // 4 bytes
inline constexpr size_t kSectorsPerCluster = 44;      // 4 bytes
inline constexpr size_t kRootDirSectors = 48;         // 4 bytes
inline constexpr size_t kReservedSectors = 52;        // 4 bytes
inline constexpr size_t kFsStart = 56;                // 8 bytes
inline constexpr size_t kFat1Start = 64;              // 8 bytes
inline constexpr size_t kFat2Start = 72;              // 8 bytes
inline constexpr size_t kMftStart = 80;               // 8 bytes
inline constexpr size_t kMftMirrorStart = 88;         // 8 bytes
inline constexpr size_t kRecordSectors = 96;          // 4 bytes
inline constexpr size_t kIndexBlockSectors = 100;     // 4 bytes
inline constexpr size_t kFsEnd = 104;                 // 8 bytes
inline constexpr size_t kCandidateNumber = 112;       // 2 bytes
inline constexpr size_t kSize = 114;
} // namespace snapshot_header_v2

// After the header of an NTFS snapshot: u32 folder count, the folder records, u32 file count,
// the file records.
//
// Folder record: u16 length L (the bytes after it), name (L − 27 bytes), u32 record number,
// u32 parent, u64 creation time, u64 change time, u8 deleted, 2 reserved bytes (written as 0,
// ignored when read).
namespace snapshot_folder {
inline constexpr size_t kFixedBytes = 27; // L − name length
}
// File record: u16 length L, u32 record sector, name (L − 37 bytes), u32 record number,
// u32 parent, u64 creation time, u64 change time, u8 deleted, u64 size.
namespace snapshot_file {
inline constexpr size_t kFixedBytes = 37; // L − name length
}
// In version "2.0" the folder record is unchanged; the file record's sector takes 8 bytes:
// u16 length L, u64 record sector, name (L − 41 bytes), and the rest as above. The folder and
// file counts stay 32-bit in both versions.
namespace snapshot_file_v2 {
inline constexpr size_t kFixedBytes = 41; // L − name length
}

// The longest name a snapshot holds, in bytes: an NTFS name has at most 255 UTF-16 units, and
// each unit takes at most 3 bytes in UTF-8 (a surrogate pair, two units, takes 4).
inline constexpr size_t kSnapshotMaxNameBytes = 255 * 3;

} // namespace salvex
