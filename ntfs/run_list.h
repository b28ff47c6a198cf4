// NTFS run lists (mapping pairs): where the clusters of a non-resident attribute lie.
//
// Each run is a header byte (low nibble L: length bytes, high nibble O: offset bytes), L bytes
// of run length in clusters, and O bytes of signed offset from the previous run's start cluster
// (the first run's offset is its absolute cluster). O = 0 marks a sparse run. A header of 0 ends
// the list. Lengths and offsets are read at their full width, up to 8 bytes.
#pragma once

#include "disk/bytes.h"

#include <cstdint>
#include <vector>

namespace salvex {

struct DataRun {
    uint64_t lcn = 0;      // first cluster on the volume; meaningless when sparse
    uint64_t clusters = 0; // length
    bool sparse = false;   // no clusters on disk: the run reads as zeros
    bool operator==(const DataRun&) const = default;
};

using RunList = std::vector<DataRun>;

// Decodes the run list that starts at `at` in `bytes`. Decoding stops at the end marker, at the
// end of `bytes`, or at a run that cannot be right (a zero length, fields wider than 8 bytes, a
// start before cluster 0); the runs decoded until then are returned.
RunList decode_run_list(ByteView bytes, size_t at);

// Total clusters of a run list.
uint64_t run_list_clusters(const RunList& runs);

} // namespace salvex
