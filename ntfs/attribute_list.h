// $ATTRIBUTE_LIST: where the attributes of an item live when they do not fit in its base record.
#pragma once

#include "disk/bytes.h"
#include "disk/sector_reader.h"
#include "ntfs/mft_record.h"
#include "partition/volume_info.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace salvex {

// An attribute list entry (little-endian).
namespace attribute_list_entry {
inline constexpr size_t kType = 0x00;        // 4 bytes
inline constexpr size_t kLength = 0x04;      // 2 bytes, the whole entry
inline constexpr size_t kNameLength = 0x06;  // 1 byte, UTF-16 units
inline constexpr size_t kLowestVcn = 0x08;   // 8 bytes, first cluster of the attribute's part
inline constexpr size_t kRecord = 0x10;      // 8 bytes, reference of the record holding it;
                                             // the record number is its low 32 bits
inline constexpr size_t kAttributeId = 0x18; // 2 bytes
inline constexpr size_t kMinimumSize = 0x1A;
} // namespace attribute_list_entry

struct AttributeListEntry {
    uint32_t type = 0;
    uint8_t nameLength = 0;
    uint64_t lowestVcn = 0;
    uint32_t record = 0;
    uint16_t recordSequence = 0; // the sequence number that record had; 0 when not kept
    uint16_t attributeId = 0;
};

// The entries of an attribute list value, until an end marker or an entry that would leave it.
std::vector<AttributeListEntry> parse_attribute_list(ByteView value);

// The part of an unnamed non-resident attribute that `entry` names within `record` (matched by
// attribute id, else by first cluster).

std::optional<AttributeView> find_listed_part(ByteView record, const AttributeListEntry& entry);

// The value of a record's $ATTRIBUTE_LIST: resident in the record, or read from the volume when
// the list is non-resident (at most 1 MiB). nullopt when the record has no list.
std::optional<std::vector<uint8_t>> read_attribute_list(ByteView record, const SectorReader& reader,
                                                        const VolumeInfo& volume);

// The records that hold one item's attributes: the item's own record first, then every other
// record its attribute list names, in list order, each once, at most kMaxRecordList in all.
inline constexpr size_t kMaxRecordList = 50;
using RecordList = std::vector<MftReference>;
RecordList collect_record_list(ByteView record, uint32_t recordNumber, const SectorReader& reader,
                               const VolumeInfo& volume);

// Whether `extension`, read as record `reference` names, belongs to the item whose base record is
// `base`: its header names the base record with the base record's sequence number, and it is the
// record the reference meant (same sequence number). A sequence of 0 is not compared.
bool belongs_to(ByteView extension, const MftReference& reference, const MftReference& base);

} // namespace salvex
