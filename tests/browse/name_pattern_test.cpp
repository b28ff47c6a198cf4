// The name matcher behind Find Files and the File Filters, and the upper-casing that makes it
// case-insensitive.
#include "browse/name_pattern.h"

#include <gtest/gtest.h>

namespace salvex {
namespace {

// Matches as the callers use the matcher: both texts upper-cased first.
bool finds(std::string_view pattern, std::string_view name) {
    return match_name_pattern(upper_case(name), upper_case(pattern));
}

TEST(NamePattern, MatchesByTheRulesOfPlainTextQuestionMarksAndStars) {
    const struct {
        const char* name; // upper-cased, as the callers pass it
        const char* pattern;
        bool matches;
    } cases[] = {
        // An empty name or pattern never matches.
        {"", "*", false},
        {"", "?", false},
        {"A.TXT", "", false},
        {"", "", false},
        // Plain text is found anywhere in the name, but is never longer than it.
        {"MYDOCS.TXT", "DOC", true},
        {"README.TXT", "TXT", true},
        {"TXTFILE", "TXT", true},
        {"README.TXT", "README.TXT", true},
        {"NOTES.TXT", "DOC", false},
        {"LONG", "LONGNAME", false},
        {"LONG", "ONGNAM", false},
        // A question mark without a star matches from the name's start.
        {"ABC", "A?C", true},
        {"ABCD", "A?C", true},
        {"XABC", "A?C", false}, // anchored at the start, unlike plain text
        {"AB", "A?C", false},
        {"ABD", "A?C", false},
        {"X", "?", true},
        {"WEEK-07.TXT", "WEEK-0?", true},
        // A lone star, and star-dot-star (which needs a dot).
        {"A", "*", true},
        {"A.TXT", "*", true},
        {"NO DOT", "*", true},
        {".HIDDEN", "*", true},
        {"日本語", "*", true},
        {"A", "***", true},
        {"A.TXT", "***", true},
        {"NO DOT", "***", true},
        {".HIDDEN", "***", true},
        {"日本語", "***", true},
        {"A.TXT", "*.*", true},
        {".", "*.*", true},
        {"A.", "*.*", true},
        {"NO DOT", "*.*", false},
        // Star patterns anchor their ends; a star may stand for nothing.
        {"A.TXT", "*.TXT", true},
        {".TXT", "*.TXT", true},
        {"A.TXT.BAK", "*.TXT", false},
        {"A.TX", "*.TXT", false},
        {"A", "A*", true},
        {"ABC", "A*", true},
        {"ABC", "A**", true},
        {"BA", "A*", false},
        {"REPORT-2024.TXT", "REP*.TXT", true},
        {"MYREPORT.TXT", "REP*.TXT", false},
        // Start and end runs may not overlap in the name.
        {"AB", "AB*B", false},
        {"ABB", "AB*B", true},
        {"ABA", "ABA*BA", false},
        // Several stars match their runs in order.
        {"REPORT-2024.TXT", "*REPORT*2024*", true},
        {"MY REPORT FOR 2024", "*REPORT*2024*", true},
        {"2024 REPORT", "*REPORT*2024*", false},
        {"AXBYC", "A*B*C", true},
        {"AXCYB", "A*B*C", false},
        {"ABC", "A**B**C", true},
        // The first occurrence of a middle run leaves room for the end run.
        {"XABABAB", "*AB*AB", true},
        {"ABB", "*B*B", true},
        {"AB", "*B*B", false},
        {"LEDGER-NOTES.TXT", "LEDGER*NOTES*", true},
        {"LEDGER.TXT", "LEDGER*NOTES*", false},
        // Question marks after a star.
        {"A.TXT", "*?.TXT", true},
        {".TXT", "*?.TXT", false},
        {"WEEK-07.TXT", "*-0?.*", true},
        {"WEEK-7.TXT", "*-0?.*", false},
        {"SCAN1.JPG", "S*N?.J?G", true},
        {"SCAN12.JPG", "S*N?.J?G", false},
        {"ABCDE", "?B*?E", true},
        {"ABE", "?B*?E", false},
        {"X", "*?", true},
        {"X", "?*", true},
        // Bytes that are not UTF-8 count as characters.
        {"A\377B", "\377", true},
        {"A\377B", "A?B", true},
        {"\xC3", "?", true},         // a sequence cut short
        {"\xC3\xA9", "\xC3", false}, // é does not contain its lead byte
        {"\xE9T\xE9", "*T?", true},  // Latin-1 bytes
    };
    for (const auto& c : cases)
        EXPECT_EQ(match_name_pattern(c.name, c.pattern), c.matches)
            << '"' << c.name << "\" against \"" << c.pattern << '"';
}

TEST(NamePattern, CallersMatchCharactersNotBytesWhateverTheCase) {
    const struct {
        const char* pattern;
        const char* name;
        bool matches;
    } cases[] = {
        {"caf?", "Café", true},
        {"caf?.txt", "Café.txt", true},
        // "Café" is five bytes but four characters: a five-character pattern is longer than it.
        {"caf??", "Café", false},
        {"?本", "日本語.txt", true},
        {"*.?", "a.é", true},
        {"*.??", "a.é", false},
        {"RÉSUMÉ*", "Résumé.txt", true},
        {"*é.TXT", "CAFÉ.txt", true},
        {"resume*", "Résumé.txt", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(finds(c.pattern, c.name), c.matches) << c.pattern << " against " << c.name;
}

TEST(NamePattern, ManyStarsOnALongNameStayCheap) {
    // A backtracking matcher takes exponential time on this pair; the forward search does not.
    const std::string name(20000, 'A');
    std::string pattern;
    for (int i = 0; i < 40; ++i)
        pattern += "*A";
    EXPECT_FALSE(match_name_pattern(name, pattern + "*B"));
    EXPECT_TRUE(match_name_pattern(name, pattern));
    EXPECT_FALSE(match_name_pattern(name + "B", pattern + "*BB"));
}

TEST(UpperCase, LettersWithASimpleCapitalOnlyAndInvalidBytesPassThrough) {
    const std::pair<std::string, std::string> cases[] = {
        {"readme.txt", "README.TXT"},
        {"Café résumé àéîõü", "CAFÉ RÉSUMÉ ÀÉÎÕÜ"},
        {"çñøåæþ", "ÇÑØÅÆÞ"},
        {"ÿ", "Ÿ"},
        {"łódź żółw ő š č ŋ", "ŁÓDŹ ŻÓŁW Ő Š Č Ŋ"},
        {"αβγ ς", "ΑΒΓ Σ"},
        {"привет ёж", "ПРИВЕТ ЁЖ"},
        // No simple capital, or already capital.
        {"÷ ß ı ĸ ſ µ", "÷ ß ı ĸ ſ µ"},
        {"ÀÉ ŁŸ 日本語 123 _-.", "ÀÉ ŁŸ 日本語 123 _-."},
        {"", ""},
        // Bytes that are not UTF-8: a stray byte, one cut short at the end, an overlong form, an
        // encoded surrogate, Latin-1.
        {"a\377b", "A\377B"},
        {"x\xC3", "X\xC3"},
        {"\300\257a", "\300\257A"},
        {"\355\240\200a", "\355\240\200A"},
        {"\xE9t\xE9", "\xE9T\xE9"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(upper_case(in), out) << in;
}

} // namespace
} // namespace salvex
