// Name patterns as the user types them in Find Files and the File Filters: "*" stands for any run
// of characters, "?" for any one character, and a pattern without "*" is looked for inside the
// name. Matching works on characters (code points), not bytes, since names are UTF-8; a byte
// that is not part of valid UTF-8 counts as one character of its own.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace salvex {

// Upper-cases UTF-8 text for case-insensitive matching: ASCII letters and the lowercase letters
// of Latin-1, Latin Extended-A, basic Greek and basic Cyrillic. Everything else, invalid bytes
// included, is kept as it is.
std::string upper_case(std::string_view text);

// Appends the characters of UTF-8 `text` to `out`, upper-cased as upper_case does when `upper`.
// A byte that does not start a valid sequence becomes a unit of its own (0xDC00 + the byte,
// which no valid text decodes to).
void decode_name(std::string_view text, bool upper, std::vector<char32_t>& out);

// A pattern decoded once, to be tested against many names.
class NamePattern {
public:
    // `pattern` is already upper-cased by the caller.
    explicit NamePattern(std::string_view pattern);

    // Whether `name` (already upper-cased) matches.
    bool matches(std::string_view name) const;
    // The same for a name already decoded with decode_name; avoids decoding again.
    bool matches(std::span<const char32_t> name) const;

    bool empty() const { return units_.empty(); }

private:
    bool match_wildcards(std::span<const char32_t> name) const;

    std::vector<char32_t> units_;
    bool hasStar_ = false;
    bool hasQuestion_ = false;
};

// Whether `name` matches `pattern`; both already upper-cased by the caller.
//  - An empty name or pattern never matches.
//  - Without "*" or "?" the pattern is looked for anywhere in the name (DOC finds MYDOCS.TXT).
//  - With "?" but no "*" the pattern is compared from the start of the name, "?" standing for
//    any one character, and the name may go on beyond it (A?C finds ABC and ABCD).
//  - With "*": the part before the first "*" must start the name, each later run is looked for
//    forward from where the previous one ended, and a pattern that does not end in "*" must end
//    the name (*.TXT finds A.TXT but not A.TXT.BAK).
bool match_name_pattern(std::string_view name, std::string_view pattern);

} // namespace salvex
