// The sector sweep's rate beside a plain read of the same image, and the classification's time
// on a volume of 100,000 folders.
//
//   sweep_bench IMAGE [SECTORS_PER_READ]
#include "advscan/classification.h"
#include "advscan/sector_sweep.h"
#include "bench/bench_image.h"
#include "disk/block_device.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

using namespace salvex;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A device of `sectors` zero sectors but for the ones set.
class SparseDevice final : public BlockDevice {
public:
    explicit SparseDevice(uint64_t sectors) : sectors_(sectors) {}
    void mark_indx(Lba s) { indx_[s] = true; }
    bool read_at(uint64_t offset, std::span<uint8_t> out) const override {
        std::memset(out.data(), 0, out.size());
        for (size_t i = 0; i < out.size(); i += kSectorSize) {
            if (indx_.count((offset + i) / kSectorSize))
                std::memcpy(out.data() + i, "INDX", 4);
        }
        return offset + out.size() <= sectors_ * kSectorSize;
    }
    uint64_t size_bytes() const override { return sectors_ * kSectorSize; }

private:
    uint64_t sectors_;
    std::unordered_map<Lba, bool> indx_;
};

// The hits of a lost volume of `count` folders (8 sectors per cluster from sector 2048, no boot
// sector), with stray folders whose index blocks were never found between them.
void classification_bench(size_t count) {
    const Lba start = 2048;
    const uint64_t spc = 8;
    auto device = std::make_unique<SparseDevice>(start + spc * (count * 4 + 100) + 10 * count);
    HitLists hits;
    for (size_t i = 0; i < count; ++i) {
        FolderRecordHit f;
        f.name = "folder" + std::to_string(i);
        f.sector = start + 64 + 2 * i;
        f.parent = 5;
        f.mftNumber = static_cast<uint32_t>(64 + i);
        f.firstIndexCluster = static_cast<int64_t>(100 + 4 * i);
        const Lba block = start + spc * static_cast<uint64_t>(f.firstIndexCluster);
        if (i % 10 != 3) { // every tenth folder lost its index block
            device->mark_indx(block);
            hits.indexBlocks.push_back({block, f.mftNumber, 0, -1, 8});
            hits.indxSectors.push_back(block);
        }
        hits.folders.push_back(std::move(f));
    }
    std::sort(hits.indexBlocks.begin(), hits.indexBlocks.end(),
              [](const auto& a, const auto& b) { return a.sector < b.sector; });
    std::sort(hits.indxSectors.begin(), hits.indxSectors.end());
    hits.sweptFrom = 0;
    hits.sweptTo = device->size_bytes() / kSectorSize;
    SectorReader reader(AccessMode::Device);
    const Lba end = hits.sweptTo - 1;
    reader.open_device(std::move(device));
    SilentProgress progress;
    StopFlag stop{0};
    const auto begin = Clock::now();
    const CandidateList candidates = classify_hits(reader, end, hits, progress, stop);
    std::printf("classification   %zu folders: %.3f s, %zu candidate(s), first %s\n", count,
                seconds_since(begin), candidates.size(),
                candidates.empty() ? "-" : candidates[0].label().c_str());
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: sweep_bench IMAGE [SECTORS_PER_READ]\n");
        return 2;
    }
    const uint32_t perRead = argc > 2 ? static_cast<uint32_t>(std::atoi(argv[2])) : 60;
    const auto image = salvex::bench::open_image(argv[1]);
    if (!image)
        return 1;
    salvex::SectorReader& reader = *image;
    const uint64_t sectors = reader.total_sectors();

    bench::plain_read(argv[1], 128 * 1024); // into the page cache
    // Each figure is the best of three runs.
    const std::string cat = "cat '" + std::string(argv[1]) + "' > /dev/null";
    double mib = 0;
    double loopSeconds = 1e9;
    double catSeconds = 1e9;
    double sweepSeconds = 1e9;
    HitLists hits;
    SilentProgress progress;
    StopFlag stop{0};
    for (int run = 0; run < 3; ++run) {
        auto begin = Clock::now();
        mib = static_cast<double>(bench::plain_read(argv[1], 128 * 1024)) / (1024.0 * 1024.0);
        loopSeconds = std::min(loopSeconds, seconds_since(begin));
        begin = Clock::now();
        if (std::system(cat.c_str()) != 0)
            return 1;
        catSeconds = std::min(catSeconds, seconds_since(begin));
        hits.clear();
        begin = Clock::now();
        sweep_sectors(reader, 0, sectors, perRead, hits, progress, stop);
        sweepSeconds = std::min(sweepSeconds, seconds_since(begin));
    }
    auto begin = Clock::now();
    begin = Clock::now();
    const CandidateList candidates = classify_hits(reader, sectors - 1, hits, progress, stop);
    const double classifySeconds = seconds_since(begin);

    std::printf("image            %.0f MiB\n", mib);
    std::printf("cat > /dev/null  %.0f MiB/s (the command, process start included)\n",
                mib / catSeconds);
    std::printf("read loop        %.0f MiB/s (128 KiB reads in this process)\n", mib / loopSeconds);
    std::printf("sweep            %.0f MiB/s (%u sectors per batch), %zu files, %zu folders, "
                "%zu index blocks, %zu boot sectors\n",
                mib / sweepSeconds, perRead, hits.files.size(), hits.folders.size(),
                hits.indexBlocks.size(), hits.bootSectors.size());
    std::printf("sweep / cat      %.0f%% of cat's rate\n", 100.0 * catSeconds / sweepSeconds);
    std::printf("classification   %.3f s, %zu candidate(s)\n", classifySeconds, candidates.size());
    classification_bench(100'000);
    return 0;
}
