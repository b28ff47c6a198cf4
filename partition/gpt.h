// The GUID partition table: a header at sector 1 (a backup copy in the disk's last sector) and
// an array of partition entries, both protected by CRC-32.
#pragma once

#include "disk/sector.h"
#include "disk/sector_reader.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace salvex {

// A GPT header as this program reads it (one sector, little-endian).
namespace gpt_header {
inline constexpr size_t kSignature = 0x00;    // 8 bytes, "EFI PART"
inline constexpr size_t kHeaderSize = 0x0C;   // 4 bytes, bytes covered by the header CRC
inline constexpr size_t kHeaderCrc = 0x10;    // 4 bytes, CRC-32 with this field as zero
inline constexpr size_t kMyLba = 0x18;        // 8 bytes, the sector holding this header
inline constexpr size_t kAlternateLba = 0x20; // 8 bytes, the sector of the other copy
inline constexpr size_t kEntriesLba = 0x48;   // 8 bytes, first sector of the entry array
inline constexpr size_t kEntryCount = 0x50;   // 4 bytes, entries in the array
inline constexpr size_t kEntrySize = 0x54;    // 4 bytes, bytes per entry (128 or more)
inline constexpr size_t kEntriesCrc = 0x58;   // 4 bytes, CRC-32 of the whole array
inline constexpr size_t kMinimumSize = 0x5C;  // 92: the fields above
} // namespace gpt_header

// A GPT partition entry (entry size bytes, the first 128 defined).
namespace gpt_entry {
inline constexpr size_t kTypeGuid = 0x00; // 16 bytes; all zero for an unused entry
inline constexpr size_t kFirstLba = 0x20; // 8 bytes
inline constexpr size_t kLastLba = 0x28;  // 8 bytes, inclusive
inline constexpr size_t kMinimumSize = 0x80;
} // namespace gpt_entry

// Partition type byte of the protective MBR entry that announces a GPT.
inline constexpr uint8_t kGptProtectiveType = 0xEE;

using Guid = std::array<uint8_t, 16>;

// "Microsoft basic data", EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, as it is stored: the first three
// groups little-endian, the last two as they are written. NTFS, FAT and exFAT volumes all use it.
inline constexpr Guid kBasicDataGuid = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                        0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};

struct GptPartition {
    Lba first = 0;
    Lba last = 0;
    Guid typeGuid{};
};

// The used entries of the disk's GPT in table order, from the primary header when it and its
// array pass their checks, else from the backup header in the disk's last sector. nullopt when
// neither copy is sound. `diskSectors` is the disk's size in 512-byte sectors; 0 when it is not
// known, in which case the primary header's pointer to the backup is the only way to it.
//
// The table counts the drive's logical sectors of `sectorSize` bytes (the primary header lies in
// logical sector 1: byte 512 or 4,096); the partitions' first and last sectors are given in
// 512-byte sectors, the last one the final 512-byte sector of the last logical sector.
std::optional<std::vector<GptPartition>> read_gpt(const SectorReader& reader, uint64_t diskSectors,
                                                  uint32_t sectorSize = kSectorSize);

} // namespace salvex
