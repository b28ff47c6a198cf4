// The wizard never leaves a person stuck: a too small file is refused, a volume the Standard Scan
// cannot read leads to the Advance Scan, and a sweep that finds nothing says so.
#include "app/texts.h"
#include "session/session.h"
#include "tests/app/wizard_driver.h"
#include "tests/support/test_images.h"

#include <QTest>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace salvex::test {
namespace {

namespace fs = std::filesystem;

TEST(DrivesTest, AFileTooSmallForADiskIsRefused) {
    WizardDriver wizard;
    const fs::path tiny = temp_path("tiny.img");
    std::ofstream(tiny, std::ios::binary) << std::string(1000, 'x');
    const size_t before = wizard.session.drives.size();
    wizard.window->add_images({QString::fromStdString(tiny.string())});
    EXPECT_EQ(wizard.session.drives.size(), before);
    ASSERT_FALSE(wizard.messages.empty());
    EXPECT_EQ(wizard.messages.back().kind, MessageKind::Error);
    EXPECT_TRUE(wizard.messages.back().text.contains("too small to be a disk image"))
        << wizard.messages.back().text.toStdString();
}

// The demo disk with both boot sectors of its first NTFS volume zeroed: the Standard Scan finds
// no volume there, the Advance Scan finds it by its records.
std::string demo_without_boot_sectors() {
    const fs::path copy = temp_path("demo-no-boot.img");
    fs::copy_file(image_path("demo"), copy, fs::copy_options::overwrite_existing);
    const int fd = ::open(copy.c_str(), O_WRONLY);
    EXPECT_GE(fd, 0);
    const std::string zeros(512, '\0');
    for (const off_t sector : {2048L, 2048L + 98303L})
        EXPECT_EQ(::pwrite(fd, zeros.data(), zeros.size(), sector * 512), 512);
    ::close(fd);
    return copy.string();
}

TEST(DeadEndsTest, AVolumeTheStandardScanCannotReadLeadsToTheAdvanceScan) {
    WizardDriver wizard({demo_without_boot_sectors()});
    wizard.answers.push_back(true); // Yes: sweep the whole drive
    wizard.scan_partition("Partition 1 - NTFS");
    EXPECT_TRUE(wizard.said(app::displayed(app::kNoVolumeQuestion)));
    ASSERT_TRUE(wizard.wait_idle());
    EXPECT_EQ(wizard.session.state.scanMode, ScanMode::Advance);
    EXPECT_EQ(wizard.step(), kChooseFileSystem);
    EXPECT_FALSE(wizard.session.candidates.empty());
    EXPECT_EQ(fs_choice(*wizard.window)->currentText(), "NTFS");
}

TEST(DeadEndsTest, NoToTheAdvanceScanStaysOnThePartitionPage) {
    WizardDriver wizard({demo_without_boot_sectors()});
    wizard.scan_partition("Partition 1 - NTFS");
    EXPECT_TRUE(wizard.said(app::displayed(app::kNoVolumeQuestion)));
    EXPECT_EQ(wizard.step(), kChoosePartition);
    EXPECT_FALSE(wizard.window->worker_running());
}

TEST(DeadEndsTest, ASweepThatFindsNothingSaysSo) {
    WizardDriver wizard({image_path("demo")});
    wizard.open_advance_range("0", "100");
    wizard.click(next_button(*wizard.window));
    ASSERT_TRUE(wizard.wait_idle());
    EXPECT_TRUE(wizard.said(QString::fromUtf8(app::kNothingFoundMessage).arg(0).arg(99)));
    EXPECT_FALSE(next_button(*wizard.window)->isEnabled());
}

TEST(DeadEndsTest, BackFromTheBrowsePageAsksFirstAndButtonsKeepTheirPlaces) {
    WizardDriver wizard({image_path("demo")});
    wizard.browse_partition("Partition 1 - NTFS");
    const QPoint backAt = back_button(*wizard.window)->pos();
    wizard.click(back_button(*wizard.window)); // answered No
    EXPECT_TRUE(wizard.said(app::displayed(app::kBackDiscardsQuestion)));
    EXPECT_EQ(wizard.step(), kBrowse);
    EXPECT_FALSE(wizard.session.scan.items.files.empty());
    wizard.answers.push_back(true);
    wizard.click(back_button(*wizard.window));
    EXPECT_EQ(wizard.step(), kChoosePartition);
    QTest::qWait(1);
    EXPECT_EQ(back_button(*wizard.window)->pos(), backAt);
}

} // namespace
} // namespace salvex::test
