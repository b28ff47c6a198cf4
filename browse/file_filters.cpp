#include "browse/file_filters.h"

#include <algorithm>

namespace salvex {
namespace {

size_t character_count(std::string_view text) {
    std::vector<char32_t> units;
    decode_name(text, false, units);
    return units.size();
}

} // namespace

std::span<const std::string> FilterTable::active() const {
    return std::span<const std::string>(texts).first(std::min(count, texts.size()));
}

void FilterTable::reset() {
    count = 0;
    texts.clear();
    minimumRecoverable = 0;
}

std::string_view FilterAddResult::message() const {
    switch (refusal) {
    case FilterRefusal::None:
        return {};
    case FilterRefusal::TooMany:
        return kTooManyFiltersMessage;
    case FilterRefusal::TooLong:
        return kFilterTooLongMessage;
    case FilterRefusal::Blank:
        return kBlankFilterMessage;
    case FilterRefusal::Duplicate:
        return kFilterExistsMessage;
    }
    return {};
}

FilterEditor::FilterEditor(FilterTable& table) : table_(table) {
    const auto active = table.active();
    entries_.assign(active.begin(), active.end());
    table_.count = entries_.size();
}

FilterAddResult FilterEditor::add(std::string_view text) {
    if (table_.count >= kMaxFilters)
        return {FilterRefusal::TooMany};
    const size_t length = character_count(text);
    if (length > kMaxFilterLength)
        return {FilterRefusal::TooLong, 0, kMaxFilterLength};
    if (text.empty())
        return {FilterRefusal::Blank};
    if (std::find(entries_.begin(), entries_.end(), text) != entries_.end())
        return {FilterRefusal::Duplicate, 0, length};
    entries_.insert(entries_.begin(), std::string(text));
    ++table_.count;
    return {};
}

bool FilterEditor::remove(size_t index) {
    if (index >= entries_.size())
        return false;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
    if (table_.count > 0)
        --table_.count;
    return true;
}

void FilterEditor::close() {
    table_.texts = entries_;
    table_.count = entries_.size();
}

ActiveFilters::ActiveFilters(const FilterTable& table) {
    for (const std::string& text : table.active())
        patterns_.emplace_back(upper_case(text));
}

bool ActiveFilters::passes(std::string_view name) const {
    if (patterns_.empty())
        return true;
    std::vector<char32_t> units;
    decode_name(name, true, units);
    return std::any_of(patterns_.begin(), patterns_.end(),
                       [&units](const NamePattern& p) { return p.matches(units); });
}

bool file_passes_filters(const FilterTable& table, std::string_view name) {
    return ActiveFilters(table).passes(name);
}

} // namespace salvex
