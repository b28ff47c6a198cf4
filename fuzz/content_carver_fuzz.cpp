// libFuzzer target: files found by their contents on a disk that is the input. Every sector that
// starts a known format is followed to its end; what is found must lie on the disk.
#include "advscan/content_carver.h"
#include "fuzz/input_device.h"

#include <cstdint>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace salvex;
    if (size > (size_t{1} << 20))
        return 0;
    auto device = std::make_unique<fuzz::InputDevice>(std::vector<uint8_t>(data, data + size));
    const std::vector<uint8_t> bytes = device->bytes();
    const Lba sectors = bytes.size() / kSectorSize;
    SectorReader reader(AccessMode::Device);
    reader.open_device(std::move(device));
    std::vector<ContentStart> starts;
    for (Lba s = 0; s < sectors; ++s) {
        const ByteView sector(bytes.data() + s * kSectorSize, kSectorSize);
        if (const auto kind = content_start(sector))
            starts.push_back({s, *kind});
    }
    // Every kind at the first sector too, so that each walker meets any input.
    for (const ContentKind kind :
         {ContentKind::Jpeg, ContentKind::Png, ContentKind::Gif, ContentKind::Bmp, ContentKind::Zip,
          ContentKind::Sqlite, ContentKind::Gzip, ContentKind::Wav})
        if (const auto file = carve_file(reader, 0, kind, sectors);
            file && file->size > sectors * kSectorSize)
            __builtin_trap();
    for (const CarvedFile& file : carve_files(reader, starts, sectors))
        if (file.start + (file.size + kSectorSize - 1) / kSectorSize > sectors)
            __builtin_trap(); // a file that runs past the disk
    return 0;
}
