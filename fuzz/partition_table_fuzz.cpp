// libFuzzer target: the partition table walk and the GPT reader over an arbitrary disk.
//
// The input is the disk itself, padded to whole sectors; every sector beyond it reads as a
// failure, like the end of an image.
#include "disk/sector_reader.h"
#include "fuzz/input_device.h"
#include "partition/partition_table.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto device =
        std::make_unique<salvex::fuzz::InputDevice>(std::vector<uint8_t>(data, data + size));
    // Tables without the signature are refused at once; give every sector of the input the
    // signature so the fuzzer explores the entries behind it.
    for (size_t at = 0; at < device->bytes().size(); at += salvex::kSectorSize) {
        device->bytes()[at + 510] = 0x55;
        device->bytes()[at + 511] = 0xAA;
    }
    salvex::SectorReader reader(salvex::AccessMode::Device);
    reader.open_device(std::move(device));
    salvex::PartitionList list;
    salvex::list_partitions(reader, list);
    return 0;
}
