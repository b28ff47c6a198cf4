// The File Filters: what the dialog accepts and refuses, when the filters take effect, and which
// files they let through.
#include "browse/file_filters.h"

#include <gtest/gtest.h>

namespace salvex {
namespace {

// A table holding `filters` as committed by the dialog, newest first.
FilterTable committed(std::initializer_list<const char*> filters) {
    FilterTable table;
    FilterEditor editor(table);
    for (auto it = std::rbegin(filters); it != std::rend(filters); ++it)
        EXPECT_TRUE(editor.add(*it).added()) << *it;
    editor.close();
    return table;
}

TEST(FilterEditor, NineteenCharactersAreAcceptedTwentyRefused) {
    FilterTable table;
    FilterEditor editor(table);
    EXPECT_TRUE(editor.add(std::string(19, 'A')).added());

    const FilterAddResult refused = editor.add(std::string(20, 'B'));
    EXPECT_EQ(refused.refusal, FilterRefusal::TooLong);
    EXPECT_EQ(refused.message(), "      Filter too long     ");
    EXPECT_EQ(refused.selectFrom, 0u);
    EXPECT_EQ(refused.selectLength, 19u);
    EXPECT_EQ(editor.add(std::string(300, 'C')).refusal, FilterRefusal::TooLong);

    // Characters, not bytes: nineteen é take 38 bytes.
    std::string accented;
    for (int i = 0; i < 19; ++i)
        accented += "é";
    EXPECT_TRUE(editor.add(accented).added());
    EXPECT_EQ(editor.add(accented + "é").refusal, FilterRefusal::TooLong);

    EXPECT_EQ(editor.entries().size(), 2u);
    EXPECT_EQ(table.count, 2u);
}

TEST(FilterEditor, NinetyNinthFilterIsAcceptedHundredthRefused) {
    FilterTable table;
    FilterEditor editor(table);
    for (int i = 1; i <= 99; ++i)
        ASSERT_TRUE(editor.add("F" + std::to_string(i)).added()) << i;
    const FilterAddResult refused = editor.add("ONE MORE");
    EXPECT_EQ(refused.refusal, FilterRefusal::TooMany);
    EXPECT_EQ(refused.message(), "      You cannot add more Filters     ");
    // The count is tested first: even a blank entry gets this message.
    EXPECT_EQ(editor.add("").refusal, FilterRefusal::TooMany);
    EXPECT_EQ(table.count, 99u);
    EXPECT_EQ(editor.entries().size(), 99u);
    EXPECT_EQ(editor.entries().front(), "F99");

    // Making room lets another in.
    EXPECT_TRUE(editor.remove(0));
    EXPECT_TRUE(editor.add("ONE MORE").added());
}

TEST(FilterEditor, BlankAndDuplicateEntriesAreRefused) {
    FilterTable table;
    FilterEditor editor(table);
    const FilterAddResult blank = editor.add("");
    EXPECT_EQ(blank.refusal, FilterRefusal::Blank);
    EXPECT_EQ(blank.message(), "      You can not add a blank entry.     ");
    EXPECT_EQ(table.count, 0u);

    EXPECT_TRUE(editor.add("*.DOC").added());
    EXPECT_TRUE(editor.add("*.doc").added()); // the duplicate test is case-sensitive
    const FilterAddResult duplicate = editor.add("*.DOC");
    EXPECT_EQ(duplicate.refusal, FilterRefusal::Duplicate);
    EXPECT_EQ(duplicate.message(), "      Filter already exists in the list     ");
    EXPECT_EQ(duplicate.selectFrom, 0u);
    EXPECT_EQ(duplicate.selectLength, 5u);
    EXPECT_EQ(editor.add("résumé").selectLength, 0u);
    EXPECT_EQ(editor.add("résumé").selectLength, 6u); // in characters
    EXPECT_EQ(editor.entries(), (std::vector<std::string>{"résumé", "*.doc", "*.DOC"}));
    EXPECT_EQ(table.count, 3u);
}

TEST(FilterEditor, RemoveDeletesTheSelectedEntryOnly) {
    FilterTable table;
    FilterEditor editor(table);
    for (const char* f : {"A", "B", "C"})
        editor.add(f);
    EXPECT_FALSE(editor.remove(3)); // no selection
    EXPECT_EQ(table.count, 3u);
    EXPECT_TRUE(editor.remove(1));
    EXPECT_EQ(editor.entries(), (std::vector<std::string>{"C", "A"}));
    EXPECT_EQ(table.count, 2u);
    EXPECT_TRUE(editor.remove(0));
    EXPECT_TRUE(editor.remove(0));
    EXPECT_FALSE(editor.remove(0));
    EXPECT_EQ(table.count, 0u);
}

TEST(FilterEditor, CountFollowsEachEditTextsOnlyClose) {
    FilterTable table = committed({"*.TXT"});
    {
        FilterEditor editor(table);
        EXPECT_EQ(editor.entries(), (std::vector<std::string>{"*.TXT"}));
        editor.add("*.JPG");
        EXPECT_EQ(table.count, 2u);
        EXPECT_EQ(table.texts, (std::vector<std::string>{"*.TXT"}));
        // Until Close the committed filter alone is in force.
        EXPECT_FALSE(file_passes_filters(table, "beach.jpg"));
        editor.close();
    }
    EXPECT_EQ(table.texts, (std::vector<std::string>{"*.JPG", "*.TXT"}));
    EXPECT_TRUE(file_passes_filters(table, "beach.jpg"));
    EXPECT_TRUE(file_passes_filters(table, "notes.txt"));
}

TEST(FilterEditor, LeavingWithoutCloseNeverHidesEveryFile) {
    FilterTable table;
    {
        FilterEditor editor(table);
        editor.add("*.TXT");
        editor.add("*.JPG");
    } // the dialog went away without Close
    EXPECT_EQ(table.count, 2u);
    EXPECT_TRUE(table.active().empty());
    EXPECT_TRUE(file_passes_filters(table, "song01.mp3"));

    // Opening again shows what is committed and brings the count back to it.
    FilterEditor editor(table);
    EXPECT_TRUE(editor.entries().empty());
    EXPECT_EQ(table.count, 0u);
}

TEST(FilterEditor, NextStepResetsTheFilters) {
    FilterTable table = committed({"*.TXT", "*.JPG"});
    EXPECT_FALSE(file_passes_filters(table, "song01.mp3"));
    table.reset();
    EXPECT_EQ(table.count, 0u);
    EXPECT_TRUE(file_passes_filters(table, "song01.mp3"));
    FilterEditor editor(table);
    EXPECT_TRUE(editor.entries().empty());
}

TEST(FilePassesFilters, EveryFilePassesWithoutFilters) {
    const FilterTable none;
    for (const char* name : {"readme.txt", "photo.JPG", "no extension", "日本語.txt", ""})
        EXPECT_TRUE(file_passes_filters(none, name)) << name;
}

TEST(FilePassesFilters, OnlyMatchingNamesPass) {
    const FilterTable txt = committed({"*.TXT"});
    EXPECT_TRUE(file_passes_filters(txt, "notes.txt"));
    EXPECT_TRUE(file_passes_filters(txt, "README.TXT"));
    EXPECT_TRUE(file_passes_filters(txt, "Résumé.txt"));
    EXPECT_FALSE(file_passes_filters(txt, "report.doc"));
    EXPECT_FALSE(file_passes_filters(txt, "notes.txt.bak"));
    EXPECT_FALSE(file_passes_filters(txt, ""));

    // Filters are upper-cased too, and any one of them lets a file through.
    const FilterTable several = committed({"report", "*.jpg", "café*"});
    EXPECT_TRUE(file_passes_filters(several, "Report-2024.txt"));
    EXPECT_TRUE(file_passes_filters(several, "old-REPORT.doc"));
    EXPECT_TRUE(file_passes_filters(several, "beach.JPG"));
    EXPECT_TRUE(file_passes_filters(several, "CAFÉ.txt"));
    EXPECT_FALSE(file_passes_filters(several, "family.png"));
}

TEST(FilePassesFilters, RemovingEveryFilterLetsEveryFileThrough) {
    FilterTable table = committed({"*.TXT"});
    EXPECT_FALSE(file_passes_filters(table, "song01.mp3"));
    FilterEditor editor(table);
    editor.remove(0);
    editor.close();
    EXPECT_TRUE(file_passes_filters(table, "song01.mp3"));

    const ActiveFilters active(table);
    EXPECT_TRUE(active.empty());
    EXPECT_TRUE(active.passes("anything"));
}

} // namespace
} // namespace salvex
