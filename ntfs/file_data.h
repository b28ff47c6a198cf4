// Where a file's contents lie: the value of a resident $DATA, or the runs of a non-resident one
// gathered from every record that holds a part of it.
#pragma once

#include "disk/sector_reader.h"
#include "ntfs/item_tree.h"
#include "ntfs/run_list.h"
#include "ntfs/standard_scan.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace salvex {

struct FileData {
    enum class Kind { Resident, NonResident };
    Kind kind = Kind::Resident;
    std::vector<uint8_t> residentValue;
    RunList runs;                 // every part of the attribute, in the order of its clusters
    uint64_t dataSize = 0;        // bytes of content
    bool sizeFromRecord = true;   // false when the attribute's start was not found: the size is
                                  // then that of its runs
    uint64_t initializedSize = 0; // bytes written by the file system; zeros beyond
    bool compressed = false;
    bool encrypted = false;
    uint32_t compressionUnitClusters = 0; // clusters per compression unit (16 normally)
};

// The contents of a file found by its contents (file.contentStart): one run of the clusters from
// that sector on, as many as its size needs. nullopt when the sector is not a cluster's first.
std::optional<FileData> found_by_content(const VolumeInfo& volume, const FileNode& file);

// A file found by its contents is found_by_content. Otherwise: reads the record at
// file.recordSector and locates the $DATA the item is: the named stream
// file.stream, or the unnamed data when the stream is empty or the record has no stream of that
// name (a name with a colon that is not a stream). A non-resident attribute may continue in
// extension records; their parts are joined in cluster order, from
//  - the records the base record's attribute list names, located through scan.mftMap;
//  - the records scan.extensionRecords holds for the base record (an Advance Scan's finds).
// A record counts only when its header names the base record, number and sequence number (one
// less when the base record is no longer in use: freeing a record raises its sequence number),
// so a reused record holding another file's extension adds nothing. A part that cannot be found
// reads as zeros so that the parts after it stay in place. The sizes and flags are those of the
// part that starts the attribute, wherever it lies. nullopt when the record holds no such $DATA.
std::optional<FileData> locate_file_data(const SectorReader& reader, const NtfsScan& scan,
                                         const FileNode& file);

} // namespace salvex
