// Where the Master File Table lies: the extents of $MFT's data in absolute sectors, decoded from
// the run list of $MFT's own record (and its extension records when the $MFT is so fragmented
// that it needed an attribute list).
#pragma once

#include "disk/sector.h"
#include "disk/sector_reader.h"
#include "partition/volume_info.h"

#include <cstdint>
#include <vector>

namespace salvex {

struct MftExtent {
    Lba start = 0;        // absolute first sector; 0 for a sparse extent
    uint64_t sectors = 0; // length
    bool operator==(const MftExtent&) const = default;
};

class MftMap {
public:
    const std::vector<MftExtent>& extents() const { return extents_; }
    bool empty() const { return extents_.empty(); }
    void clear();
    void append(const MftExtent& extent);

    // Sectors of all extents together.
    uint64_t total_sectors() const { return ends_.empty() ? 0 : ends_.back(); }
    // Number of record slots (two sectors each).
    uint64_t record_count() const { return total_sectors() / 2; }

    // The absolute sector of the first half of record n, which lies 2 × n sectors into the
    // concatenated extents; 0 when the record lies beyond the map.
    Lba record_to_sector(uint64_t record) const;

private:
    std::vector<MftExtent> extents_;
    std::vector<uint64_t> ends_; // running sum of the extents' lengths
};

// Builds the map of the volume's $MFT, whose first record lies at volume.mftStart. The map stays
// empty when record 0 or record 5 (the root folder) lacks the "FILE" signature.
MftMap build_mft_map(const SectorReader& reader, const VolumeInfo& volume);

} // namespace salvex
