// What the records of one item (its base record and the extension records that belong to it)
// give the item lists: a folder, or a file under each of its names, with its named data streams
// beside it.
#pragma once

#include "disk/bytes.h"
#include "ntfs/file_name.h"
#include "ntfs/item_tree.h"

#include <cstdint>
#include <span>
#include <vector>

namespace salvex {

// The records of one item in the order of its record list: the base record first. A record that
// could not be read, or that does not belong to the item, is an empty view.
struct ItemRecords {
    std::vector<ByteView> records;
    std::vector<Lba> sectors; // where each lies; 0 when unknown
    uint32_t number = 0;      // the base record's number
    uint16_t sequence = 0;    // and its sequence number
};

// The names a file is listed under, one item each, as the shell shows them: every $FILE_NAME in
// the Win32, Win32-and-DOS or POSIX namespace (each hard link has one), and a DOS name only when
// no other name of that folder exists (it is then the only name, not the alias of a long one).
// A name repeated in the same folder is listed once.
std::vector<FileNameInfo> listed_names(const ItemRecords& item);

// The one name of a folder (folders have no hard links): Win32, else Win32-and-DOS, else DOS,
// else POSIX, from the first record that has any.
std::optional<FileNameInfo> folder_name(const ItemRecords& item);

// Appends the items of one in-use or deleted base record to `items`: a folder (`isFolder`), or
// each listed name of a file, and for each, its named data streams as "name:stream" beside it.
// Returns the name of the last item added; empty when the records name no item.
std::string add_record_items(const ItemRecords& item, bool isFolder, bool deleted,
                             NtfsItems& items);

} // namespace salvex
