// libFuzzer target: the Advance Scan (sweep, classification, reconstruction of every candidate)
// over a disk that is the input.
//
// A boot sector at sector 0 (one sector per cluster) gives the classification a geometry to try,
// so the fuzzer works on file records, extension records and index blocks.
#include "advscan/classification.h"
#include "advscan/reconstruction.h"
#include "advscan/sector_sweep.h"
#include "disk/progress.h"
#include "fuzz/input_device.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace salvex;
    std::vector<uint8_t> disk(kSectorSize, 0);
    disk.insert(disk.end(), data, data + std::min<size_t>(size, 256 * 1024));
    disk.resize(std::max(disk.size(), 16 * kSectorSize), 0);
    uint8_t* boot = disk.data();
    std::memcpy(boot + 3, "NTFS    ", 8);
    boot[0x0D] = 1;
    boot[0x28] = static_cast<uint8_t>(disk.size() / kSectorSize - 1);
    boot[0x29] = static_cast<uint8_t>((disk.size() / kSectorSize - 1) >> 8);
    boot[0x30] = 2;
    boot[0x38] = 4;
    boot[0x44] = 1;
    boot[510] = 0x55;
    boot[511] = 0xAA;
    const uint64_t sectors = disk.size() / kSectorSize;

    SectorReader reader(AccessMode::Device);
    reader.open_device(std::make_unique<fuzz::InputDevice>(std::move(disk)));
    HitLists hits;
    SilentProgress progress;
    StopFlag stop{0};
    sweep_sectors(reader, 0, sectors, 8, hits, progress, stop);
    const CandidateList candidates = classify_hits(reader, sectors - 1, hits, progress, stop);
    for (size_t i = 0; i < candidates.size(); ++i) {
        NtfsScan scan;
        reconstruct_candidate(reader, hits, candidates, static_cast<uint16_t>(i + 1), scan,
                              progress, stop);
    }
    return 0;
}
