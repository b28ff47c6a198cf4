#include "recovery/content_copy.h"

#include "recovery/lznt1.h"

#include <algorithm>
#include <vector>

namespace salvex {

namespace {

constexpr uint64_t kMaxReadSectors = 2048; // 1 MiB per read call

// Writes what the file holds, cutting at its size and zeroing past its initialized part.
class Output {
public:
    Output(const ContentWriter& write, const FileData& file, uint64_t size,
           const CopyControl& control)
        : write_(write), initialized_(std::min(file.initializedSize, size)), size_(size),
          control_(control) {
        if (control_.progress)
            control_.progress->set_progress(0);
    }

    uint64_t remaining() const { return size_ - written_; }
    bool done() const { return written_ >= size_; }

    // Takes up to remaining() bytes of `bytes`; false when the writer failed.
    bool put(std::span<uint8_t> bytes) {
        const auto n = static_cast<size_t>(std::min<uint64_t>(bytes.size(), remaining()));
        if (written_ + n > initialized_) {
            const uint64_t from = std::max(written_, initialized_) - written_;
            std::fill(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(n),
                      uint8_t{0});
        }
        if (n > 0 && !write_(bytes.first(n)))
            return false;
        written_ += n;
        if (control_.progress && size_ > 0)
            control_.progress->set_progress(
                static_cast<int>(std::min<uint64_t>(99, written_ * 100 / size_)));
        return true;
    }

private:
    const ContentWriter& write_;
    uint64_t initialized_;
    uint64_t size_;
    uint64_t written_ = 0;
    const CopyControl& control_;
};

CopyOutcome copy_runs(const SectorReader& reader, const VolumeInfo& volume, const FileData& file,
                      Output& out, const CopyControl& control) {
    const uint64_t spc = volume.sectorsPerCluster;
    std::vector<uint8_t> buffer(kMaxReadSectors * kSectorSize);
    for (const DataRun& run : file.runs) {
        const uint64_t runSectors = run.clusters * spc;
        for (uint64_t done = 0; done < runSectors && !out.done();) {
            if (control.interrupted())
                return CopyOutcome::Interrupted;
            const uint64_t sectors = std::min({kMaxReadSectors, runSectors - done,
                                               (out.remaining() + kSectorSize - 1) / kSectorSize});
            const auto chunk = std::span<uint8_t>(buffer).first(sectors * kSectorSize);
            if (run.sparse)
                std::fill(chunk.begin(), chunk.end(), uint8_t{0});
            else
                reader.read_sectors_or_zeros(volume.cluster_sector(run.lcn) + done,
                                             static_cast<uint32_t>(sectors), chunk);
            if (!out.put(chunk))
                return CopyOutcome::WriteFailed;
            done += sectors;
        }
    }
    return CopyOutcome::Complete;
}

// Walks a run list cluster by cluster.
class ClusterCursor {
public:
    explicit ClusterCursor(const RunList& runs) : runs_(runs) {}
    bool at_end() const { return run_ >= runs_.size(); }
    // The current cluster's location (nullopt when sparse), then steps on.
    std::optional<uint64_t> next() {
        const DataRun& r = runs_[run_];
        const std::optional<uint64_t> lcn =
            r.sparse ? std::nullopt : std::optional<uint64_t>(r.lcn + offset_);
        if (++offset_ == r.clusters) {
            ++run_;
            offset_ = 0;
        }
        return lcn;
    }

private:
    const RunList& runs_;
    size_t run_ = 0;
    uint64_t offset_ = 0;
};

// A compressed attribute is stored in units: a unit with no clusters on disk is zeros, a unit
// whose every cluster is on disk is stored as it is, and a unit with fewer clusters than its
// size holds LZNT1 chunks in them.
CopyOutcome copy_compressed(const SectorReader& reader, const VolumeInfo& volume,
                            const FileData& file, Output& out, const CopyControl& control) {
    const uint64_t clusterBytes = uint64_t{volume.sectorsPerCluster} * kSectorSize;
    const uint64_t unitClusters = file.compressionUnitClusters;
    std::vector<uint8_t> stored(unitClusters * clusterBytes);
    std::vector<uint8_t> unit(unitClusters * clusterBytes);
    std::vector<uint8_t> cluster(clusterBytes);
    ClusterCursor cursor(file.runs);
    while (!cursor.at_end() && !out.done()) {
        if (control.interrupted())
            return CopyOutcome::Interrupted;
        uint64_t onDisk = 0;
        uint64_t clusters = 0;
        for (; clusters < unitClusters && !cursor.at_end(); ++clusters) {
            const auto lcn = cursor.next();
            if (!lcn)
                continue;
            reader.read_sectors_or_zeros(volume.cluster_sector(*lcn), volume.sectorsPerCluster,
                                         cluster);
            std::copy(cluster.begin(), cluster.end(),
                      stored.begin() + static_cast<long>(onDisk * clusterBytes));
            ++onDisk;
        }
        const auto unitBytes = std::span<uint8_t>(unit).first(clusters * clusterBytes);
        std::fill(unitBytes.begin(), unitBytes.end(), uint8_t{0});
        if (onDisk == clusters)
            std::copy_n(stored.begin(), unitBytes.size(), unitBytes.begin());
        else if (onDisk > 0)
            lznt1_decompress(ByteView(stored).first(onDisk * clusterBytes), unitBytes);
        if (!out.put(unitBytes))
            return CopyOutcome::WriteFailed;
    }
    return CopyOutcome::Complete;
}

} // namespace

CopyOutcome copy_file_content(const SectorReader& reader, const VolumeInfo& volume,
                              const FileData& file, uint64_t size, const ContentWriter& write,
                              const CopyControl& control) {
    Output out(write, file, size, control);
    if (file.kind == FileData::Kind::Resident) {
        std::vector<uint8_t> value = file.residentValue;
        return out.put(value) ? CopyOutcome::Complete : CopyOutcome::WriteFailed;
    }
    if (volume.sectorsPerCluster == 0)
        return CopyOutcome::Complete;
    if (file.compressed && file.compressionUnitClusters > 0 && !file.encrypted)
        return copy_compressed(reader, volume, file, out, control);
    return copy_runs(reader, volume, file, out, control);
}

} // namespace salvex
