// The files of a candidate volume, made from the sweep's file and extension record hits: the
// records its sector range holds (less those of volumes confirmed inside it), each file under
// each of its names with its named streams beside it, completed from its extension records.
#pragma once

#include "advscan/classification.h"
#include "advscan/hit_lists.h"
#include "disk/sector_reader.h"
#include "ntfs/standard_scan.h"

namespace salvex {

// An item with what its record's hit says of it.
template <class Node, class Hit>
Node item_of(const Hit& hit) {
    Node node;
    node.name = hit.name;
    node.recordNumber = hit.mftNumber;
    node.parent = hit.parent;
    node.parentSequence = hit.parentSequence;
    node.creationTime = hit.creationTime;
    node.changeTime = hit.changeTime;
    node.deleted = hit.deleted;
    return node;
}

// Adds the files of candidate `number` (counting from 1) to scan.items and lists their extension
// records in scan.extensionRecords by base record. The mirror's copies of the $MFT's first
// records are left out where their originals are found; a record the sweep found torn is read
// again through scan.mftMap (which the caller builds when the candidate knows its $MFT).
void add_candidate_files(const SectorReader& reader, const HitLists& hits,
                         const CandidateList& candidates, uint16_t number, NtfsScan& scan);

} // namespace salvex
