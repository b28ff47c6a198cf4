#include "recovery/cluster_intervals.h"

#include <algorithm>
#include <set>

namespace salvex {

namespace {

// Intervals added since the last merge are merged once there are this many, or as many as
// already merged: memory stays near the size of the merged set.
constexpr size_t kMergeBatch = 1 << 16;

// Appends `next` to sorted, disjoint `out`, joining it to the last interval when they touch.
void append_joined(std::vector<ClusterInterval>& out, ClusterInterval next) {
    if (!out.empty() && next.first <= out.back().end)
        out.back().end = std::max(out.back().end, next.end);
    else
        out.push_back(next);
}

// The first of sorted, disjoint `list` that ends after `first`.
template <class T>
typename std::vector<T>::const_iterator first_ending_after(const std::vector<T>& list,
                                                           uint64_t first) {
    return std::upper_bound(list.begin(), list.end(), first,
                            [](uint64_t at, const T& item) { return at < item.end; });
}

} // namespace

void ClusterIntervals::add(uint64_t first, uint64_t count) {
    if (count == 0)
        return;
    const uint64_t end = first + std::min(count, UINT64_MAX - first);
    intervals_.push_back({first, end});
    if (intervals_.size() - merged_ >= std::max(kMergeBatch, merged_))
        seal();
}

void ClusterIntervals::seal() {
    std::sort(intervals_.begin(), intervals_.end(),
              [](const ClusterInterval& a, const ClusterInterval& b) { return a.first < b.first; });
    std::vector<ClusterInterval> merged;
    merged.reserve(intervals_.size());
    for (const ClusterInterval& interval : intervals_)
        append_joined(merged, interval);
    merged.shrink_to_fit();
    intervals_ = std::move(merged);
    merged_ = intervals_.size();
}

std::vector<ClusterInterval> ClusterIntervals::within(uint64_t first, uint64_t end) const {
    std::vector<ClusterInterval> out;
    for (auto it = first_ending_after(intervals_, first); it != intervals_.end() && it->first < end;
         ++it)
        out.push_back({std::max(it->first, first), std::min(it->end, end)});
    return out;
}

void ClusterClaims::add(uint64_t first, uint64_t count, uint64_t time) {
    if (count > 0)
        claims_.push_back({first, first + std::min(count, UINT64_MAX - first), time});
}

void ClusterClaims::seal() {
    // A sweep over the claims' ends: between two ends the set of claims is fixed, and the
    // newest of them holds the stretch.
    struct Edge {
        uint64_t at;
        uint64_t time;
        bool opens;
    };
    std::vector<Edge> edges;
    edges.reserve(claims_.size() * 2);
    for (const Claim& c : claims_) {
        edges.push_back({c.first, c.time, true});
        edges.push_back({c.end, c.time, false});
    }
    claims_ = {};
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.at < b.at; });
    std::multiset<uint64_t> open;
    newest_.clear();
    for (size_t i = 0; i < edges.size();) {
        const uint64_t at = edges[i].at;
        for (; i < edges.size() && edges[i].at == at; ++i) {
            if (edges[i].opens)
                open.insert(edges[i].time);
            else
                open.erase(open.find(edges[i].time));
        }
        if (open.empty() || i == edges.size())
            continue;
        const Claim stretch{at, edges[i].at, *open.rbegin()};
        if (!newest_.empty() && newest_.back().end == at && newest_.back().time == stretch.time)
            newest_.back().end = stretch.end;
        else
            newest_.push_back(stretch);
    }
    newest_.shrink_to_fit();
}

std::vector<ClusterInterval> ClusterClaims::newer_within(uint64_t first, uint64_t end,
                                                         uint64_t time) const {
    std::vector<ClusterInterval> out;
    for (auto it = first_ending_after(newest_, first); it != newest_.end() && it->first < end;
         ++it) {
        if (it->time > time)
            append_joined(out, {std::max(it->first, first), std::min(it->end, end)});
    }
    return out;
}

std::vector<ClusterInterval> merge_intervals(const std::vector<ClusterInterval>& a,
                                             const std::vector<ClusterInterval>& b) {
    std::vector<ClusterInterval> out;
    out.reserve(a.size() + b.size());
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() || j < b.size()) {
        const bool fromA = j == b.size() || (i < a.size() && a[i].first <= b[j].first);
        append_joined(out, fromA ? a[i++] : b[j++]);
    }
    return out;
}

} // namespace salvex
