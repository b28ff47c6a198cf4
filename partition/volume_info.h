// The parameters of the volume being scanned or browsed.
//
// Filled from an NTFS boot sector by read_volume_parameters, from a candidate volume after an
// Advance Scan, or from a snapshot; every later reader of volume geometry (MFT reading, tree
// building, content extraction) takes it from here.
#pragma once

#include "disk/sector.h"
#include "partition/fs_type.h"

#include <cstdint>

namespace salvex {

struct VolumeInfo {
    FsType fsType = FsType::Unknown;
    uint32_t sectorsPerFat = 0;     // FAT field; set only by a snapshot
    uint32_t sectorsPerCluster = 0; // 1 to 4096
    uint32_t rootDirSectors = 0;    // FAT field; always 0
    uint32_t rootDir = 0;           // FAT field; always 0
    uint32_t reservedSectors = 0;   // FAT field; set only by a snapshot
    Lba fsStart = 0;                // the volume's boot sector; cluster n at fsStart + n × spc
    Lba fat1Start = 0;              // FAT field; set only by a snapshot
    Lba fat2Start = 0;              // FAT field; set only by a snapshot
    Lba mftStart = 0;               // sector of $MFT's first record; 0 when not confirmed
    Lba mftMirrorStart = 0;         // sector of $MFTMirr's first record; 0 when not confirmed
    uint32_t recordSectors = 0;     // 2: file records are 1,024 bytes
    uint32_t indexBlockSectors = 0; // sectors per index block
    Lba fsEnd = 0;                  // the volume's end as a candidate or snapshot states it
    uint16_t candidateNumber = 0;   // 1-based candidate chosen after an Advance Scan

    // First sector of cluster n.
    Lba cluster_sector(uint64_t cluster) const { return fsStart + cluster * sectorsPerCluster; }
};

} // namespace salvex
