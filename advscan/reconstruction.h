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
// the files and named streams whose records lie after the volume's start and not after its end,
// completed from their extension records (a name, a size), made-up folders for missing parents,
// and the folder tree. scan.extensionRecords lists the extension records of each file by its
// base record, so that its data can be joined without a map of the $MFT; the $MFT is mapped
// too when the candidate knows where it lies.
// The files found by their contents, as items: under "Files found by content", a folder per
// type, each file named after its first sector ("f12345.jpg").
void add_files_found_by_content(const std::vector<CarvedFile>& found, NtfsScan& scan);

// A candidate of files found by their contents is add_files_found_by_content.
void reconstruct_candidate(const SectorReader& reader, const HitLists& hits,
                           const CandidateList& candidates, uint16_t number, NtfsScan& scan,
                           ProgressSink& progress, StopFlag& stop);

} // namespace salvex
