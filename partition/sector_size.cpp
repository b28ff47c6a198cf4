#include "partition/sector_size.h"

#include "disk/bytes.h"
#include "partition/partition_table.h"
#include "partition/volume_parameters.h"

#include <array>
#include <vector>

namespace salvex {

namespace {

constexpr uint32_t kMaxUnit = kMaxLogicalSectorSize / kSectorSize;

std::array<uint8_t, kSectorSize> read_or_zeros(const SectorReader& reader, Lba at) {
    std::array<uint8_t, kSectorSize> sector{};
    if (!reader.read_sectors(at, 1, sector))
        sector.fill(0);
    return sector;
}

// The NTFS sector size of the boot sector at `at`; 0 when none lies there.
uint32_t ntfs_sector_size_at(const SectorReader& reader, Lba at) {
    const auto sector = read_or_zeros(reader, at);
    if (!has_boot_signature(sector) || !has_text_at(sector, ntfs_boot::kOemId, "NTFS"))
        return 0;
    return ntfs_bytes_per_sector(sector).value_or(0);
}

// The GPT header's place: logical sector 1, the first that holds "EFI PART" counting up; or,
// when the primary header is lost, the backup header at the start of the disk's last logical
// sector.
uint32_t gpt_sector_size(const SectorReader& reader) {
    for (uint32_t unit = 1; unit <= kMaxUnit; unit *= 2) {
        if (has_text_at(read_or_zeros(reader, unit), 0, "EFI PART"))
            return unit * static_cast<uint32_t>(kSectorSize);
    }
    const uint64_t total = reader.total_sectors();
    for (uint32_t unit = 1; unit <= kMaxUnit && unit < total; unit *= 2) {
        if (total % unit == 0 && has_text_at(read_or_zeros(reader, total - unit), 0, "EFI PART"))
            return unit * static_cast<uint32_t>(kSectorSize);
    }
    return 0;
}

// The size in which the MBR's entries lead to NTFS boot sectors of that very size, when none of
// them does counted in 512-byte sectors.
uint32_t mbr_sector_size(const SectorReader& reader, ByteView mbr) {
    std::vector<uint64_t> firsts;
    for (size_t e = 0; e < 4; ++e) {
        const size_t at = partition_table::kFirstEntry + partition_table::kEntrySize * e;
        const uint8_t type = le8(mbr, at + partition_table::kType).value_or(0);
        const uint32_t first = le32(mbr, at + partition_table::kFirstSector).value_or(0);
        if (type != 0 && first != 0)
            firsts.push_back(first);
    }
    for (const uint64_t first : firsts) {
        if (ntfs_sector_size_at(reader, first) == kSectorSize)
            return kSectorSize;
    }
    for (uint32_t unit = 2; unit <= kMaxUnit; unit *= 2) {
        for (const uint64_t first : firsts) {
            if (ntfs_sector_size_at(reader, first * unit) == unit * kSectorSize)
                return unit * static_cast<uint32_t>(kSectorSize);
        }
    }
    return 0;
}

} // namespace

uint32_t sector_size_from_content(const SectorReader& reader) {
    if (const uint32_t gpt = gpt_sector_size(reader))
        return gpt;
    const auto first = read_or_zeros(reader, 0);
    if (has_boot_signature(first) && has_text_at(first, ntfs_boot::kOemId, "NTFS"))
        return ntfs_bytes_per_sector(first).value_or(kSectorSize); // a bare volume
    if (has_boot_signature(first)) {
        if (const uint32_t mbr = mbr_sector_size(reader, first))
            return mbr;
    }
    return kSectorSize;
}

bool is_logical_sector_size(uint32_t bytes) {
    return bytes >= kSectorSize && bytes <= kMaxLogicalSectorSize && (bytes & (bytes - 1)) == 0;
}

uint32_t drive_sector_size(const SectorReader& reader) {
    const uint32_t reported = reader.reported_sector_size();
    return is_logical_sector_size(reported) ? reported : sector_size_from_content(reader);
}

} // namespace salvex
