// Every record slot of the Master File Table in map order, read in runs of sectors rather than a
// record at a time; used by the scans that walk the whole table.
#pragma once

#include "disk/progress.h"
#include "disk/sector_reader.h"
#include "ntfs/mft_map.h"
#include "ntfs/mft_record.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

namespace salvex {

// The sectors of the $MFT in map order, handed on a record at a time. A record is put together
// from the sectors the map names, wherever they lie; gaps read as zeros and are passed over
// without reading.
class MftRecordStream {
public:
    MftRecordStream(const SectorReader& reader, const MftMap& map)
        : reader_(reader), map_(map), chunk_(kSectorsPerRead * kSectorSize),
          record_(map.record_bytes(), 0), recordSectors_(map.record_sectors()) {}

    // Calls visit(record, number, absolute sector of the chunk) for every slot that holds a
    // sector read from disk, until `stop` is 1.
    template <class Visit>
    void each(const StopFlag& stop, Visit&& visit) {
        for (const MftExtent& extent : map_.extents()) {
            if (stop.load() == 1)
                return;
            if (extent.start == 0) {
                skip(extent.sectors);
                continue;
            }
            for (uint64_t i = 0; i < extent.sectors && stop.load() != 1;) {
                const uint64_t sectors = std::min(kSectorsPerRead, extent.sectors - i);
                reader_.read_sectors_or_zeros(extent.start + i, static_cast<uint32_t>(sectors),
                                              chunk_);
                for (uint64_t s = 0; s < sectors && stop.load() != 1; ++s)
                    take(std::span(chunk_).subspan(s * kSectorSize, kSectorSize), extent.start + i,
                         visit);
                i += sectors;
            }
        }
    }

private:
    template <class Visit>
    void take(std::span<const uint8_t> sector, Lba chunkStart, Visit& visit) {
        std::copy(sector.begin(), sector.end(),
                  record_.begin() + static_cast<long>(filled_ * kSectorSize));
        if (++filled_ < recordSectors_)
            return;
        visit(record_, number_, chunkStart);
        filled_ = 0;
        ++number_;
    }

    // A gap: the record it cuts short is judged with zeros in its place; the whole records in
    // it only take their numbers.
    void skip(uint64_t sectors) {
        if (filled_ > 0) {
            const uint64_t missing = std::min(sectors, recordSectors_ - filled_);
            std::fill(record_.begin() + static_cast<long>(filled_ * kSectorSize),
                      record_.begin() + static_cast<long>((filled_ + missing) * kSectorSize),
                      uint8_t{0});
            filled_ += missing;
            sectors -= missing;
            if (filled_ == recordSectors_) {
                filled_ = 0;
                ++number_; // its end is lost: the record cannot be trusted
            }
        }
        number_ += sectors / recordSectors_;
        filled_ = sectors % recordSectors_;
        std::fill(record_.begin(), record_.begin() + static_cast<long>(filled_ * kSectorSize),
                  uint8_t{0});
    }

    // Records are read in runs of this many sectors; each record is then judged on its own.
    static constexpr uint64_t kSectorsPerRead = 128;

    const SectorReader& reader_;
    const MftMap& map_;
    std::vector<uint8_t> chunk_;
    std::vector<uint8_t> record_;
    uint64_t recordSectors_;
    uint64_t filled_ = 0;
    uint64_t number_ = 0;
};

} // namespace salvex
