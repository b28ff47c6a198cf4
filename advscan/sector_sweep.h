// The sector sweep: every sector of a range is examined for NTFS boot sectors, file records and
// index blocks, which become the hit lists.
#pragma once

#include "advscan/hit_lists.h"
#include "advscan/record_hit.h"
#include "disk/bytes.h"
#include "disk/progress.h"
#include "disk/sector_reader.h"

#include <optional>

namespace salvex {

// Sweeps `count` sectors from `start`, `batch` sectors at a time (the last batch is always
// whole, so up to batch - 1 sectors past the range are examined too). Stop ends the sweep at
// the next batch; what was found stays.
void sweep_sectors(const SectorReader& reader, Lba start, uint64_t count, uint32_t batch,
                   HitLists& hits, ProgressSink& progress, StopFlag& stop);

// Decodes the index block at `sector` into an index block hit, reading the block whole.
void decode_index_block_hit(const SectorReader& reader, ByteView firstSector, Lba sector,
                            HitLists& hits);

} // namespace salvex
