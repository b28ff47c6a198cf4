// The sector sweep: every sector of a range is examined for NTFS boot sectors, file records and
// index blocks, which become the hit lists.
#pragma once

#include "advscan/hit_lists.h"
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

// Decodes the FILE record at `sector` (its 1,024 bytes as read, not yet fixed up) into a file or
// folder hit. A record is taken on its signature, its fix-up and a header that can be true; the
// allocated size in its header is redundant and not looked at. Nothing when it names no item.
void decode_file_record_hit(std::span<uint8_t> record, Lba sector, HitLists& hits);

// Decodes the index block at `sector` into an index block hit, reading the block whole.
void decode_index_block_hit(const SectorReader& reader, ByteView firstSector, Lba sector,
                            HitLists& hits);

// The folder's own record number as its $I30 index root names it (0 when it does not), and the
// first cluster of its $I30 index allocation (0 without one), from a fixed-up record.
uint32_t folder_number_from_index_root(ByteView record);
int64_t first_index_cluster(ByteView record);

} // namespace salvex
