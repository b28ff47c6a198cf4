#include "recovery/volume_runs.h"

#include "ntfs/mft_record.h"
#include "ntfs/mft_record_stream.h"
#include "ntfs/run_list.h"
#include "recovery/content_copy.h"
#include "recovery/volume_bounds.h"

#include <algorithm>
#include <vector>

namespace salvex {

namespace {

constexpr uint64_t kProgressEvery = 4096; // records

bool is_deleted(ByteView record) {
    return record_flags::is_deleted(le8(record, mft_record::kFlags).value_or(0));
}

// The runs of every non-resident attribute of a fixed-up record, sparse runs left out.
template <class Visit>
void each_run(ByteView record, Visit&& visit) {
    for_each_attribute(record, [&](const AttributeView& a) {
        const uint16_t at = le16(a.bytes, attribute::kRunListOffset).value_or(0);
        if (!a.non_resident() || at < attribute::kNonResidentHeader)
            return true;
        for (const DataRun& run : decode_run_list(a.bytes, at)) {
            if (!run.sparse)
                visit(run);
        }
        return true;
    });
}

// The table's own bitmap: the unnamed $BITMAP of $MFT (record 0), one bit per record, set for a
// record in use. nullopt when record 0 (or its copy in $MFTMirr) holds none. The volume holds
// `clusters` clusters.
std::optional<std::vector<uint8_t>> read_mft_bitmap(const SectorReader& reader,
                                                    const NtfsScan& scan, uint64_t clusters) {
    std::vector<uint8_t> record(scan.mftMap.record_bytes(), 0);
    if ((!read_mft_record(reader, scan.mftMap, 0, record) || !has_file_signature(record)) &&
        !read_mirror_copy(reader, scan.volume, 0, record))
        return std::nullopt;
    apply_fixup(record);
    const auto bitmap = find_unnamed_attribute(record, kBitmap);
    if (!bitmap)
        return std::nullopt;
    if (!bitmap->non_resident()) {
        const auto value = bitmap->resident_value();
        return value ? std::optional(std::vector<uint8_t>(value->begin(), value->end()))
                     : std::nullopt;
    }
    FileData data;
    data.kind = FileData::Kind::NonResident;
    data.runs =
        decode_run_list(bitmap->bytes, le16(bitmap->bytes, attribute::kRunListOffset).value_or(0));
    data.dataSize = le64(bitmap->bytes, attribute::kDataSize).value_or(0);
    data.initializedSize = le64(bitmap->bytes, attribute::kInitializedSize).value_or(data.dataSize);
    // One bit per record the volume could hold; a size field beyond it is not followed.
    const uint64_t clusterBytes = uint64_t{scan.volume.sectorsPerCluster} * kSectorSize;
    const uint64_t volumeBytes = clusters > UINT64_MAX / std::max<uint64_t>(clusterBytes, 1)
                                     ? UINT64_MAX
                                     : clusters * clusterBytes;
    const uint64_t size = std::min(data.dataSize, volumeBytes / scan.mftMap.record_bytes() / 8 + 1);
    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<size_t>(size));
    copy_file_content(reader, scan.volume, data, size,
                      [&bytes](ByteView part) {
                          bytes.insert(bytes.end(), part.begin(), part.end());
                          return true;
                      },
                      {});
    return bytes;
}

bool bit_set(const std::vector<uint8_t>& bits, uint64_t n) {
    return n / 8 < bits.size() && ((bits[n / 8] >> (n % 8)) & 1);
}

// Whether every record the table's bitmap `bits` marks in use was `read` whole.
bool every_marked_record_read(const std::vector<uint8_t>& bits, const std::vector<bool>& read) {
    for (uint64_t byte = 0; byte < bits.size(); ++byte) {
        for (uint64_t n = byte * 8; bits[byte] != 0 && n < byte * 8 + 8; ++n) {
            if (bit_set(bits, n) && (n >= read.size() || !read[n]))
                return false;
        }
    }
    return true;
}

// When the deleted item of base record `owner` was last written to; 0 (older than anything) when
// its base record is gone.
uint64_t last_written_of(const VolumeRuns& runs, uint64_t owner) {
    if (owner > UINT32_MAX)
        return 0;
    const auto found = runs.lastWritten.find(static_cast<uint32_t>(owner));
    return found != runs.lastWritten.end() ? found->second : 0;
}

} // namespace

void RunCollector::map_ready(const SectorReader& reader, const VolumeInfo& volume,
                             const MftMap& map) {
    clusters_ = volume_bounds(reader, volume).clusters;
    read_.assign(map.record_count(), false);
    inUse_.assign(map.record_count(), false);
    parts_.clear();
    runs_ = {};
    tableRead_ = false;
}

void RunCollector::take(ByteView record, uint64_t number, SlotRecord judged) {
    if (number >= read_.size())
        return;
    read_[number] = judged == SlotRecord::Whole;
    const bool deleted = is_deleted(record);
    inUse_[number] = !deleted;
    const bool extension = is_extension_record(record);
    // An extension record's runs belong to its base record's item.
    const uint64_t owner = extension ? base_reference(record).record : number;
    if (deleted && !extension && owner <= UINT32_MAX)
        runs_.lastWritten[static_cast<uint32_t>(owner)] = record_last_written(record);
    each_run(record, [&](const DataRun& run) {
        // Clusters past the volume's end hold nothing of it.
        const uint64_t count =
            run.lcn >= clusters_ ? 0 : std::min(run.clusters, clusters_ - run.lcn);
        if (count == 0)
            return;
        if (!deleted && !extension)
            runs_.live.add(run.lcn, count);
        else
            parts_.push_back({run.lcn, count, owner, !deleted});
    });
}

std::optional<VolumeRuns> RunCollector::finish(const SectorReader& reader, const NtfsScan& scan) {
    if (!tableRead_ || read_.empty())
        return std::nullopt;
    for (const Part& part : parts_) {
        // An extension record still marked in use counts as live only while its base record
        // is: a deleted item's extension left behind holds the deleted item's runs.
        const bool baseInUse = part.owner < inUse_.size() && inUse_[part.owner];
        if (part.inUse && baseInUse) {
            runs_.live.add(part.first, part.count);
            continue;
        }
        runs_.deleted.add(part.first, part.count, last_written_of(runs_, part.owner));
    }
    parts_ = {};
    runs_.live.seal();
    runs_.deleted.seal();
    const auto mftBitmap = read_mft_bitmap(reader, scan, clusters_);
    runs_.liveComplete = mftBitmap && every_marked_record_read(*mftBitmap, read_);
    tableRead_ = false; // handed out once
    return std::move(runs_);
}

std::optional<VolumeRuns> collect_volume_runs(const SectorReader& reader, const NtfsScan& scan,
                                              ProgressSink& progress, const StopFlag& stop) {
    if (scan.mftMap.empty())
        return std::nullopt;
    const uint64_t records = scan.mftMap.record_count();
    RunCollector collector;
    collector.map_ready(reader, scan.volume, scan.mftMap);
    MftRecordStream stream(reader, scan.mftMap);
    stream.each(stop, [&](auto& record, uint64_t number, Lba) {
        if (number % kProgressEvery == 0)
            progress.set_progress(static_cast<int>(std::min<uint64_t>(99, number * 100 / records)));
        const SlotRecord judged = fix_up_slot(reader, scan.volume, number, record);
        if (judged != SlotRecord::None)
            collector.take(record, number, judged);
    });
    if (stop.load() != 1)
        collector.table_read();
    return collector.finish(reader, scan);
}

} // namespace salvex
