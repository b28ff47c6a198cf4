// Find Files over built item lists and over the demo disk: what is listed, with which path, and
// that a stopped search lists nothing more.
#include "browse/find_files.h"
#include "browse/folder_path.h"
#include "tests/support/item_nodes.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scanned_volume.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <thread>

namespace salvex {
namespace {

using test::file_node;
using test::folder_node;

// Root
//   Pictures (30)       beach.jpg
//     2024 (31)         a.jpg, b.JPG.bak
//   Docs (32)           notes.txt, photo.jpg (a folder named x.jpg too)
// and orphan.jpg whose folder (99) is not listed.
NtfsScan built_scan() {
    NtfsScan scan;
    NtfsItems& items = scan.items;
    items.add_folder(folder_node("Pictures", 30, 5), ScanMode::Standard);
    items.add_folder(folder_node("2024", 31, 30), ScanMode::Standard);
    items.add_folder(folder_node("Docs", 32, 5), ScanMode::Standard);
    items.add_folder(folder_node("x.jpg", 33, 32), ScanMode::Standard);
    items.add_file(file_node("a.jpg", 40, 31, 100));
    items.add_file(file_node("notes.txt", 41, 32, 200));
    items.add_file(file_node("beach.JPG", 42, 30, 300));
    items.add_file(file_node("orphan.jpg", 43, 99, 400));
    items.add_file(file_node("b.JPG.bak", 44, 31, 500));
    items.add_file(file_node("photo.jpg", 45, 32, 600));
    items.add_file(file_node("top.jpg", 46, 5, 700));
    SilentProgress progress;
    scan.tree = build_folder_tree(items, progress);
    return scan;
}

struct Found {
    std::vector<FileMatch> rows;
    FindOutcome outcome;
};

Found search(const NtfsScan& scan, std::string_view pattern, const StopFlag& stop) {
    Found found;
    SilentProgress progress;
    found.outcome = find_files(
        scan, pattern,
        [&found](const FileMatch& m) {
            found.rows.push_back(m);
            return true;
        },
        progress, stop);
    return found;
}
Found search(const NtfsScan& scan, std::string_view pattern, int stopValue = kSearchRunning) {
    const StopFlag stop{stopValue};
    return search(scan, pattern, stop);
}

std::vector<std::string> rows_of(const Found& found) {
    std::vector<std::string> rows;
    for (const FileMatch& m : found.rows)
        rows.push_back(m.path + "|" + m.name);
    return rows;
}

TEST(FolderPath, NamesFromTheRootDown) {
    const NtfsScan scan = built_scan();
    EXPECT_EQ(folder_path(scan, 31, '\\'), "Pictures\\2024");
    EXPECT_EQ(folder_path(scan, 31, '/'), "Pictures/2024");
    EXPECT_EQ(folder_path(scan, 30, '\\'), "Pictures");
    EXPECT_EQ(folder_path(scan, 33, '\\'), "Docs\\x.jpg");
    EXPECT_EQ(folder_path(scan, kRootFolderRecord, '\\'), "");
    EXPECT_EQ(folder_path(scan, 99, '\\'), "");
}

TEST(FolderPath, FoldersOutsideTheTreeOrWithBrokenLinksHaveNoPath) {
    NtfsScan scan = built_scan();
    // Two folders that name each other as parent are never reached from the root.
    scan.items.add_folder(folder_node("Loop1", 50, 51), ScanMode::Standard);
    scan.items.add_folder(folder_node("Loop2", 51, 50), ScanMode::Standard);
    SilentProgress progress;
    scan.tree = build_folder_tree(scan.items, progress);
    EXPECT_EQ(folder_path(scan, 50, '\\'), "");
    EXPECT_EQ(folder_path(scan, 31, '\\'), "Pictures\\2024");

    // Tree items that do not belong to this tree, as damaged saved input could leave them.
    scan.items.folders[1].treeItem = 1000;
    EXPECT_EQ(folder_path(scan, 31, '\\'), "");
    scan.items.folders[1].treeItem = scan.items.folders[2].treeItem;
    EXPECT_EQ(folder_path(scan, 31, '\\'), "");
}

TEST(FolderPath, DeepTreesNeedNoRecursion) {
    NtfsScan scan;
    const uint32_t depth = 50000;
    for (uint32_t i = 0; i < depth; ++i)
        scan.items.add_folder(folder_node("d", 100 + i, i == 0 ? kRootFolderRecord : 99 + i),
                              ScanMode::Standard);
    SilentProgress progress;
    scan.tree = build_folder_tree(scan.items, progress);
    const std::string path = folder_path(scan, 99 + depth, '/');
    EXPECT_EQ(path.size(), 2 * depth - 1);
    EXPECT_EQ(path.substr(0, 4), "d/d/");
}

TEST(FindFiles, ListsMatchingFilesInListOrderWithTheirFolderPaths) {
    const Found found = search(built_scan(), "*.jpg");
    EXPECT_EQ(rows_of(found),
              (std::vector<std::string>{"\\Pictures\\2024|a.jpg", "\\Pictures|beach.JPG",
                                        "\\|orphan.jpg", "\\Docs|photo.jpg", "\\|top.jpg"}));
    ASSERT_EQ(found.rows.size(), 5u);
    EXPECT_EQ(found.rows[1].size, 300u);
    EXPECT_EQ(found.rows[1].fileIndex, 2u);
    EXPECT_EQ(found.rows[3].size, 600u);
    EXPECT_EQ(found.rows[3].fileIndex, 5u);
    EXPECT_EQ(found.outcome.found, 5u);
    EXPECT_FALSE(found.outcome.stopped);
}

TEST(FindFiles, PatternRulesApplyCaseInsensitively) {
    const NtfsScan scan = built_scan();
    EXPECT_EQ(search(scan, "*").rows.size(), 7u); // files only: no folder is ever listed
    EXPECT_EQ(search(scan, "*.*").rows.size(), 7u);
    EXPECT_EQ(rows_of(search(scan, "JPG.B")),
              (std::vector<std::string>{"\\Pictures\\2024|b.JPG.bak"}));
    EXPECT_EQ(rows_of(search(scan, "?.JPG")),
              (std::vector<std::string>{"\\Pictures\\2024|a.jpg", "\\Pictures\\2024|b.JPG.bak"}));
    EXPECT_TRUE(search(scan, "x.jpg").rows.empty());
    const Found empty = search(scan, "");
    EXPECT_TRUE(empty.rows.empty());
    EXPECT_FALSE(empty.outcome.stopped);
}

TEST(FindFiles, ReportsCountAndLastName) {
    test::RecordingProgress progress;
    const StopFlag stop{kSearchRunning};
    find_files(
        built_scan(), "*.JPG", [](const FileMatch&) { return true; }, progress, stop);
    EXPECT_EQ(progress.counters.at("Files Found"), "5");
    EXPECT_EQ(progress.counters.at("Last File"), "top.jpg");
}

TEST(FindFiles, NothingIsListedOnceStopped) {
    const NtfsScan scan = built_scan();
    const Found stoppedBefore = search(scan, "*", kSearchStop);
    EXPECT_TRUE(stoppedBefore.rows.empty());
    EXPECT_TRUE(stoppedBefore.outcome.stopped);

    // The user answers Yes while the second row is being added.
    SilentProgress progress;
    StopFlag stop{kSearchRunning};
    std::vector<std::string> names;
    const FindOutcome outcome = find_files(
        scan, "*",
        [&](const FileMatch& m) {
            names.push_back(m.name);
            if (names.size() == 2)
                stop = kSearchStop;
            return true;
        },
        progress, stop);
    EXPECT_EQ(names, (std::vector<std::string>{"a.jpg", "notes.txt"}));
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.found, 2u);
}

TEST(FindFiles, StopBetweenMatchingAndReportingDropsTheMatch) {
    const NtfsScan scan = built_scan();
    SilentProgress progress;
    StopFlag stop{kSearchRunning};
    std::vector<std::string> names;
    // The flag is set while the third file is being tested, after the flag was last looked at.
    const FindOutcome outcome = find_candidates(
        scan, "*", scan.items.files.size(),
        [&](size_t i) -> std::optional<FileCandidate> {
            const FileNode& f = scan.items.files[i];
            if (i == 2)
                stop = kSearchStop;
            return FileCandidate{f.name, f.parent, f.size, i};
        },
        [&](const FileMatch& m) {
            names.push_back(m.name);
            return true;
        },
        progress, stop);
    EXPECT_EQ(names, (std::vector<std::string>{"a.jpg", "notes.txt"}));
    EXPECT_TRUE(outcome.stopped);
}

TEST(FindFiles, HandlerCanEndTheSearch) {
    SilentProgress progress;
    const StopFlag stop{kSearchRunning};
    size_t calls = 0;
    const FindOutcome outcome = find_files(
        built_scan(), "*.jpg", [&](const FileMatch&) { return ++calls < 2; }, progress, stop);
    EXPECT_EQ(calls, 2u);
    EXPECT_EQ(outcome.found, 2u);
    EXPECT_TRUE(outcome.stopped);
}

TEST(FindFiles, PausedSearchWaitsForTheAnswer) {
    const NtfsScan scan = built_scan();
    for (const int answer : {kSearchStop, kSearchRunning}) {
        StopFlag stop{kSearchPaused};
        Found found;
        std::thread worker([&] { found = search(scan, "*.jpg", stop); });
        stop = answer;
        stop.notify_all();
        worker.join();
        // Yes lists nothing more; No lets the search go on to the end.
        EXPECT_EQ(found.rows.size(), answer == kSearchStop ? 0u : 5u);
        EXPECT_EQ(found.outcome.stopped, answer == kSearchStop);
    }
}

TEST(FindFiles, CandidatesCanBePassedOver) {
    // As a search limited to part of a list does: only even positions are candidates.
    const NtfsScan scan = built_scan();
    SilentProgress progress;
    const StopFlag stop{kSearchRunning};
    std::vector<size_t> indexes;
    find_candidates(
        scan, "*.jpg", scan.items.files.size(),
        [&](size_t i) -> std::optional<FileCandidate> {
            if (i % 2)
                return std::nullopt;
            const FileNode& f = scan.items.files[i];
            return FileCandidate{f.name, f.parent, f.size, i};
        },
        [&](const FileMatch& m) {
            indexes.push_back(m.fileIndex);
            return true;
        },
        progress, stop);
    EXPECT_EQ(indexes, (std::vector<size_t>{0, 2, 6}));
}

// The demo disk, checked against what its builder wrote.
class DemoDisk : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        volume_ = new test::ScannedVolume(test::scan_image_partition("demo", 1));
    }
    static void TearDownTestSuite() {
        delete volume_;
        volume_ = nullptr;
    }
    static const NtfsScan& scan() { return volume_->scan; }

    // Files of partition 1 of the manifest whose names satisfy `wanted`, as "path|name" rows.
    static std::vector<std::string> manifest_rows(bool (*wanted)(const std::string& name)) {
        std::vector<std::string> rows;
        for (const test::ManifestEntry& e :
             test::read_manifest(test::source_data_path("demo.manifest.tsv"))) {
            if (e.partition != 1 || e.folder)
                continue;
            const size_t slash = e.path.rfind('/');
            const std::string name = e.path.substr(slash + 1);
            if (!wanted(name))
                continue;
            std::string folder = e.path.substr(0, slash);
            std::replace(folder.begin(), folder.end(), '/', '\\');
            rows.push_back((folder.empty() ? "\\" : folder) + "|" + name);
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    static std::vector<std::string> sorted_rows(std::string_view pattern) {
        std::vector<std::string> rows = rows_of(search(scan(), pattern));
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    static test::ScannedVolume* volume_;
};
test::ScannedVolume* DemoDisk::volume_ = nullptr;

TEST_F(DemoDisk, JpgPatternFindsEveryPictureLiveOrDeleted) {
    const auto expected = manifest_rows([](const std::string& name) {
        return name.size() > 4 && name.compare(name.size() - 4, 4, ".jpg") == 0;
    });
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(sorted_rows("*.jpg"), expected);
    EXPECT_EQ(sorted_rows("*.JPG"), expected);
    EXPECT_NE(std::find(expected.begin(), expected.end(), "\\Pictures\\2024|beach.jpg"),
              expected.end());
}

TEST_F(DemoDisk, AccentedNamesAreFoundWhateverTheirCase) {
    EXPECT_EQ(sorted_rows("CAFÉ"), (std::vector<std::string>{"\\|Café.txt"}));
    EXPECT_EQ(sorted_rows("résumé"), (std::vector<std::string>{"\\Documents|Résumé.txt"}));
    EXPECT_EQ(sorted_rows("日本"), (std::vector<std::string>{"\\Documents|日本語.txt"}));
}

TEST_F(DemoDisk, WeeklyReportsByQuestionMark) {
    const auto expected = manifest_rows([](const std::string& name) {
        return name.size() == 11 && name.compare(0, 6, "week-0") == 0;
    });
    EXPECT_EQ(expected.size(), 8u);
    EXPECT_EQ(sorted_rows("WEEK-0?"), expected);
    EXPECT_EQ(sorted_rows("*-0?.txt"), expected);
}

} // namespace
} // namespace salvex
