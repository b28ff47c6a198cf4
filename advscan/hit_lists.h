// What the sector sweep finds of NTFS volumes: boot sectors, file and folder records, extension
// records and index blocks, each list in the order of the sectors it was found in.
#pragma once

#include "advscan/content_carver.h"
#include "disk/sector.h"
#include "ntfs/file_name.h"
#include "ntfs/mft_record.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace salvex {

struct BootSectorHit {
    Lba sector = 0;
};

// A file under one of its names, or one named data stream of a file or folder record beside it.
// A record gives one hit per name and per stream, in a row.
struct FileRecordHit {
    std::string name;   // UTF-8; empty when the name lies in an extension record (nameElsewhere)
    std::string stream; // UTF-8: the named data stream this hit stands for; empty for the file
    Lba sector = 0;     // first sector of the FILE record
    uint32_t parent = 0;
    uint16_t parentSequence = 0; // as the reference to the parent states it
    uint32_t mftNumber = 0;      // the record's own number as its header states it; 0 when absent
    uint16_t sequence = 0;       // the record's sequence number, raised each time it is freed
    uint64_t creationTime = 0;
    uint64_t changeTime = 0;
    uint64_t dataSize = 0;       // of the unnamed $DATA (of the stream); 0 without one
    bool dataStartsHere = false; // the record holds the part at VCN 0, which gives the size
    int16_t candidate = 0;
    bool deleted = false;
    // A base record without a $FILE_NAME, whose attribute list placed the name in an extension
    // record (as ntfs-3g does when the base record is full).
    bool nameElsewhere = false;
    // The record's later sectors failed the fix-up check where the sweep read them (a record of
    // a fragmented $MFT may finish elsewhere): only its first sectors were decoded.
    bool torn = false;
};

// One part of a $DATA attribute (the unnamed one or a named stream).
struct DataPartHit {
    std::string stream;     // UTF-8; empty for the unnamed $DATA
    uint64_t lowestVcn = 0; // the first cluster of the data this part maps
    uint64_t dataSize = 0;  // the attribute's size, carried by the part at VCN 0 only
    bool operator==(const DataPartHit&) const = default;
};

// An extension record: attributes of an item whose base record had no room for them.
struct ExtensionRecordHit {
    Lba sector = 0;
    MftReference base; // the base record's number and the sequence it had then
    std::vector<DataPartHit> dataParts;
    // Names of the item that its base record had no room for (hard links), or its only name
    // when the base record left it here.
    std::vector<FileNameInfo> names;
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
    uint16_t parentSequence = 0; // as the reference to the parent states it
    uint16_t sequence = 0;       // the record's sequence number
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
    std::deque<ExtensionRecordHit> extensions; // those holding a $DATA part or a name
    std::vector<IndexBlockHit> indexBlocks;
    // The blocks classification leaves out of indexBlocks (those after an index's first).
    std::vector<IndexBlockHit> laterIndexBlocks;

    // Every sector of the swept range whose first bytes are "INDX", whether or not it made an
    // index block hit: the classification checks its guesses against them without reading.
    std::vector<Lba> indxSectors;
    // Boot sectors of BitLocker volumes: nothing in them can be read until they are unlocked.
    std::vector<Lba> encryptedVolumes;
    // Sectors that begin a file of a known format, by their contents.
    std::vector<ContentStart> contentStarts;
    // The files followed to their ends from those starts.
    std::vector<CarvedFile> carvedFiles;
    Lba sweptFrom = 0; // the sectors the sweep examined: [sweptFrom, sweptTo)
    Lba sweptTo = 0;

    void clear() { *this = HitLists{}; }
};

} // namespace salvex
