#include "partition/volume_parameters.h"

#include <algorithm>
#include <array>
#include <vector>

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

std::optional<uint32_t> ntfs_bytes_per_sector(ByteView bootSector) {
    const uint16_t bytes = le16(bootSector, ntfs_boot::kBytesPerSector).value_or(0);
    if (bytes < kSectorSize || bytes > 4096 || (bytes & (bytes - 1)) != 0)
        return std::nullopt;
    return bytes;
}

std::optional<uint32_t> record_bytes(uint8_t byte, uint64_t clusterBytes) {
    const auto raw = static_cast<int8_t>(byte);
    uint64_t bytes = 0;
    if (raw < 0) {
        if (-raw > 16)
            return std::nullopt;
        bytes = uint64_t{1} << -raw;
    } else {
        bytes = static_cast<uint64_t>(raw) * clusterBytes;
    }
    if (bytes < kSectorSize || bytes > 65536 || (bytes & (bytes - 1)) != 0)
        return std::nullopt;
    return static_cast<uint32_t>(bytes);
}

std::optional<NtfsBootGeometry> decode_ntfs_boot(ByteView bootSector) {
    NtfsBootGeometry g;
    g.bytesPerSector = ntfs_bytes_per_sector(bootSector).value_or(kSectorSize);
    const uint32_t unit = g.bytesPerSector / kSectorSize;
    const auto spc =
        decode_sectors_per_cluster(le8(bootSector, ntfs_boot::kSectorsPerCluster).value_or(0));
    // Clusters are at most 2 MiB, whatever the sector size.
    if (!spc || uint64_t{*spc} * g.bytesPerSector > (uint64_t{2} << 20))
        return std::nullopt;
    g.sectorsPerCluster = *spc * unit;
    const uint64_t total = le64(bootSector, ntfs_boot::kTotalSectors).value_or(0);
    g.totalSectors = total > UINT64_MAX / unit ? 0 : total * unit;
    const auto record = record_bytes(le8(bootSector, ntfs_boot::kClustersPerRecord).value_or(0),
                                     uint64_t{g.sectorsPerCluster} * kSectorSize);
    g.recordSectors = record.value_or(std::max<uint32_t>(1024, g.bytesPerSector)) / kSectorSize;
    g.indexBlockSectors = index_block_sectors(bootSector, g.sectorsPerCluster);
    return g;
}

std::optional<Lba> find_ntfs_backup_boot_sector(const SectorReader& reader, Lba start, Lba end) {
    // In the partition's last sector of the volume's size (512 to 4,096 bytes), or after it.
    for (const uint32_t unit : {1u, 2u, 4u, 8u, 0u}) {
        const Lba at = unit == 0 ? end + 1 : end + 1 - unit;
        if (end + 1 < unit || at <= start)
            continue;
        const Sector sector = read_sector(reader, at);
        if (!has_boot_signature(sector) || !has_text_at(sector, ntfs_boot::kOemId, "NTFS"))
            continue;
        const auto bytes = ntfs_bytes_per_sector(sector).value_or(kSectorSize);
        if (unit != 0 && bytes != unit * kSectorSize)
            continue;
        // The total-sectors field counts the volume's sectors up to its backup, not that one.
        if (le64(sector, ntfs_boot::kTotalSectors).value_or(0) * (bytes / kSectorSize) ==
            at - start)
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

namespace {

// The backup boot sector of the volume at `start` in a partition ending at `end`: in the
// partition's last sector of the volume's size (from `primary` when it can tell, else any size
// whose sector states that size), or in the sector after the partition for a volume whose size
// came from its own boot sector. Zeros when none has the signature.
Sector read_backup(const SectorReader& reader, Lba start, Lba end, const Sector& primary) {
    std::vector<uint32_t> units{1, 2, 4, 8};
    if (has_boot_signature(primary))
        if (const auto bytes = ntfs_bytes_per_sector(primary))
            units = {*bytes / static_cast<uint32_t>(kSectorSize)};
    for (const uint32_t unit : units) {
        if (end + 1 < unit || end + 1 - unit <= start)
            continue;
        const Sector sector = read_sector(reader, end + 1 - unit);
        if (has_boot_signature(sector) &&
            (unit == 1 || ntfs_bytes_per_sector(sector) == unit * kSectorSize))
            return sector;
    }
    const Sector next = read_sector(reader, end + 1);
    return has_boot_signature(next) ? next : Sector{};
}

} // namespace

bool read_volume_parameters(const SectorReader& reader, FsType selectedFsType, Lba start, Lba end,
                            VolumeInfo& volume) {
    volume.fsType = selectedFsType;

    const Sector primary = read_sector(reader, start);
    const Sector backup = read_backup(reader, start, end, primary);
    const bool primaryIsCurrent = has_boot_signature(primary);
    if (!primaryIsCurrent && !has_boot_signature(backup))
        return false;
    const Sector* current = primaryIsCurrent ? &primary : &backup;
    const Sector* other = primaryIsCurrent ? &backup : &primary;

    auto geometry = decode_ntfs_boot(*current);
    if (!geometry) {
        std::swap(current, other);
        geometry = decode_ntfs_boot(*current);
        if (!geometry)
            return false;
    }
    const uint32_t spc = geometry->sectorsPerCluster;

    // $MFT through the current boot sector, else through the other one, which then becomes the
    // current one for what follows.
    Lba mft = confirm_structure(reader, {current}, ntfs_boot::kMftCluster, start, spc);
    if (mft == 0) {
        std::swap(current, other);
        mft = confirm_structure(reader, {current}, ntfs_boot::kMftCluster, start, spc);
    }
    const Lba mirror =
        confirm_structure(reader, {current, other}, ntfs_boot::kMftMirrorCluster, start, spc);
    if (mft == 0 && mirror == 0)
        return false;

    volume.mftStart = mft;
    volume.mftMirrorStart = mirror;
    volume.indexBlockSectors = geometry->indexBlockSectors;
    volume.sectorsPerCluster = spc;
    volume.fsStart = start;
    volume.recordSectors = geometry->recordSectors;
    return true;
}

} // namespace salvex
