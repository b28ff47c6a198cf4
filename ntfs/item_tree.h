// The items a scan found: folders and files in two lists, in the order they were found. The
// hierarchy is held only by parent record numbers (5 is the root folder); the folder tree
// (folder_tree.h) is built from it.
#pragma once

#include "disk/progress.h"
#include "disk/sector.h"
#include "ntfs/scan_mode.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace salvex {

inline constexpr uint32_t kRootFolderRecord = 5;

// Stable identity of a folder in the folder tree; 0 until the tree is built.
using TreeItemId = uint32_t;

// A folder's key is its record number. A made-up folder for a parent that no longer lives in its
// record (the record now holds another item), or for a loop of folders, cannot take that number:
// it gets a key counted down from here, above any record number a real volume reaches.
inline constexpr uint32_t kFirstMadeUpKey = 0xFFFF'FFFE;

// Sequence numbers: a record's is raised each time the record is freed, and a reference to a
// record carries the number the record had when the reference was made. 0 means unknown (an
// item loaded from a snapshot, a record of the oldest layout) and matches anything.
struct FolderNode {
    std::string name; // UTF-8; "Dir" + a number for a made-up folder
    uint32_t recordNumber = 0;
    uint32_t parent = kRootFolderRecord;
    uint16_t sequence = 0;       // the folder's record's sequence number
    uint16_t parentSequence = 0; // as the folder's reference to its parent states it
    uint64_t creationTime = 0;
    uint64_t changeTime = 0; // shown as "Modified"
    TreeItemId treeItem = 0;
    bool deleted = false;
};

struct FileNode {
    std::string name;   // UTF-8; "name:stream" for a named data stream
    std::string stream; // the named data stream this item is, UTF-8; empty for the file's data
    uint32_t recordNumber = 0;
    uint32_t parent = kRootFolderRecord;
    uint16_t parentSequence = 0; // as the file's reference to its parent states it
    uint64_t creationTime = 0;
    uint64_t changeTime = 0;
    uint64_t size = 0; // of the unnamed $DATA; 0 when none was found
    bool deleted = false;
    Lba recordSector = 0; // the MFT record holding the item's $DATA (the start of it)
    // A file found by its contents, no record describing it: its bytes lie one after another
    // from this sector on (and recordSector names the same sector, the file's id).
    std::optional<Lba> contentStart;
    // A deleted item's share (0 to 100) of the clusters holding its bytes that nothing written
    // since has taken; filled after a scan, empty for live items and when unknown.
    std::optional<uint8_t> recoverable;
};

// The item lists of one scan.
struct NtfsItems {
    std::vector<FolderNode> folders;
    std::vector<FileNode> files;

    uint32_t folder_count() const { return static_cast<uint32_t>(folders.size()); }
    uint32_t file_count() const { return static_cast<uint32_t>(files.size()); }

    // Appends a folder. In the Advance Scan a folder whose record number is already listed is
    // dropped (the first one wins); false then.
    bool add_folder(FolderNode folder, ScanMode mode);
    void add_file(FileNode file) { files.push_back(std::move(file)); }

    // The first folder with this record number, or nullptr.
    const FolderNode* find_folder(uint32_t recordNumber) const;
    // Index of that folder in `folders`, or SIZE_MAX.
    size_t folder_index(uint32_t recordNumber) const;

    void clear();

private:
    std::unordered_map<uint32_t, size_t> byRecord_; // record number → first folder with it
};

// Gives every item whose parent is neither the root nor a listed folder a made-up folder
// "Dir" + n under the root, with the missing parent's record number; items sharing a missing
// parent share its folder. Folders are treated in list order (made-up folders are appended and
// skipped, being children of the root); files follow.
//
// An item whose parent reference names a record that now holds another folder (the sequence
// numbers differ) is not put in that unrelated folder: it goes into a made-up folder of its own
// parent reference, keyed from kFirstMadeUpKey down. A deleted item inside its deleted folder
// stays there: the folder's record gained one when it was freed. Folders whose parents form a
// loop, which the root cannot reach, are hung under a made-up folder too, so none is hidden.
// `lostFolderNumber` numbers the made-up folders and is advanced. Reports "Searching For Lost
// Data" and progress.
void attach_lost_items(NtfsItems& items, uint32_t& lostFolderNumber, ScanMode mode,
                       ProgressSink& progress, const StopFlag& stop);

// Whether a reference made with sequence number `referenced` still names `folder`.
bool still_names(const FolderNode& folder, uint16_t referenced);

} // namespace salvex
