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

TEST(NamePattern, EmptyNameOrPatternNeverMatches) {
    EXPECT_FALSE(match_name_pattern("", "*"));
    EXPECT_FALSE(match_name_pattern("", "?"));
    EXPECT_FALSE(match_name_pattern("A.TXT", ""));
    EXPECT_FALSE(match_name_pattern("", ""));
}

TEST(NamePattern, PlainPatternIsFoundAnywhereInTheName) {
    EXPECT_TRUE(match_name_pattern("MYDOCS.TXT", "DOC"));
    EXPECT_TRUE(finds("txt", "README.TXT"));
    EXPECT_TRUE(finds("txt", "TXTFILE"));
    EXPECT_TRUE(finds("readme.txt", "readme.txt"));
    EXPECT_FALSE(finds("doc", "notes.txt"));
    // A pattern longer than the name never matches, even when the name starts it.
    EXPECT_FALSE(match_name_pattern("LONG", "LONGNAME"));
    EXPECT_FALSE(match_name_pattern("ONGNAM", "LONGNAME"));
}

TEST(NamePattern, QuestionMarkWithoutStarMatchesTheStartOfTheName) {
    EXPECT_TRUE(match_name_pattern("ABC", "A?C"));
    EXPECT_TRUE(match_name_pattern("ABCD", "A?C"));
    EXPECT_FALSE(match_name_pattern("XABC", "A?C")); // anchored at the start, unlike plain text
    EXPECT_FALSE(match_name_pattern("AB", "A?C"));
    EXPECT_FALSE(match_name_pattern("ABD", "A?C"));
    EXPECT_TRUE(match_name_pattern("X", "?"));
    EXPECT_TRUE(match_name_pattern("WEEK-07.TXT", "WEEK-0?"));
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

TEST(NamePattern, LoneStarAndStarDotStar) {
    for (const char* name : {"A", "A.TXT", "NO DOT", ".HIDDEN", "日本語"}) {
        EXPECT_TRUE(match_name_pattern(name, "*")) << name;
        EXPECT_TRUE(match_name_pattern(name, "***")) << name;
    }
    EXPECT_TRUE(match_name_pattern("A.TXT", "*.*"));
    EXPECT_TRUE(match_name_pattern(".", "*.*"));
    EXPECT_TRUE(match_name_pattern("A.", "*.*"));
    EXPECT_FALSE(match_name_pattern("NO DOT", "*.*"));
}

TEST(NamePattern, StarPatternsAnchorTheirEnds) {
    EXPECT_TRUE(match_name_pattern("A.TXT", "*.TXT"));
    EXPECT_TRUE(match_name_pattern(".TXT", "*.TXT")); // "*" may stand for nothing
    EXPECT_FALSE(match_name_pattern("A.TXT.BAK", "*.TXT"));
    EXPECT_FALSE(match_name_pattern("A.TX", "*.TXT"));
    EXPECT_TRUE(match_name_pattern("A", "A*"));
    EXPECT_TRUE(match_name_pattern("ABC", "A*"));
    EXPECT_TRUE(match_name_pattern("ABC", "A**"));
    EXPECT_FALSE(match_name_pattern("BA", "A*"));
    EXPECT_TRUE(match_name_pattern("REPORT-2024.TXT", "REP*.TXT"));
    EXPECT_FALSE(match_name_pattern("MYREPORT.TXT", "REP*.TXT"));
    // Start and end runs may not overlap in the name.
    EXPECT_FALSE(match_name_pattern("AB", "AB*B"));
    EXPECT_TRUE(match_name_pattern("ABB", "AB*B"));
    EXPECT_FALSE(match_name_pattern("ABA", "ABA*BA"));
}

TEST(NamePattern, SeveralStarsMatchRunsInOrder) {
    EXPECT_TRUE(match_name_pattern("REPORT-2024.TXT", "*REPORT*2024*"));
    EXPECT_TRUE(match_name_pattern("MY REPORT FOR 2024", "*REPORT*2024*"));
    EXPECT_FALSE(match_name_pattern("2024 REPORT", "*REPORT*2024*"));
    EXPECT_TRUE(match_name_pattern("AXBYC", "A*B*C"));
    EXPECT_FALSE(match_name_pattern("AXCYB", "A*B*C"));
    EXPECT_TRUE(match_name_pattern("ABC", "A**B**C"));
    // The first occurrence of a middle run leaves room for the end run.
    EXPECT_TRUE(match_name_pattern("XABABAB", "*AB*AB"));
    EXPECT_TRUE(match_name_pattern("ABB", "*B*B"));
    EXPECT_FALSE(match_name_pattern("AB", "*B*B"));
    EXPECT_TRUE(match_name_pattern("LEDGER-NOTES.TXT", "LEDGER*NOTES*"));
    EXPECT_FALSE(match_name_pattern("LEDGER.TXT", "LEDGER*NOTES*"));
}

TEST(NamePattern, QuestionMarksAfterAStar) {
    EXPECT_TRUE(match_name_pattern("A.TXT", "*?.TXT"));
    EXPECT_FALSE(match_name_pattern(".TXT", "*?.TXT"));
    EXPECT_TRUE(match_name_pattern("WEEK-07.TXT", "*-0?.*"));
    EXPECT_FALSE(match_name_pattern("WEEK-7.TXT", "*-0?.*"));
    EXPECT_TRUE(match_name_pattern("SCAN1.JPG", "S*N?.J?G"));
    EXPECT_FALSE(match_name_pattern("SCAN12.JPG", "S*N?.J?G"));
    EXPECT_TRUE(match_name_pattern("ABCDE", "?B*?E"));
    EXPECT_FALSE(match_name_pattern("ABE", "?B*?E"));
    EXPECT_TRUE(match_name_pattern("X", "*?"));
    EXPECT_TRUE(match_name_pattern("X", "?*"));
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

TEST(NamePattern, BytesThatAreNotUtf8CountAsCharacters) {
    EXPECT_TRUE(match_name_pattern("A\xFF"
                                   "B",
                                   "\xFF"));
    EXPECT_TRUE(match_name_pattern("A\xFF"
                                   "B",
                                   "A?B"));
    EXPECT_TRUE(match_name_pattern("\xC3", "?"));         // a sequence cut short
    EXPECT_FALSE(match_name_pattern("\xC3\xA9", "\xC3")); // é does not contain its lead byte
    EXPECT_TRUE(match_name_pattern("\xE9T\xE9", "*T?"));  // Latin-1 bytes
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
