// The Advance Scan's first step as both front ends take it: the sweep of a range, then the
// classification of what it found into candidate volumes.
#pragma once

#include "advscan/classification.h"
#include "advscan/hit_lists.h"
#include "advscan/sector_range.h"
#include "disk/progress.h"
#include "disk/sector_reader.h"

#include <cstdint>

namespace salvex {

// Sweeps `range` (512-byte sectors), `sectorsPerRead` at a time, into `hits`, which are cleared
// first (an earlier sweep's never mix with this one's), and classifies them. The range's end
// bounds the volumes inferred. The candidates, numbered from 1 in this order; a stop ends the
// sweep at its next batch and the classification at its next step, keeping what was found.
CandidateList sweep_and_classify(const SectorReader& reader, SectorRange range,
                                 uint32_t sectorsPerRead, HitLists& hits, ProgressSink& progress,
                                 StopFlag& stop);

} // namespace salvex
