// Where the Master File Table lies: the extents of $MFT's data in absolute sectors, decoded from
// the run list of $MFT's own record (and its extension records when the $MFT is so fragmented
// that it needed an attribute list), or from the copy of that record in $MFTMirr when the
// original is damaged.
#pragma once

#include "disk/sector.h"
#include "disk/sector_reader.h"
#include "partition/volume_info.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace salvex {

struct MftExtent {
    Lba start = 0;        // absolute first sector; 0 for a gap (sparse, or a part that is lost)
    uint64_t sectors = 0; // length
    bool operator==(const MftExtent&) const = default;
};

class MftMap {
public:
    enum class Source { None, Mft, Mirror };

    const std::vector<MftExtent>& extents() const { return extents_; }
    bool empty() const { return extents_.empty(); }
    void clear();
    void append(const MftExtent& extent);
    void drop_last();

    // Where the map came from: $MFT's own record 0, or its copy in $MFTMirr.
    Source source() const { return source_; }
    void set_source(Source source) { source_ = source; }

    // Sectors of all extents together.
    uint64_t total_sectors() const { return ends_.empty() ? 0 : ends_.back(); }
    // Number of record slots (record_sectors() each).
    uint64_t record_count() const { return total_sectors() / recordSectors_; }

    // Sectors per file record: 2 for 1,024-byte records, 8 for 4,096-byte ones.
    uint64_t record_sectors() const { return recordSectors_; }
    size_t record_bytes() const { return static_cast<size_t>(recordSectors_) * kSectorSize; }
    void set_record_sectors(uint64_t sectors) { recordSectors_ = sectors == 0 ? 2 : sectors; }

    // The absolute sector that lies `offset` sectors into the concatenated extents; 0 in a gap
    // or beyond the map.
    Lba sector_at(uint64_t offset) const;
    // The absolute sector of the first sector of record n; 0 when the record lies in a gap or
    // beyond the map. Its next sector is sector_at(record_sectors() × n + 1), which need not
    // follow it on disk: with clusters smaller than a record, a record may start at the end of
    // one extent and finish in the next.
    Lba record_to_sector(uint64_t record) const;
    // The number of the record whose first sector lies at `sector`; nullopt when none does.
    std::optional<uint64_t> record_at_sector(Lba sector) const;

private:
    std::vector<MftExtent> extents_;
    std::vector<uint64_t> ends_; // running sum of the extents' lengths
    Source source_ = Source::None;
    uint64_t recordSectors_ = 2;
};

// Sectors per file record of a volume: its recordSectors, or 2 (1,024-byte records) when it
// does not say.
inline uint32_t record_sectors_of(const VolumeInfo& volume) {
    return volume.recordSectors == 0 ? 2 : volume.recordSectors;
}

// Reads the record that begins at `sector`, each of its sectors where `map` puts it when the map
// knows the record (else the sectors that follow on disk). Sectors that cannot be read are zeros.
// False when nothing could be read or no map sector lies there.
bool read_record_at(const SectorReader& reader, const MftMap* map, Lba sector,
                    std::span<uint8_t> record);
// Reads record n where the map puts its sectors (out.size() bytes from its start); false when it
// lies in a gap or beyond the map.
bool read_mft_record(const SectorReader& reader, const MftMap& map, uint64_t record,
                     std::span<uint8_t> out);

// $MFTMirr holds copies of the first four records.
inline constexpr uint64_t kMirroredRecords = 4;
// The copy of record n (0 to 3) in $MFTMirr, for when the record itself is damaged; false when
// the volume has no mirror, n is not mirrored, or the copy cannot be read or is no sane record.
bool read_mirror_copy(const SectorReader& reader, const VolumeInfo& volume, uint64_t n,
                      std::span<uint8_t> record);

// Builds the map of the volume's $MFT from its record 0 at volume.mftStart, or from the copy of
// record 0 at volume.mftMirrorStart when that gives more records (the original is damaged,
// unreadable or its run list makes no sense). Every extent is clamped to the volume (up to its
// last sector `lastSector`, or volume.fsEnd when that is 0, when known) and to the device; an
// extent that repeats sectors already mapped is dropped; a part of the run list that cannot be
// found (an unreadable extension record) leaves a gap of its size, so the records after it keep
// their numbers. Empty when neither copy of record 0 maps anything.
MftMap build_mft_map(const SectorReader& reader, const VolumeInfo& volume, Lba lastSector = 0);

} // namespace salvex
