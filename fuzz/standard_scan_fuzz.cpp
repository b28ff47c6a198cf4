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
    std::vector<uint8_t> disk = fuzz::volume_with_mft(data, size, 256 * 1024);
    const uint64_t sectors = disk.size() / kSectorSize;

    SectorReader reader(AccessMode::Device);
    reader.open_device(std::make_unique<fuzz::InputDevice>(std::move(disk)));
    NtfsScan scan;
    SilentProgress progress;
    StopFlag stop{0};
    standard_scan(reader, 0, sectors - 1, scan, progress, stop);
    return 0;
}
