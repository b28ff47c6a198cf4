// The recovery report: one tab-separated line per file, and text from disks made safe for
// messages.
#include "recovery/recovery_report.h"
#include "tests/support/test_images.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace salvex {
namespace {

TEST(RecoveryReport, LinesCarryEveryColumnAndPathsAreEscapedAsListings) {
    FileOutcome written;
    written.size = 3;
    written.sha256 = "abc";
    written.unreadable = 2;
    written.path = "/Docs/tab\there\\and\nline";
    FileOutcome filtered;
    filtered.status = FileStatus::Filtered;
    filtered.size = 10;
    filtered.path = "/b.doc";
    filtered.recoverable = 40;
    std::ostringstream out;
    const FileOutcome outcomes[] = {written, filtered};
    write_report(out, outcomes);
    EXPECT_EQ(out.str(), "status\tsize\tsha256\tunreadable\trecoverable\tpath\n"
                         "written\t3\tabc\t2\t\t/Docs/tab\\there\\\\and\\nline\n"
                         "filtered\t10\t\t0\t40\t/b.doc\n");
}

TEST(RecoveryReport, TheFileReplacesALinkInsteadOfWritingThroughIt) {
    namespace fs = std::filesystem;
    const fs::path victim = test::temp_path("victim");
    const fs::path report = test::temp_path("report.tsv");
    fs::remove(report);
    std::ofstream(victim) << "keep";
    fs::create_symlink(victim, report);
    std::string reason;
    ASSERT_TRUE(write_report_file(report.string(), {}, ExaminedDisk(), reason)) << reason;
    EXPECT_FALSE(fs::is_symlink(report));
    std::ifstream kept(victim);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep");
    EXPECT_FALSE(write_report_file("/nonexistent/folder/report.tsv", {}, ExaminedDisk(), reason));
    EXPECT_EQ(reason, "No such file or directory");
}

TEST(RecoveryReport, ControlCharactersInMessagesAreEscaped) {
    EXPECT_EQ(escape_for_message("a\x1b[2Jb\r\n\t\\"), "a\\x1b[2Jb\\r\\n\\t\\\\");
    EXPECT_EQ(escape_for_message("Café.txt"), "Café.txt");
    EXPECT_EQ(escape_for_message(std::string("nul\0x", 5)), "nul\\x00x");
}

} // namespace
} // namespace salvex
