// Volume parameters from the boot sector, and the map of the $MFT.
#include "ntfs/mft_map.h"
#include "ntfs/mft_record.h"
#include "partition/volume_parameters.h"
#include "tests/support/ntfs_builder.h"

#include <functional>
#include <gtest/gtest.h>

namespace salvex {
namespace {

using test::BootFields;
using test::MemoryDevice;
using test::NtfsVolumeBuilder;
using test::RecordBuilder;

constexpr Lba kStart = 2048;
using Extents = std::vector<MftExtent>;

struct Volume {
    std::unique_ptr<MemoryDevice> disk;
    std::unique_ptr<NtfsVolumeBuilder> builder;
    SectorReader reader{AccessMode::Device};
    BootFields fields;

    explicit Volume(BootFields s = {.totalSectors = 16'000'000, .mftCluster = 786432})
        : disk(std::make_unique<MemoryDevice>(kStart + s.totalSectors + 1)), fields(s) {
        builder = std::make_unique<NtfsVolumeBuilder>(*disk, kStart, fields, 64);
    }
    // Opens the disk for reading; the builder stays usable through `device`.
    MemoryDevice& device() { return *disk; }
    bool read(Lba end, VolumeInfo& volume) {
        if (disk)
            reader.open_device(std::move(disk));
        return read_volume_parameters(reader, FsType::Ntfs, kStart, end, volume);
    }
    Lba partition_end() const { return kStart + fields.totalSectors; }
    // Opens the disk for reading and maps its $MFT as `volume` places it.
    MftMap map(const VolumeInfo& volume) {
        if (disk)
            reader.open_device(std::move(disk));
        return build_mft_map(reader, volume);
    }
};

TEST(VolumeParameters, DamagedBootSectorOrMftFallsBackToItsCopyOrFails) {
    constexpr Lba kMft = kStart + 6291456;
    constexpr Lba kMirror = kStart + 16;
    constexpr Lba kBackup = kStart + 16'000'000; // the partition's last sector
    using Damage = std::function<void(MemoryDevice&)>;
    const auto zero = [](Lba at, size_t bytes) {
        return [=](MemoryDevice& d) { std::fill_n(d.sector(at), bytes, 0); };
    };
    const auto set = [](Lba at, size_t offset, uint8_t value) {
        return [=](MemoryDevice& d) { d.sector(at)[offset] = value; };
    };
    const auto both = [](Damage a, Damage b) { return [=](MemoryDevice& d) { a(d), b(d); }; };
    const struct {
        const char* what;
        Damage damage;
        Lba end;                     // the partition's end as the caller gives it
        std::optional<Lba> mftStart; // none: the volume is refused
    } cases[] = {
        {"healthy", [](MemoryDevice&) {}, kBackup, kMft},
        // The partition table gives the partition one sector more than the volume: its last
        // sector holds the backup.
        {"first sector zeroed", zero(kStart, 512), kBackup, kMft},
        // A volume whose size came from its own boot sector (the quick search): the backup lies
        // in the sector after the last one.
        {"first sector zeroed, size from the boot sector", zero(kStart, 512), kBackup - 1, kMft},
        {"cluster size damaged in one", set(kStart, 0x0D, 3), kBackup, kMft},
        {"cluster size damaged in both", both(set(kStart, 0x0D, 3), set(kBackup, 0x0D, 0)), kBackup,
         std::nullopt},
        {"$MFT damaged, its mirror whole", zero(kMft, 4), kBackup, 0},
        {"$MFT and its mirror damaged", both(zero(kMft, 4), zero(kMirror, 4)), kBackup,
         std::nullopt},
        {"no signature anywhere", both(set(kStart, 511, 0), set(kBackup, 511, 0)), kBackup,
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Volume v;
        c.damage(v.device());
        VolumeInfo volume;
        ASSERT_EQ(v.read(c.end, volume), c.mftStart.has_value());
        EXPECT_EQ(volume.fsType, FsType::Ntfs);
        if (!c.mftStart) {
            EXPECT_EQ(volume.mftStart, 0u);
            continue;
        }
        EXPECT_EQ(volume.mftStart, *c.mftStart);
        EXPECT_EQ(volume.mftMirrorStart, kMirror);
        EXPECT_EQ(volume.sectorsPerCluster, 8u);
        EXPECT_EQ(volume.fsStart, kStart);
        EXPECT_EQ(volume.indexBlockSectors, 8u);
        EXPECT_EQ(volume.recordSectors, 2u);
    }
}

TEST(VolumeParameters, LargeClustersAreAccepted) {
    EXPECT_EQ(decode_sectors_per_cluster(0x80), 128u);
    EXPECT_EQ(decode_sectors_per_cluster(0xF8), 256u);  // 128 KiB
    EXPECT_EQ(decode_sectors_per_cluster(0xF4), 4096u); // 2 MiB
    EXPECT_EQ(decode_sectors_per_cluster(0xF3), std::nullopt);
    EXPECT_EQ(decode_sectors_per_cluster(0xF9), std::nullopt);
    EXPECT_EQ(decode_sectors_per_cluster(0), std::nullopt);
    EXPECT_EQ(decode_sectors_per_cluster(6), std::nullopt);

    Volume v({.sectorsPerClusterByte = 0xF6,
              .totalSectors = 1'000'000,
              .mftCluster = 100,
              .mirrorCluster = 50,
              .clustersPerIndexBlock = 0xF4});
    VolumeInfo volume;
    ASSERT_TRUE(v.read(v.partition_end(), volume));
    EXPECT_EQ(volume.sectorsPerCluster, 1024u);
    EXPECT_EQ(volume.mftStart, kStart + 102400);
    EXPECT_EQ(volume.indexBlockSectors, 8u); // 4 KiB index blocks
}

TEST(VolumeParameters, MftBeyondTwoToThe32ClustersIsAddressed) {
    const uint64_t cluster = (uint64_t{1} << 32) + 10;
    Volume v({.sectorsPerClusterByte = 1, .totalSectors = cluster + 1000, .mftCluster = cluster});
    VolumeInfo volume;
    ASSERT_TRUE(v.read(v.partition_end(), volume));
    EXPECT_EQ(volume.mftStart, kStart + cluster);
}

// A volume of 100,000 sectors whose $MFT starts at cluster 4, and what the boot sector gives of it.
constexpr BootFields kSmall{.totalSectors = 100'000, .mftCluster = 4};
VolumeInfo small_volume(uint32_t spc = 8) {
    VolumeInfo volume;
    volume.fsStart = kStart;
    volume.sectorsPerCluster = spc;
    volume.mftStart = kStart + 4 * spc;
    return volume;
}

TEST(MftMap, ExtentsInSectorsWithASparseGap) {
    Volume v(kSmall);
    // Three extents, the second sparse; the third counts from the first's start.
    v.builder->put(0, test::mft_record_zero({{2, 4}, {1, std::nullopt}, {3, 1000}}, 8));
    const MftMap map = v.map(small_volume());
    EXPECT_EQ(map.extents(), (Extents{{kStart + 32, 16}, {0, 8}, {kStart + 8000, 24}}));
    EXPECT_EQ(map.record_to_sector(0), kStart + 32);
    EXPECT_EQ(map.record_to_sector(7), kStart + 46);
    EXPECT_EQ(map.record_to_sector(8), 0u); // sparse
    EXPECT_EQ(map.record_to_sector(12), kStart + 8000);
    EXPECT_EQ(map.record_to_sector(23), kStart + 8022);
    EXPECT_EQ(map.record_to_sector(24), 0u); // beyond the map
    EXPECT_EQ(map.total_sectors(), 48u);
}

VolumeInfo with_mirror(VolumeInfo volume, uint32_t mirrorCluster = 2) {
    volume.mftMirrorStart = volume.fsStart + mirrorCluster * volume.sectorsPerCluster;
    return volume;
}

TEST(MftMap, DamagedRecordZeroLeavesTheMirrorsCopy) {
    for (const int damage : {0, 1}) {
        Volume v(kSmall);
        const Lba zero = v.builder->record_sector(0);
        if (damage == 0)
            v.device().zero(zero, 2); // unreadable as a record
        if (damage == 1)
            v.device().sector(zero + 1)[510] ^= 0xFF; // torn: its fix-up no longer matches
        const MftMap map = v.map(with_mirror(small_volume()));
        EXPECT_EQ(map.source(), MftMap::Source::Mirror) << damage;
        EXPECT_EQ(map.extents(), (Extents{{kStart + 32, 128}})) << damage;
    }
}

TEST(MftMap, DamagedRootRecordDoesNotStopTheMap) {
    Volume v(kSmall);
    v.device().zero(v.builder->record_sector(5), 2);
    EXPECT_EQ(v.map(small_volume()).record_count(), 64u);
}

TEST(MftMap, EmptyWhenBothCopiesOfRecordZeroAreGone) {
    Volume v(kSmall);
    v.device().zero(v.builder->record_sector(0), 2);
    v.device().zero(kStart + 16, 2);
    const MftMap map = v.map(with_mirror(small_volume()));
    EXPECT_TRUE(map.empty());
    EXPECT_EQ(map.source(), MftMap::Source::None);
}

TEST(MftMap, ExtentsAreClampedToTheVolumeAndReadOnce) {
    Volume v(kSmall);
    // The second run repeats the first; the third reaches far past the volume's end, the
    // fourth starts beyond it.
    v.builder->put(0, test::mft_record_zero(
                          {{4, 4}, {4, 4}, {uint64_t{1} << 40, 12'000}, {8, 1'000'000'000}}, 8));
    VolumeInfo volume = small_volume();
    volume.fsEnd = kStart + 100'000 - 1;
    const MftMap map = v.map(volume);
    // The repeat keeps its place, unread. The third is cut at the volume's end; what lies past
    // it is no more than a gap, and a gap at the end of the map holds nothing to read.
    EXPECT_EQ(map.extents(),
              (Extents{{kStart + 32, 32}, {0, 32}, {kStart + 96'000, 100'000 - 96'000}}));
    EXPECT_LE(map.total_sectors(), 100'000u);
}

TEST(MftMap, ARecordIsReadWhereTheMapPutsEachHalf) {
    // One-sector clusters: record 1 starts in the last sector of the first extent and ends in
    // the first sector of the second, far away.
    Volume v({.sectorsPerClusterByte = 1, .totalSectors = 100'000, .mftCluster = 4});
    v.builder->put(0, test::mft_record_zero({{3, 4}, {5, 50'000}}, 1));
    const auto record = RecordBuilder().file_name(5, u"split.txt").build();
    std::copy_n(record.begin(), 512, v.device().sector(kStart + 6));
    std::copy_n(record.begin() + 512, 512, v.device().sector(kStart + 50'000));
    const MftMap map = v.map(small_volume(1));
    EXPECT_EQ(map.record_to_sector(1), kStart + 6);
    EXPECT_EQ(map.sector_at(3), kStart + 50'000);
    EXPECT_EQ(map.record_at_sector(kStart + 6), 1u);
    EXPECT_FALSE(map.record_at_sector(kStart + 50'000).has_value()); // a second half

    std::array<uint8_t, 1024> read{};
    ASSERT_TRUE(read_record_at(v.reader, &map, kStart + 6, read));
    EXPECT_TRUE(apply_fixup(read)); // both halves belong together
}

// Record 0 of an $MFT whose $DATA goes on in extension records: its attribute list names its own
// part (clusters 0 to 3, at cluster 4) and `parts`.
RecordBuilder listed_mft(std::vector<test::AttributeListSpec> parts) {
    parts.insert(parts.begin(), {kData, 0, 0, 1});
    return RecordBuilder()
        .attribute_list(parts)
        .file_name(5, u"$MFT", NameSpace::Win32AndDos)
        .non_resident_data(test::encode_runs({{4, 4}}), 0, 0, u"", 1);
}

// An extension record of item `base` holding the part of $DATA from cluster `vcn` on.
RecordBuilder mft_part(uint64_t base, const std::vector<test::RunSpec>& runs, uint64_t vcn,
                       uint16_t id) {
    return RecordBuilder().base_record(base).non_resident_data(test::encode_runs(runs), 0, vcn, u"",
                                                               id);
}

TEST(MftMap, FragmentedMftContinuesInExtensionRecords) {
    // Record 0 holds the first part of $DATA and an attribute list naming a second part in
    // record 12, which lies in the first extent; the list names it twice.
    Volume v(kSmall);
    v.builder->put(0, listed_mft({{kData, 12, 4, 7}, {kData, 12, 4, 7}}));
    v.builder->put(12, mft_part(uint64_t{1} << 48, {{2, 500}, {2, 900}}, 4, 7));
    const MftMap map = v.map(small_volume());
    EXPECT_EQ(map.extents(),
              (Extents{{kStart + 32, 32}, {kStart + 4000, 16}, {kStart + 7200, 16}}));
    EXPECT_EQ(map.record_to_sector(16), kStart + 4000);
}

TEST(MftMap, ALostPartOfTheMftLeavesAGapOfItsSize) {
    // Record 0's list names three parts: its own (clusters 0-3), one from cluster 4 in record
    // 12, which cannot be read, and one from cluster 6 in record 13.
    Volume v(kSmall);
    v.builder->put(0, listed_mft({{kData, 12, 4, 7}, {kData, 13, 6, 8}}));
    v.builder->put(13, mft_part(uint64_t{1} << 48, {{2, 900}}, 6, 8));
    v.device().fail_sector(v.builder->record_sector(12));
    v.device().fail_sector(v.builder->record_sector(12) + 1);
    const MftMap map = v.map(small_volume());
    EXPECT_EQ(map.extents(), (Extents{{kStart + 32, 32}, {0, 16}, {kStart + 7200, 16}}));
    // Record 24 is the first of cluster 6: it keeps its number.
    EXPECT_EQ(map.record_to_sector(24), kStart + 7200);
}

TEST(MftMap, AnExtensionRecordNowHoldingAnotherItemAddsNothing) {
    // Record 12 was reused: it now names record 40 as its base, not the $MFT.
    Volume v(kSmall);
    v.builder->put(0, listed_mft({{kData, 12, 4, 7}}));
    v.builder->put(12, mft_part((uint64_t{1} << 48) | 40, {{2, 500}}, 4, 7));
    const MftMap map = v.map(small_volume());
    EXPECT_EQ(map.total_sectors(), 32u);
}

} // namespace
} // namespace salvex
