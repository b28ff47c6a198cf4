#include "tests/advscan/damaged_image.h"

#include "advscan/reconstruction.h"
#include "advscan/sector_sweep.h"
#include "tests/support/recovered_files.h"
#include "tests/support/test_images.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>

namespace salvex::test {

std::unique_ptr<MemoryDevice> image_in_memory(const std::string& name) {
    std::ifstream in(image_path(name), std::ios::binary | std::ios::ate);
    EXPECT_TRUE(in.good()) << name;
    const auto size = static_cast<uint64_t>(in.tellg());
    in.seekg(0);
    auto disk = std::make_unique<MemoryDevice>(size / kSectorSize);
    std::array<uint8_t, kSectorSize> sector;
    for (Lba s = 0; s < size / kSectorSize; ++s) {
        in.read(reinterpret_cast<char*>(sector.data()), kSectorSize);
        if (std::any_of(sector.begin(), sector.end(), [](uint8_t b) { return b != 0; }))
            std::memcpy(disk->sector(s), sector.data(), kSectorSize);
    }
    return disk;
}

void zero_sectors(MemoryDevice& disk, Lba first, uint64_t count) {
    for (Lba s = first; s < first + count; ++s)
        std::memset(disk.sector(s), 0, kSectorSize);
}

void save_image(const MemoryDevice& disk, const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<uint8_t> chunk(2048 * kSectorSize);
    for (uint64_t at = 0; at < disk.size_bytes(); at += chunk.size()) {
        const auto n =
            static_cast<size_t>(std::min<uint64_t>(chunk.size(), disk.size_bytes() - at));
        disk.read_at(at, std::span(chunk).first(n));
        out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(n));
    }
    EXPECT_TRUE(out.good()) << path;
}

std::string run_cli(const std::string& args) {
    std::string out;
    FILE* pipe = popen((cli_path() + " " + args).c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    if (!pipe)
        return out;
    std::array<char, 4096> chunk{};
    size_t n = 0;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        out.append(chunk.data(), n);
    EXPECT_EQ(pclose(pipe), 0) << args;
    return out;
}

std::vector<Lba> file_record_sectors(MemoryDevice& disk, Lba first, uint64_t count) {
    std::vector<Lba> found;
    for (Lba s = first; s < first + count; ++s) {
        if (std::memcmp(disk.sector(s), "FILE", 4) == 0)
            found.push_back(s);
    }
    return found;
}

AdvanceScan::AdvanceScan(std::unique_ptr<BlockDevice> disk) {
    reader.open_device(std::move(disk));
}

AdvanceScan& AdvanceScan::sweep() {
    SilentProgress progress;
    StopFlag stop{0};
    const Lba end = reader.total_sectors() - 1;
    sweep_sectors(reader, 0, end, 60, hits, progress, stop);
    candidates = classify_hits(reader, end, hits, progress, stop);
    return *this;
}

bool AdvanceScan::reconstruct(Lba start) {
    const auto found = std::find_if(candidates.begin(), candidates.end(),
                                    [&](const FsCandidate& c) { return c.start == start; });
    if (found == candidates.end())
        return false;
    SilentProgress progress;
    StopFlag stop{0};
    reconstruct_candidate(reader, hits, candidates,
                          static_cast<uint16_t>(found - candidates.begin() + 1), scan, progress,
                          stop);
    return true;
}

size_t expect_recovered_as_written(AdvanceScan& advance, Lba start, const std::string& manifest,
                                   const ManifestSkip& skip, const std::string& stem) {
    EXPECT_TRUE(advance.reconstruct(start)) << start;
    expect_manifest_listed(items_by_path(advance.scan), manifest, skip);
    RecoveryRun run;
    recover_root(advance.reader, advance.scan, stem, run);
    EXPECT_EQ(run.files_failed, 0u);
    return expect_files_as_written(read_manifest(source_data_path(manifest)), temp_path(stem),
                                   skip);
}

} // namespace salvex::test
