#include "snapshot/snapshot_layout.h"

namespace salvex {

SnapshotHeaderValues header_values(const SnapshotSelection& selection, const VolumeInfo& volume) {
    return {
        static_cast<uint16_t>(selection.selectedFsType),
        selection.rangeStart,
        selection.rangeCount,
        selection.rangeEnd,
        selection.selectedPartitionIndex,
        static_cast<uint16_t>(volume.fsType),
        volume.sectorsPerFat,
        volume.sectorsPerCluster,
        volume.rootDirSectors,
        volume.reservedSectors,
        volume.fsStart,
        volume.fat1Start,
        volume.fat2Start,
        volume.mftStart,
        volume.mftMirrorStart,
        volume.recordSectors,
        volume.indexBlockSectors,
        volume.fsEnd,
        volume.candidateNumber,
    };
}

// Every value was read in the width its field has, so the narrowing casts keep it whole.
void take_header_values(const SnapshotHeaderValues& v, SnapshotSelection& selection,
                        VolumeInfo& volume) {
    const auto u16 = [](uint64_t value) { return static_cast<uint16_t>(value); };
    const auto u32 = [](uint64_t value) { return static_cast<uint32_t>(value); };
    selection.selectedFsType = static_cast<FsType>(u16(v[0]));
    selection.rangeStart = v[1];
    selection.rangeCount = v[2];
    selection.rangeEnd = v[3];
    selection.selectedPartitionIndex = u16(v[4]);
    volume.fsType = static_cast<FsType>(u16(v[5]));
    volume.sectorsPerFat = u32(v[6]);
    volume.sectorsPerCluster = u32(v[7]);
    volume.rootDirSectors = u32(v[8]);
    volume.reservedSectors = u32(v[9]);
    volume.fsStart = v[10];
    volume.fat1Start = v[11];
    volume.fat2Start = v[12];
    volume.mftStart = v[13];
    volume.mftMirrorStart = v[14];
    volume.recordSectors = u32(v[15]);
    volume.indexBlockSectors = u32(v[16]);
    volume.fsEnd = v[17];
    volume.candidateNumber = u16(v[18]);
}

bool equal_ignoring_case(ByteView bytes, std::string_view text) {
    if (bytes.size() != text.size())
        return false;
    const auto lower = [](uint8_t c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    for (size_t i = 0; i < text.size(); ++i) {
        if (lower(bytes[i]) != lower(static_cast<uint8_t>(text[i])))
            return false;
    }
    return true;
}

} // namespace salvex
