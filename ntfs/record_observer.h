// The records of the Master File Table as the Standard Scan reads them, and whoever else wants
// them: handing each record on as it is read spares a second read of the whole table (on an image
// that decompresses, a second decompression of every chunk of it).
#pragma once

#include "disk/bytes.h"
#include "disk/sector_reader.h"
#include "ntfs/mft_map.h"
#include "ntfs/mft_record.h"
#include "partition/volume_info.h"

#include <cstdint>
#include <span>

namespace salvex {

// What a slot of the table holds, as the record loops judge it.
enum class SlotRecord {
    None,    // no file record, neither in the slot nor in its copy in $MFTMirr
    Damaged, // a record whose header cannot be true, or one of whose sectors lost its check value
    Whole,   // a sane record whose every sector ended in the check value
};

// Judges the record a loop read from slot `number` into `record` (replaced by its copy in $MFTMirr
// when the slot holds no file record) and fixes it up in place.
inline SlotRecord fix_up_slot(const SectorReader& reader, const VolumeInfo& volume, uint64_t number,
                              std::span<uint8_t> record) {
    if (!has_file_signature(record) && !read_mirror_copy(reader, volume, number, record))
        return SlotRecord::None;
    const bool sane = is_sane_file_record(record); // judged before the fix-up changes it
    const bool whole = apply_fixup(record);
    return sane && whole ? SlotRecord::Whole : SlotRecord::Damaged;
}

// Told of every record a record loop reads, in number order.
class RecordObserver {
public:
    virtual ~RecordObserver() = default;
    // The loop has mapped the table of `volume`, which `reader` reads; its records follow.
    virtual void map_ready(const SectorReader& reader, const VolumeInfo& volume,
                           const MftMap& map) = 0;
    // Record `number`, fixed up; slots that hold none are passed over.
    virtual void take(ByteView record, uint64_t number, SlotRecord judged) = 0;
    // Every slot of the map was read. Not said when the loop was stopped.
    virtual void table_read() = 0;
};

} // namespace salvex
