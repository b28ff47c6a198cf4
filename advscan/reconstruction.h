// Rebuilding the folder tree of the candidate volume the user picked: its folder records become
// the item lists' folders, and the file records of its sector range its files.
#pragma once

#include "advscan/classification.h"
#include "advscan/hit_lists.h"
#include "disk/progress.h"
#include "disk/sector_reader.h"
#include "ntfs/standard_scan.h"

namespace salvex {

// Fills `scan` from the hits of candidate `number` (counting from 1): its volume parameters, its
// folders (the first record of each record number wins; the root is not made from a record),
// made-up folders for missing parents, the folder tree, and the files whose records lie after
// the volume's start and not after its end. The $MFT is mapped when the candidate knows where
// it lies, so that files continued in extension records are found whole.
void reconstruct_candidate(const SectorReader& reader, const HitLists& hits,
                           const CandidateList& candidates, uint16_t number, NtfsScan& scan,
                           ProgressSink& progress, StopFlag& stop);

} // namespace salvex
