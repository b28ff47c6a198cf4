// Reading an NTFS volume's parameters from its boot sector, confirmed by the structures the
// boot sector points to.
#pragma once

#include "disk/bytes.h"
#include "disk/sector_reader.h"
#include "partition/volume_info.h"

#include <optional>

namespace salvex {

// An NTFS boot sector as this program reads it (the first 512 bytes of the volume's first
// sector, little-endian). Its sector counts are in the volume's own sectors, 512 to 4,096 bytes.
namespace ntfs_boot {
inline constexpr size_t kOemId = 0x03;                 // 4 bytes, "NTFS"
inline constexpr size_t kBytesPerSector = 0x0B;        // 2 bytes, 512..4096, a power of two
inline constexpr size_t kSectorsPerCluster = 0x0D;     // 1 byte; 0xF4..0xF8: 2^(256 - byte)
inline constexpr size_t kTotalSectors = 0x28;          // 8 bytes, sectors of the volume less one
inline constexpr size_t kMftCluster = 0x30;            // 8 bytes, cluster of $MFT
inline constexpr size_t kMftMirrorCluster = 0x38;      // 8 bytes, cluster of $MFTMirr
inline constexpr size_t kClustersPerRecord = 0x40;     // 1 byte, signed: < 0 gives 2^-n bytes
inline constexpr size_t kClustersPerIndexBlock = 0x44; // 1 byte, signed: < 0 gives 2^-n bytes
} // namespace ntfs_boot

// Sectors per cluster from the boot sector's byte: a power of two 1..128 as it stands, or
// 0xF4..0xF8 for clusters of 2^12..2^8 sectors (2 MiB down to 128 KiB). nullopt otherwise.
// The count is of the volume's own sectors.
std::optional<uint32_t> decode_sectors_per_cluster(uint8_t byte);

// The volume's sector size from the boot sector: 512, 1,024, 2,048 or 4,096 bytes. nullopt for
// any other value.
std::optional<uint32_t> ntfs_bytes_per_sector(ByteView bootSector);

// What a boot sector says of its volume, with every count in 512-byte sectors, the unit the
// program addresses the drive in whatever the volume's own sector size.
struct NtfsBootGeometry {
    uint32_t bytesPerSector = 512;  // the volume's own sector
    uint32_t sectorsPerCluster = 0; // 512-byte sectors per cluster
    uint64_t totalSectors = 0;      // 512-byte sectors up to the backup boot sector
    uint32_t recordSectors = 0;     // 512-byte sectors per file record
    uint32_t indexBlockSectors = 0; // 512-byte sectors per index block
};

// The geometry of `bootSector`; nullopt when its cluster size cannot be decoded. A sector size
// field that is none of the sizes NTFS writes (damage) is read as 512 bytes; a record-size byte
// that gives no sane size as 1,024 bytes, or one sector when sectors are larger.
std::optional<NtfsBootGeometry> decode_ntfs_boot(ByteView bootSector);

// Bytes per file record from the boot sector's clusters-per-record byte (read like the
// clusters-per-index-block byte), for clusters of `clusterBytes`: 512 to 65,536 bytes, a power
// of two; nullopt otherwise.
std::optional<uint32_t> record_bytes(uint8_t byte, uint64_t clusterBytes);

// The sector of the backup boot sector of an NTFS volume that begins at `start`, in a partition
// whose last sector is `end`. NTFS writes the backup right after the volume's own sectors: in
// the partition's last sector when the volume fills the partition (as formatting makes it), in
// the sector after it when the partition is no larger than the volume. A sector counts only as
// an NTFS boot sector (signature, "NTFS") whose total-sectors field leads back to `start`, so the
// boot sector of a following volume is not taken for it. nullopt when neither sector is one.
std::optional<Lba> find_ntfs_backup_boot_sector(const SectorReader& reader, Lba start, Lba end);

// 512-byte sectors per index block from the boot sector's clusters-per-index-block field, with
// `sectorsPerCluster` in 512-byte sectors.
uint32_t index_block_sectors(ByteView bootSector, uint32_t sectorsPerCluster);

// Fills `volume` for the NTFS partition whose first sector is `start` and last sector `end`.
//
// The boot sector at `start` is used, or its backup when it lacks the signature: the backup
// lies in the partition's last sector, or in the sector after it for a volume whose size came
// from its own boot sector. $MFT and $MFTMirr are confirmed by their "FILE" signature, each
// through the other boot sector when the current one points nowhere. False when no usable boot
// sector was found or neither $MFT nor $MFTMirr was confirmed; `volume` then has only fsType set.
bool read_volume_parameters(const SectorReader& reader, FsType selectedFsType, Lba start, Lba end,
                            VolumeInfo& volume);

} // namespace salvex
