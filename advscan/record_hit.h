// What one FILE record found by the sweep tells: a file or folder hit, the hits of its named
// data streams, or, for an extension record, what it holds of its base record's item.
#pragma once

#include "advscan/hit_lists.h"
#include "disk/bytes.h"
#include "ntfs/mft_record.h"

#include <cstdint>
#include <span>
#include <vector>

namespace salvex {

// File records are 1,024 bytes on most volumes and 4,096 on volumes of 4,096-byte sectors. The
// sweep takes a record at the size its update sequence array covers (one entry per 512 bytes,
// and the check value); a record whose array gives no such size at the usual size.
inline constexpr size_t kSweptRecordSize = mft_record::kSize;
inline constexpr size_t kMaxSweptRecordSize = mft_record::kMaxSize;

// The size of the FILE record that starts with `firstSector`, from its update sequence array:
// 512 to kMaxSweptRecordSize bytes, else kSweptRecordSize.
size_t swept_record_size(ByteView firstSector);

// Decodes the FILE record at `sector` (its bytes as read, not yet fixed up, as many as
// swept_record_size gives) into hits. A record is taken on its signature, its fix-up and a header
// that can be true; the allocated size in its header is redundant and not looked at. Nothing when
// it names no item.
void decode_file_record_hit(std::span<uint8_t> record, Lba sector, HitLists& hits);

// The folder's own record number as its $I30 index root names it (0 when it does not), and the
// first cluster of its $I30 index allocation (0 without one, or when its run list cannot be
// right), from a fixed-up record.
uint32_t folder_number_from_index_root(ByteView record);
int64_t first_index_cluster(ByteView record);

// Gives a hit or an item the name, parent (and the sequence its reference states) and times of
// a $FILE_NAME.
template <class Item>
void take_file_name(Item& item, const FileNameInfo& name) {
    item.name = name.name;
    item.parent = name.parent;
    item.parentSequence = name.parentSequence;
    item.creationTime = name.creationTime;
    item.changeTime = name.changeTime;
}

// Every part of a $DATA attribute in a fixed-up record, in attribute order.
std::vector<DataPartHit> data_parts(ByteView record);

} // namespace salvex
