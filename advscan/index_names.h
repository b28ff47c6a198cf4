// Names of folders whose records are gone, as their parents' index blocks still hold them. An
// index entry is a folder's $FILE_NAME: its name, its parent's record number and its times, in
// the block of the parent's index, also in the slack past the block's used part where entries
// of deleted or moved items stay until overwritten.
#pragma once

#include "advscan/hit_lists.h"
#include "disk/sector_reader.h"
#include "ntfs/item_tree.h"

#include <cstdint>
#include <string>
#include <unordered_map>

namespace salvex {

struct IndexedFolder {
    std::string name;
    uint32_t parent = 0;
    uint64_t creationTime = 0;
};

// The folders the index blocks found between sectors `start` and `end` name, by the record
// number each entry points at: the first entry found for a record wins. An entry counts when
// its parent is the block's own folder and its name decodes.
std::unordered_map<uint32_t, IndexedFolder>
indexed_folders(const SectorReader& reader, const HitLists& hits, Lba start, Lba end);

// Adds, for each parent that the items name but no folder record gave, the folder its index
// entry (in the blocks found between `start` and `end`) tells of, with that entry's name and
// parent, and so on up as far as entries tell. The parents still unknown after that are left
// to the made-up folders. The blocks are read only when some parent is unknown.
void add_indexed_folders(const SectorReader& reader, const HitLists& hits, Lba start, Lba end,
                         NtfsItems& items);

} // namespace salvex
