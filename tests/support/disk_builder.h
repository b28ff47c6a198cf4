// Builds small disks byte by byte for tests: partition tables, extended boot records, GPT
// headers and the first bytes of boot sectors.
#pragma once

#include "disk/sector.h"
#include "partition/gpt.h"
#include "partition/partition_table.h"
#include "tests/support/memory_device.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace salvex::test {

class DiskBuilder {
public:
    explicit DiskBuilder(uint64_t sectors) : device_(std::make_unique<MemoryDevice>(sectors)) {}

    // Table entry e (0..3) of the table in sector `table`; also sets the signature 0x55 0xAA.
    DiskBuilder& entry(Lba table, int e, uint8_t type, uint32_t first, uint32_t count);
    DiskBuilder& signature(Lba sector);
    DiskBuilder& text(Lba sector, size_t offset, std::string_view text);
    DiskBuilder& le32(Lba sector, size_t offset, uint32_t value);
    DiskBuilder& le64(Lba sector, size_t offset, uint64_t value);
    // Boot sectors that the partition walk recognises by their text.
    DiskBuilder& ntfs_boot(Lba sector) { return text(sector, 3, "NTFS    ").signature(sector); }
    DiskBuilder& fat32_boot(Lba sector) { return text(sector, 82, "FAT32   ").signature(sector); }
    DiskBuilder& fat16_boot(Lba sector) { return text(sector, 54, "FAT16   ").signature(sector); }
    // A GUID partition table with `partitions` (first, last) at sector 1 and its backup in the
    // disk's last sector, entries at sectors 2 and (last - 32), each of type `type`.
    DiskBuilder& gpt(const std::vector<std::pair<Lba, Lba>>& partitions, const Guid& type = {0xA2});

    MemoryDevice& device() { return *device_; }
    std::unique_ptr<MemoryDevice> build() { return std::move(device_); }

private:
    uint8_t* at(Lba sector, size_t offset) { return device_->sector(sector) + offset; }
    void gpt_header(Lba at, Lba alternate, Lba entries, uint32_t entriesCrc);

    std::unique_ptr<MemoryDevice> device_;
};

// What list_partitions finds on the disk built so far (the builder gives its device up).
PartitionList list_built_disk(DiskBuilder& disk);

} // namespace salvex::test
