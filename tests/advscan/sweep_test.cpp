// The sector sweep: what it takes for a boot sector, a file record and an index block.
#include "advscan/sector_sweep.h"
#include "ntfs/mft_record.h"
#include "tests/support/ntfs_builder.h"
#include "tests/support/recording_progress.h"

#include <cstring>
#include <gtest/gtest.h>
#include <tuple>

namespace salvex {
namespace {

using test::Bytes;
using test::RecordBuilder;

struct Sweep {
    std::unique_ptr<test::MemoryDevice> device = std::make_unique<test::MemoryDevice>(20'000);
    HitLists hits;
    test::RecordingProgress progress;
    SectorReader reader{AccessMode::Device}; // holds the device once the sweep has run

    void put_record(Lba at, const RecordBuilder& record) { device->write(at, record.build()); }
    void put_boot(Lba at) { device->write(at, test::ntfs_boot_sector({.totalSectors = 1000})); }
    void run(Lba start, uint64_t count, uint32_t batch = 60) {
        reader.open_device(std::move(device));
        StopFlag stop{0};
        sweep_sectors(reader, start, count, batch, hits, progress, stop);
    }
};

// An attribute named $I30 of `type` with `body` after a header of `header` bytes.
Bytes i30_attribute(uint32_t type, bool nonResident, size_t header, const Bytes& body) {
    Bytes a(header, 0);
    a[0] = static_cast<uint8_t>(type);
    a[1] = static_cast<uint8_t>(type >> 8);
    a[8] = nonResident ? 1 : 0;
    a[9] = 4; // name length
    a[0x0A] = static_cast<uint8_t>(header);
    for (const char c : std::string("$I30")) {
        a.push_back(static_cast<uint8_t>(c));
        a.push_back(0);
    }
    a.insert(a.end(), body.begin(), body.end());
    while (a.size() % 8)
        a.push_back(0);
    a[4] = static_cast<uint8_t>(a.size());
    a[5] = static_cast<uint8_t>(a.size() >> 8);
    return a;
}

// An index root whose first entry names `self` as its parent.
Bytes index_root(uint32_t self) {
    Bytes body(0x80, 0); // value from 0x20: header 0x20, entries from 0x40 of the attribute
    const size_t entry = 0x40 - 0x20;
    body[entry + 0x10] = static_cast<uint8_t>(self);
    body[entry + 0x11] = static_cast<uint8_t>(self >> 8);
    body[entry + 0x50] = 1; // a name
    Bytes a(0x18, 0);
    a[0] = 0x90;
    a[9] = 4;
    a[0x0A] = 0x18;
    for (const char c : std::string("$I30")) {
        a.push_back(static_cast<uint8_t>(c));
        a.push_back(0);
    }
    // The value starts at 0x20, so the first entry lies at 0x40 of the attribute.
    a.insert(a.end(), body.begin(), body.end());
    a[4] = static_cast<uint8_t>(a.size());
    return a;
}

Bytes index_allocation_over(const Bytes& body) {
    Bytes a = i30_attribute(0xA0, true, 0x40, {});
    const size_t runsAt = a.size();
    a.insert(a.end(), body.begin(), body.end());
    while (a.size() % 8)
        a.push_back(0);
    a[0x20] = static_cast<uint8_t>(runsAt);
    a[4] = static_cast<uint8_t>(a.size());
    return a;
}

Bytes index_allocation(uint64_t firstCluster) {
    return index_allocation_over(test::encode_runs({{2, firstCluster}}));
}

// An index block of `bytes` at VCN `vcn` whose first entry (at 0x40) names `owner` as its
// parent.
void put_index_block(test::MemoryDevice& disk, Lba at, uint32_t owner, uint16_t bytes = 512,
                     uint8_t vcn = 0) {
    uint8_t* s = disk.sector(at);
    std::memcpy(s, "INDX", 4);
    s[0x10] = vcn;
    s[0x18] = 0x28;                        // first entry at 0x40: 0x28 past the node header at 0x18
    const uint16_t entries = bytes - 0x18; // the entries take the rest of the block
    s[0x20] = static_cast<uint8_t>(entries);
    s[0x21] = static_cast<uint8_t>(entries >> 8);
    std::memcpy(s + 0x50, &owner, 4); // the first entry's parent
}

TEST(Sweep, TheLastBatchIsAlwaysWhole) {
    Sweep sweep;
    sweep.put_boot(1059);
    sweep.put_boot(1060);
    sweep.run(1000, 10);
    ASSERT_EQ(sweep.hits.bootSectors.size(), 1u);
    EXPECT_EQ(sweep.hits.bootSectors[0].sector, 1059u);
}

TEST(Sweep, EachSectorIsReadOnceAndRecordsAcrossReadsAreWhole) {
    Sweep sweep;
    const test::MemoryDevice* device = sweep.device.get();
    // Records of two sectors whose second sector comes with the next read, at every place
    // around the ends of the reads.
    std::vector<Lba> placed;
    for (const Lba at : {Lba{237}, Lba{239}, Lba{246}, Lba{479}, Lba{486}, Lba{9'999}}) {
        sweep.put_record(
            at, RecordBuilder().file_name(5, u"f" + std::u16string(1, u'a' + placed.size())));
        placed.push_back(at);
    }
    sweep.run(0, 10'000);
    std::vector<Lba> found;
    for (const auto& f : sweep.hits.files)
        found.push_back(f.sector);
    EXPECT_EQ(found, placed);
    // The reads follow one another without overlapping, and together cover the range.
    uint64_t next = 0;
    for (const auto& read : device->reads()) {
        EXPECT_EQ(read.offset, next);
        next = read.offset + read.length;
        EXPECT_LE(read.length, size_t{256 + 8} * kSectorSize);
    }
    EXPECT_GE(next, uint64_t{10'000} * kSectorSize);
}

TEST(Sweep, ProgressTextComesWithEvery88thBatch) {
    Sweep few;
    few.run(0, 87 * 10, 10);
    EXPECT_TRUE(few.progress.statuses.empty());
    Sweep enough;
    enough.run(0, 88 * 10, 10);
    ASSERT_EQ(enough.progress.statuses.size(), 1u);
    EXPECT_EQ(enough.progress.statuses[0], "Reading Sector 870 Of 880");
}

TEST(Sweep, RecordsAndBlocksAreTakenOnlyWhenTheyQualify) {
    Sweep sweep;
    sweep.put_record(100, RecordBuilder().file_name(5, u"kept.txt").resident_data(Bytes(7)));
    sweep.put_record(102, RecordBuilder().file_name(5, u"signed.txt"));
    sweep.device->sector(102)[510] = 0x55; // the signature of a boot sector: not a record
    sweep.device->sector(102)[511] = 0xAA;
    sweep.put_record(104, RecordBuilder().file_name(5, u"big.txt"));
    sweep.device->sector(104)[mft_record::kFixupCount] = 9; // a 4,096-byte record
    sweep.put_record(106, RecordBuilder().file_name(5, u"linux.txt", NameSpace::Posix));
    sweep.put_record(108, RecordBuilder().base_record(42).file_name(5, u"link.txt"));
    sweep.put_record(110, RecordBuilder(7).file_name(5, u"odd.txt")); // flags beyond 3
    sweep.put_record(112, RecordBuilder(test::kDeletedFile).file_name(5, u"gone.txt"));
    sweep.run(0, 200);
    std::vector<std::string> names;
    for (const auto& f : sweep.hits.files)
        names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<std::string>{"kept.txt", "linux.txt", "gone.txt"}));
    EXPECT_EQ(sweep.hits.files[0].sector, 100u);
    EXPECT_EQ(sweep.hits.files[0].dataSize, 7u);
    EXPECT_TRUE(sweep.hits.files[2].deleted);
    EXPECT_EQ(sweep.progress.counters["File(s) Found"], "3");
}

TEST(Sweep, RecordsAreJudgedByTheirFixupAndHeaderNotTheirAllocatedSize) {
    Sweep sweep;
    // The allocated size repeats what every record of the volume has: a wrong one is harmless.
    sweep.put_record(100, RecordBuilder().file_name(5, u"wrong-size.txt").resident_data(Bytes(9)));
    sweep.device->sector(100)[mft_record::kAllocatedSize] = 0x00;
    sweep.device->sector(100)[mft_record::kAllocatedSize + 1] = 0x10;
    // A header that cannot be true: the used part runs past the record.
    sweep.put_record(102, RecordBuilder().file_name(5, u"overused.txt"));
    sweep.device->sector(102)[mft_record::kUsedSize + 1] = 0x08;
    // Torn after its first sector: the name and a small $DATA lie whole in the first sector.
    sweep.put_record(104, RecordBuilder().file_name(5, u"torn-late.txt").resident_data(Bytes(5)));
    sweep.device->sector(105)[510] = 0x11;
    // Torn after its first sector, its $DATA running into the second: listed without a size.
    sweep.put_record(106, RecordBuilder().file_name(5, u"torn-data.txt").resident_data(Bytes(600)));
    sweep.device->sector(107)[511] = 0x11;
    // Torn in its first sector: the update sequence array itself is not to be trusted.
    sweep.put_record(108, RecordBuilder().file_name(5, u"torn-early.txt"));
    sweep.device->sector(108)[510] = 0x11;
    sweep.run(0, 200);
    std::vector<std::pair<std::string, uint64_t>> files;
    for (const auto& f : sweep.hits.files)
        files.push_back({f.name, f.dataSize});
    EXPECT_EQ(files, (std::vector<std::pair<std::string, uint64_t>>{
                         {"wrong-size.txt", 9}, {"torn-late.txt", 5}, {"torn-data.txt", 0}}));
}

TEST(Sweep, FolderRecordsLearnTheirNumbersAndIndexClusters) {
    Sweep sweep;
    sweep.put_record(100, RecordBuilder(test::kFolderInUse).file_name(5, u"."));
    sweep.put_record(102, RecordBuilder(test::kFolderInUse).file_name(5, u"$EXTEND"));
    sweep.put_record(104, RecordBuilder(test::kFolderInUse)
                              .file_name(5, u"Docs")
                              .raw(index_root(64))
                              .raw(index_allocation(12345)));
    sweep.put_record(106, RecordBuilder(test::kDeletedFolder).file_name(5, u"Plain"));
    // An empty folder whose header states its number (an index root without entries names none).
    sweep.put_record(108, RecordBuilder(test::kFolderInUse).file_name(5, u"Empty"));
    sweep.device->sector(108)[mft_record::kRecordNumber] = 70;
    // A run list whose first run starts 16 clusters before the volume names no index cluster.
    sweep.put_record(110, RecordBuilder(test::kFolderInUse)
                              .file_name(5, u"Negative")
                              .raw(index_root(71))
                              .raw(index_allocation_over({0x11, 0x02, 0xF0, 0x00})));
    sweep.run(0, 200);
    // Number, first index cluster, deleted.
    std::vector<std::tuple<uint32_t, int64_t, bool>> folders;
    for (const auto& f : sweep.hits.folders)
        folders.push_back({f.mftNumber, f.firstIndexCluster, f.deleted});
    EXPECT_EQ(folders, (std::vector<std::tuple<uint32_t, int64_t, bool>>{{5, 0, false},
                                                                         {11, 0, false},
                                                                         {64, 12345, false},
                                                                         {0, 0, true},
                                                                         {70, 0, false},
                                                                         {71, 0, false}}));
}

TEST(Sweep, IndexBlocksOfTheSystemRecordsAreDropped) {
    Sweep sweep;
    for (const auto& [at, owner] : {std::pair<Lba, uint32_t>{200, 4}, {300, 5}, {400, 0xFFFFFFFF}})
        put_index_block(*sweep.device, at, owner, 4096, 3);
    sweep.run(0, 500);
    ASSERT_EQ(sweep.hits.indexBlocks.size(), 1u);
    EXPECT_EQ(sweep.hits.indexBlocks[0].sector, 300u);
    EXPECT_EQ(sweep.hits.indexBlocks[0].owner, 5u);
    EXPECT_EQ(sweep.hits.indexBlocks[0].vcn, 3u);
    EXPECT_EQ(sweep.hits.indexBlocks[0].sizeInSectors, 8u);
    EXPECT_EQ(sweep.hits.indxSectors, (std::vector<Lba>{200, 300, 400}));
}

TEST(Sweep, UnreadableSectorsAreZerosNotWhatTheLastReadLeft) {
    Sweep sweep;
    sweep.put_record(100, RecordBuilder().file_name(5, u"kept.txt"));
    sweep.put_record(200, RecordBuilder().file_name(5, u"half-read.txt"));
    sweep.device->fail_sector(201);
    put_index_block(*sweep.device, 300, 64);
    // Everything from sector 1,000 on is unreadable: each later read fails whole, and the
    // sweep's buffer still holds the first read's record and block at their places.
    for (Lba s = 1000; s < 20'000; ++s)
        sweep.device->fail_sector(s);
    sweep.run(0, 20'000);
    std::vector<std::pair<std::string, Lba>> files;
    for (const auto& f : sweep.hits.files)
        files.push_back({f.name, f.sector});
    EXPECT_EQ(files, (std::vector<std::pair<std::string, Lba>>{{"kept.txt", 100},
                                                               {"half-read.txt", 200}}));
    ASSERT_EQ(sweep.hits.indexBlocks.size(), 1u);
    EXPECT_EQ(sweep.hits.indexBlocks[0].sector, 300u);
    EXPECT_EQ(sweep.hits.indxSectors, (std::vector<Lba>{300}));
}

TEST(Sweep, StopEndsAtTheNextBatch) {
    Sweep sweep;
    sweep.put_boot(5000);
    StopFlag stop{0};
    sweep.progress.onCounter = [&](std::string_view label, std::string_view) {
        if (label == "Current Sector")
            stop.store(1);
    };
    SectorReader reader(AccessMode::Device);
    reader.open_device(std::move(sweep.device));
    sweep_sectors(reader, 0, 10'000, 60, sweep.hits, sweep.progress, stop);
    EXPECT_TRUE(sweep.hits.bootSectors.empty());
    EXPECT_EQ(stop.load(), 0);
}

} // namespace
} // namespace salvex
