// How far a file of a volume can reach, and what extraction does with a file whose record says
// more: a size field larger than the volume is cut to the volume's size, and clusters past the
// volume's end (or the device's) are not read. Such a file is written as far as it can be, and
// marked damaged.
#pragma once

#include "disk/sector_reader.h"
#include "partition/volume_info.h"
#include "recovery/file_data.h"

#include <cstdint>
#include <limits>
#include <string>

namespace salvex {

inline constexpr uint64_t kUnbounded = std::numeric_limits<uint64_t>::max();

struct VolumeBounds {
    uint64_t bytes = kUnbounded; // the volume's size: no file of it can hold more
    uint64_t clusters =
        kUnbounded; // clusters 0 .. clusters − 1 lie in the volume and on the device
};

// The bounds of `volume`. Its size in sectors is taken, in this order, from
//  - fsEnd, the volume's last sector, which holds the backup boot sector (its clusters lie
//    before it), when the volume's $MFT is known: an Advance Scan candidate made from folders
//    alone knows no $MFT and ends where the sweep ended, which says nothing of its size;
//  - the total-sectors field of the NTFS boot sector at fsStart;
//  - the device's size from fsStart on.
// The clusters are also bounded by the device's end. Unknown sizes leave the bounds unbounded.
VolumeBounds volume_bounds(const SectorReader& reader, const VolumeInfo& volume);

// What was wrong with a file's record, as found when bounding it.
struct FileDamage {
    bool sizeBeyondVolume = false; // its size field exceeds what its volume can hold
    bool runsBeyondVolume = false; // its runs name clusters past the volume's (or device's) end,
                                   // or span more clusters than the volume holds

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
