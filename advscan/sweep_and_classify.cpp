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
    return classify_hits(reader, range.end, hits, progress, stop);
}

} // namespace salvex
