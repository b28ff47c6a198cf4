// libFuzzer target: the partition table walk and the GPT reader over an arbitrary disk.
//
// The input is the disk itself, padded to whole sectors; every sector beyond it reads as a
// failure, like the end of an image.
#include <cstdint>
#include <cstring>
#include <vector>

#include "disk/block_device.h"
#include "disk/sector_reader.h"
#include "partition/partition_table.h"

namespace {

class InputDevice final : public salvex::BlockDevice {
public:
    InputDevice(const uint8_t* data, size_t size)
        : bytes_(data, data + size) {
        bytes_.resize((size + salvex::kSectorSize - 1) / salvex::kSectorSize * salvex::kSectorSize);
        // Tables without the signature are refused at once; give every sector of the input the
        // signature so the fuzzer explores the entries behind it.
        for (size_t at = 0; at < bytes_.size(); at += salvex::kSectorSize) {
            bytes_[at + 510] = 0x55;
            bytes_[at + 511] = 0xAA;
        }
    }
    bool read_at(uint64_t offset, std::span<uint8_t> out) const override {
        if (offset > bytes_.size() || bytes_.size() - offset < out.size())
            return false;
        std::memcpy(out.data(), bytes_.data() + offset, out.size());
        return true;
    }
    uint64_t size_bytes() const override { return bytes_.size(); }

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    salvex::SectorReader reader(salvex::AccessMode::Device);
    reader.open_device(std::make_unique<InputDevice>(data, size));
    salvex::PartitionList list;
    salvex::list_partitions(reader, list);
    return 0;
}
