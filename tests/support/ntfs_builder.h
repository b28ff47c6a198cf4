// Builds NTFS structures byte by byte for tests: boot sectors, MFT records with their
// attributes and update sequence arrays, and run lists.
#pragma once

#include "disk/sector.h"
#include "ntfs/file_name.h"
#include "tests/support/memory_device.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace salvex::test {

using Bytes = std::vector<uint8_t>;
using RecordBytes = std::array<uint8_t, 1024>;

// One run: `clusters` long at absolute cluster `lcn`, or sparse when lcn is nullopt.
struct RunSpec {
    uint64_t clusters;
    std::optional<uint64_t> lcn;
};
// Encodes runs as mapping pairs, each offset relative to the previous run with one, in the
// fewest bytes; ends with the 0 header.
Bytes encode_runs(const std::vector<RunSpec>& runs);

struct AttributeListSpec {
    uint32_t type;
    uint32_t record;
    uint64_t lowestVcn = 0;
    uint16_t attributeId = 0;
    uint8_t nameLength = 0;
};

// Record flags.
inline constexpr uint16_t kFileInUse = 1;
inline constexpr uint16_t kDeletedFile = 0;
inline constexpr uint16_t kFolderInUse = 3;
inline constexpr uint16_t kDeletedFolder = 2;

class RecordBuilder {
public:
    explicit RecordBuilder(uint16_t flags = kFileInUse) : flags_(flags) {}

    RecordBuilder& file_name(uint32_t parent, const std::u16string& name,
                             NameSpace space = NameSpace::Win32, uint64_t created = 0,
                             uint64_t changed = 0);
    RecordBuilder& resident_data(const Bytes& value, const std::u16string& name = u"");
    RecordBuilder& non_resident_data(const Bytes& runList, uint64_t dataSize,
                                     uint64_t lowestVcn = 0, const std::u16string& name = u"",
                                     uint16_t id = 0, uint16_t flags = 0);
    RecordBuilder& attribute_list(const std::vector<AttributeListSpec>& entries);
    RecordBuilder& non_resident_attribute_list(const Bytes& runList, uint64_t dataSize);
    RecordBuilder& base_record(uint64_t reference) {
        baseRecord_ = reference;
        return *this;
    }
    // The record's sequence number (1 unless set).
    RecordBuilder& sequence(uint16_t n) {
        sequence_ = n;
        return *this;
    }
    // The sequence number the parent references of later file_name calls carry (1 unless set).
    RecordBuilder& parent_sequence(uint16_t n) {
        parentSequence_ = n;
        return *this;
    }
    // An attribute of any type and content, header included.
    RecordBuilder& raw(const Bytes& attribute);

    // The record as it lies on disk: the last two bytes of each sector moved into the update
    // sequence array and replaced by the check value.
    RecordBytes build() const;

private:
    RecordBuilder& resident(uint32_t type, const Bytes& value, const std::u16string& name);

    uint16_t flags_;
    uint64_t baseRecord_ = 0;
    uint16_t sequence_ = 1;
    uint16_t parentSequence_ = 1;
    std::vector<Bytes> attributes_;
    uint16_t nextId_ = 0;
};

// The content of an attribute list, as a resident value or as data on disk.
Bytes attribute_list_value(const std::vector<AttributeListSpec>& entries);

struct BootFields {
    uint8_t sectorsPerClusterByte = 8;
    uint64_t totalSectors = 0; // of the volume, the backup boot sector excluded
    uint64_t mftCluster = 4;
    uint64_t mirrorCluster = 2;
    uint8_t clustersPerIndexBlock = 1;
};
// An NTFS boot sector with its signature.
std::array<uint8_t, kSectorSize> ntfs_boot_sector(const BootFields& fields);

// A small NTFS volume on a memory disk: boot sector (and its backup right after the volume),
// and an MFT of `mftRecords` records at mftCluster whose record 0 maps it and whose record 5 is
// the root folder ".".
class NtfsVolumeBuilder {
public:
    NtfsVolumeBuilder(MemoryDevice& disk, Lba start, const BootFields& fields, uint32_t mftRecords);

    Lba start() const { return start_; }
    uint32_t sectors_per_cluster() const { return spc_; }
    Lba mft_sector() const { return start_ + fields_.mftCluster * spc_; }
    Lba record_sector(uint32_t record) const { return mft_sector() + 2 * uint64_t{record}; }
    Lba cluster_sector(uint64_t cluster) const { return start_ + cluster * spc_; }

    // Writes `record` in slot n of the first MFT extent.
    NtfsVolumeBuilder& put(uint32_t n, const RecordBuilder& record);
    NtfsVolumeBuilder& put_at(Lba sector, const RecordBuilder& record);
    // Writes the boot sector's backup in sector `at` instead of after the volume.
    MemoryDevice& disk() { return disk_; }

private:
    MemoryDevice& disk_;
    Lba start_;
    BootFields fields_;
    uint32_t spc_;
};

// The MFT's own record: $DATA non-resident over `runs`.
RecordBuilder mft_record_zero(const std::vector<RunSpec>& runs, uint32_t spc);

} // namespace salvex::test
