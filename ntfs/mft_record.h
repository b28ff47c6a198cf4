// An MFT file record as this program reads it, little-endian: 1,024 bytes on most volumes, 4,096
// on volumes of 4,096-byte sectors; the boot sector states the size.
//
// Every attribute is reached through for_each_attribute, which checks each header against the
// record before handing it on, so no decoder reads outside the record whatever its bytes say.
#pragma once

#include "disk/bytes.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

namespace salvex {

namespace mft_record {
inline constexpr size_t kSize = 1024;           // the usual size: two sectors
inline constexpr size_t kMaxSize = 4096;        // the largest size this program reads
inline constexpr size_t kSignature = 0x00;      // 4 bytes, "FILE"
inline constexpr size_t kFixupOffset = 0x04;    // 2 bytes, offset of the update sequence array
inline constexpr size_t kFixupCount = 0x06;     // 2 bytes, entries in that array, check included
inline constexpr size_t kSequence = 0x10;       // 2 bytes, raised each time the record is freed
inline constexpr size_t kFirstAttribute = 0x14; // 2 bytes, offset of the first attribute
inline constexpr size_t kFlags = 0x16;          // 1 byte: 3 folder, 2 deleted folder,
                                                // 0 deleted file, anything else a file
inline constexpr size_t kUsedSize = 0x18;       // 4 bytes, bytes of the record in use
inline constexpr size_t kAllocatedSize = 0x1C;  // 4 bytes, the record's size (redundant)
inline constexpr size_t kBaseRecord = 0x20;     // 8 bytes, reference of the base record of an
                                                // extension record; 0 in a base record
inline constexpr size_t kRecordNumber = 0x2C;   // 4 bytes, the record's own number; present when
                                                // the update sequence array starts at 0x30 or later
inline constexpr size_t kMinimumHeader = 0x2A;  // the oldest header layout ends here
} // namespace mft_record

// A $STANDARD_INFORMATION value (resident, little-endian, from the value's start).
namespace standard_information {
inline constexpr size_t kCreationTime = 0x00;     // 8 bytes, FILETIME
inline constexpr size_t kModificationTime = 0x08; // 8 bytes, FILETIME: the data last written
inline constexpr size_t kRecordChangeTime = 0x10; // 8 bytes, FILETIME: the record last changed
} // namespace standard_information

// The flags byte of a record header: bit 0 the record is in use, bit 1 it is a folder.
namespace record_flags {
inline constexpr uint8_t kInUse = 0x01;
inline constexpr uint8_t kFolderBit = 0x02;
inline constexpr uint8_t kDeletedFile = 0;
inline constexpr uint8_t kFile = kInUse;
inline constexpr uint8_t kDeletedFolder = kFolderBit;
inline constexpr uint8_t kFolder = kInUse | kFolderBit;

// A folder is exactly 3 (2 deleted); 0 is a deleted file, and any other value a file in use
// (the files of $Extend carry further bits).
inline bool is_folder(uint8_t flags) {
    return flags == kFolder || flags == kDeletedFolder;
}
inline bool is_deleted(uint8_t flags) {
    return flags == kDeletedFile || flags == kDeletedFolder;
}
inline bool in_use(uint8_t flags) {
    return (flags & kInUse) != 0;
}
} // namespace record_flags

// A file reference: a 48-bit record number and the 16-bit sequence number that the record had
// when the reference was made. A reference whose sequence differs from the record's names an
// item that no longer lives there.
struct MftReference {
    uint64_t record = 0;
    uint16_t sequence = 0;
    bool operator==(const MftReference&) const = default;
};
inline MftReference decode_reference(uint64_t raw) {
    return {raw & 0xFFFF'FFFF'FFFFull, static_cast<uint16_t>(raw >> 48)};
}

namespace attribute {
inline constexpr size_t kType = 0x00;            // 4 bytes; 0 or 0xFFFFFFFF end the record
inline constexpr size_t kLength = 0x04;          // 4 bytes, the whole attribute
inline constexpr size_t kNonResident = 0x08;     // 1 byte, 1 = non-resident
inline constexpr size_t kNameLength = 0x09;      // 1 byte, UTF-16 units; 0 = unnamed
inline constexpr size_t kNameOffset = 0x0A;      // 2 bytes, from the attribute start
inline constexpr size_t kFlags = 0x0C;           // 2 bytes: 0x0001 compressed, 0x4000 encrypted,
                                                 // 0x8000 sparse
inline constexpr size_t kAttributeId = 0x0E;     // 2 bytes
inline constexpr size_t kValueLength = 0x10;     // resident: 4 bytes
inline constexpr size_t kValueOffset = 0x14;     // resident: 2 bytes, from the attribute start
inline constexpr size_t kLowestVcn = 0x10;       // non-resident: 8 bytes
inline constexpr size_t kHighestVcn = 0x18;      // non-resident: 8 bytes
inline constexpr size_t kRunListOffset = 0x20;   // non-resident: 2 bytes
inline constexpr size_t kCompressionUnit = 0x22; // non-resident: 2 bytes, log2 of clusters
inline constexpr size_t kAllocatedSize = 0x28;   // non-resident: 8 bytes
inline constexpr size_t kDataSize = 0x30;        // non-resident: 8 bytes
inline constexpr size_t kInitializedSize = 0x38; // non-resident: 8 bytes; zeros beyond
inline constexpr size_t kResidentHeader = 0x18;  // bytes of a resident attribute's header
inline constexpr size_t kNonResidentHeader = 0x40;
} // namespace attribute

enum AttributeType : uint32_t {
    kStandardInformation = 0x10,
    kAttributeList = 0x20,
    kFileName = 0x30,
    kData = 0x80,
    kIndexRoot = 0x90,
    kIndexAllocation = 0xA0,
    kBitmap = 0xB0,
    kEndMarker = 0xFFFFFFFF,
};

// One attribute of a record, its bytes checked to lie inside the record.
struct AttributeView {
    ByteView bytes; // the whole attribute, header included
    uint32_t type = 0;

    bool non_resident() const { return le8(bytes, attribute::kNonResident).value_or(0) == 1; }
    bool unnamed() const { return le8(bytes, attribute::kNameLength).value_or(0) == 0; }
    uint16_t flags() const { return le16(bytes, attribute::kFlags).value_or(0); }
    uint16_t id() const { return le16(bytes, attribute::kAttributeId).value_or(0); }
    // A resident attribute's value; nullopt when non-resident or when it leaves the attribute.
    std::optional<ByteView> resident_value() const;
};

// True when the record begins with "FILE".
bool has_file_signature(ByteView record);

// Restores the last two bytes of each 512-byte stretch of a record (or an index block) of any
// size from its update sequence array, which has size / 512 + 1 entries. Stops at the first entry
// that would leave the buffer. True when the array covers every sector and each sector ended in the
// array's check value, as a record written whole does; a record torn by a partial write or by
// damage gives false.
bool apply_fixup(std::span<uint8_t> record);

// What a fix-up found besides restoring the bytes: how many sectors, counted from the first,
// ended in the check value (the first torn sector and those after it were not written together
// with the first, or were not read), and whether the record is whole as apply_fixup says.
struct FixupResult {
    size_t intactSectors = 0;
    bool whole = false;
};
// Restores a record as apply_fixup does.
FixupResult apply_fixup_counting(std::span<uint8_t> record);

// Whether a record read from disk (before its fix-up) has a file record's signature and a header
// that can be true: an update sequence array inside the first sector with one entry per sector,
// a first attribute after the header and inside the used part, a used part inside the record.
// The allocated size is redundant and not looked at.
bool is_sane_file_record(ByteView record);

// Header fields of a record.
uint16_t record_sequence(ByteView record);
MftReference base_reference(ByteView record); // {0, 0} in a base record
bool is_extension_record(ByteView record);
// The record's own number as its header states it; nullopt in the oldest header layout.
std::optional<uint32_t> own_record_number(ByteView record);

// Calls `visit` for each attribute of a fixed-up record in order, until the end marker, an
// attribute that would leave the record, or `visit` returning false.
template <class Visit>
void for_each_attribute(ByteView record, Visit&& visit) {
    size_t at = le16(record, mft_record::kFirstAttribute).value_or(0);
    if (at < 0x18) // inside the record header: nothing sensible follows
        return;
    while (true) {
        const auto type = le32(record, at + attribute::kType);
        if (!type || *type == 0 || *type == kEndMarker)
            return;
        const auto length = le32(record, at + attribute::kLength);
        if (!length || *length < attribute::kResidentHeader || *length > record.size() - at)
            return;
        if (!visit(AttributeView{record.subspan(at, *length), *type}))
            return;
        at += *length;
    }
}

// The first attribute of `type` that is unnamed.
std::optional<AttributeView> find_unnamed_attribute(ByteView record, uint32_t type);
// The first attribute of `type` named `name` (UTF-8) that starts its attribute: resident, or
// non-resident from cluster 0.
std::optional<AttributeView> find_named_attribute(ByteView record, uint32_t type,
                                                  std::string_view name);

// When a fixed-up record's item was last written to: the latest of its $STANDARD_INFORMATION
// times; 0 when the record has none.
uint64_t record_last_written(ByteView record);

} // namespace salvex
