// Which deleted files can come back whole: the interval sets the judgement rests on, the share of
// one file's clusters, and the judgement on a volume where new files took part of the freed space,
// checked by recovering every deleted file and comparing it with what was written; the runs the
// scan gathers as it reads the table against a second read of it.
#include "partition/partition_table.h"
#include "recovery/recoverability.h"
#include "tests/support/recording_progress.h"
#include "tests/support/recovered_files.h"
#include "tests/support/test_images.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace salvex {
namespace {

namespace fs = std::filesystem;
using Intervals = std::vector<ClusterInterval>;

TEST(ClusterIntervals, OverlappingAndTouchingRunsMergeAndAreCutToTheRangeAsked) {
    ClusterIntervals set;
    set.add(100, 10); // 100..109
    set.add(50, 5);   // 50..54
    set.add(105, 20); // overlaps: 100..124
    set.add(55, 5);   // touches: 50..59
    set.add(200, 0);  // nothing
    set.seal();
    EXPECT_EQ(set.intervals(), (Intervals{{50, 60}, {100, 125}}));
    EXPECT_EQ(set.within(0, 1000), (Intervals{{50, 60}, {100, 125}}));
    EXPECT_EQ(set.within(58, 102), (Intervals{{58, 60}, {100, 102}}));
    EXPECT_EQ(set.within(60, 100), Intervals{});
    EXPECT_EQ(set.within(124, 125), (Intervals{{124, 125}}));
}

TEST(ClusterIntervals, ManyRunsMergedOnTheWayGiveTheSameSet) {
    // Enough runs to be merged in batches while they are added, in reverse order, each pair
    // overlapping: the whole of 0 .. 2 * 200000 + 1.
    ClusterIntervals set;
    for (uint64_t i = 200000; i-- > 0;)
        set.add(2 * i, 3);
    set.add(UINT64_MAX - 5, 100); // cut at the largest cluster number
    set.seal();
    EXPECT_EQ(set.intervals(), (Intervals{{0, 400001}, {UINT64_MAX - 5, UINT64_MAX}}));
}

TEST(ClusterClaims, WhereClaimsOverlapTheNewestHoldsTheCluster) {
    ClusterClaims claims;
    claims.add(0, 100, 10);  // the oldest item: 0..99
    claims.add(20, 10, 30);  // a newer one over 20..29
    claims.add(25, 30, 20);  // 25..54, between the two
    claims.add(200, 10, 10); // elsewhere
    claims.seal();
    // For the oldest item, what both newer ones wrote over is gone.
    EXPECT_EQ(claims.newer_within(0, 100, 10), (Intervals{{20, 55}}));
    // For the one of time 20, only what the newest wrote: 25..29 of its 25..54.
    EXPECT_EQ(claims.newer_within(25, 55, 20), (Intervals{{25, 30}}));
    EXPECT_EQ(claims.newer_within(20, 30, 30), Intervals{});
    EXPECT_EQ(claims.newer_within(200, 210, 10), Intervals{});
    EXPECT_EQ(claims.newer_within(200, 210, 5), (Intervals{{200, 210}}));
}

TEST(ClusterIntervals, MergeOfTwoListsJoinsWhatTouches) {
    EXPECT_EQ(merge_intervals({{0, 5}, {20, 30}}, {{5, 8}, {10, 12}, {25, 40}}),
              (Intervals{{0, 8}, {10, 12}, {20, 40}}));
    EXPECT_EQ(merge_intervals({}, {{1, 2}}), (Intervals{{1, 2}}));
}

TEST(ClusterBitmap, CountsSetBitsLowestFirstAndWhatTheBytesDoNotReachAsInUse) {
    // Clusters 0, 3, 8..15 and 17 in use; 20 clusters, the bytes reach 24.
    const ClusterBitmap bitmap({0x09, 0xFF, 0x02}, 20);
    EXPECT_TRUE(bitmap.in_use(0));
    EXPECT_FALSE(bitmap.in_use(1));
    EXPECT_TRUE(bitmap.in_use(17));
    EXPECT_TRUE(bitmap.in_use(20)); // past the volume
    EXPECT_EQ(bitmap.count_in_use(0, 20), 11u);
    EXPECT_EQ(bitmap.count_in_use(1, 9), 2u);
    EXPECT_EQ(bitmap.count_in_use(16, 30), 11u); // 17 and ten past the volume
    // A bitmap shorter than the volume: the clusters it does not cover count as in use.
    const ClusterBitmap shortOne({0x00}, 20);
    EXPECT_EQ(shortOne.count_in_use(0, 20), 12u);
}

FileData runs_of(RunList runs, uint64_t size) {
    FileData data;
    data.kind = FileData::Kind::NonResident;
    data.runs = std::move(runs);
    data.dataSize = size;
    data.initializedSize = size;
    return data;
}

constexpr uint64_t kCluster = 4096;

struct Owners {
    VolumeRuns runs;
    std::optional<ClusterBitmap> bitmap;
    uint64_t clusters = 1000;

    ClusterOwners get() const { return {runs, bitmap ? &*bitmap : nullptr, clusters}; }
    uint8_t percent(const FileData& data, uint64_t lastWritten = 50) const {
        return recoverable_percent(data, data.dataSize, 8, lastWritten, get());
    }
};

TEST(RecoverablePercent, LiveRunsAndNewerDeletedRunsTakeClustersOlderOnesDoNot) {
    Owners owners;
    owners.runs.live.add(10, 5);          // a live file over 10..14
    owners.runs.deleted.add(30, 10, 100); // a file written later and deleted, over 30..39
    owners.runs.deleted.add(40, 10, 20);  // an older deleted one over 40..49
    owners.runs.live.seal();
    owners.runs.deleted.seal();
    EXPECT_EQ(owners.percent(runs_of({{100, 20}}, 20 * kCluster)), 100);
    // 20 clusters at 0..19: 5 of them live.
    EXPECT_EQ(owners.percent(runs_of({{0, 20}}, 20 * kCluster)), 75);
    // 20 at 30..49: 10 written later by another, 10 older.
    EXPECT_EQ(owners.percent(runs_of({{30, 20}}, 20 * kCluster)), 50);
    // The same clusters, written after both: all of them hold this file's bytes.
    EXPECT_EQ(owners.percent(runs_of({{30, 20}}, 20 * kCluster), 200), 100);
    // One lost cluster of 400 is not rounded up to a whole file.
    EXPECT_EQ(owners.percent(runs_of({{500, 399}, {14, 1}}, 400 * kCluster)), 99);
    EXPECT_EQ(owners.percent(runs_of({{500, 399}, {14, 1}}, 399 * kCluster)), 100);
}

TEST(RecoverablePercent, SparseAndUnwrittenClustersDoNotCountResidentDataIsWhole) {
    Owners owners;
    owners.runs.live.add(0, 10);
    owners.runs.live.seal();
    owners.runs.deleted.seal();
    // A hole over the live clusters' place says nothing.
    EXPECT_EQ(owners.percent(runs_of({{0, 10, true}, {100, 10}}, 20 * kCluster)), 100);
    // Past the initialized size the content reads as zeros: those clusters are not needed.
    FileData tail = runs_of({{100, 10}, {0, 10}}, 20 * kCluster);
    tail.initializedSize = 10 * kCluster;
    EXPECT_EQ(owners.percent(tail), 100);
    // Clusters past the volume's end are lost.
    EXPECT_EQ(owners.percent(runs_of({{995, 10}}, 10 * kCluster)), 50);
    FileData resident;
    resident.residentValue = {1, 2, 3};
    resident.dataSize = 3;
    EXPECT_EQ(owners.percent(resident), 100);
}

TEST(RecoverablePercent, BitmapCountsOnlyWhenSomeLiveRecordWasNotRead) {
    Owners owners;
    owners.runs.live.seal();
    owners.runs.deleted.seal();
    // Clusters 0..7 marked in use, 8..15 free.
    owners.bitmap = ClusterBitmap(
        [] {
            std::vector<uint8_t> bytes(125, 0);
            bytes[0] = 0xFF;
            return bytes;
        }(),
        1000);
    const FileData data = runs_of({{0, 16}}, 16 * kCluster);
    owners.runs.liveComplete = true;
    EXPECT_EQ(owners.percent(data), 100); // marked, but no live item holds them
    owners.runs.liveComplete = false;
    EXPECT_EQ(owners.percent(data), 50);
}

// What the scan says of every deleted file of a volume where new files took part of the space
// the deleted ones left, against what recovering each of them gives.
struct Judged {
    size_t listed = 0;    // deleted files of the manifest the scan lists with a value
    size_t whole = 0;     // of them, those that come back as written
    size_t claimed = 0;   // those judged 100
    size_t claimedOk = 0; // those judged 100 that come back as written
    size_t partly = 0;    // those judged between 1 and 99
};

TEST(Recoverability, OnAReusedVolumeFilesJudgedWholeAreThoseThatComeBackAsWritten) {
    auto volume = test::scan_image_partition("ntfs_reused_space", 1);
    assess_recoverability(*volume.reader, volume.scan);
    const auto byPath = test::items_by_path(volume.scan);

    RecoveryRun run;
    test::recover_root(*volume.reader, volume.scan, "reused", run);
    const fs::path target = test::temp_path("reused");

    for (const auto& [path, item] : byPath) {
        if (!item.folder && !item.deleted) {
            EXPECT_FALSE(item.recoverable) << path;
        }
    }
    // Deleted files by record and name: a deleted folder whose record a new one took leaves its
    // files under a made-up folder.
    std::map<std::pair<uint32_t, std::string>, std::pair<std::string, test::ListedItem>> byRecord;
    for (const auto& [path, item] : byPath) {
        if (!item.folder && item.deleted)
            byRecord[{item.recordNumber, path.substr(path.rfind('/') + 1)}] = {path, item};
    }
    Judged j;
    for (const auto& e :
         test::read_manifest(test::source_data_path("ntfs_reused_space.manifest.tsv"))) {
        if (e.folder || !e.deleted || e.sha256.empty() || e.size == 0 || !e.record)
            continue;
        const auto it = byRecord.find({*e.record, e.path.substr(e.path.rfind('/') + 1)});
        // A deleted file whose record a new file took is not listed at all.
        if (it == byRecord.end() || it->second.second.size != e.size)
            continue;
        const auto& [path, item] = it->second;
        ASSERT_TRUE(item.recoverable) << e.path;
        const fs::path file = target / path.substr(1);
        const bool asWritten = fs::exists(file) && fs::file_size(file) == e.size &&
                               test::sha256_of_file(file.string()) == e.sha256;
        const uint8_t value = *item.recoverable;
        ++j.listed;
        j.whole += asWritten;
        j.claimed += value == 100;
        j.claimedOk += value == 100 && asWritten;
        j.partly += value > 0 && value < 100;
        // A file judged 0 has none of its bytes where they were.
        if (value == 0) {
            EXPECT_FALSE(asWritten) << e.path;
        }
    }
    ASSERT_GT(j.listed, 100u);
    ASSERT_GT(j.whole, 0u);
    ASSERT_GT(j.claimed, 0u);
    // The image is only a test when both kinds are many.
    EXPECT_GT(j.listed - j.whole, j.listed / 10);
    EXPECT_GT(j.partly, 0u);
    const double precision = double(j.claimedOk) / double(j.claimed);
    const double recall = double(j.claimedOk) / double(j.whole);
    std::cout << "deleted files listed " << j.listed << ", as written " << j.whole
              << ", judged 100 % " << j.claimed << ", of them as written " << j.claimedOk
              << ": precision " << precision << ", recall " << recall << '\n';
    EXPECT_GE(precision, 0.97);
    EXPECT_GE(recall, 0.97);
}

TEST(Recoverability, NoValueWithoutAMapOfTheTableOrWhenStopped) {
    auto volume = test::scan_image_partition("ntfs_reused_space", 1);
    SilentProgress progress;
    const StopFlag stop{1};
    assess_recoverability(*volume.reader, volume.scan, progress, stop);
    for (const FileNode& f : volume.scan.items.files)
        EXPECT_FALSE(f.recoverable) << f.name;
    volume.scan.mftMap = {};
    assess_recoverability(*volume.reader, volume.scan);
    for (const FileNode& f : volume.scan.items.files)
        EXPECT_FALSE(f.recoverable) << f.name;
}

// A Standard Scan of partition `number` (from 1) that hands the records it reads to `observer`.
NtfsScan scan_partition(const SectorReader& reader, size_t number, RecordObserver& observer,
                        ProgressSink& progress, StopFlag& stop) {
    PartitionList partitions;
    list_partitions(reader, partitions);
    NtfsScan scan;
    EXPECT_GE(partitions.size(), number);
    if (partitions.size() >= number) {
        const PartitionInfo& p = partitions.entries[number - 1];
        EXPECT_EQ(standard_scan(reader, p.start, p.end(), scan, progress, stop, &observer),
                  ScanOutcome::Completed);
    }
    return scan;
}

struct OnePassChecked {
    size_t judged = 0;         // deleted files given a value
    size_t partly = 0;         // of them, those judged below 100
    size_t liveIncomplete = 0; // volumes where some live record could not be read whole
};

// The runs a scan gathered while it read the table against those a second read of the table
// gives, and the judgement of every file by each.
void expect_one_pass_as_two(const SectorReader& reader, size_t partition, OnePassChecked& checked) {
    RunCollector gathered;
    SilentProgress progress;
    StopFlag stop{0};
    NtfsScan scan = scan_partition(reader, partition, gathered, progress, stop);
    const auto runs = gathered.finish(reader, scan);
    ASSERT_TRUE(runs);
    EXPECT_FALSE(gathered.finish(reader, scan)); // handed out once
    const auto read = collect_volume_runs(reader, scan, progress, stop);
    ASSERT_TRUE(read);
    EXPECT_EQ(runs->live.intervals(), read->live.intervals());
    EXPECT_EQ(runs->deleted.newer_within(0, UINT64_MAX, 0),
              read->deleted.newer_within(0, UINT64_MAX, 0));
    EXPECT_EQ(runs->lastWritten, read->lastWritten);
    EXPECT_EQ(runs->liveComplete, read->liveComplete);
    checked.liveIncomplete += !runs->liveComplete;

    NtfsScan twoPass = scan;
    assess_recoverability(reader, scan, runs, progress, stop);
    assess_recoverability(reader, twoPass);
    ASSERT_EQ(scan.items.files.size(), twoPass.items.files.size());
    for (size_t i = 0; i < scan.items.files.size(); ++i) {
        const FileNode& file = scan.items.files[i];
        EXPECT_EQ(file.recoverable, twoPass.items.files[i].recoverable) << file.name;
        checked.judged += file.recoverable.has_value();
        checked.partly += file.recoverable.value_or(100) < 100;
    }
}

TEST(Recoverability, RunsGatheredDuringTheScanJudgeEveryFileAsASecondReadOfTheTableDoes) {
    OnePassChecked checked;
    // The demo disk's two NTFS volumes; a volume where new files took freed space; a damaged
    // record 0 (the table mapped from $MFTMirr); a zeroed extension record of $MFT (a gap in the
    // map); run lists reaching past the volume or repeated; damaged sizes, root and parents; a
    // table in many fragments; an attribute list.
    for (const auto& [image, partition] : std::vector<std::pair<std::string, size_t>>{
             {"demo", 1},
             {"demo", 3},
             {"ntfs_reused_space", 1},
             {"damaged_mft_record0", 1},
             {"damaged_mft_extension", 1},
             {"damaged_mft_runs", 1},
             {"damaged_mft_repeat", 1},
             {"damaged_sizes", 1},
             {"damaged_root", 1},
             {"damaged_cycle", 1},
             {"ntfs_fragmented_mft", 1},
             {"ntfs_attribute_list", 1},
         }) {
        SCOPED_TRACE(image + " partition " + std::to_string(partition));
        expect_one_pass_as_two(*test::open_image(image), partition, checked);
    }

    // A live file's record torn (its second sector zeroed: the check value gone): the live runs
    // are not all known, and $Bitmap decides between them.
    const auto reused = test::scan_image_partition("ntfs_reused_space", 1);
    const auto live =
        std::find_if(reused.scan.items.files.begin(), reused.scan.items.files.end(),
                     [](const FileNode& f) { return !f.deleted && f.recordNumber >= 64; });
    ASSERT_NE(live, reused.scan.items.files.end());
    const size_t before = checked.liveIncomplete;
    expect_one_pass_as_two(
        *test::open_image_file(test::damaged_copy("ntfs_reused_space", {live->recordSector + 1})),
        1, checked);
    EXPECT_EQ(checked.liveIncomplete, before + 1);

    EXPECT_GT(checked.judged, 100u);
    EXPECT_GT(checked.partly, 0u);
}

TEST(Recoverability, AScanStoppedInItsRecordLoopHandsOutNoRuns) {
    const auto reader = test::open_image("ntfs_reused_space");
    RunCollector gathered;
    test::RecordingProgress progress;
    StopFlag stop{0};
    // Stop once the loop has listed a few files: the table is read only in part.
    size_t found = 0;
    progress.onCounter = [&](std::string_view label, std::string_view) {
        if (label == "File(s) Found" && ++found == 20)
            stop.store(1);
    };
    NtfsScan scan = scan_partition(*reader, 1, gathered, progress, stop);
    ASSERT_LT(scan.items.files.size() + scan.items.folders.size(), scan.mftMap.record_count() / 2)
        << "the scan was not stopped early";
    EXPECT_FALSE(gathered.finish(*reader, scan));
    // What the stopped scan listed is judged by a second read of the whole table.
    NtfsScan twoPass = scan;
    assess_recoverability(*reader, scan, gathered.finish(*reader, scan), progress, stop);
    assess_recoverability(*reader, twoPass);
    size_t judged = 0;
    for (size_t i = 0; i < scan.items.files.size(); ++i) {
        EXPECT_EQ(scan.items.files[i].recoverable, twoPass.items.files[i].recoverable);
        judged += scan.items.files[i].recoverable.has_value();
    }
    EXPECT_GT(judged, 0u);
}

} // namespace
} // namespace salvex
