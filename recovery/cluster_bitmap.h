// The volume's cluster bitmap: the unnamed $DATA of $Bitmap (MFT record 6), one bit per cluster
// from cluster 0 on, the lowest bit of each byte first; a set bit marks a cluster in use.
#pragma once

#include "disk/bytes.h"
#include "disk/sector_reader.h"
#include "ntfs/standard_scan.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace salvex {

inline constexpr uint32_t kBitmapRecord = 6;

class ClusterBitmap {
public:
    // Bits for clusters 0 .. clusters − 1; clusters the bytes do not reach count as in use.
    ClusterBitmap(std::vector<uint8_t> bytes, uint64_t clusters);

    // Reads $Bitmap of the scanned volume through its MFT map, as far as the volume's
    // `clusters` reach (so a damaged size field costs nothing); nullopt when the map does not
    // reach record 6, or the record is not an in-use base record with a non-resident $DATA.
    static std::optional<ClusterBitmap> read(const SectorReader& reader, const NtfsScan& scan,
                                             uint64_t clusters);

    uint64_t clusters() const { return clusters_; }
    bool in_use(uint64_t cluster) const;
    // Clusters of first .. end − 1 marked in use (those past the volume count too).
    uint64_t count_in_use(uint64_t first, uint64_t end) const;

private:
    std::vector<uint8_t> bytes_;
    uint64_t clusters_ = 0;
};

} // namespace salvex
