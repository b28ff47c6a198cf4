// Locating and copying file contents: resident values, runs, sparse runs, unreadable sectors,
// attribute lists and compressed units.
#include "ntfs/file_data.h"
#include "ntfs/lznt1.h"
#include "ntfs/mft_record.h"
#include "recovery/content_copy.h"
#include "tests/support/ntfs_builder.h"

#include <cstring>
#include <gtest/gtest.h>

namespace salvex {
namespace {

using test::Bytes;
using test::RecordBuilder;

constexpr Lba kStart = 128;

// A reference to record `n` as an extension record's header gives it: number and sequence
// number (the builder's records have sequence number 1).
uint64_t reference(uint32_t n, uint16_t sequence = 1) {
    return n | uint64_t{sequence} << 48;
}

class Content : public ::testing::Test {
protected:
    Content()
        : disk_(std::make_unique<test::MemoryDevice>(kStart + 100'000)),
          volume_(*disk_, kStart, {.totalSectors = 90'000, .mftCluster = 4}, 64) {
        info_.fsStart = kStart;
        info_.sectorsPerCluster = 8;
        info_.mftStart = volume_.mft_sector();
    }

    // Fills cluster `lcn` with bytes derived from `seed`.
    Bytes fill_cluster(uint64_t lcn, uint8_t seed) {
        Bytes bytes(4096);
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(seed + i * 13);
        disk_->write(volume_.cluster_sector(lcn), bytes);
        return bytes;
    }

    // Opens the disk for reading: nothing more can be written to it.
    void open() {
        if (disk_)
            reader_.open_device(std::move(disk_));
        scan_.volume = info_;
    }
    // Maps the $MFT, as a Standard Scan (or a candidate whose $MFT is known) does.
    void map_mft() {
        open();
        scan_.mftMap = build_mft_map(reader_, info_);
    }

    // The item of record `record` (its stream `stream`), its data held there.
    FileNode item(uint32_t record, uint64_t size, const std::string& stream = "") const {
        FileNode file;
        file.recordNumber = record;
        file.recordSector = volume_.record_sector(record);
        file.size = size;
        file.stream = stream;
        return file;
    }

    std::optional<FileData> locate(const FileNode& file) {
        open();
        return locate_file_data(reader_, scan_, file);
    }

    Bytes copy(const FileNode& file) {
        Bytes out;
        const auto data = locate(file);
        if (!data)
            return out;
        copy_file_content(
            reader_, info_, *data, file.size,
            [&](ByteView b) { return out.insert(out.end(), b.begin(), b.end()), true; }, {});
        return out;
    }
    Bytes copy(uint32_t record, uint64_t size) { return copy(item(record, size)); }

    std::unique_ptr<test::MemoryDevice> disk_;
    test::NtfsVolumeBuilder volume_;
    VolumeInfo info_;
    SectorReader reader_{AccessMode::Device};
    NtfsScan scan_;
};

TEST_F(Content, ResidentValueIsWrittenAsItIs) {
    const Bytes value(700, 'r');
    volume_.put(20, RecordBuilder()
                        .file_name(5, u"r.txt")
                        .resident_data(Bytes(3), u"s")
                        .resident_data(value)); // an alternate stream before the content
    EXPECT_EQ(copy(20, 700), value);
}

TEST_F(Content, RecordWithoutUnnamedDataHasNoContent) {
    volume_.put(20, RecordBuilder().file_name(5, u"x").resident_data(Bytes(5), u"stream"));
    EXPECT_FALSE(locate(item(20, 5)).has_value());
}

TEST_F(Content, FragmentedRunsAreReadInOrderAndCutAtTheSize) {
    const Bytes a = fill_cluster(300, 1);
    const Bytes b = fill_cluster(200, 2); // the second run lies before the first
    volume_.put(20, RecordBuilder().file_name(5, u"f").non_resident_data(
                        test::encode_runs({{1, 300}, {1, 200}}), 5000));
    const Bytes out = copy(20, 5000);
    ASSERT_EQ(out.size(), 5000u);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), out.begin()));
    EXPECT_TRUE(std::equal(b.begin(), b.begin() + 904, out.begin() + 4096));
}

TEST_F(Content, SparseRunsAndUnreadableSectorsAreZeros) {
    const Bytes a = fill_cluster(300, 1);
    const Bytes c = fill_cluster(301, 3);
    volume_.put(20, RecordBuilder().file_name(5, u"f").non_resident_data(
                        test::encode_runs({{1, 300}, {2, std::nullopt}, {1, 301}}), 4 * 4096));
    volume_.disk().fail_sector(volume_.cluster_sector(301) + 1);
    const Bytes out = copy(20, 4 * 4096);
    ASSERT_EQ(out.size(), 4u * 4096);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), out.begin()));
    EXPECT_TRUE(
        std::all_of(out.begin() + 4096, out.begin() + 3 * 4096, [](uint8_t v) { return v == 0; }));
    EXPECT_TRUE(std::equal(c.begin(), c.begin() + 512, out.begin() + 3 * 4096));
    EXPECT_TRUE(std::all_of(out.begin() + 3 * 4096 + 512, out.begin() + 3 * 4096 + 1024,
                            [](uint8_t v) { return v == 0; }));
    EXPECT_TRUE(std::equal(c.begin() + 1024, c.end(), out.begin() + 3 * 4096 + 1024));
}

// A file of three clusters whose run list continues in records 31 and 32: cluster 0 in the base
// record 30, cluster 1 in 31, cluster 2 in 32. `listed` puts them in the attribute list.
class Extensions : public Content {
protected:
    Extensions() {
        a_ = fill_cluster(300, 1);
        b_ = fill_cluster(400, 2);
        c_ = fill_cluster(500, 3);
    }
    void put_base(bool listed, uint16_t flags = test::kFileInUse) {
        RecordBuilder base(flags);
        base.file_name(5, u"big");
        if (listed)
            base.attribute_list(
                {{kFileName, 30}, {kData, 30, 0, 5}, {kData, 31, 1, 1}, {kData, 32, 2, 1}});
        volume_.put(30, base.non_resident_data(test::encode_runs({{1, 300}}), 3 * 4096, 0, u"", 5));
    }
    void put_part(uint32_t n, uint64_t base, uint64_t vcn, uint64_t lcn) {
        volume_.put(n, RecordBuilder().base_record(base).non_resident_data(
                           test::encode_runs({{1, lcn}}), 0, vcn, u"", 1));
    }
    // Sets the sequence number in record n's header.
    void set_sequence(uint32_t n, uint16_t sequence) {
        uint8_t* header = volume_.disk().sector(volume_.record_sector(n));
        header[mft_record::kSequence] = static_cast<uint8_t>(sequence);
        header[mft_record::kSequence + 1] = static_cast<uint8_t>(sequence >> 8);
    }
    void expect_whole(const Bytes& out) const {
        ASSERT_EQ(out.size(), 3u * 4096);
        EXPECT_TRUE(std::equal(a_.begin(), a_.end(), out.begin()));
        EXPECT_TRUE(std::equal(b_.begin(), b_.end(), out.begin() + 4096));
        EXPECT_TRUE(std::equal(c_.begin(), c_.end(), out.begin() + 2 * 4096));
    }
    Bytes a_, b_, c_;
};

TEST_F(Extensions, PartsAreJoinedInClusterOrderOnceTheMftIsMapped) {
    // The attribute list names the part at cluster 2 before the one at cluster 1.
    volume_.put(30,
                RecordBuilder()
                    .file_name(5, u"big")
                    .attribute_list(
                        {{kFileName, 30}, {kData, 30, 0, 5}, {kData, 32, 2, 1}, {kData, 31, 1, 1}})
                    .non_resident_data(test::encode_runs({{1, 300}}), 3 * 4096, 0, u"", 5));
    put_part(31, reference(30), 1, 400);
    put_part(32, reference(30), 2, 500);
    // Without the map only the first part is known.
    EXPECT_EQ(copy(30, 3 * 4096).size(), 4096u);
    map_mft();
    expect_whole(copy(30, 3 * 4096));
}

TEST_F(Extensions, ReusedRecordsListedInTheAttributeListAddNothing) {
    put_base(true);
    put_part(31, reference(44), 1, 400);    // now an extension of another file
    put_part(32, reference(30, 7), 2, 500); // of an earlier file that had record 30
    map_mft();
    const Bytes out = copy(30, 3 * 4096);
    ASSERT_EQ(out.size(), 4096u); // nothing joins the first part: the rest is not this file's
    EXPECT_TRUE(std::equal(a_.begin(), a_.end(), out.begin()));
}

TEST_F(Extensions, RecordsAnAdvanceScanFoundNamingTheBaseAreJoinedWithoutAMap) {
    put_base(false);
    put_part(31, reference(30), 1, 400);
    put_part(32, reference(30), 2, 500);
    put_part(33, reference(30, 2), 1, 600); // names an earlier life of record 30
    put_part(34, reference(45), 1, 700);    // another file's, listed under 30 by mistake
    scan_.extensionRecords[30] = {volume_.record_sector(34), volume_.record_sector(33),
                                  volume_.record_sector(32), volume_.record_sector(31)};
    expect_whole(copy(30, 3 * 4096));
}

TEST_F(Extensions, ADeletedFilesExtensionsNameTheSequenceNumberBeforeItsDeletion) {
    // Freeing record 30 raised its sequence number from 1 to 2; its extension records still
    // name 1. While record 30 is in use with sequence number 2, they belong to no one.
    put_base(true, test::kDeletedFile);
    put_part(31, reference(30), 1, 400);
    put_part(32, reference(30), 2, 500);
    set_sequence(30, 2);
    map_mft();
    expect_whole(copy(30, 3 * 4096));

    put_base(true, test::kFileInUse);
    set_sequence(30, 2);
    EXPECT_EQ(copy(30, 3 * 4096).size(), 4096u);
}

TEST_F(Extensions, TheStartOfTheDataInAnExtensionRecordGivesTheSize) {
    // Record 31 holds clusters 0 and 1 and the sizes; the base record 30 holds cluster 2.
    volume_.put(30, RecordBuilder()
                        .file_name(5, u"big")
                        .attribute_list({{kData, 31, 0, 1}, {kData, 30, 2, 5}})
                        .non_resident_data(test::encode_runs({{1, 500}}), 0, 2, u"", 5));
    volume_.put(31, RecordBuilder()
                        .base_record(reference(30))
                        .non_resident_data(test::encode_runs({{1, 300}, {1, 400}}), 3 * 4096 - 100,
                                           0, u"", 1));
    map_mft();
    FileNode file = item(31, 3 * 4096 - 100);
    file.recordNumber = 30;
    const auto data = locate(file);
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(data->dataSize, 3u * 4096 - 100);
    const Bytes out = copy(file);
    ASSERT_EQ(out.size(), 3u * 4096 - 100);
    EXPECT_TRUE(std::equal(c_.begin(), c_.end() - 100, out.begin() + 2 * 4096));
}

TEST_F(Extensions, ANamedStreamIsReadFromItsOwnPartsOnly) {
    // The file's data in cluster 300; its stream "thumb" in clusters 400 (base record) and 500
    // (extension record 31, which also holds a part of another stream).
    volume_.put(
        30, RecordBuilder()
                .file_name(5, u"photo")
                .attribute_list({{kData, 30, 0, 5},
                                 {kData, 30, 0, 6, 5},
                                 {kData, 31, 1, 1, 5},
                                 {kData, 31, 1, 2, 5}})
                .non_resident_data(test::encode_runs({{1, 300}}), 4096, 0, u"", 5)
                .non_resident_data(test::encode_runs({{1, 400}}), 2 * 4096 - 10, 0, u"thumb", 6));
    volume_.put(31, RecordBuilder()
                        .base_record(reference(30))
                        .non_resident_data(test::encode_runs({{1, 500}}), 0, 1, u"thumb", 1)
                        .non_resident_data(test::encode_runs({{1, 600}}), 0, 1, u"other", 2));
    map_mft();
    const Bytes out = copy(item(30, 2 * 4096 - 10, "thumb"));
    ASSERT_EQ(out.size(), 2u * 4096 - 10);
    EXPECT_TRUE(std::equal(b_.begin(), b_.end(), out.begin()));
    EXPECT_TRUE(std::equal(c_.begin(), c_.end() - 10, out.begin() + 4096));
    EXPECT_EQ(copy(item(30, 4096)), a_);
}

TEST_F(Content, AResidentStreamAndANameWithAColonThatIsNoStream) {
    volume_.put(20, RecordBuilder()
                        .file_name(5, u"notes")
                        .resident_data(Bytes(5, 'u'))
                        .resident_data(Bytes(9, 's'), u"Zone.Identifier"));
    volume_.put(21, RecordBuilder().file_name(5, u"a:b").resident_data(Bytes(7, 'p')));
    EXPECT_EQ(copy(item(20, 9, "Zone.Identifier")), Bytes(9, 's'));
    EXPECT_EQ(copy(item(20, 5)), Bytes(5, 'u'));
    // A snapshot calls the part after the colon a stream; the record has none of that name.
    EXPECT_EQ(copy(item(21, 7, "b")), Bytes(7, 'p'));
}

// One LZNT1 chunk: "abcdefgh", then a copy of 4,088 bytes from 8 back.
Bytes pattern_chunk() {
    Bytes chunk = {0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x01, 0xF5, 0x7F};
    const uint16_t header = 0xB000 | static_cast<uint16_t>(chunk.size() - 1);
    chunk.insert(chunk.begin(), {static_cast<uint8_t>(header), static_cast<uint8_t>(header >> 8)});
    return chunk;
}

TEST(Lznt1, BackReferencesAndStoredChunks) {
    Bytes in = pattern_chunk();
    Bytes stored(4096, 'z');
    in.push_back(0xFF);
    in.push_back(0x3F); // a stored chunk of 4,096 bytes
    in.insert(in.end(), stored.begin(), stored.end());
    in.push_back(0);
    in.push_back(0);
    Bytes out(3 * 4096, 0xEE);
    EXPECT_EQ(lznt1_decompress(in, out), 2u * 4096);
    for (size_t i = 0; i < 4096; ++i)
        ASSERT_EQ(out[i], 'a' + i % 8) << i;
    EXPECT_TRUE(
        std::all_of(out.begin() + 4096, out.begin() + 8192, [](uint8_t v) { return v == 'z'; }));
    EXPECT_EQ(out[8192], 0xEE);
}

TEST(Lznt1, DamagedChunksStopWithoutReadingOutside) {
    Bytes in = pattern_chunk();
    in[in.size() - 1] = 0xFF; // displacement far before the start
    Bytes out(4096);
    lznt1_decompress(in, out);
    const Bytes truncated(in.begin(), in.begin() + 6);
    EXPECT_EQ(lznt1_decompress(truncated, out), 0u);
    EXPECT_EQ(lznt1_decompress(Bytes{}, out), 0u);
}

TEST_F(Content, CompressedUnitsAreDecompressed) {
    // Unit 0: one cluster of LZNT1 on disk and 15 sparse; unit 1: all 16 clusters stored;
    // unit 2: no cluster on disk at all.
    Bytes compressed = pattern_chunk();
    compressed.resize(4096, 0);
    disk_->write(volume_.cluster_sector(1000), compressed);
    std::vector<Bytes> stored;
    for (uint64_t i = 0; i < 16; ++i)
        stored.push_back(fill_cluster(2000 + i, static_cast<uint8_t>(i)));
    const uint64_t size = 2 * 65536 + 1000;
    volume_.put(
        20, RecordBuilder().file_name(5, u"c").non_resident_data(
                test::encode_runs({{1, 1000}, {15, std::nullopt}, {16, 2000}, {16, std::nullopt}}),
                size, 0, u"", 0, 0x0001));
    // The compression unit field: 2^4 clusters.
    const Lba at = volume_.record_sector(20);
    test::RecordBytes raw{};
    std::memcpy(raw.data(), volume_.disk().sector(at), 512);
    std::memcpy(raw.data() + 512, volume_.disk().sector(at + 1), 512);
    apply_fixup(raw);
    const size_t data = find_unnamed_attribute(raw, kData)->bytes.data() - raw.data();
    volume_.disk().sector(at)[data + attribute::kCompressionUnit] = 4;

    const Bytes out = copy(20, size);
    ASSERT_EQ(out.size(), size);
    for (size_t i = 0; i < 4096; ++i)
        ASSERT_EQ(out[i], 'a' + i % 8) << i;
    EXPECT_TRUE(
        std::all_of(out.begin() + 4096, out.begin() + 65536, [](uint8_t v) { return v == 0; }));
    for (size_t k = 0; k < 16; ++k)
        ASSERT_TRUE(std::equal(stored[k].begin(), stored[k].end(), out.begin() + 65536 + k * 4096))
            << k;
    EXPECT_TRUE(std::all_of(out.begin() + 2 * 65536, out.end(), [](uint8_t v) { return v == 0; }));
}

TEST_F(Content, EncryptedDataIsMarked) {
    fill_cluster(300, 1);
    volume_.put(20, RecordBuilder().file_name(5, u"e").non_resident_data(
                        test::encode_runs({{1, 300}}), 100, 0, u"", 0, 0x4000));
    const auto data = locate(item(20, 100));
    ASSERT_TRUE(data.has_value());
    EXPECT_TRUE(data->encrypted);
}

TEST_F(Content, StopAndSkipEndTheCopyBetweenChunks) {
    for (uint64_t i = 0; i < 1024; ++i)
        fill_cluster(3000 + i, 7); // 4 MiB, four reads of 1 MiB
    volume_.put(20, RecordBuilder().file_name(5, u"big").non_resident_data(
                        test::encode_runs({{1024, 3000}}), 4 << 20));
    const auto data = locate(item(20, 4 << 20));
    StopFlag skip{0};
    size_t written = 0;
    const CopyOutcome outcome = copy_file_content(reader_, info_, *data, 4 << 20,
                                                  [&](ByteView b) {
                                                      written += b.size();
                                                      skip = 1; // pressed during the first chunk
                                                      return true;
                                                  },
                                                  {nullptr, &skip, nullptr});
    EXPECT_EQ(outcome, CopyOutcome::Interrupted);
    EXPECT_EQ(written, 1u << 20);
}

} // namespace
} // namespace salvex
