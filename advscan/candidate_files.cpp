#include "advscan/candidate_files.h"

#include "advscan/record_hit.h"
#include "ntfs/mft_map.h"
#include "ntfs/run_list.h"

#include <algorithm>
#include <array>
#include <set>
#include <span>
#include <unordered_set>
#include <vector>

namespace salvex {

namespace {

// The sectors whose records belong to the chosen candidate: those after its start and not after
// its end, less the sectors of the volumes that boot sectors confirmed inside it (a later volume
// when this one was inferred from its folders and so ends with the scan, or a disk image kept in
// one of its files): their records are theirs.
class VolumeSectors {
public:
    VolumeSectors(const CandidateList& candidates, uint16_t number)
        : start_(candidates[number - 1].start), end_(candidates[number - 1].end) {
        for (size_t i = 0; i < candidates.size(); ++i) {
            const FsCandidate& other = candidates[i];
            if (i + 1 != number && other.mftStart != 0 && other.start > start_ &&
                other.start <= end_)
                inner_.push_back({other.start, other.end});
        }
    }

    bool contains(Lba sector) const {
        return sector > start_ && sector <= end_ &&
               std::none_of(inner_.begin(), inner_.end(), [&](const auto& range) {
                   return sector >= range.first && sector <= range.second;
               });
    }

private:
    Lba start_;
    Lba end_;
    std::vector<std::pair<Lba, Lba>> inner_;
};

// Freeing a record raises its sequence number, skipping 0.
uint16_t next_sequence(uint16_t sequence) {
    return sequence == 0xFFFF ? 1 : static_cast<uint16_t>(sequence + 1);
}

// Whether an extension record belongs to the item whose base record is `file`: its reference
// names the base record's number and the sequence number the base record had when the item was
// made, so an extension left over from an earlier item in that record does not match. A deleted
// item's base record was freed since, which raised its sequence number by one.
bool belongs_to(const ExtensionRecordHit& extension, const FileRecordHit& file) {
    if (file.mftNumber == 0 || extension.base.record != file.mftNumber)
        return false;
    const uint16_t made = extension.base.sequence;
    return made == 0 || file.sequence == 0 || made == file.sequence ||
           (file.deleted && next_sequence(made) == file.sequence);
}

// The extension records of a volume, by the base record they name.
class VolumeExtensions {
public:
    VolumeExtensions(const HitLists& hits, const VolumeSectors& volume) {
        for (const ExtensionRecordHit& e : hits.extensions) {
            if (volume.contains(e.sector) && e.base.record <= UINT32_MAX)
                byBase_[static_cast<uint32_t>(e.base.record)].push_back(&e);
        }
    }

    // Those of `file`'s item, in sector order.
    std::vector<const ExtensionRecordHit*> of(const FileRecordHit& file) const {
        std::vector<const ExtensionRecordHit*> found;
        if (const auto it = byBase_.find(file.mftNumber); it != byBase_.end()) {
            for (const ExtensionRecordHit* e : it->second) {
                if (belongs_to(*e, file))
                    found.push_back(e);
            }
        }
        return found;
    }

private:
    std::unordered_map<uint32_t, std::vector<const ExtensionRecordHit*>> byBase_;
};

// The extension record that holds the part of `stream` starting at VCN 0, and that part.
std::pair<const ExtensionRecordHit*, const DataPartHit*>
first_part_in(const std::vector<const ExtensionRecordHit*>& extensions, const std::string& stream) {
    for (const ExtensionRecordHit* e : extensions) {
        for (const DataPartHit& part : e->dataParts) {
            if (part.stream == stream && part.lowestVcn == 0)
                return {e, &part};
        }
    }
    return {nullptr, nullptr};
}

// The file item of a hit, completed from its item's extension records: the name when the base
// record left it to them, and the size from the part of the data that starts at VCN 0, wherever
// it lies. nullopt when no name is found.
std::optional<FileNode> file_item(const FileRecordHit& hit,
                                  const std::vector<const ExtensionRecordHit*>& extensions) {
    FileNode file = item_of<FileNode>(hit);
    if (hit.nameElsewhere) {
        const auto named =
            std::find_if(extensions.begin(), extensions.end(),
                         [](const ExtensionRecordHit* e) { return !e->names.empty(); });
        if (named == extensions.end())
            return std::nullopt;
        take_file_name(file, (*named)->names.front());
    }
    file.recordSector = hit.sector;
    if (hit.dataStartsHere) {
        file.size = hit.dataSize;
    } else if (const auto [holder, part] = first_part_in(extensions, hit.stream); part) {
        file.size = part->dataSize;
        file.recordSector = holder->sector;
    }
    if (!hit.stream.empty()) {
        file.stream = hit.stream;
        file.name += ":" + hit.stream;
    }
    return file;
}

// The $MFT's mirror keeps copies of its first four records ($MFT, $MFTMirr, $LogFile, $Volume).
constexpr uint32_t kMirrorRecord = 1;
constexpr uint64_t kMirroredRecords = 4;

// Where the mirror lies: as the boot sector said, or, for a volume inferred from its folders,
// where the $MFTMirr record's data starts; 0 when neither tells.
Lba mirror_start(const SectorReader& reader, const HitLists& hits, const VolumeInfo& volume,
                 const VolumeSectors& sectors) {
    if (volume.mftMirrorStart != 0)
        return volume.mftMirrorStart;
    for (const FileRecordHit& hit : hits.files) {
        if (!sectors.contains(hit.sector) || !hit.stream.empty() || hit.name != "$MFTMirr" ||
            hit.parent != kRootFolderRecord || (hit.mftNumber != kMirrorRecord && hit.mftNumber))
            continue;
        std::vector<uint8_t> record(size_t{record_sectors_of(volume)} * kSectorSize, 0);
        reader.read_sectors_or_zeros(hit.sector, record_sectors_of(volume), record);
        if (!is_sane_file_record(record))
            continue;
        apply_fixup(record);
        const auto data = find_unnamed_attribute(record, kData);
        if (!data || !data->non_resident())
            continue;
        const RunList runs =
            decode_run_list(data->bytes, le16(data->bytes, attribute::kRunListOffset).value_or(0));
        if (!runs.empty() && !runs[0].sparse &&
            runs[0].lcn < (UINT64_MAX - volume.fsStart) / std::max(volume.sectorsPerCluster, 1u))
            return volume.cluster_sector(runs[0].lcn);
    }
    return 0;
}

// The hits of the mirror's copies of records whose originals are listed too: a file is listed
// once, and from the $MFT itself.
std::unordered_set<const FileRecordHit*> mirror_copies(const SectorReader& reader,
                                                       const HitLists& hits,
                                                       const VolumeInfo& volume,
                                                       const VolumeSectors& sectors) {
    std::unordered_set<const FileRecordHit*> copies;
    const Lba mirror = mirror_start(reader, hits, volume, sectors);
    if (mirror == 0 || mirror == volume.mftStart)
        return copies;
    const uint64_t mirroredSectors = kMirroredRecords * record_sectors_of(volume);
    const auto in_mirror = [&](const FileRecordHit& hit) {
        return hit.sector >= mirror && hit.sector - mirror < mirroredSectors;
    };
    std::set<std::pair<uint32_t, std::string>> originals; // record number and name
    for (const FileRecordHit& hit : hits.files) {
        if (sectors.contains(hit.sector) && !in_mirror(hit))
            originals.insert({hit.mftNumber, hit.name + ":" + hit.stream});
    }
    for (const FileRecordHit& hit : hits.files) {
        if (in_mirror(hit) && originals.count({hit.mftNumber, hit.name + ":" + hit.stream}))
            copies.insert(&hit);
    }
    return copies;
}

// The file hits of a torn record read again where the map of the $MFT puts each of its sectors:
// with clusters smaller than a record, a record may start at the end of one extent of the $MFT
// and finish in the next, which the sweep did not read with it. Nothing when the map does not
// know the record or it is torn there too.
std::vector<FileRecordHit> reread_torn(const SectorReader& reader, const MftMap& map, Lba sector) {
    std::vector<uint8_t> record(map.record_bytes(), 0);
    if (map.empty() || !map.record_at_sector(sector) ||
        !read_record_at(reader, &map, sector, record))
        return {};
    HitLists again;
    decode_file_record_hit(record, sector, again);
    if (again.files.empty() || again.files.front().torn)
        return {};
    return {again.files.begin(), again.files.end()};
}

// The file hits of the volume: those its sectors hold, less the mirror's copies, torn records
// read again through the map of the $MFT where it can.
std::vector<FileRecordHit> volume_files(const SectorReader& reader, const HitLists& hits,
                                        const VolumeInfo& volume, const VolumeSectors& sectors,
                                        const MftMap& map) {
    const auto mirrored = mirror_copies(reader, hits, volume, sectors);
    std::vector<FileRecordHit> files;
    Lba reread = 0; // the record read again last; the hits of its streams follow its own
    for (const FileRecordHit& hit : hits.files) {
        if (!sectors.contains(hit.sector) || mirrored.count(&hit) || hit.sector == reread)
            continue;
        if (hit.torn) {
            auto whole = reread_torn(reader, map, hit.sector);
            if (!whole.empty()) {
                reread = hit.sector;
                files.insert(files.end(), std::make_move_iterator(whole.begin()),
                             std::make_move_iterator(whole.end()));
                continue;
            }
        }
        files.push_back(hit);
    }
    return files;
}

// The items of one record's hits (a name each, and streams beside them), and of the names its
// extension records keep: each is the file under one more name, as the Standard Scan lists it.
void add_record_files(std::span<const FileRecordHit> record,
                      const std::vector<const ExtensionRecordHit*>& extensions, NtfsItems& items) {
    std::set<std::pair<uint32_t, std::string>> listed; // (parent, name) of the file's names
    std::optional<FileNode> file;                      // the file's item under its first name
    for (const FileRecordHit& hit : record) {
        auto item = file_item(hit, extensions);
        if (!item)
            continue;
        if (hit.stream.empty()) {
            listed.insert({item->parent, item->name});
            if (!file)
                file = *item;
        }
        items.add_file(std::move(*item));
    }
    if (!file)
        return;
    for (const ExtensionRecordHit* e : extensions) {
        for (const FileNameInfo& name : e->names) {
            if (!listed.insert({name.parent, name.name}).second)
                continue;
            FileNode other = *file;
            take_file_name(other, name);
            items.add_file(std::move(other));
        }
    }
}

} // namespace

void add_candidate_files(const SectorReader& reader, const HitLists& hits,
                         const CandidateList& candidates, uint16_t number, NtfsScan& scan) {
    const VolumeSectors sectors(candidates, number);
    const VolumeExtensions volumeExtensions(hits, sectors);
    const std::vector<FileRecordHit> files =
        volume_files(reader, hits, scan.volume, sectors, scan.mftMap);
    std::unordered_set<Lba> listed; // extension records already in scan.extensionRecords
    // The hits of one record lie in a row.
    for (size_t first = 0, end = 0; first < files.size(); first = end) {
        end = first + 1;
        while (end < files.size() && files[end].sector == files[first].sector)
            ++end;
        const auto extensions = volumeExtensions.of(files[first]);
        for (const ExtensionRecordHit* e : extensions) {
            if (listed.insert(e->sector).second)
                scan.extensionRecords[files[first].mftNumber].push_back(e->sector);
        }
        add_record_files(std::span(files).subspan(first, end - first), extensions, scan.items);
    }
    for (auto& [base, records] : scan.extensionRecords)
        std::sort(records.begin(), records.end());
}

} // namespace salvex
