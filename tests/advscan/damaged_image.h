// Bundled images held in memory so that a test can damage them (sectors overwritten, zeroed or
// made unreadable) without root or a copy on disk, and the Advance Scan run over them.
#pragma once

#include "advscan/classification.h"
#include "advscan/hit_lists.h"
#include "ntfs/standard_scan.h"
#include "tests/support/memory_device.h"
#include "tests/support/scanned_volume.h"

#include <memory>
#include <string>

namespace salvex::test {

// The image `name` (without ".img") as a memory disk of the same size.
std::unique_ptr<MemoryDevice> image_in_memory(const std::string& name);

// Zeroes `count` sectors from `first`.
void zero_sectors(MemoryDevice& disk, Lba first, uint64_t count);

// Writes the disk to an image file at `path`.
void save_image(const MemoryDevice& disk, const std::string& path);

// Runs salvex-cli with `args` (a shell command line's rest); its standard output.
std::string run_cli(const std::string& args);

// Every sector of [first, first + count) that begins with "FILE".
std::vector<Lba> file_record_sectors(MemoryDevice& disk, Lba first, uint64_t count);

// The Advance Scan over a whole disk: sweep, classification, and the reconstruction of one
// candidate.
struct AdvanceScan {
    SectorReader reader{AccessMode::Device};
    HitLists hits;
    CandidateList candidates;
    NtfsScan scan;

    explicit AdvanceScan(std::unique_ptr<BlockDevice> disk);
    // Sweeps every sector and classifies the hits.
    AdvanceScan& sweep();
    // Reconstructs the candidate that starts at `start`; false when there is none.
    bool reconstruct(Lba start);
};

// Reconstructs the candidate at `start`, checks every path of `manifest` that `skip` does not pass
// over, recovers the root into temp_path(stem) and compares every such file byte for byte;
// returns how many files were compared.
size_t expect_recovered_as_written(AdvanceScan& advance, Lba start, const std::string& manifest,
                                   const ManifestSkip& skip = {},
                                   const std::string& stem = "recovered");

} // namespace salvex::test
