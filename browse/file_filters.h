// File Filters: name patterns that restrict which files the list view shows and recovery writes.
// While at least one filter is in force a file passes only when its name matches one of them;
// folders are never filtered. The filters live only in memory and last until the wizard moves
// on to another step.
//
// The dialog edits a copy of the filters (its list box) and commits it on Close, but the count
// follows every Add and Remove at once. The two can therefore disagree when the dialog is left
// without Close. The filters in force are the committed texts, as many as the count allows
// (never more than were committed), so a count without texts never hides every file, and
// opening the dialog again brings the count back to what the list shows.
#pragma once

#include "browse/name_pattern.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace salvex {

inline constexpr size_t kMaxFilters = 99;
inline constexpr size_t kMaxFilterLength = 19; // characters

// What the dialog shows when it refuses a filter.
inline constexpr const char* kTooManyFiltersMessage = "      You cannot add more Filters     ";
inline constexpr const char* kFilterTooLongMessage = "      Filter too long     ";
inline constexpr const char* kBlankFilterMessage = "      You can not add a blank entry.     ";
inline constexpr const char* kFilterExistsMessage = "      Filter already exists in the list     ";

struct FilterTable {
    std::vector<std::string> texts; // newest first, as the last Close left them
    size_t count = 0;               // follows Add and Remove at once
    // Deleted files of which less than this share (1 to 100) is known to be recoverable are not
    // listed; 0 lists them all. Set on Close.
    uint8_t minimumRecoverable = 0;

    // The filters in force: the first `count` committed texts.
    std::span<const std::string> active() const;
    // The wizard's Next: no filter is in force any more.
    void reset();
};

enum class FilterRefusal { None, TooMany, TooLong, Blank, Duplicate };

struct FilterAddResult {
    FilterRefusal refusal = FilterRefusal::None;
    // The part of the edit's text to select after a refusal, in characters: the first 19 of a
    // text too long, the whole of a duplicate.
    size_t selectFrom = 0;
    size_t selectLength = 0;

    bool added() const { return refusal == FilterRefusal::None; }
    // The message to show; empty when the filter was added.
    std::string_view message() const;
};

// The dialog's list of filters while it is open.
class FilterEditor {
public:
    // Opens on the filters in force, newest first.
    explicit FilterEditor(FilterTable& table);

    // Adds `text` at the top of the list, or says why not. Refusals leave list and table as they
    // were.
    FilterAddResult add(std::string_view text);
    // Removes the entry at `index`; false (and nothing changes) when no such entry exists.
    bool remove(size_t index);
    // Commits the list to the table.
    void close();

    const std::vector<std::string>& entries() const { return entries_; }

private:
    FilterTable& table_;
    std::vector<std::string> entries_;
};

// The filters in force, with their patterns prepared once for testing many names.
class ActiveFilters {
public:
    explicit ActiveFilters(const FilterTable& table);

    // Whether a file called `name` (as stored) is listed and recovered.
    bool passes(std::string_view name) const;
    bool empty() const { return patterns_.empty(); }

private:
    std::vector<NamePattern> patterns_;
};

// Whether a file called `name` passes the filters of `table`: always while none is in force,
// else when the upper-cased name matches one upper-cased filter.
bool file_passes_filters(const FilterTable& table, std::string_view name);

} // namespace salvex
