// Throughput of the sector reader against a plain sequential read of the same image.
//
//   read_bench IMAGE [SECTORS_PER_READ]
//
// Both passes read the image from the page cache after a warm-up pass, so the figure compares
// the reader's own cost with the platform's.
#include "bench/bench_image.h"
#include "disk/block_device.h"
#include "disk/sector_reader.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double mib_per_second(uint64_t bytes, Clock::duration elapsed) {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    return seconds > 0 ? static_cast<double>(bytes) / (1024.0 * 1024.0) / seconds : 0.0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: read_bench IMAGE [SECTORS_PER_READ]\n");
        return 2;
    }
    const uint32_t perRead = argc > 2 ? static_cast<uint32_t>(std::atoi(argv[2])) : 60;
    const auto image = salvex::bench::open_image(argv[1]);
    if (!image)
        return 1;
    salvex::SectorReader& reader = *image;
    const uint64_t sectors = reader.total_sectors();

    salvex::bench::plain_read(argv[1], 1 << 20); // warm the page cache
    auto start = Clock::now();
    const uint64_t plainBytes = salvex::bench::plain_read(argv[1], 1 << 20);
    const auto plainTime = Clock::now() - start;

    std::vector<uint8_t> buffer(size_t{perRead} * salvex::kSectorSize);
    start = Clock::now();
    uint64_t readerBytes = 0;
    for (uint64_t s = 0; s + perRead <= sectors; s += perRead) {
        if (reader.read_sectors(s, perRead, buffer))
            readerBytes += buffer.size();
    }
    const auto readerTime = Clock::now() - start;

    std::printf("image            %llu sectors\n", static_cast<unsigned long long>(sectors));
    std::printf("plain read(1MiB) %.0f MiB/s\n", mib_per_second(plainBytes, plainTime));
    std::printf("read_sectors(%u) %.0f MiB/s\n", perRead, mib_per_second(readerBytes, readerTime));
    return 0;
}
