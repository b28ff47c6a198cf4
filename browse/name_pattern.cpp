#include "browse/name_pattern.h"

#include "ntfs/utf16.h"

#include <algorithm>

namespace salvex {
namespace {

// Units standing for bytes that are not valid UTF-8; no valid sequence decodes to a surrogate.
constexpr char32_t kEscapedByte = 0xDC00;

char32_t upper_code_point(char32_t cp) {
    if (cp >= U'a' && cp <= U'z')
        return cp - 0x20;
    if (cp < 0xE0)
        return cp;
    // Latin-1: à to þ, but not the division sign; ÿ's capital lies in Latin Extended-A.
    if (cp <= 0xFE)
        return cp == 0xF7 ? cp : cp - 0x20;
    if (cp == 0xFF)
        return 0x178;
    // Latin Extended-A pairs capital and small letters, the capital first, except around the
    // letters without a simple capital (dotless i, kra, n preceded by apostrophe, long s).
    const bool odd = (cp & 1) != 0;
    if ((cp >= 0x100 && cp <= 0x137 && cp != 0x131) || (cp >= 0x14A && cp <= 0x177))
        return odd ? cp - 1 : cp;
    if ((cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E))
        return odd ? cp : cp - 1;
    // Basic Greek (final sigma becomes sigma) and basic Cyrillic.
    if (cp == 0x3C2)
        return 0x3A3;
    if (cp >= 0x3B1 && cp <= 0x3C9)
        return cp - 0x20;
    if (cp >= 0x430 && cp <= 0x44F)
        return cp - 0x20;
    if (cp >= 0x450 && cp <= 0x45F)
        return cp - 0x50;
    return cp;
}

bool is_continuation(uint8_t b) {
    return (b & 0xC0) == 0x80;
}

// The code point starting at `at` and its length in bytes, or a length of 0 when the bytes there
// are no valid UTF-8 (a bad lead byte, a missing continuation, an overlong form, a surrogate or a
// value beyond U+10FFFF).
std::pair<char32_t, size_t> read_code_point(std::string_view text, size_t at) {
    const auto b0 = static_cast<uint8_t>(text[at]);
    if (b0 < 0x80)
        return {b0, 1};
    size_t length = 0;
    char32_t cp = 0;
    char32_t least = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        cp = b0 & 0x1F;
        least = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        cp = b0 & 0x0F;
        least = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        cp = b0 & 0x07;
        least = 0x10000;
    } else {
        return {0, 0};
    }
    if (text.size() - at < length)
        return {0, 0};
    for (size_t i = 1; i < length; ++i) {
        const auto b = static_cast<uint8_t>(text[at + i]);
        if (!is_continuation(b))
            return {0, 0};
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return {0, 0};
    return {cp, length};
}

bool unit_matches(char32_t patternUnit, char32_t nameUnit) {
    return patternUnit == U'?' || patternUnit == nameUnit;
}

// Whether `run` ("?" standing for any one character) matches `name` at `at`.
bool run_matches_at(std::span<const char32_t> run, std::span<const char32_t> name, size_t at) {
    if (at > name.size() || name.size() - at < run.size())
        return false;
    for (size_t i = 0; i < run.size(); ++i) {
        if (!unit_matches(run[i], name[at + i]))
            return false;
    }
    return true;
}

} // namespace

void decode_name(std::string_view text, bool upper, std::vector<char32_t>& out) {
    size_t at = 0;
    while (at < text.size()) {
        const auto [cp, length] = read_code_point(text, at);
        if (length == 0) {
            out.push_back(kEscapedByte + static_cast<uint8_t>(text[at]));
            ++at;
            continue;
        }
        out.push_back(upper ? upper_code_point(cp) : cp);
        at += length;
    }
}

std::string upper_case(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        const auto [cp, length] = read_code_point(text, at);
        if (length == 0) {
            out.push_back(text[at++]);
            continue;
        }
        const char32_t upper = upper_code_point(cp);
        if (upper == cp)
            out.append(text.substr(at, length));
        else
            append_utf8(out, upper);
        at += length;
    }
    return out;
}

NamePattern::NamePattern(std::string_view pattern) {
    decode_name(pattern, false, units_);
    hasStar_ = std::find(units_.begin(), units_.end(), U'*') != units_.end();
    hasQuestion_ = std::find(units_.begin(), units_.end(), U'?') != units_.end();
}

bool NamePattern::matches(std::string_view name) const {
    std::vector<char32_t> units;
    units.reserve(name.size());
    decode_name(name, false, units);
    return matches(units);
}

bool NamePattern::matches(std::span<const char32_t> name) const {
    if (name.empty() || units_.empty())
        return false;
    if (hasStar_)
        return match_wildcards(name);
    if (name.size() < units_.size())
        return false;
    if (hasQuestion_)
        return run_matches_at(units_, name, 0);
    return std::search(name.begin(), name.end(), units_.begin(), units_.end()) != name.end();
}

// Left to right: the run before the first "*" anchors at the start; each run between stars is
// taken at its first occurrence from the current position (the earliest end leaves the most room
// for what follows, so this never misses a match); a final run must end the name. Each run is
// searched once, so the cost is at most the name's length times the pattern's.
bool NamePattern::match_wildcards(std::span<const char32_t> name) const {
    const std::span<const char32_t> pattern(units_);
    size_t p =
        static_cast<size_t>(std::find(pattern.begin(), pattern.end(), U'*') - pattern.begin());
    if (!run_matches_at(pattern.first(p), name, 0))
        return false;
    size_t position = p;
    while (true) {
        while (p < pattern.size() && pattern[p] == U'*')
            ++p;
        if (p == pattern.size())
            return true; // a trailing "*" takes the rest of the name
        const auto runEnd = static_cast<size_t>(
            std::find(pattern.begin() + static_cast<std::ptrdiff_t>(p), pattern.end(), U'*') -
            pattern.begin());
        const auto run = pattern.subspan(p, runEnd - p);
        if (runEnd == pattern.size()) {
            // The pattern ends in this run: it must end the name, after what was matched so far.
            return name.size() - position >= run.size() &&
                   run_matches_at(run, name, name.size() - run.size());
        }
        size_t at = position;
        while (at + run.size() <= name.size() && !run_matches_at(run, name, at))
            ++at;
        if (at + run.size() > name.size())
            return false;
        position = at + run.size();
        p = runEnd;
    }
}

bool match_name_pattern(std::string_view name, std::string_view pattern) {
    return NamePattern(pattern).matches(name);
}

} // namespace salvex
