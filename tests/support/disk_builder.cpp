#include "tests/support/disk_builder.h"

#include "partition/crc32.h"
#include "partition/gpt.h"

#include <algorithm>
#include <cstring>

namespace salvex::test {

DiskBuilder& DiskBuilder::entry(Lba table, int e, uint8_t type, uint32_t first, uint32_t count) {
    const size_t base = 446 + 16 * size_t(e);
    *at(table, base + 4) = type;
    le32(table, base + 8, first);
    le32(table, base + 12, count);
    return signature(table);
}

DiskBuilder& DiskBuilder::signature(Lba sector) {
    *at(sector, 510) = 0x55;
    *at(sector, 511) = 0xAA;
    return *this;
}

DiskBuilder& DiskBuilder::text(Lba sector, size_t offset, std::string_view text) {
    std::memcpy(at(sector, offset), text.data(), text.size());
    return *this;
}

DiskBuilder& DiskBuilder::le32(Lba sector, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        *at(sector, offset + i) = static_cast<uint8_t>(value >> (8 * i));
    return *this;
}

DiskBuilder& DiskBuilder::le64(Lba sector, size_t offset, uint64_t value) {
    le32(sector, offset, static_cast<uint32_t>(value));
    return le32(sector, offset + 4, static_cast<uint32_t>(value >> 32));
}

void DiskBuilder::gpt_header(Lba where, Lba alternate, Lba entries, uint32_t entriesCrc) {
    text(where, gpt_header::kSignature, "EFI PART");
    le32(where, 8, 0x00010000);
    le32(where, gpt_header::kHeaderSize, 92);
    le64(where, gpt_header::kMyLba, where);
    le64(where, gpt_header::kAlternateLba, alternate);
    le64(where, gpt_header::kEntriesLba, entries);
    le32(where, gpt_header::kEntryCount, 128);
    le32(where, gpt_header::kEntrySize, 128);
    le32(where, gpt_header::kEntriesCrc, entriesCrc);
    le32(where, gpt_header::kHeaderCrc, 0);
    le32(where, gpt_header::kHeaderCrc, crc32(ByteView(at(where, 0), 92)));
}

DiskBuilder& DiskBuilder::gpt(const std::vector<std::pair<Lba, Lba>>& partitions,
                              const Guid& type) {
    const Lba last = device_->size_bytes() / kSectorSize - 1;
    const Lba backupEntries = last - 32;
    entry(0, 0, kGptProtectiveType, 1, static_cast<uint32_t>(last));
    std::vector<uint8_t> array(128 * 128, 0);
    for (size_t i = 0; i < partitions.size(); ++i) {
        uint8_t* e = array.data() + i * 128;
        std::copy(type.begin(), type.end(), e + gpt_entry::kTypeGuid);
        for (int b = 0; b < 8; ++b) {
            e[gpt_entry::kFirstLba + b] = static_cast<uint8_t>(partitions[i].first >> (8 * b));
            e[gpt_entry::kLastLba + b] = static_cast<uint8_t>(partitions[i].second >> (8 * b));
        }
    }
    device_->write(2, array);
    device_->write(backupEntries, array);
    const uint32_t crc = crc32(array);
    gpt_header(1, last, 2, crc);
    gpt_header(last, 1, backupEntries, crc);
    return *this;
}

PartitionList list_built_disk(DiskBuilder& disk) {
    SectorReader reader(AccessMode::Device);
    reader.open_device(disk.build());
    PartitionList list;
    list_partitions(reader, list);
    return list;
}

} // namespace salvex::test
