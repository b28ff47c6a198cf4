// Find Files: every file of a scan whose name matches a pattern, with the path of its folder,
// streamed to the caller as it is found. The search can be paused (while the window asks whether
// to stop) and stopped through its stop flag.
#pragma once

#include "browse/name_pattern.h"
#include "disk/progress.h"
#include "ntfs/standard_scan.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace salvex {

// Values of a search's stop flag. The window sets kSearchPaused before it asks the user, then
// kSearchStop (Yes) or kSearchRunning (No), and calls notify_all() on the flag; a paused search
// waits at its next test of the flag.
inline constexpr int kSearchRunning = 0;
inline constexpr int kSearchStop = 1;
inline constexpr int kSearchPaused = 2;

// Counters a search reports.
inline constexpr const char* kFilesFoundCounter = "Files Found";
inline constexpr const char* kLastFileCounter = "Last File";

struct FileMatch {
    std::string name;     // as stored, not upper-cased
    std::string path;     // "\" and the folder's path in the tree: "\Pictures\2024"; "\" for none
    uint64_t size = 0;    // of the unnamed $DATA
    size_t fileIndex = 0; // index of the file in the list it came from
};

// One file the search may list, from whichever list the scan produced.
struct FileCandidate {
    std::string_view name;
    uint32_t parent = kRootFolderRecord;
    uint64_t size = 0;
    size_t index = 0;
};

// The pattern of one search and the folder paths already worked out. Not shared between threads.
class FileSearch {
public:
    // `pattern` as typed; it is upper-cased here.
    FileSearch(const NtfsScan& scan, std::string_view pattern);

    // The row for `file` when its name matches the pattern.
    std::optional<FileMatch> test(const FileCandidate& file);

private:
    const std::string& path_of(uint32_t parent);

    const NtfsScan& scan_;
    NamePattern pattern_;
    std::vector<char32_t> name_;
    std::unordered_map<uint32_t, std::string> paths_;
};

// Receives each match; returning false ends the search.
using MatchHandler = std::function<bool(const FileMatch&)>;
// The candidate at a position of a list, or nullopt for one the search must pass over.
using CandidateAt = std::function<std::optional<FileCandidate>(size_t)>;

struct FindOutcome {
    size_t found = 0;     // matches handed to the handler
    bool stopped = false; // ended by the stop flag or the handler before the end of the list
};

// Walks `count` candidates in order and hands each match to `onMatch`, then reports the count as
// "Files Found" and the name as "Last File". The stop flag is tested before each candidate and
// again between finding a match and handing it over, so nothing is reported once Stop was
// answered. An empty pattern lists nothing. Folders are never listed.
FindOutcome find_candidates(const NtfsScan& scan, std::string_view pattern, size_t count,
                            const CandidateAt& candidateAt, const MatchHandler& onMatch,
                            ProgressSink& progress, const StopFlag& stop);

// Find Files over the scan's file list, in list order.
FindOutcome find_files(const NtfsScan& scan, std::string_view pattern, const MatchHandler& onMatch,
                       ProgressSink& progress, const StopFlag& stop);

// Waits while `stop` holds kSearchPaused; then whether the search must end.
bool search_must_end(const StopFlag& stop);

} // namespace salvex
