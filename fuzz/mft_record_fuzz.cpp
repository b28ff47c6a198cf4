// libFuzzer target: the decoders of one MFT record (fix-up, attribute walk, names, sizes,
// attribute lists, run lists) over arbitrary bytes.
#include "fuzz/input_device.h"
#include "ntfs/attribute_list.h"
#include "ntfs/file_name.h"
#include "ntfs/mft_record.h"
#include "ntfs/run_list.h"

#include <array>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace salvex;
    std::array<uint8_t, mft_record::kSize> record{};
    std::memcpy(record.data(), data, std::min(size, record.size()));
    apply_fixup(record);
    find_display_name(record);
    find_data_size(record);

    // Attribute lists are read from the record, or from a small disk when non-resident.
    SectorReader reader(AccessMode::Device);
    reader.open_device(std::make_unique<fuzz::InputDevice>(
        std::vector<uint8_t>(data, data + std::min<size_t>(size, 64 * 1024))));
    VolumeInfo volume;
    volume.sectorsPerCluster = 1;
    collect_record_list(record, 7, reader, volume);

    for_each_attribute(record, [](const AttributeView& a) {
        if (a.non_resident())
            decode_run_list(a.bytes, le16(a.bytes, attribute::kRunListOffset).value_or(0));
        else if (const auto value = a.resident_value())
            parse_attribute_list(*value);
        return true;
    });
    if (size > mft_record::kSize)
        decode_run_list(ByteView(data, size), mft_record::kSize);
    return 0;
}
