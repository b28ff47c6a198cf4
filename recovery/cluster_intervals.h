// Sets of clusters of a volume kept as intervals: the clusters the runs of live files cover, and
// which deleted item wrote each cluster last. Their size follows the number of runs, not the
// size of the volume.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace salvex {

// Clusters first .. end − 1.
struct ClusterInterval {
    uint64_t first = 0;
    uint64_t end = 0;
    bool operator==(const ClusterInterval&) const = default;
};

// A set of clusters. Intervals may be added in any order; they are sorted and merged as the set
// grows and before it is read.
class ClusterIntervals {
public:
    void add(uint64_t first, uint64_t count);
    // Sorts and merges; must be called after the last add and before any reading.
    void seal();

    // The disjoint intervals of the set that overlap first .. end − 1, cut to it, in order.
    std::vector<ClusterInterval> within(uint64_t first, uint64_t end) const;
    const std::vector<ClusterInterval>& intervals() const { return intervals_; }

private:
    std::vector<ClusterInterval> intervals_;
    size_t merged_ = 0; // intervals_[0, merged_) are sorted and disjoint
};

// Clusters claimed by deleted items, each claim stamped with the time its item was last written
// to. Where claims overlap, the cluster holds what the item written last put there.
class ClusterClaims {
public:
    void add(uint64_t first, uint64_t count, uint64_t time);
    // Works out the newest claim of every cluster; must be called after the last add.
    void seal();

    // The clusters of first .. end − 1 that a claim newer than `time` covers, in order: an item
    // last written at `time` no longer holds its bytes there.
    std::vector<ClusterInterval> newer_within(uint64_t first, uint64_t end, uint64_t time) const;

private:
    struct Claim {
        uint64_t first = 0;
        uint64_t end = 0;
        uint64_t time = 0;
    };
    std::vector<Claim> claims_; // as added; emptied by seal()
    std::vector<Claim> newest_; // disjoint, in order: the newest time of each stretch
};

// The union of two sorted lists of disjoint intervals, sorted and disjoint.
std::vector<ClusterInterval> merge_intervals(const std::vector<ClusterInterval>& a,
                                             const std::vector<ClusterInterval>& b);

} // namespace salvex
