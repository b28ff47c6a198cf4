#include "recovery/cluster_bitmap.h"

#include "ntfs/file_data.h"
#include "ntfs/mft_record.h"
#include "recovery/content_copy.h"

#include <bit>
#include <vector>

namespace salvex {

namespace {

// Whether record n of the map is an in-use base record.
bool in_use_base_record(const SectorReader& reader, const MftMap& map, uint64_t n) {
    std::vector<uint8_t> record(map.record_bytes(), 0);
    if (!read_mft_record(reader, map, n, record) || !has_file_signature(record))
        return false;
    apply_fixup(record);
    return record_flags::in_use(le8(record, mft_record::kFlags).value_or(0)) &&
           !is_extension_record(record);
}

} // namespace

ClusterBitmap::ClusterBitmap(std::vector<uint8_t> bytes, uint64_t clusters)
    : bytes_(std::move(bytes)), clusters_(clusters) {}

std::optional<ClusterBitmap> ClusterBitmap::read(const SectorReader& reader, const NtfsScan& scan,
                                                 uint64_t clusters) {
    const Lba sector = scan.mftMap.record_to_sector(kBitmapRecord);
    if (sector == 0 || !in_use_base_record(reader, scan.mftMap, kBitmapRecord))
        return std::nullopt;
    FileNode node;
    node.recordNumber = kBitmapRecord;
    node.recordSector = sector;
    const auto data = locate_file_data(reader, scan, node);
    if (!data || data->kind != FileData::Kind::NonResident)
        return std::nullopt;
    // Bits past the volume's last cluster say nothing; a size field beyond it is not followed.
    const uint64_t wanted = clusters / 8 + (clusters % 8 != 0);
    std::vector<uint8_t> bytes;
    const auto append = [&bytes](ByteView part) {
        bytes.insert(bytes.end(), part.begin(), part.end());
        return true;
    };
    copy_file_content(reader, scan.volume, *data, std::min(wanted, data->dataSize), append, {});
    return ClusterBitmap(std::move(bytes), clusters);
}

bool ClusterBitmap::in_use(uint64_t cluster) const {
    const uint64_t byte = cluster / 8;
    return cluster >= clusters_ || byte >= bytes_.size() || ((bytes_[byte] >> (cluster % 8)) & 1);
}

uint64_t ClusterBitmap::count_in_use(uint64_t first, uint64_t end) const {
    uint64_t count = 0;
    // The clusters the bytes do not reach (past the volume, or past a short $Bitmap).
    const uint64_t known = std::min<uint64_t>(clusters_, bytes_.size() * 8);
    if (end > known) {
        count += end - std::max(first, known);
        end = std::max(first, known);
    }
    uint64_t c = first;
    for (; c < end && c % 8 != 0; ++c)
        count += in_use(c);
    for (; c + 8 <= end; c += 8)
        count += static_cast<uint64_t>(std::popcount(bytes_[c / 8]));
    for (; c < end; ++c)
        count += in_use(c);
    return count;
}

} // namespace salvex
