#include "tests/support/record_patch.h"

#include "ntfs/mft_record.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <gtest/gtest.h>

namespace salvex::test {

void patch_record(const std::string& path, Lba sector, const RecordEdit& edit) {
    std::fstream image(path, std::ios::in | std::ios::out | std::ios::binary);
    std::array<uint8_t, mft_record::kSize> record{};
    image.seekg(static_cast<std::streamoff>(sector * kSectorSize));
    image.read(reinterpret_cast<char*>(record.data()), record.size());
    const uint16_t array = le16(record, mft_record::kFixupOffset).value_or(0);
    ASSERT_TRUE(apply_fixup(record)) << path << " sector " << sector;
    edit(record);
    // Each sector's last two bytes go to the array; the check value takes their place.
    for (size_t end = kSectorSize - 2, i = 1; end < record.size(); end += kSectorSize, ++i) {
        std::copy_n(record.begin() + static_cast<long>(end), 2,
                    record.begin() + static_cast<long>(array + 2 * i));
        std::copy_n(record.begin() + array, 2, record.begin() + static_cast<long>(end));
    }
    image.seekp(static_cast<std::streamoff>(sector * kSectorSize));
    image.write(reinterpret_cast<const char*>(record.data()), record.size());
    ASSERT_TRUE(image.good()) << path;
}

RecordEdit set_data_fields(uint64_t size, std::vector<uint8_t> runs) {
    return [size, runs](std::span<uint8_t> record) {
        const auto data = find_unnamed_attribute(record, kData);
        ASSERT_TRUE(data && data->non_resident());
        const auto at = static_cast<size_t>(data->bytes.data() - record.data());
        for (size_t i = 0; i < 8; ++i)
            record[at + attribute::kDataSize + i] = static_cast<uint8_t>(size >> (8 * i));
        const uint16_t runsAt = le16(data->bytes, attribute::kRunListOffset).value_or(0);
        ASSERT_LE(runsAt + runs.size(), data->bytes.size());
        std::copy(runs.begin(), runs.end(), record.begin() + static_cast<long>(at + runsAt));
    };
}

} // namespace salvex::test
