// How far a file of a volume can reach, and what extraction does with a file whose record says
// more: a size field larger than the volume is cut to the volume's size, and clusters past the
// volume's end are not read. Such a file is written as far as it can be, and marked damaged.
// Clusters inside the volume but past the device's end (an image cut short) are read like any
// other: they are unreadable sectors, written as zeros and counted so.
#pragma once

#include "disk/sector_reader.h"
#include "ntfs/file_data.h"
#include "partition/volume_info.h"

#include <cstdint>
#include <limits>
#include <string>

namespace salvex {

inline constexpr uint64_t kUnbounded = std::numeric_limits<uint64_t>::max();

// Clusters are counted from the volume's first: those below volumeClusters lie in the volume,
// those below deviceClusters on the device, those below clusters (the smaller) on both.
struct VolumeBounds {
    uint64_t bytes = kUnbounded; // the volume's size: no file of it can hold more
    uint64_t volumeClusters = kUnbounded;
    uint64_t clusters = kUnbounded;
    uint64_t deviceClusters = kUnbounded;
};

// The bounds of `volume`. Its size in sectors is taken, in this order, from
//  - fsEnd, the volume's last sector, which holds the backup boot sector (its clusters lie
//    before it), when the volume's $MFT is known: an Advance Scan candidate made from folders
//    alone knows no $MFT and ends where the sweep ended, which says nothing of its size;
//  - the total-sectors field of the NTFS boot sector at fsStart;
//  - the device's size from fsStart on.
// `clusters` are also bounded by the device's end. Unknown sizes leave the bounds unbounded.
VolumeBounds volume_bounds(const SectorReader& reader, const VolumeInfo& volume);

// What was wrong with a file's record, as found when bounding it.
struct FileDamage {
    bool sizeBeyondVolume = false; // its size field exceeds what its volume can hold
    bool runsBeyondVolume = false; // its runs name clusters past the volume's end, or span
                                   // more clusters than the volume holds

    bool any() const { return sizeBeyondVolume || runsBeyondVolume; }
    // The short reasons, joined by "; " ("its size field exceeds what its volume can hold").
    std::string reason() const;
};

// Cuts `size` to the volume's size and turns the clusters past the volume's end that the first
// `size` bytes would read into holes (zeros), so that the copy takes bounded time and space.
// Says what was wrong; runs that span more clusters than the volume holds (a sparse run of
// petabytes) are damage too, though nothing needs cutting.
FileDamage bound_to_volume(FileData& file, uint64_t& size, const VolumeBounds& bounds,
                           uint32_t sectorsPerCluster);

} // namespace salvex
