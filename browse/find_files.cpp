#include "browse/find_files.h"

#include "browse/folder_path.h"

namespace salvex {

FileSearch::FileSearch(const NtfsScan& scan, std::string_view pattern)
    : scan_(scan), pattern_(upper_case(pattern)) {}

std::optional<FileMatch> FileSearch::test(const FileCandidate& file) {
    name_.clear();
    decode_name(file.name, true, name_);
    if (!pattern_.matches(name_))
        return std::nullopt;
    return FileMatch{std::string(file.name), path_of(file.parent), file.size, file.index};
}

const std::string& FileSearch::path_of(uint32_t parent) {
    auto [it, added] = paths_.try_emplace(parent);
    if (added)
        it->second = "\\" + folder_path(scan_, parent, '\\');
    return it->second;
}

bool search_must_end(const StopFlag& stop) {
    int value = stop.load();
    while (value == kSearchPaused) {
        stop.wait(kSearchPaused);
        value = stop.load();
    }
    return value != kSearchRunning;
}

FindOutcome find_candidates(const NtfsScan& scan, std::string_view pattern, size_t count,
                            const CandidateAt& candidateAt, const MatchHandler& onMatch,
                            ProgressSink& progress, const StopFlag& stop) {
    FindOutcome outcome;
    if (pattern.empty())
        return outcome;
    FileSearch search(scan, pattern);
    for (size_t i = 0; i < count; ++i) {
        if (search_must_end(stop)) {
            outcome.stopped = true;
            return outcome;
        }
        const std::optional<FileCandidate> candidate = candidateAt(i);
        if (!candidate)
            continue;
        std::optional<FileMatch> match = search.test(*candidate);
        if (!match)
            continue;
        if (search_must_end(stop)) {
            outcome.stopped = true;
            return outcome;
        }
        ++outcome.found;
        const bool goOn = onMatch(*match);
        progress.set_counter(kFilesFoundCounter, std::to_string(outcome.found));
        progress.set_counter(kLastFileCounter, match->name);
        if (!goOn) {
            outcome.stopped = i + 1 < count;
            return outcome;
        }
    }
    return outcome;
}

FindOutcome find_files(const NtfsScan& scan, std::string_view pattern, const MatchHandler& onMatch,
                       ProgressSink& progress, const StopFlag& stop) {
    const std::vector<FileNode>& files = scan.items.files;
    return find_candidates(
        scan, pattern, files.size(),
        [&files](size_t i) -> std::optional<FileCandidate> {
            const FileNode& f = files[i];
            return FileCandidate{f.name, f.parent, f.size, i};
        },
        onMatch, progress, stop);
}

} // namespace salvex
