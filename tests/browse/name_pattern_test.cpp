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

TEST(NamePattern, QuestionMarkStandsForOneCharacterNotOneByte) {
    EXPECT_TRUE(finds("caf?", "Café"));
    EXPECT_TRUE(finds("caf?.txt", "Café.txt"));
    // "Café" is five bytes but four characters: a five-character pattern is longer than it.
    EXPECT_FALSE(finds("caf??", "Café"));
    EXPECT_TRUE(finds("?本", "日本語.txt"));
    EXPECT_TRUE(finds("*.?", "a.é"));
    EXPECT_FALSE(finds("*.??", "a.é"));
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

TEST(UpperCase, AsciiAndAccentedLetters) {
    EXPECT_EQ(upper_case("readme.txt"), "README.TXT");
    EXPECT_EQ(upper_case("Café résumé àéîõü"), "CAFÉ RÉSUMÉ ÀÉÎÕÜ");
    EXPECT_EQ(upper_case("çñøåæþ"), "ÇÑØÅÆÞ");
    EXPECT_EQ(upper_case("ÿ"), "Ÿ");
    EXPECT_EQ(upper_case("łódź żółw ő š č ŋ"), "ŁÓDŹ ŻÓŁW Ő Š Č Ŋ");
    EXPECT_EQ(upper_case("αβγ ς"), "ΑΒΓ Σ");
    EXPECT_EQ(upper_case("привет ёж"), "ПРИВЕТ ЁЖ");
}

TEST(UpperCase, KeepsWhatHasNoSimpleCapital) {
    EXPECT_EQ(upper_case("÷ ß ı ĸ ſ µ"), "÷ ß ı ĸ ſ µ");
    EXPECT_EQ(upper_case("ÀÉ ŁŸ 日本語 123 _-."), "ÀÉ ŁŸ 日本語 123 _-.");
    EXPECT_EQ(upper_case(""), "");
}

TEST(UpperCase, InvalidBytesPassThrough) {
    EXPECT_EQ(upper_case("a\xFF"
                         "b"),
              "A\xFF"
              "B");
    EXPECT_EQ(upper_case("x\xC3"), "X\xC3"); // cut short at the end
    EXPECT_EQ(upper_case("\xC0\xAF"
                         "a"),
              "\xC0\xAF"
              "A"); // overlong form
    EXPECT_EQ(upper_case("\xED\xA0\x80"
                         "a"),
              "\xED\xA0\x80"
              "A");                                  // encoded surrogate
    EXPECT_EQ(upper_case("\xE9t\xE9"), "\xE9T\xE9"); // Latin-1 é is not UTF-8
}

TEST(UpperCase, MakesAccentedMatchingCaseInsensitive) {
    EXPECT_TRUE(finds("RÉSUMÉ*", "Résumé.txt"));
    EXPECT_TRUE(finds("*é.TXT", "CAFÉ.txt"));
    EXPECT_FALSE(finds("resume*", "Résumé.txt"));
}

} // namespace
} // namespace salvex
