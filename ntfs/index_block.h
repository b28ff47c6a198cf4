// A folder's $I30 index as this program reads it, little-endian throughout.
//
// The index is a B-tree of entries whose keys are the $FILE_NAME values of the folder's items.
// Its root lies in the folder's record ($INDEX_ROOT); its other nodes are index blocks ("INDX")
// in the clusters of its $INDEX_ALLOCATION. A root and a block both hold a node header, whose
// offsets count from the node header itself, followed by the entries.
//
// Every entry is reached through for_each_index_entry, which hands on only entries that start
// inside their block, so no reader leaves the block whatever its bytes say.
#pragma once

#include "disk/bytes.h"
#include "ntfs/file_name.h"
#include "ntfs/mft_record.h"

#include <cstdint>
#include <optional>
#include <string>

namespace salvex {

// An index block: the header, then a node header, then the entries. Its sectors are protected
// by an update sequence array like a file record's.
namespace index_block {
inline constexpr size_t kSignature = 0x00;    // 4 bytes, "INDX"
inline constexpr size_t kFixupOffset = 0x04;  // 2 bytes, offset of the update sequence array
inline constexpr size_t kFixupCount = 0x06;   // 2 bytes, entries in that array, check included
inline constexpr size_t kVcn = 0x10;          // 8 bytes, the block's place in the index
inline constexpr size_t kNodeHeader = 0x18;   // the node header starts here
inline constexpr uint64_t kMaxSize = 0x10000; // larger blocks are not taken for blocks
} // namespace index_block

// The node header of a root or a block (offsets from the node header's start).
namespace index_node {
inline constexpr size_t kEntriesOffset = 0x00;    // 4 bytes, the first entry
inline constexpr size_t kEntriesSize = 0x04;      // 4 bytes, bytes of entries in use
inline constexpr size_t kEntriesAllocated = 0x08; // 4 bytes, bytes the entries may take
inline constexpr size_t kFlags = 0x0C;            // 1 byte: 1 = entries point to subnodes
inline constexpr size_t kSize = 0x10;
} // namespace index_node

// The value of an $INDEX_ROOT attribute.
namespace index_root {
inline constexpr size_t kAttributeType = 0x00;    // 4 bytes, the indexed attribute: 0x30
inline constexpr size_t kCollation = 0x04;        // 4 bytes, the sort order of the keys
inline constexpr size_t kBlockSize = 0x08;        // 4 bytes, bytes per index block
inline constexpr size_t kClustersPerBlock = 0x0C; // 1 byte
inline constexpr size_t kNodeHeader = 0x10;       // the node header starts here

// Where the first entry of a folder's $I30 root lies in its attribute, taken without decoding
// the value's offsets: a resident header and the 4-character name put the value at 0x20, and
// the root and node headers put the first entry 0x20 further on.
inline constexpr size_t kI30FirstEntry =
    attribute::kResidentHeader + 2 * 4 + kNodeHeader + index_node::kSize;
} // namespace index_root

// An index entry (offsets from the entry's start).
namespace index_entry {
inline constexpr size_t kFileReference = 0x00; // 8 bytes, the item's record and sequence
inline constexpr size_t kLength = 0x08;        // 2 bytes, the whole entry
inline constexpr size_t kKeyLength = 0x0A;     // 2 bytes
inline constexpr size_t kFlags = 0x0C;         // 2 bytes: 1 = has a subnode, 2 = last entry
inline constexpr size_t kKey = 0x10;           // the item's $FILE_NAME value (file_name.h)
inline constexpr uint16_t kLastEntry = 0x02;   // in the flags
} // namespace index_entry

// True when the bytes begin with "INDX".
bool has_index_block_signature(ByteView bytes);

// Header fields of an index block, read from its first sector on.
uint64_t index_block_vcn(ByteView block);
// The block's size as its header states it: the node header's start plus the entries'
// allocated size.
uint64_t index_block_size(ByteView block);
// Offset of the block's first entry from the block's start.
uint64_t index_block_first_entry(ByteView block);

// Fields of an $INDEX_ROOT value: the size of the index's blocks in bytes, and the offset of
// the root's first entry from the value's start.
uint32_t index_root_block_size(ByteView rootValue);
uint64_t index_root_first_entry(ByteView rootValue);

// One entry of a node: its bytes run from the entry's start to the end of its block.
struct IndexEntryView {
    ByteView bytes;

    MftReference file_reference() const;
    uint16_t length() const { return le16(bytes, index_entry::kLength).value_or(0); }
    uint16_t key_length() const { return le16(bytes, index_entry::kKeyLength).value_or(0); }
    uint16_t flags() const { return le16(bytes, index_entry::kFlags).value_or(0); }
    // The entry that ends its node carries no key.
    bool is_last() const { return (flags() & index_entry::kLastEntry) != 0; }
    // Fields of the $FILE_NAME key; 0 when they would leave the block.
    uint32_t parent() const;
    uint64_t creation_time() const;
    uint32_t file_flags() const;
    uint8_t name_length() const;
    bool is_folder() const { return (file_flags() & file_name::kFolderFlag) != 0; }
    // The key's name; nullopt when it would leave the block.
    std::optional<std::string> name() const;
};

// Calls `visit` for each entry of a node from offset `first` of `block`: an entry is handed on
// when it starts inside the block; the walk steps by each entry's length and ends at a length
// of 0, at the end of the block, or when `visit` returns false.
template <class Visit>
void for_each_index_entry(ByteView block, uint64_t first, Visit&& visit) {
    uint64_t at = first;
    while (at < block.size()) {
        const IndexEntryView entry{block.subspan(static_cast<size_t>(at))};
        if (!visit(entry))
            return;
        const uint16_t length = entry.length();
        if (length == 0)
            return;
        at += length;
    }
}

// The first attribute of `type` named "$I30" in a fixed-up file record.
std::optional<AttributeView> find_i30_attribute(ByteView record, uint32_t type);

} // namespace salvex
