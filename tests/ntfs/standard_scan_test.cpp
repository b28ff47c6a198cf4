// The Standard Scan over volumes built record by record.
#include "ntfs/mft_record.h"
#include "ntfs/standard_scan.h"
#include "tests/support/ntfs_builder.h"
#include "tests/support/recording_progress.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <tuple>

namespace salvex {
namespace {

using test::Bytes;
using test::NtfsVolumeBuilder;
using test::RecordBuilder;

constexpr Lba kStart = 64;
constexpr uint64_t kVolumeSectors = 20'000;

class ScanTest : public ::testing::Test {
protected:
    ScanTest()
        : disk_(std::make_unique<test::MemoryDevice>(kStart + kVolumeSectors + 1)),
          volume_(*disk_, kStart, {.totalSectors = kVolumeSectors, .mftCluster = 4}, 64) {}

    NtfsScan scan(StopFlag& stop) {
        reader_.open_device(std::move(disk_));
        NtfsScan result;
        outcome_ = standard_scan(reader_, kStart, kStart + kVolumeSectors, result, progress_, stop);
        return result;
    }
    NtfsScan scan() {
        StopFlag stop{0};
        return scan(stop);
    }

    std::unique_ptr<test::MemoryDevice> disk_;
    NtfsVolumeBuilder volume_;
    SectorReader reader_{AccessMode::Device};
    test::RecordingProgress progress_;
    ScanOutcome outcome_ = ScanOutcome::NoVolume;
};

const FileNode* file_named(const NtfsScan& scan, const std::string& name) {
    for (const auto& f : scan.items.files) {
        if (f.name == name)
            return &f;
    }
    return nullptr;
}

TEST_F(ScanTest, RecordsBecomeFoldersAndFilesWithTheirStates) {
    volume_.put(16, RecordBuilder(test::kFolderInUse).file_name(5, u"Docs"));
    volume_.put(17, RecordBuilder().file_name(16, u"a.txt").resident_data(Bytes(100, 'a')));
    // Slot 18 was never used: it still takes a record number.
    volume_.put(19, RecordBuilder(test::kDeletedFile).file_name(16, u"gone.txt"));
    volume_.put(20, RecordBuilder(test::kDeletedFolder).file_name(5, u"Old"));
    volume_.put(21, RecordBuilder(9).file_name(5, u"view.dat")); // in use, with a view index
    volume_.put(22, RecordBuilder().file_name(5, u"linux.txt", NameSpace::Posix));
    volume_.put(23, RecordBuilder().file_name(5, u"ads.bin").resident_data(Bytes(9), u"extra"));
    const NtfsScan result = scan();
    ASSERT_EQ(outcome_, ScanOutcome::Completed);

    ASSERT_EQ(result.items.folder_count(), 2u);
    EXPECT_EQ(result.items.folders[0].name, "Docs");
    EXPECT_EQ(result.items.folders[0].recordNumber, 16u);
    EXPECT_FALSE(result.items.folders[0].deleted);
    EXPECT_TRUE(result.items.folders[1].deleted);

    const FileNode* a = file_named(result, "a.txt");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(std::tuple(a->recordNumber, a->parent, a->size, a->recordSector, a->deleted),
              std::tuple(17u, 16u, 100u, volume_.record_sector(17), false));
    EXPECT_EQ(file_named(result, "gone.txt")->recordNumber, 19u);
    EXPECT_TRUE(file_named(result, "gone.txt")->deleted);
    EXPECT_FALSE(file_named(result, "view.dat")->deleted);
    EXPECT_NE(file_named(result, "linux.txt"), nullptr);
    EXPECT_EQ(file_named(result, "ads.bin")->size, 0u);
    // $MFT itself is an ordinary file of the root; the root's own record "." is not listed.
    EXPECT_EQ(file_named(result, "$MFT")->recordNumber, 0u);
    EXPECT_EQ(result.items.find_folder(5), nullptr);

    EXPECT_EQ(progress_.counters["Folder(s) Found"], "2");
    EXPECT_EQ(progress_.counters["File(s) Found"], std::to_string(result.items.file_count()));
    EXPECT_EQ(outcome_, ScanOutcome::Completed);
    EXPECT_STREQ(scan_outcome_message(outcome_), kTryAdvanceScanMessage);
    EXPECT_LE(progress_.maxProgress, 99);
}

TEST_F(ScanTest, OrphansGetMadeUpFoldersAndTheTreeIsBuilt) {
    volume_.put(16, RecordBuilder(test::kFolderInUse).file_name(5, u"Docs"));
    volume_.put(17, RecordBuilder(test::kFolderInUse).file_name(16, u"Inner"));
    volume_.put(18, RecordBuilder(test::kDeletedFile).file_name(40, u"lost1.txt"));
    volume_.put(19, RecordBuilder(test::kDeletedFile).file_name(40, u"lost2.txt"));
    const NtfsScan result = scan();
    ASSERT_EQ(result.items.folder_count(), 3u);
    EXPECT_EQ(result.items.folders[2].name, "Dir0");
    EXPECT_EQ(result.items.folders[2].recordNumber, 40u);
    EXPECT_EQ(result.tree.root().children.size(), 2u);
    EXPECT_EQ(result.tree.node(result.items.find_folder(17)->treeItem).parent,
              result.items.find_folder(16)->treeItem);
}

TEST_F(ScanTest, ExtensionRecordsBelongToTheirBaseItem) {
    // Record 26's name and data live in extension record 27, named by its attribute list.
    volume_.put(
        26, RecordBuilder().attribute_list({{0x10, 26}, {kFileName, 27, 0, 1}, {kData, 27, 0, 2}}));
    volume_.put(27, RecordBuilder()
                        .base_record((uint64_t{1} << 48) | 26)
                        .file_name(5, u"big.bin")
                        .non_resident_data(test::encode_runs({{2, 100}}), 5000, 0, u"", 2));
    const NtfsScan result = scan();
    const FileNode* big = file_named(result, "big.bin");
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->recordNumber, 26u);
    EXPECT_EQ(big->size, 5000u);
    EXPECT_EQ(big->recordSector, volume_.record_sector(27));
    size_t named = 0;
    for (const auto& f : result.items.files)
        named += f.name == "big.bin";
    EXPECT_EQ(named, 1u); // the extension record is not an item of its own
}

std::vector<std::string> names_in(const NtfsScan& scan, uint32_t parent) {
    std::vector<std::string> names;
    for (const auto& f : scan.items.files) {
        if (f.parent == parent)
            names.push_back(f.name);
    }
    return names;
}

TEST_F(ScanTest, EveryNameOfAFileIsAnItemButNotTheDosAlias) {
    volume_.put(16, RecordBuilder(test::kFolderInUse).file_name(5, u"Other"));
    volume_.put(17, RecordBuilder()
                        .file_name(5, u"Long name.txt", NameSpace::Win32)
                        .file_name(5, u"LONGNA~1.TXT", NameSpace::Dos)
                        .file_name(16, u"link", NameSpace::Posix)
                        .file_name(16, u"both.txt", NameSpace::Win32AndDos)
                        .resident_data(Bytes(33, 'x')));
    volume_.put(18, RecordBuilder().file_name(5, u"SHORT.TXT", NameSpace::Dos));
    const NtfsScan result = scan();
    // SHORT.TXT is its file's only name, not the alias of a long one.
    EXPECT_EQ(names_in(result, 5),
              (std::vector<std::string>{"$MFT", "Long name.txt", "SHORT.TXT"}));
    EXPECT_EQ(names_in(result, 16), (std::vector<std::string>{"link", "both.txt"}));
    for (const auto& f : result.items.files) {
        if (f.recordNumber == 17) {
            EXPECT_EQ(f.size, 33u);
            EXPECT_EQ(f.recordSector, volume_.record_sector(17));
        }
    }
}

TEST_F(ScanTest, NamedStreamsAreItemsBesideTheirFile) {
    volume_.put(
        16,
        RecordBuilder(test::kFolderInUse).file_name(5, u"Docs").resident_data(Bytes(4), u"tag"));
    volume_.put(17, RecordBuilder()
                        .file_name(16, u"a.txt")
                        .resident_data(Bytes(100))
                        .resident_data(Bytes(10), u"Zone.Identifier")
                        .non_resident_data(test::encode_runs({{2, 300}}), 7000, 0, u"big"));
    volume_.put(
        18,
        RecordBuilder(test::kDeletedFile).file_name(16, u"gone.txt").resident_data(Bytes(5), u"s"));
    const NtfsScan result = scan();
    EXPECT_EQ(names_in(result, 16),
              (std::vector<std::string>{"a.txt", "a.txt:Zone.Identifier", "a.txt:big", "gone.txt",
                                        "gone.txt:s"}));
    const FileNode* big = file_named(result, "a.txt:big");
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->stream, "big");
    EXPECT_EQ(big->size, 7000u);
    EXPECT_EQ(big->recordSector, volume_.record_sector(17));
    EXPECT_TRUE(file_named(result, "gone.txt:s")->deleted);
    EXPECT_EQ(file_named(result, "a.txt")->stream, "");
    // A folder's stream lies beside the folder, in its parent.
    EXPECT_EQ(file_named(result, "Docs:tag")->parent, kRootFolderRecord);
}

TEST_F(ScanTest, SequenceNumbersTellAReusedFolderRecordFromTheFolderItHeld) {
    // Record 16 once held a folder; it was freed and now holds an unrelated folder.
    volume_.put(16, RecordBuilder(test::kFolderInUse).sequence(3).file_name(5, u"Unrelated"));
    volume_.put(17, RecordBuilder(test::kDeletedFile).parent_sequence(1).file_name(16, u"old.txt"));
    volume_.put(
        18, RecordBuilder(test::kFolderInUse).sequence(3).parent_sequence(3).file_name(16, u"Sub"));
    // A folder deleted with its file: freeing its record raised its sequence from 4 to 5.
    volume_.put(19, RecordBuilder(test::kDeletedFolder).sequence(5).file_name(5, u"Removed"));
    volume_.put(20, RecordBuilder(test::kDeletedFile).parent_sequence(4).file_name(19, u"in.txt"));
    const NtfsScan result = scan();
    EXPECT_EQ(result.items.find_folder(file_named(result, "old.txt")->parent)->name, "Dir0");
    EXPECT_EQ(result.items.find_folder(18)->parent, 16u);
    EXPECT_EQ(file_named(result, "in.txt")->parent, 19u);
}

TEST_F(ScanTest, AnExtensionRecordOfAnotherItemIsNotUsed) {
    // Record 26's list names record 27, which was freed and reused by record 30's attributes.
    volume_.put(26, RecordBuilder()
                        .file_name(5, u"base.txt")
                        .attribute_list({{kFileName, 26}, {kData, 27, 0, 2}}));
    volume_.put(27, RecordBuilder()
                        .base_record((uint64_t{1} << 48) | 30)
                        .file_name(5, u"stranger.txt")
                        .non_resident_data(test::encode_runs({{2, 100}}), 5000, 0, u"", 2));
    const NtfsScan result = scan();
    ASSERT_NE(file_named(result, "base.txt"), nullptr);
    EXPECT_EQ(file_named(result, "base.txt")->size, 0u);
    EXPECT_EQ(file_named(result, "stranger.txt"), nullptr);
}

TEST_F(ScanTest, UnreadableRecordIsSkippedNotRepeated) {
    volume_.put(16, RecordBuilder().file_name(5, u"before.txt"));
    volume_.put(17, RecordBuilder().file_name(5, u"bad.txt"));
    volume_.disk().fail_sector(volume_.record_sector(17));
    volume_.put(18, RecordBuilder().file_name(5, u"after.txt"));
    const NtfsScan result = scan();
    EXPECT_EQ(names_in(result, 5), (std::vector<std::string>{"$MFT", "before.txt", "after.txt"}));
    EXPECT_EQ(file_named(result, "after.txt")->recordNumber, 18u);
}

TEST_F(ScanTest, StopKeepsWhatWasFound) {
    for (uint32_t n = 16; n < 40; ++n)
        volume_.put(n, RecordBuilder().file_name(
                           5, u"f" + std::u16string(1, static_cast<char16_t>(u'a' + (n - 16)))));
    StopFlag stop{0};
    progress_.onCounter = [&](std::string_view label, std::string_view value) {
        if (label == "File(s) Found" && value == "5")
            stop.store(1);
    };
    const NtfsScan result = scan(stop);
    EXPECT_EQ(outcome_, ScanOutcome::Completed);
    EXPECT_EQ(result.items.file_count(), 5u);
    EXPECT_EQ(stop.load(), 0); // cleared for the next operation
}

TEST_F(ScanTest, VolumeWithoutBootSectorsCannotBeScanned) {
    std::fill_n(volume_.disk().sector(kStart), 512, 0);
    std::fill_n(volume_.disk().sector(kStart + kVolumeSectors), 512, 0);
    const NtfsScan result = scan();
    EXPECT_EQ(outcome_, ScanOutcome::NoVolume);
    // The scan says why by its outcome; the caller tells the person.
    EXPECT_TRUE(progress_.messages.empty());
    EXPECT_STREQ(scan_outcome_message(outcome_), kScanImpossibleMessage);
    EXPECT_EQ(progress_.statuses.front(), "Calculating partition parameters");
    EXPECT_TRUE(result.items.files.empty());
}

TEST_F(ScanTest, StopDuringParameterReadingSaysAborted) {
    std::fill_n(volume_.disk().sector(kStart), 512, 0);
    std::fill_n(volume_.disk().sector(kStart + kVolumeSectors), 512, 0);
    StopFlag stop{1};
    scan(stop);
    EXPECT_EQ(outcome_, ScanOutcome::Stopped);
    EXPECT_STREQ(scan_outcome_message(outcome_), kScanAbortedMessage);
}

TEST_F(ScanTest, AVolumeWhoseMftGivesNothingIsNotAScannedVolume) {
    // The boot sector confirms $MFT, but neither record 0 nor its mirror copy maps anything.
    volume_.put(0, RecordBuilder().file_name(5, u"$MFT"));
    volume_.disk().zero(kStart + 16, 2);
    const NtfsScan result = scan();
    EXPECT_EQ(outcome_, ScanOutcome::NoItems);
    EXPECT_STREQ(scan_outcome_message(outcome_), kScanImpossibleMessage);
}

} // namespace
} // namespace salvex
