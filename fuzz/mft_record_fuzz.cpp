// libFuzzer target: the decoders of one MFT record (fix-up, header, attribute walk, names,
// streams, sizes, the items they give, attribute lists, run lists) over arbitrary bytes.
#include "fuzz/input_device.h"
#include "ntfs/attribute_list.h"
#include "ntfs/file_name.h"
#include "ntfs/mft_record.h"
#include "ntfs/record_items.h"
#include "ntfs/run_list.h"

#include <array>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace salvex;
    std::array<uint8_t, mft_record::kSize> record{};
    std::memcpy(record.data(), data, std::min(size, record.size()));
    is_sane_file_record(record);
    apply_fixup(record);
    find_display_name(record);
    find_data_size(record);
    file_names(record);
    named_streams(record);
    find_named_attribute(record, kData, "s");
    own_record_number(record);
    base_reference(record);

    // The items the record gives: every name, each stream beside it.
    NtfsItems items;
    ItemRecords item;
    item.records = {ByteView(record), ByteView(record)};
    item.sectors = {1, 2};
    add_record_items(item, (record[mft_record::kFlags] & 2) != 0, false, items);

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
