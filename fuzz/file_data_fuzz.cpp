// libFuzzer target: every file of a volume whose Master File Table is the input, its data stream
// assembled across extension records and copied as a recovery would (sparse, compressed and
// resident data, runs past the volume's end), into nothing.
//
// The volume is laid out as in standard_scan_fuzz: a fixed boot sector, one sector per cluster,
// $MFT at cluster 8 holding the input.
#include "disk/progress.h"
#include "fuzz/input_device.h"
#include "ntfs/file_data.h"
#include "ntfs/standard_scan.h"
#include "recovery/content_copy.h"
#include "recovery/volume_bounds.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace salvex;
    std::vector<uint8_t> disk = fuzz::volume_with_mft(data, size, 64 * 1024);
    const uint64_t sectors = disk.size() / kSectorSize;

    SectorReader reader(AccessMode::Device);
    reader.open_device(std::make_unique<fuzz::InputDevice>(std::move(disk)));
    NtfsScan scan;
    SilentProgress progress;
    StopFlag stop{0};
    standard_scan(reader, 0, sectors - 1, scan, progress, stop);
    const VolumeBounds bounds = volume_bounds(reader, scan.volume);
    for (const FileNode& file : scan.items.files) {
        auto located = locate_file_data(reader, scan, file);
        if (!located)
            continue;
        uint64_t length = file.size;
        bound_to_volume(*located, length, bounds, scan.volume.sectorsPerCluster);
        uint64_t copied = 0;
        const auto count = [&](ByteView bytes) {
            copied += bytes.size();
            return true;
        };
        const auto hole = [&](uint64_t zeros) {
            copied += zeros;
            return true;
        };
        copy_file_content(reader, scan.volume, *located, length, count, CopyControl{}, hole);
        if (copied > length)
            __builtin_trap(); // more bytes than the file's size
    }
    return 0;
}
