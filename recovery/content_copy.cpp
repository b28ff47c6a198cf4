#include "recovery/content_copy.h"

#include "ntfs/lznt1.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace salvex {

namespace {

constexpr uint64_t kMaxReadSectors = 2048; // 1 MiB per read call

uint64_t ceil_div(uint64_t a, uint64_t b) {
    return a / b + (a % b != 0);
}

// Writes what the file holds, cutting at its size and zeroing past its initialized part.
class Output {
public:
    Output(const ContentWriter& write, const HoleWriter& hole, const FileData& file, uint64_t size,
           const CopyControl& control)
        : write_(write), hole_(hole), initialized_(std::min(file.initializedSize, size)),
          size_(size), control_(control) {
        if (control_.progress)
            control_.progress->set_progress(0);
    }

    uint64_t remaining() const { return size_ - written_; }
    bool done() const { return written_ >= size_; }
    // True when everything from here on reads as zeros.
    bool past_initialized() const { return written_ >= initialized_; }

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
        advance(n);
        return true;
    }

    // Takes up to remaining() zeros: a hole when the caller can leave one, else written.
    bool zeros(uint64_t count) {
        const uint64_t n = std::min(count, remaining());
        if (hole_) {
            if (n > 0 && !hole_(n))
                return false;
            advance(n);
            return true;
        }
        std::vector<uint8_t> chunk(static_cast<size_t>(std::min<uint64_t>(n, 1 << 20)));
        for (uint64_t left = n; left > 0;) {
            const auto part = static_cast<size_t>(std::min<uint64_t>(left, chunk.size()));
            if (!write_(ByteView(chunk).first(part)))
                return false;
            advance(part);
            left -= part;
        }
        return true;
    }

private:
    void advance(uint64_t n) {
        written_ += n;
        if (!control_.progress || size_ == 0)
            return;
        const uint64_t percent =
            size_ <= UINT64_MAX / 100 ? written_ * 100 / size_ : written_ / (size_ / 100);
        control_.progress->set_progress(static_cast<int>(std::min<uint64_t>(99, percent)));
    }

    const ContentWriter& write_;
    const HoleWriter& hole_;
    uint64_t initialized_;
    uint64_t size_;
    uint64_t written_ = 0;
    const CopyControl& control_;
};

CopyOutcome copy_runs(const SectorReader& reader, const VolumeInfo& volume, const FileData& file,
                      Output& out, const CopyControl& control) {
    const uint64_t spc = volume.sectorsPerCluster;
    const uint64_t clusterBytes = spc * kSectorSize;
    // As large as one read of this file can be; every byte of it is read or zeroed before use.
    const auto bufferSectors = std::min(kMaxReadSectors, ceil_div(out.remaining(), kSectorSize));
    const auto bufferBytes = static_cast<size_t>(bufferSectors * kSectorSize);
    const auto storage = std::make_unique_for_overwrite<uint8_t[]>(bufferBytes);
    const std::span<uint8_t> buffer(storage.get(), bufferBytes);
    for (const DataRun& run : file.runs) {
        if (out.done())
            break;
        if (control.interrupted())
            return CopyOutcome::Interrupted;
        // Only the clusters that hold bytes still to write are looked at.
        const uint64_t clusters = std::min(run.clusters, ceil_div(out.remaining(), clusterBytes));
        if (run.sparse || out.past_initialized()) {
            if (!out.zeros(clusters * clusterBytes))
                return CopyOutcome::WriteFailed;
            continue;
        }
        const uint64_t runSectors = clusters * spc;
        for (uint64_t done = 0; done < runSectors && !out.done();) {
            if (control.interrupted())
                return CopyOutcome::Interrupted;
            // The last cluster is read only as far as the file goes: a sector past its end
            // that cannot be read harms nothing and is not counted.
            const uint64_t sectors = std::min(
                {kMaxReadSectors, runSectors - done, ceil_div(out.remaining(), kSectorSize)});
            const auto chunk = buffer.first(sectors * kSectorSize);
            control.count_unreadable(reader.read_sectors_or_zeros(
                volume.cluster_sector(run.lcn) + done, static_cast<uint32_t>(sectors), chunk));
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
    // Clusters from here to the end of the current run when that run is sparse, else 0.
    uint64_t sparse_ahead() const {
        return at_end() || !runs_[run_].sparse ? 0 : runs_[run_].clusters - offset_;
    }
    // Steps over `n` clusters of the current run (at most sparse_ahead()).
    void skip(uint64_t n) {
        offset_ += n;
        if (offset_ == runs_[run_].clusters) {
            ++run_;
            offset_ = 0;
        }
    }
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
        // Whole units without clusters on disk are zeros: a long hole costs one step.
        if (const uint64_t holes = cursor.sparse_ahead() / unitClusters; holes > 0) {
            cursor.skip(holes * unitClusters);
            if (!out.zeros(std::min(holes, out.remaining() / clusterBytes / unitClusters + 1) *
                           unitClusters * clusterBytes))
                return CopyOutcome::WriteFailed;
            continue;
        }
        uint64_t onDisk = 0;
        uint64_t clusters = 0;
        for (; clusters < unitClusters && !cursor.at_end(); ++clusters) {
            const auto lcn = cursor.next();
            if (!lcn)
                continue;
            control.count_unreadable(reader.read_sectors_or_zeros(
                volume.cluster_sector(*lcn), volume.sectorsPerCluster, cluster));
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
                              const CopyControl& control, const HoleWriter& hole) {
    Output out(write, hole, file, size, control);
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
