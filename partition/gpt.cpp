#include "partition/gpt.h"

#include "disk/bytes.h"
#include "partition/crc32.h"

#include <algorithm>

namespace salvex {

namespace {

// The entry array is read whole; real tables hold 128 entries of 128 bytes (16 KiB). Anything
// much larger is damage, not a table.
constexpr uint64_t kMaxEntryArrayBytes = 1024 * 1024;

struct Header {
    Lba alternate = 0;
    Lba entriesLba = 0;
    uint32_t entryCount = 0;
    uint32_t entrySize = 0;
    uint32_t entriesCrc = 0;
};

// `at` is a logical sector; `unit` 512-byte sectors make one.
std::optional<Header> read_header(const SectorReader& reader, Lba at, uint32_t unit) {
    std::vector<uint8_t> sector(kSectorSize, 0);
    if (at > UINT64_MAX / unit || !reader.read_sectors(at * unit, 1, sector))
        return std::nullopt;
    const ByteView bytes(sector);
    if (!has_text_at(bytes, gpt_header::kSignature, "EFI PART"))
        return std::nullopt;
    const uint32_t size = le32(bytes, gpt_header::kHeaderSize).value_or(0);
    if (size < gpt_header::kMinimumSize || size > kSectorSize)
        return std::nullopt;
    const uint32_t storedCrc = *le32(bytes, gpt_header::kHeaderCrc);
    std::fill_n(sector.begin() + gpt_header::kHeaderCrc, 4, uint8_t{0});
    if (crc32(bytes.first(size)) != storedCrc || le64(bytes, gpt_header::kMyLba) != at)
        return std::nullopt;

    Header header;
    header.alternate = *le64(bytes, gpt_header::kAlternateLba);
    header.entriesLba = *le64(bytes, gpt_header::kEntriesLba);
    header.entryCount = *le32(bytes, gpt_header::kEntryCount);
    header.entrySize = *le32(bytes, gpt_header::kEntrySize);
    header.entriesCrc = *le32(bytes, gpt_header::kEntriesCrc);
    if (header.entrySize < gpt_entry::kMinimumSize || header.entrySize % 8 != 0)
        return std::nullopt;
    if (uint64_t{header.entryCount} * header.entrySize > kMaxEntryArrayBytes)
        return std::nullopt;
    return header;
}

std::optional<std::vector<GptPartition>> read_entries(const SectorReader& reader,
                                                      const Header& header, uint32_t unit) {
    const uint64_t bytes = uint64_t{header.entryCount} * header.entrySize;
    const auto sectors = static_cast<uint32_t>((bytes + kSectorSize - 1) / kSectorSize);
    std::vector<uint8_t> array(size_t{sectors} * kSectorSize, 0);
    if (header.entriesLba > UINT64_MAX / unit ||
        !reader.read_sectors(header.entriesLba * unit, sectors, array))
        return std::nullopt;
    const ByteView all = ByteView(array).first(bytes);
    if (crc32(all) != header.entriesCrc)
        return std::nullopt;

    std::vector<GptPartition> partitions;
    for (uint32_t i = 0; i < header.entryCount; ++i) {
        const ByteView entry = all.subspan(size_t{i} * header.entrySize, header.entrySize);
        GptPartition p;
        std::copy_n(entry.begin() + gpt_entry::kTypeGuid, p.typeGuid.size(), p.typeGuid.begin());
        if (std::all_of(p.typeGuid.begin(), p.typeGuid.end(), [](uint8_t b) { return b == 0; }))
            continue;
        const uint64_t first = *le64(entry, gpt_entry::kFirstLba);
        const uint64_t last = *le64(entry, gpt_entry::kLastLba);
        if (last < first || last >= UINT64_MAX / unit)
            continue;
        p.first = first * unit;
        p.last = (last + 1) * unit - 1;
        partitions.push_back(p);
    }
    return partitions;
}

} // namespace

std::optional<std::vector<GptPartition>> read_gpt(const SectorReader& reader, uint64_t diskSectors,
                                                  uint32_t sectorSize) {
    const uint32_t unit = std::max<uint32_t>(1, sectorSize / kSectorSize);
    const uint64_t logicalSectors = diskSectors / unit;
    constexpr Lba kPrimaryLba = 1;
    std::optional<Lba> backupLba;
    if (logicalSectors > kPrimaryLba + 1)
        backupLba = logicalSectors - 1;

    if (const auto primary = read_header(reader, kPrimaryLba, unit)) {
        if (auto entries = read_entries(reader, *primary, unit))
            return entries;
        if (!backupLba)
            backupLba = primary->alternate;
    }
    if (!backupLba || *backupLba <= kPrimaryLba)
        return std::nullopt;
    if (const auto backup = read_header(reader, *backupLba, unit))
        return read_entries(reader, *backup, unit);
    return std::nullopt;
}

} // namespace salvex
