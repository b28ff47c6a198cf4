#include "advscan/classification.h"

#include "ntfs/index_block.h"
#include "ntfs/mft_record.h"
#include "partition/volume_parameters.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <unordered_map>

namespace salvex {

namespace {

int percent(uint64_t part, uint64_t whole) {
    return static_cast<int>(std::min<uint64_t>(99, whole == 0 ? 0 : part * 100 / whole));
}

// Folders waiting for a number, by what their index entry will say of them.
struct FolderKey {
    uint64_t creationTime;
    uint32_t parent;
    std::string name;
    bool operator<(const FolderKey& o) const {
        return std::tie(creationTime, parent, name) < std::tie(o.creationTime, o.parent, o.name);
    }
};

void number_from_index_entries(ByteView block, HitLists& hits,
                               std::map<FolderKey, std::vector<size_t>>& waiting,
                               std::map<FolderKey, size_t>& cursor) {
    for_each_index_entry(block, index_block_first_entry(block), [&](const IndexEntryView& entry) {
        if (entry.name_length() == 0)
            return false;
        auto name = entry.name();
        if (!name)
            return false; // the name would leave the block: the rest of it is not trusted
        if (!entry.is_folder())
            return true;
        FolderKey key{entry.creation_time(), entry.parent(), std::move(*name)};
        const auto it = waiting.find(key);
        if (it == waiting.end())
            return true;
        // The first folder of that description that still has no number.
        size_t& next = cursor[key];
        while (next < it->second.size() && hits.folders[it->second[next]].mftNumber != 0)
            ++next;
        if (next < it->second.size())
            hits.folders[it->second[next]].mftNumber =
                static_cast<uint32_t>(entry.file_reference().record);
        return true;
    });
}

// Marks the folders that a candidate geometry explains and adds candidates, remembering the
// guesses that failed: a guess that explained no folder cannot explain one later, as folders
// only ever leave the pool.
class Classifier {
public:
    Classifier(const SectorReader& reader, HitLists& hits, ProgressSink& progress,
               const StopFlag& stop)
        : reader_(reader), hits_(hits), progress_(progress), stop_(stop) {}

    // Marks every unassigned folder in (lower, upper] whose first index block lies at
    // lower + spc × cluster with the next candidate number; whether any was marked.
    bool verify_ntfs_candidate(uint64_t spc, Lba lower, Lba upper) {
        const auto key = std::make_tuple(spc, lower, upper);
        if (failed_.count(key))
            return false;
        const auto from =
            std::upper_bound(hits_.folders.begin(), hits_.folders.end(), lower,
                             [](Lba s, const FolderRecordHit& f) { return s < f.sector; });
        bool any = false;
        const auto number = static_cast<int16_t>(candidates_.size() + 1);
        for (auto it = from; it != hits_.folders.end() && stop_.load() != 1; ++it) {
            if (it->sector > upper)
                break;
            if (it->candidate != 0 || it->firstIndexCluster == 0)
                continue;
            const uint64_t cluster = static_cast<uint64_t>(it->firstIndexCluster);
            if (it->firstIndexCluster < 0 || cluster > (UINT64_MAX - lower) / spc)
                continue;
            if (!begins_with_indx(lower + spc * cluster))
                continue;
            it->candidate = number;
            any = true;
            ++marked_;
            progress_.set_status("Analyzing Classification " + std::to_string(marked_) + " \\ " +
                                 std::to_string(hits_.folders.size()));
            progress_.set_progress(percent(marked_, hits_.folders.size()));
        }
        if (!any)
            failed_.insert(key);
        return any;
    }

    void add_candidate(const FsCandidate& candidate) { candidates_.push_back(candidate); }
    CandidateList take() { return std::move(candidates_); }
    bool stopped() const { return stop_.load() == 1; }

private:
    // Whether the sector begins with "INDX". Sectors the sweep examined are known already.
    bool begins_with_indx(Lba sector) {
        if (sector >= hits_.sweptFrom && sector < hits_.sweptTo)
            return std::binary_search(hits_.indxSectors.begin(), hits_.indxSectors.end(), sector);
        std::array<uint8_t, kSectorSize> bytes{};
        return reader_.read_sectors(sector, 1, bytes) && has_index_block_signature(bytes);
    }

    const SectorReader& reader_;
    HitLists& hits_;
    ProgressSink& progress_;
    const StopFlag& stop_;
    CandidateList candidates_;
    std::set<std::tuple<uint64_t, Lba, Lba>> failed_;
    uint64_t marked_ = 0;
};

void pair_ntfs_boot_sectors(const SectorReader& reader, const HitLists& hits,
                            Classifier& classifier) {
    for (const BootSectorHit& hit : hits.bootSectors) {
        if (classifier.stopped())
            return;
        std::array<uint8_t, kSectorSize> boot{};
        if (!reader.read_sectors(hit.sector, 1, boot))
            continue;
        // Counts in the volume's own sectors (512 to 4,096 bytes), taken in 512-byte sectors.
        const auto geometry = decode_ntfs_boot(boot);
        const uint8_t perIndexBlock = boot[ntfs_boot::kClustersPerIndexBlock];
        if (!geometry || geometry->totalSectors == 0 || perIndexBlock == 0)
            continue;
        const uint32_t spc = geometry->sectorsPerCluster;
        const uint64_t total = geometry->totalSectors;
        const uint64_t mftCluster = le64(boot, ntfs_boot::kMftCluster).value_or(0);
        const uint64_t mirrorCluster = le64(boot, ntfs_boot::kMftMirrorCluster).value_or(0);
        const auto candidate_at = [&](Lba start) {
            return FsCandidate{FsType::Ntfs,
                               spc,
                               start,
                               start + spc * mftCluster,
                               start + spc * mirrorCluster,
                               geometry->indexBlockSectors,
                               start + total};
        };
        // As the volume's first sector; and, since NTFS keeps a backup boot sector right after
        // the volume's last sector, as that backup.
        if (classifier.verify_ntfs_candidate(spc, hit.sector, hit.sector + total))
            classifier.add_candidate(candidate_at(hit.sector));
        if (hit.sector >= total &&
            classifier.verify_ntfs_candidate(spc, hit.sector - total, hit.sector))
            classifier.add_candidate(candidate_at(hit.sector - total));
    }
}

} // namespace

VolumeInfo volume_of_candidate(const FsCandidate& c, uint16_t number) {
    VolumeInfo v;
    v.fsType = FsType::Ntfs;
    v.sectorsPerCluster = c.sectorsPerCluster;
    v.fsStart = c.start;
    v.mftStart = c.mftStart;
    v.mftMirrorStart = c.mftMirrorStart;
    v.recordSectors = 2;
    v.indexBlockSectors = c.indexBlockSectors;
    v.fsEnd = c.end;
    v.candidateNumber = number;
    return v;
}

void assign_mft_numbers(const SectorReader& reader, HitLists& hits, ProgressSink& progress) {
    std::map<FolderKey, std::vector<size_t>> waiting;
    std::map<FolderKey, size_t> cursor;
    for (size_t i = 0; i < hits.folders.size(); ++i) {
        const FolderRecordHit& f = hits.folders[i];
        if (f.mftNumber == 0)
            waiting[{f.creationTime, f.parent, f.name}].push_back(i);
    }
    const size_t n = hits.indexBlocks.size();
    std::vector<uint8_t> block;
    for (size_t k = 0; k < n; ++k) {
        const IndexBlockHit& hit = hits.indexBlocks[k];
        progress.set_status("Assign MFT numbers " + std::to_string(k + 1) + " \\ " +
                            std::to_string(n));
        progress.set_progress(percent(k + 1, n));
        block.assign(size_t{hit.sizeInSectors} * kSectorSize, 0);
        reader.read_sectors_or_zeros(hit.sector, hit.sizeInSectors, block);
        if (!has_index_block_signature(block))
            continue;
        apply_fixup(block);
        if (!waiting.empty())
            number_from_index_entries(block, hits, waiting, cursor);
    }

    // Records two sectors apart are neighbours in the $MFT: number the rest by their distance.
    uint32_t previousNumber = 1;
    Lba previousSector = 0;
    for (FolderRecordHit& f : hits.folders) {
        if (f.mftNumber == 0) {
            const uint64_t distance = f.sector - previousSector;
            f.mftNumber = (previousSector == 0 || distance % 2 == 1)
                              ? previousNumber + 1
                              : previousNumber + static_cast<uint32_t>(distance / 2);
        }
        previousNumber = f.mftNumber;
        previousSector = f.sector;
    }
}

void delete_unused_items(HitLists& hits, ProgressSink& progress) {
    progress.set_status("Delete unused items");
    // The later blocks of each index still name folders whose records are gone.
    for (const IndexBlockHit& b : hits.indexBlocks)
        if (b.vcn != 0)
            hits.laterIndexBlocks.push_back(b);
    std::erase_if(hits.indexBlocks, [](const IndexBlockHit& b) { return b.vcn != 0; });
    progress.set_progress(99);
}

namespace {

// Candidates from pairs of folders: two folders whose first index blocks were found at sectors
// d and f, at clusters c and e, imply spc = (f - d) / (e - c) and a volume starting at d - spc×c.
// For a folder P each cluster size gives one possible start, so the folders R that agree with P
// on a start are looked up by the key f - spc×e instead of trying every later folder.
void infer_ntfs_volumes(HitLists& hits, Lba rangeEnd, Classifier& classifier) {
    std::unordered_map<uint32_t, Lba> firstBlock; // owner record number → sector of its block
    for (const IndexBlockHit& b : hits.indexBlocks) {
        if (b.vcn == 0 && b.marker == -1)
            firstBlock.try_emplace(b.owner, b.sector);
    }
    const auto block_of = [&](uint32_t owner) -> Lba {
        const auto it = firstBlock.find(owner);
        return it == firstBlock.end() ? 0 : it->second;
    };

    constexpr std::array<uint64_t, 8> kSizes = {1, 2, 4, 8, 16, 32, 64, 128};
    // For each cluster size, folders by the start they imply: f - spc × e (as a signed value).
    std::array<std::unordered_map<int64_t, std::vector<size_t>>, kSizes.size()> byStart;
    for (size_t r = 0; r < hits.folders.size(); ++r) {
        const FolderRecordHit& f = hits.folders[r];
        const Lba sector = f.firstIndexCluster != 0 ? block_of(f.mftNumber) : 0;
        if (sector == 0)
            continue;
        for (size_t s = 0; s < kSizes.size(); ++s)
            byStart[s][static_cast<int64_t>(sector) -
                       static_cast<int64_t>(kSizes[s]) * f.firstIndexCluster]
                .push_back(r);
    }

    for (size_t p = 0; p < hits.folders.size() && !classifier.stopped(); ++p) {
        FolderRecordHit& folder = hits.folders[p];
        if (folder.candidate != 0)
            continue;
        const int64_t c = folder.firstIndexCluster;
        const Lba d = c != 0 ? block_of(folder.mftNumber) : 0;
        if (d == 0) {
            folder.candidate = -1;
            continue;
        }
        // The later folders that agree with P, in list order, each with the size it implies.
        std::vector<std::pair<size_t, size_t>> agreeing; // (folder R, size index)
        for (size_t s = 0; s < kSizes.size(); ++s) {
            const int64_t start = static_cast<int64_t>(d) - static_cast<int64_t>(kSizes[s]) * c;
            const auto it = byStart[s].find(start);
            if (start < 0 || it == byStart[s].end())
                continue;
            const auto later = std::upper_bound(it->second.begin(), it->second.end(), p);
            for (auto r = later; r != it->second.end(); ++r) {
                if (hits.folders[*r].firstIndexCluster != c)
                    agreeing.push_back({*r, s});
            }
        }
        std::sort(agreeing.begin(), agreeing.end());
        std::array<bool, kSizes.size()> tried{};
        for (const auto& [r, s] : agreeing) {
            if (classifier.stopped())
                break;
            if (tried[s] || hits.folders[r].candidate != 0)
                continue;
            // A guess once tried explains nothing more when tried again.
            tried[s] = true;
            const Lba start = d - kSizes[s] * static_cast<uint64_t>(c);
            if (classifier.verify_ntfs_candidate(kSizes[s], start, rangeEnd))
                classifier.add_candidate(FsCandidate{FsType::Ntfs, static_cast<uint32_t>(kSizes[s]),
                                                     start, 0, 0, 8, rangeEnd});
        }
    }
}

} // namespace

CandidateList classify_hits(const SectorReader& reader, Lba rangeEnd, HitLists& hits,
                            ProgressSink& progress, StopFlag& stop) {
    assign_mft_numbers(reader, hits, progress);
    delete_unused_items(hits, progress);
    progress.set_status("Analyzing Classification ");
    stop.store(0);
    Classifier classifier(reader, hits, progress, stop);
    pair_ntfs_boot_sectors(reader, hits, classifier);
    infer_ntfs_volumes(hits, rangeEnd, classifier);
    stop.store(0);

    // Folders no candidate explained take the number of the folder before them.
    int16_t last = 1;
    for (FolderRecordHit& f : hits.folders) {
        if (f.candidate == -1)
            f.candidate = last;
        last = f.candidate;
    }
    return classifier.take();
}

} // namespace salvex
