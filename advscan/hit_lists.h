// What the sector sweep finds of NTFS volumes: boot sectors, file and folder records, and index
// blocks, each list in the order of the sectors it was found in.
#pragma once

#include "disk/sector.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace salvex {

struct BootSectorHit {
    Lba sector = 0;
};

struct FileRecordHit {
    std::string name; // UTF-8
    Lba sector = 0;   // first sector of the FILE record
    uint32_t parent = 0;
    uint32_t mftNumber = 0; // files do not learn theirs: always 0
    uint64_t creationTime = 0;
    uint64_t changeTime = 0;
    uint64_t dataSize = 0; // of the unnamed $DATA; 0 without one
    int16_t candidate = 0;
    bool deleted = false;
};

struct FolderRecordHit {
    std::string name; // UTF-8
    Lba sector = 0;
    uint32_t parent = 0;
    uint32_t mftNumber = 0; // as far as the record tells it; 0 when unknown
    int16_t candidate = 0;  // 0 unassigned, the candidate's number, or -1 when none fits
    uint64_t creationTime = 0;
    uint64_t changeTime = 0;
    int64_t firstIndexCluster = 0; // first cluster of its $I30 index allocation; 0 without one
    bool deleted = false;
};

struct IndexBlockHit {
    Lba sector = 0;
    uint32_t owner = 0; // record number of the folder whose index the block belongs to
    uint32_t vcn = 0;   // the block's place in that index
    int16_t marker = -1;
    uint8_t sizeInSectors = 0;
};

struct HitLists {
    std::vector<BootSectorHit> bootSectors;
    std::deque<FileRecordHit> files; // grows without moving what it holds
    std::deque<FolderRecordHit> folders;
    std::vector<IndexBlockHit> indexBlocks;

    // Every sector of the swept range whose first bytes are "INDX", whether or not it made an
    // index block hit: the classification checks its guesses against them without reading.
    std::vector<Lba> indxSectors;
    Lba sweptFrom = 0; // the sectors the sweep examined: [sweptFrom, sweptTo)
    Lba sweptTo = 0;

    void clear() { *this = HitLists{}; }
};

} // namespace salvex
