#include "partition/volume_parameters.h"

#include <array>

namespace salvex {

namespace {

using Sector = std::array<uint8_t, kSectorSize>;

// A sector as read; zeros when it cannot be read, so no test passes on stale bytes.
Sector read_sector(const SectorReader& reader, Lba at) {
    Sector sector{};
    if (!reader.read_sectors(at, 1, sector))
        sector.fill(0);
    return sector;
}

bool begins_with_file(const SectorReader& reader, Lba at) {
    return has_text_at(read_sector(reader, at), 0, "FILE");
}

// The sector of the structure at cluster field `field` of `boot`, if it can be addressed.
std::optional<Lba> cluster_field_sector(ByteView boot, size_t field, Lba start, uint32_t spc) {
    const uint64_t cluster = le64(boot, field).value_or(0);
    if (cluster > (UINT64_MAX - start) / spc)
        return std::nullopt;
    return start + cluster * spc;
}

// The first sector among `candidates` whose field confirms a "FILE" record; 0 when none does.
Lba confirm_structure(const SectorReader& reader, std::initializer_list<const Sector*> boots,
                      size_t field, Lba start, uint32_t spc) {
    for (const Sector* boot : boots) {
        const auto at = cluster_field_sector(*boot, field, start, spc);
        if (at && begins_with_file(reader, *at))
            return *at;
    }
    return 0;
}

} // namespace

std::optional<uint32_t> decode_sectors_per_cluster(uint8_t byte) {
    if (byte >= 1 && byte <= 128 && (byte & (byte - 1)) == 0)
        return byte;
    if (byte >= 0xF4 && byte <= 0xF8)
        return uint32_t{1} << (256 - byte);
    return std::nullopt;
}

std::optional<Lba> find_ntfs_backup_boot_sector(const SectorReader& reader, Lba start, Lba end) {
    for (const Lba at : {end, end + 1}) {
        if (at <= start)
            continue;
        const Sector sector = read_sector(reader, at);
        // The total-sectors field counts the volume's sectors up to its backup, not that one.
        if (has_boot_signature(sector) && has_text_at(sector, ntfs_boot::kOemId, "NTFS") &&
            le64(sector, ntfs_boot::kTotalSectors) == at - start)
            return at;
    }
    return std::nullopt;
}

uint32_t index_block_sectors(ByteView bootSector, uint32_t sectorsPerCluster) {
    const auto raw =
        static_cast<int8_t>(le8(bootSector, ntfs_boot::kClustersPerIndexBlock).value_or(0));
    if (raw < 0) {
        // A negative value n gives index blocks of 2^-n bytes (0xF4: 4,096 bytes, 8 sectors).
        const int shift = -raw;
        if (shift >= 31)
            return 0;
        return std::max<uint32_t>(1, (uint32_t{1} << shift) / kSectorSize);
    }
    return static_cast<uint32_t>(raw) * sectorsPerCluster;
}

bool read_volume_parameters(const SectorReader& reader, FsType selectedFsType, Lba start, Lba end,
                            VolumeInfo& volume) {
    volume.fsType = selectedFsType;

    const Sector primary = read_sector(reader, start);
    Sector backup = read_sector(reader, end);
    if (!has_boot_signature(backup)) {
        // NTFS writes its backup boot sector right after the volume's last sector, which is the
        // partition's last sector only when the partition is one sector larger than the volume.
        const Sector next = read_sector(reader, end + 1);
        if (has_boot_signature(next))
            backup = next;
    }
    const bool primaryIsCurrent = has_boot_signature(primary);
    if (!primaryIsCurrent && !has_boot_signature(backup))
        return false;
    const Sector* current = primaryIsCurrent ? &primary : &backup;
    const Sector* other = primaryIsCurrent ? &backup : &primary;

    auto spc = decode_sectors_per_cluster((*current)[ntfs_boot::kSectorsPerCluster]);
    if (!spc) {
        std::swap(current, other);
        spc = decode_sectors_per_cluster((*current)[ntfs_boot::kSectorsPerCluster]);
        if (!spc)
            return false;
    }

    // $MFT through the current boot sector, else through the other one, which then becomes the
    // current one for what follows.
    Lba mft = confirm_structure(reader, {current}, ntfs_boot::kMftCluster, start, *spc);
    if (mft == 0) {
        std::swap(current, other);
        mft = confirm_structure(reader, {current}, ntfs_boot::kMftCluster, start, *spc);
    }
    const Lba mirror =
        confirm_structure(reader, {current, other}, ntfs_boot::kMftMirrorCluster, start, *spc);
    if (mft == 0 && mirror == 0)
        return false;

    volume.mftStart = mft;
    volume.mftMirrorStart = mirror;
    volume.indexBlockSectors = index_block_sectors(*current, *spc);
    volume.sectorsPerCluster = *spc;
    volume.fsStart = start;
    volume.recordSectors = 2;
    return true;
}

} // namespace salvex
