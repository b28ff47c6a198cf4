#include "partition/partition_table.h"

#include "partition/gpt.h"
#include "partition/sector_size.h"
#include "partition/volume_parameters.h"

#include <array>
#include <set>
#include <vector>

namespace salvex {

namespace {

constexpr uint8_t kExtendedChs = 0x05;
constexpr uint8_t kExtendedLba = 0x0F;

bool is_extended(uint8_t type) {
    return type == kExtendedChs || type == kExtendedLba;
}

// An entry with its sector numbers in 512-byte sectors: the table counts the drive's logical
// sectors, `unit` 512-byte sectors each.
struct TableEntry {
    uint8_t type = 0;
    uint64_t firstSector = 0;
    uint64_t sectorCount = 0;
};

TableEntry entry_at(ByteView table, int e, uint32_t unit) {
    const size_t at = partition_table::kFirstEntry + partition_table::kEntrySize * size_t(e);
    return TableEntry{le8(table, at + partition_table::kType).value_or(0),
                      uint64_t{le32(table, at + partition_table::kFirstSector).value_or(0)} * unit,
                      uint64_t{le32(table, at + partition_table::kSectorCount).value_or(0)} * unit};
}

// The boot sector of a candidate. A sector that cannot be read is judged as zeros, so only the
// type byte counts for it (never what an earlier read left in a buffer).
std::array<uint8_t, kSectorSize> read_boot_sector(const SectorReader& reader, Lba at) {
    std::array<uint8_t, kSectorSize> sector{};
    if (!reader.read_sectors(at, 1, sector))
        sector.fill(0);
    return sector;
}

std::optional<FsType> classify_by_type_byte(uint8_t type, TableLevel level) {
    switch (type) {
    case 0x04:
    case 0x06:
    case 0x0E:
        return FsType::Fat16;
    case 0x0B:
    case 0x0C:
        return FsType::Fat32;
    case 0x07:
        return FsType::Ntfs;
    case 0x01:
        // A FAT12/16 type in the MBR is listed only when its boot sector names FAT.
        if (level == TableLevel::Chain)
            return FsType::Fat16;
        break;
    default:
        break;
    }
    return std::nullopt;
}

// A GPT partition by its boot sector's text or, when that names nothing, as NTFS when it is a
// basic data partition whose backup boot sector at its end is NTFS. Its type GUID alone does
// not tell FAT from NTFS, as the MBR's type byte 7 does.
std::optional<FsType> classify_gpt_partition(const SectorReader& reader, const GptPartition& p) {
    if (const auto type = classify_partition(read_boot_sector(reader, p.first), 0, TableLevel::Mbr))
        return type;
    if (p.typeGuid == kBasicDataGuid && find_ntfs_backup_boot_sector(reader, p.first, p.last))
        return FsType::Ntfs;
    return std::nullopt;
}

// Appends the partitions of the GUID partition table that are recognised.
void walk_gpt(const SectorReader& reader, uint32_t sectorSize, PartitionList& list) {
    const auto partitions = read_gpt(reader, reader.total_sectors(), sectorSize);
    if (!partitions)
        return;
    for (const GptPartition& p : *partitions) {
        if (list.full())
            return;
        if (list.has_start(p.first))
            continue; // a hybrid MBR lists it already
        if (const auto type = classify_gpt_partition(reader, p))
            list.append({p.first, p.last - p.first + 1, *type});
    }
}

void walk_extended_chain(const SectorReader& reader, Lba extendedBase, uint32_t unit,
                         PartitionList& list) {
    std::set<uint64_t> visited;
    uint64_t linkOffset = 0;
    bool chainNoted = true;
    std::array<uint8_t, kSectorSize> table{};
    while (chainNoted) {
        const Lba record = extendedBase + linkOffset;
        if (!visited.insert(record).second)
            return; // the chain leads back to a record already read
        // A record that cannot be read ends the chain: its buffer would only repeat the last one.
        if (!reader.read_sectors(record, 1, table))
            return;
        chainNoted = false;
        for (int e = 0; e < 2; ++e) {
            const TableEntry entry = entry_at(table, e, unit);
            if (entry.type == 0)
                continue;
            std::array<uint8_t, kSectorSize> boot{};
            if (!is_extended(entry.type))
                boot = read_boot_sector(reader, record + entry.firstSector);
            if (const auto type = classify_partition(boot, entry.type, TableLevel::Chain)) {
                list.append({record + entry.firstSector, entry.sectorCount, *type});
                if (list.full())
                    return;
            }
            if (is_extended(entry.type)) {
                linkOffset = entry.firstSector;
                chainNoted = true;
            }
        }
    }
}

} // namespace

std::optional<FsType> classify_partition(ByteView bootSector, uint8_t typeByte, TableLevel level) {
    if (has_text_at(bootSector, 82, "FAT32"))
        return FsType::Fat32;
    if (has_text_at(bootSector, 54, "FAT16"))
        return FsType::Fat16;
    if (has_text_at(bootSector, 3, "NTFS"))
        return FsType::Ntfs;
    return classify_by_type_byte(typeByte, level);
}

void walk_partition_table(const SectorReader& reader, Lba tableSector, PartitionList& list,
                          uint32_t sectorSize) {
    list.clear();
    std::array<uint8_t, kSectorSize> mbr{};
    if (!reader.read_sectors(tableSector, 1, mbr) || !has_boot_signature(mbr))
        return;

    if (sectorSize == 0)
        sectorSize = drive_sector_size(reader);
    const uint32_t unit = sectorSize / static_cast<uint32_t>(kSectorSize);
    std::optional<Lba> extendedBase;
    bool protectiveEntry = false;
    for (int e = 0; e < 4; ++e) {
        const TableEntry entry = entry_at(mbr, e, unit);
        if (entry.type == 0)
            continue;
        const auto boot = read_boot_sector(reader, entry.firstSector);
        if (const auto type = classify_partition(boot, entry.type, TableLevel::Mbr))
            list.append({entry.firstSector, entry.sectorCount, *type});
        if (is_extended(entry.type))
            extendedBase = entry.firstSector; // with several, the last one wins
        if (entry.type == kGptProtectiveType)
            protectiveEntry = true;
    }
    if (protectiveEntry)
        walk_gpt(reader, sectorSize, list);
    if (extendedBase && !list.full())
        walk_extended_chain(reader, *extendedBase, unit, list);
}

bool list_partitions(const SectorReader& reader, PartitionList& list, uint32_t sectorSize) {
    if (sectorSize == 0)
        sectorSize = drive_sector_size(reader);
    for (const Lba tableSector : {Lba{0}, Lba{0}, Lba{61}, Lba{62}}) {
        walk_partition_table(reader, tableSector, list, sectorSize);
        if (!list.empty())
            return true;
    }
    return false;
}

} // namespace salvex
