#include "advscan/sweep_and_classify.h"

#include "advscan/sector_sweep.h"

namespace salvex {

CandidateList sweep_and_classify(const SectorReader& reader, SectorRange range,
                                 uint32_t sectorsPerRead, HitLists& hits, ProgressSink& progress,
                                 StopFlag& stop) {
    hits.clear();
    if (range.end <= range.start || sectorsPerRead == 0)
        return {};
    sweep_sectors(reader, range.start, range.count(), sectorsPerRead, hits, progress, stop);
    CandidateList candidates = classify_hits(reader, range.end, hits, progress, stop);
    if (!candidates.empty() || hits.contentStarts.empty())
        return candidates;
    // No volume was found: the files are all that can come back, found by their contents.
    progress.set_status("Following the files found by their contents");
    hits.carvedFiles = carve_files(reader, hits.contentStarts, range.end);
    if (!hits.carvedFiles.empty())
        candidates.push_back({.type = FsType::Ntfs,
                              .sectorsPerCluster = 1,
                              .start = range.start,
                              .end = range.end,
                              .foundByContent = true});
    return candidates;
}

} // namespace salvex
