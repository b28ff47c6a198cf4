// Grouping the sweep's hits into candidate NTFS volumes, each confirmed by the disk: folder
// records must find their first index block exactly where the candidate's geometry puts it.
#pragma once

#include "advscan/hit_lists.h"
#include "disk/progress.h"
#include "disk/sector_reader.h"
#include "partition/fs_type.h"
#include "partition/volume_info.h"

#include <algorithm>
#include <string>
#include <vector>

namespace salvex {

// The candidate, and the folder, of the files found by their contents.
inline constexpr const char* kFoundByContentLabel = "Files found by content";

struct FsCandidate {
    FsType type = FsType::Ntfs;
    uint32_t sectorsPerCluster = 0;
    Lba start = 0;
    Lba mftStart = 0;       // 0 when inferred from folders
    Lba mftMirrorStart = 0; // 0 when inferred from folders
    uint32_t indexBlockSectors = 0;
    Lba end = 0;
    // Not a volume: the files the sweep found by their contents where it found no volume.
    bool foundByContent = false;

    // "NTFS @" and the start sector, counted in units of `unit` 512-byte sectors (the drive's own
    // sectors): the candidate's label in the file-system tree.
    std::string label(uint64_t unit = 1) const {
        if (foundByContent)
            return kFoundByContentLabel;
        return "NTFS @" + std::to_string(start / std::max<uint64_t>(unit, 1));
    }
    bool operator==(const FsCandidate&) const = default;
};

using CandidateList = std::vector<FsCandidate>;

// The volume parameters of the chosen candidate (`number` counts from 1).
VolumeInfo volume_of_candidate(const FsCandidate& candidate, uint16_t number);

// Classifies the hits of a sweep that ended at `rangeEnd` (the end sector the user gave):
// assigns MFT numbers to folders, keeps only first index blocks, makes candidates from boot
// sectors (and from backup boot sectors) and from pairs of folders, and marks each folder
// record with its candidate's number.
CandidateList classify_hits(const SectorReader& reader, Lba rangeEnd, HitLists& hits,
                            ProgressSink& progress, StopFlag& stop);

// The steps of classify_hits, for tests.
void assign_mft_numbers(const SectorReader& reader, HitLists& hits, ProgressSink& progress);
void delete_unused_items(HitLists& hits, ProgressSink& progress);

} // namespace salvex
