// libFuzzer target: the Standard Scan over a volume whose Master File Table is the input.
//
// A fixed boot sector (one sector per cluster, $MFT at cluster 8, $MFTMirr at cluster 4) puts
// the input at sector 8 on, so the fuzzer works on records, run lists and attribute lists
// rather than on finding a boot sector.
#include "disk/progress.h"
#include "fuzz/input_device.h"
#include "ntfs/standard_scan.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace salvex;
    constexpr size_t kMftSector = 8;
    std::vector<uint8_t> disk(kMftSector * kSectorSize, 0);
    disk.insert(disk.end(), data, data + std::min<size_t>(size, 256 * 1024));
    disk.resize(std::max(disk.size(), (kMftSector + 16) * kSectorSize), 0);
    for (const size_t boot : {size_t{0}, disk.size() / kSectorSize - 1}) {
        uint8_t* b = disk.data() + boot * kSectorSize;
        std::memcpy(b + 3, "NTFS    ", 8);
        b[0x0D] = 1;
        b[0x30] = kMftSector;
        b[0x38] = 4;
        b[510] = 0x55;
        b[511] = 0xAA;
    }
    std::memcpy(disk.data() + 4 * kSectorSize, "FILE", 4); // the mirror confirms the volume
    const uint64_t sectors = disk.size() / kSectorSize;

    SectorReader reader(AccessMode::Device);
    reader.open_device(std::make_unique<fuzz::InputDevice>(std::move(disk)));
    NtfsScan scan;
    SilentProgress progress;
    StopFlag stop{0};
    standard_scan(reader, 0, sectors - 1, scan, progress, stop);
    return 0;
}
