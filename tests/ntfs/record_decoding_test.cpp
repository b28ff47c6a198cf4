// Decoding of MFT records: fix-up, attribute walks, names, sizes, run lists.
#include "ntfs/attribute_list.h"
#include "ntfs/file_name.h"
#include "ntfs/filetime.h"
#include "ntfs/mft_record.h"
#include "ntfs/run_list.h"
#include "ntfs/utf16.h"
#include "tests/support/ntfs_builder.h"

#include <cstring>
#include <gtest/gtest.h>

namespace salvex {
namespace {

using test::Bytes;
using test::RecordBuilder;
using test::RecordBytes;

RecordBytes fixed_up(const RecordBuilder& builder) {
    RecordBytes r = builder.build();
    apply_fixup(r);
    return r;
}

TEST(Fixup, RestoresTheLastBytesOfEachSector) {
    // A resident value long enough to reach the end of the first sector.
    Bytes value(600);
    for (size_t i = 0; i < value.size(); ++i)
        value[i] = static_cast<uint8_t>(i * 7 + 1);
    RecordBytes r = RecordBuilder().resident_data(value).build();
    EXPECT_EQ(r[0x1FE], 0x2A); // the check value as on disk
    apply_fixup(r);
    const auto data = find_unnamed_attribute(r, kData)->resident_value();
    ASSERT_TRUE(data.has_value());
    EXPECT_TRUE(std::equal(value.begin(), value.end(), data->begin()));
}

TEST(Fixup, RecordsOfFourKibibytesAreFixedUpInEveryStretch) {
    // A 4,096-byte record: an update sequence array of 9 entries, the check value at the end of
    // each of its eight 512-byte stretches.
    std::vector<uint8_t> r(4096, 0);
    std::memcpy(r.data(), "FILE", 4);
    r[0x04] = 0x30; // array at 0x30
    r[0x06] = 9;
    r[0x30] = 0x07; // check value 0x0007
    for (size_t i = 0; i < 8; ++i) {
        r[0x32 + 2 * i] = static_cast<uint8_t>(0xA0 + i);
        r[0x33 + 2 * i] = 0x5A;
        r[0x1FE + 0x200 * i] = 0x07;
    }
    std::vector<uint8_t> torn = r;
    EXPECT_TRUE(apply_fixup(r));
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(r[0x1FE + 0x200 * i], 0xA0 + i) << i;
        EXPECT_EQ(r[0x1FF + 0x200 * i], 0x5A) << i;
    }
    // The last stretch was never written: torn. A 1,024-byte array (3 entries) does not cover
    // the record either.
    torn[0xFFE] = 0;
    EXPECT_FALSE(apply_fixup(torn));
    std::vector<uint8_t> shortArray = r;
    shortArray[0x06] = 3;
    EXPECT_FALSE(apply_fixup(shortArray));
}

TEST(Fixup, ArrayOutsideTheBufferChangesNothing) {
    RecordBytes r = RecordBuilder().build();
    r[mft_record::kFixupOffset] = 0xFE;
    r[mft_record::kFixupOffset + 1] = 0x03; // the array would start at 0x3FE
    const RecordBytes before = r;
    apply_fixup(r);
    EXPECT_EQ(r[0x1FE], before[0x1FE]);
    std::array<uint8_t, 100> small{};
    small[mft_record::kFixupCount] = 200;
    apply_fixup(small); // nothing to restore inside 100 bytes, and no write outside them
}

TEST(Fixup, TornRecordsAreToldFromWholeOnes) {
    RecordBytes whole = RecordBuilder().file_name(5, u"a.txt").build();
    EXPECT_TRUE(is_sane_file_record(whole));
    RecordBytes copy = whole;
    EXPECT_TRUE(apply_fixup(copy));

    // The second sector was written by another write: its end no longer holds the check value.
    RecordBytes torn = whole;
    torn[0x3FE] = 0x11;
    EXPECT_TRUE(is_sane_file_record(torn)); // the header alone cannot tell
    EXPECT_FALSE(apply_fixup(torn));
}

TEST(Fixup, HeadersThatCannotBeTrueAreNotFileRecords) {
    const RecordBytes good = RecordBuilder().file_name(5, u"a.txt").build();
    const auto with = [&](size_t at, uint16_t value) {
        RecordBytes r = good;
        r[at] = static_cast<uint8_t>(value);
        r[at + 1] = static_cast<uint8_t>(value >> 8);
        return r;
    };
    EXPECT_FALSE(is_sane_file_record(with(mft_record::kFixupCount, 9)));      // not one per sector
    EXPECT_FALSE(is_sane_file_record(with(mft_record::kFixupOffset, 0x1FC))); // leaves the sector
    EXPECT_FALSE(is_sane_file_record(with(mft_record::kFirstAttribute, 0x10))); // in the header
    EXPECT_FALSE(is_sane_file_record(with(mft_record::kUsedSize, 0x800)));      // past the record
    // The allocated size repeats what the record's place says: a wrong one is no reason to
    // drop the record.
    EXPECT_TRUE(is_sane_file_record(with(mft_record::kAllocatedSize, 0x1234)));
}

TEST(AttributeWalk, StopsAtLengthsThatLeaveTheRecord) {
    RecordBytes r = fixed_up(RecordBuilder().file_name(5, u"a.txt").resident_data({1, 2, 3}));
    const size_t first = r[mft_record::kFirstAttribute];
    for (const uint32_t bad : {0u, 8u, 0x400u, 0xFFFFFFF0u}) {
        RecordBytes broken = r;
        std::memcpy(broken.data() + first + attribute::kLength, &bad, 4);
        int seen = 0;
        for_each_attribute(broken, [&](const AttributeView&) { return ++seen, true; });
        EXPECT_EQ(seen, 0) << bad;
        EXPECT_FALSE(find_file_name(broken, NameSpace::Win32).has_value());
    }
    RecordBytes badStart = r;
    badStart[mft_record::kFirstAttribute] = 0xFF;
    badStart[mft_record::kFirstAttribute + 1] = 0xFF;
    EXPECT_FALSE(find_data_size(badStart).has_value());
}

TEST(FileNames, NamespacesArePreferredWin32ThenBothThenDosThenPosix) {
    const auto name_of = [](const RecordBuilder& b) {
        return find_display_name(fixed_up(b))->name;
    };
    EXPECT_EQ(name_of(RecordBuilder()
                          .file_name(5, u"LONGNA~1.TXT", NameSpace::Dos)
                          .file_name(5, u"Long name.txt", NameSpace::Win32)),
              "Long name.txt");
    EXPECT_EQ(name_of(RecordBuilder()
                          .file_name(5, u"SHORT", NameSpace::Dos)
                          .file_name(5, u"Both", NameSpace::Win32AndDos)),
              "Both");
    EXPECT_EQ(name_of(RecordBuilder().file_name(5, u"DOSONLY", NameSpace::Dos)), "DOSONLY");
    // Volumes written by Linux name files in the POSIX namespace alone.
    EXPECT_EQ(name_of(RecordBuilder().file_name(5, u"linux name", NameSpace::Posix)), "linux name");
    EXPECT_FALSE(find_display_name(fixed_up(RecordBuilder().resident_data({1}))).has_value());
}

TEST(FileNames, NameParentAndTimesAreDecoded) {
    const uint64_t created = 127'546'608'000'000'000; // 2005-03-07 09:20:00 UTC
    const auto info = find_file_name(
        fixed_up(RecordBuilder().file_name(1234, u"Résumé 日本語 🎉", NameSpace::Win32, created,
                                           created + 50'000'000)),
        NameSpace::Win32);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->name, "Résumé 日本語 🎉");
    EXPECT_EQ(info->parent, 1234u);
    EXPECT_EQ(info->creationTime, created);
    EXPECT_EQ(format_item_time(info->creationTime), "7-3-2005 9:20:0");
    EXPECT_EQ(format_item_time(info->changeTime), "7-3-2005 9:20:5");
    EXPECT_EQ(find_file_name(fixed_up(RecordBuilder().file_name(5, u"")), NameSpace::Win32)->name,
              "");
}

TEST(FileNames, NameLongerThanItsAttributeIsNotUsed) {
    RecordBytes r = fixed_up(RecordBuilder().file_name(5, u"abc"));
    const size_t value = r[mft_record::kFirstAttribute] + attribute::kResidentHeader;
    r[value + file_name::kNameLength] = 200;
    EXPECT_FALSE(find_file_name(r, NameSpace::Win32).has_value());
}

TEST(Utf16, SurrogatesAreJoinedAndBrokenOnesReplaced) {
    const Bytes pair = {0x3C, 0xD8, 0x89, 0xDF}; // U+1F389
    EXPECT_EQ(utf16le_to_utf8(pair, 0, 2), "\xF0\x9F\x8E\x89");
    const Bytes lone = {0x3D, 0xD8, 0x41, 0x00, 0x89, 0xDF};
    EXPECT_EQ(utf16le_to_utf8(lone, 0, 3), "\xEF\xBF\xBD"
                                           "A"
                                           "\xEF\xBF\xBD");
    const Bytes truncated = {0x41, 0x00, 0x42};
    EXPECT_EQ(utf16le_to_utf8(truncated, 0, 5), "A");
}

TEST(DataSize, ComesFromTheUnnamedDataAttribute) {
    EXPECT_EQ(find_data_size(fixed_up(RecordBuilder().resident_data(Bytes(100, 'x')))), 100u);
    EXPECT_EQ(find_data_size(fixed_up(RecordBuilder().non_resident_data(
                  test::encode_runs({{3, 100}}), 5'000'000'000ull))),
              5'000'000'000ull);
    // An alternate stream is not the file's content.
    EXPECT_FALSE(
        find_data_size(fixed_up(RecordBuilder().resident_data(Bytes(10), u"Zone.Identifier")))
            .has_value());
    EXPECT_EQ(find_data_size(fixed_up(
                  RecordBuilder().resident_data(Bytes(10), u"stream").resident_data(Bytes(30)))),
              30u);
    // A later part of a long run list, kept in an extension record, has no size of its own.
    EXPECT_FALSE(find_data_size(fixed_up(RecordBuilder().non_resident_data(
                                    test::encode_runs({{3, 100}}), 0, 16)))
                     .has_value());
}

TEST(RunLists, DecodeRelativeNegativeSparseAndWideRuns) {
    const std::vector<test::RunSpec> runs = {
        {16, 786432}, {8, 100}, {4, std::nullopt}, {2, 0x1'0000'0000ull}, {300, 5}};
    const RunList decoded = decode_run_list(test::encode_runs(runs), 0);
    ASSERT_EQ(decoded.size(), runs.size());
    EXPECT_EQ(decoded[0], (DataRun{786432, 16, false}));
    EXPECT_EQ(decoded[1], (DataRun{100, 8, false})); // a negative step
    EXPECT_TRUE(decoded[2].sparse);
    EXPECT_EQ(decoded[3].lcn, 0x1'0000'0000ull);     // offsets beyond 32 bits
    EXPECT_EQ(decoded[4], (DataRun{5, 300, false})); // counted from the last run with one
    EXPECT_EQ(run_list_clusters(decoded), 330u);
}

TEST(RunLists, MalformedRunsEndTheList) {
    EXPECT_TRUE(decode_run_list(Bytes{0x09, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}, 0).empty());
    EXPECT_TRUE(decode_run_list(Bytes{0x11, 0, 5, 0}, 0).empty());                 // zero length
    EXPECT_EQ(decode_run_list(Bytes{0x11, 4, 5, 0x11, 4, 0xF0, 0}, 0).size(), 1u); // before 0
    EXPECT_TRUE(decode_run_list(Bytes{0x44, 1, 2}, 0).empty()); // runs past the buffer
    EXPECT_TRUE(decode_run_list(Bytes{}, 5).empty());
}

TEST(AttributeLists, EntriesNameTheRecordsOfOneItem) {
    const auto value = test::attribute_list_value(
        {{kStandardInformation, 40}, {kFileName, 40}, {kData, 41, 0, 3}, {kData, 42, 90, 4}});
    const auto entries = parse_attribute_list(value);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[2].record, 41u);
    EXPECT_EQ(entries[3].lowestVcn, 90u);
    EXPECT_EQ(entries[3].attributeId, 4u);
    Bytes broken = value;
    broken[0x20 + 4] = 0; // second entry's length 0
    EXPECT_EQ(parse_attribute_list(broken).size(), 1u);
}

} // namespace
} // namespace salvex
