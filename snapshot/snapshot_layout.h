// The two versions of the snapshot file (snapshot_format.h) as the reader and the writer walk
// them: the header's fields in file order with their width in each version, and the mapping
// between those fields and the selection and volume they hold.
#pragma once

#include "disk/bytes.h"
#include "partition/volume_info.h"
#include "snapshot/snapshot_format.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace salvex {

struct SnapshotVersion {
    std::string_view text;
    size_t headerSize;
    size_t sectorWidth;    // bytes of a sector number or count, in the header and file records
    size_t fileFixedBytes; // a file record's length L less its name
};
inline constexpr SnapshotVersion kSnapshotV1{snapshot_header::kVersion, snapshot_header::kSize, 4,
                                             snapshot_file::kFixedBytes};
inline constexpr SnapshotVersion kSnapshotV2{
    snapshot_header_v2::kVersion, snapshot_header_v2::kSize, 8, snapshot_file_v2::kFixedBytes};

// A header field after the version text. `width` is its width in both versions, or 0 for a
// sector number or count, whose width is the version's sectorWidth.
struct SnapshotField {
    std::string_view name;
    size_t width;
};
inline constexpr size_t kSectorField = 0;

inline constexpr std::array<SnapshotField, 19> kSnapshotFields = {{
    {"selectedFsType", 2},       {"rangeStart", kSectorField},  {"rangeCount", kSectorField},
    {"rangeEnd", kSectorField},  {"selectedPartitionIndex", 2}, {"fsType", 2},
    {"sectorsPerFat", 4},        {"sectorsPerCluster", 4},      {"rootDirSectors", 4},
    {"reservedSectors", 4},      {"fsStart", kSectorField},     {"fat1Start", kSectorField},
    {"fat2Start", kSectorField}, {"mftStart", kSectorField},    {"mftMirrorStart", kSectorField},
    {"recordSectors", 4},        {"indexBlockSectors", 4},      {"fsEnd", kSectorField},
    {"candidateNumber", 2},
}};

constexpr size_t field_width(const SnapshotField& field, const SnapshotVersion& version) {
    return field.width == kSectorField ? version.sectorWidth : field.width;
}

// Where field `index` of kSnapshotFields lies in a header of `version`.
constexpr size_t field_offset(size_t index, const SnapshotVersion& version) {
    size_t at = snapshot_header::kVersionAt + snapshot_header::kVersion.size();
    for (size_t i = 0; i < index; ++i)
        at += field_width(kSnapshotFields[i], version);
    return at;
}

// The walk agrees with the documented layouts.
static_assert(field_offset(1, kSnapshotV1) == snapshot_header::kRangeStart);
static_assert(field_offset(5, kSnapshotV1) == snapshot_header::kFsType);
static_assert(field_offset(10, kSnapshotV1) == snapshot_header::kFsStart);
static_assert(field_offset(17, kSnapshotV1) == snapshot_header::kFsEnd);
static_assert(field_offset(18, kSnapshotV1) == snapshot_header::kCandidateNumber);
static_assert(field_offset(19, kSnapshotV1) == snapshot_header::kSize);
static_assert(field_offset(1, kSnapshotV2) == snapshot_header_v2::kRangeStart);
static_assert(field_offset(4, kSnapshotV2) == snapshot_header_v2::kSelectedPartitionIndex);
static_assert(field_offset(5, kSnapshotV2) == snapshot_header_v2::kFsType);
static_assert(field_offset(10, kSnapshotV2) == snapshot_header_v2::kFsStart);
static_assert(field_offset(14, kSnapshotV2) == snapshot_header_v2::kMftMirrorStart);
static_assert(field_offset(15, kSnapshotV2) == snapshot_header_v2::kRecordSectors);
static_assert(field_offset(17, kSnapshotV2) == snapshot_header_v2::kFsEnd);
static_assert(field_offset(18, kSnapshotV2) == snapshot_header_v2::kCandidateNumber);
static_assert(field_offset(19, kSnapshotV2) == snapshot_header_v2::kSize);

using SnapshotHeaderValues = std::array<uint64_t, kSnapshotFields.size()>;

// The header's values in kSnapshotFields order, and back.
SnapshotHeaderValues header_values(const SnapshotSelection& selection, const VolumeInfo& volume);
void take_header_values(const SnapshotHeaderValues& values, SnapshotSelection& selection,
                        VolumeInfo& volume);

// Whether `bytes` are `text`, ASCII letters compared ignoring case (as the tag and the version
// are).
bool equal_ignoring_case(ByteView bytes, std::string_view text);

} // namespace salvex
