#include "tests/advscan/classification_oracle.h"

#include "ntfs/mft_record.h"
#include "ntfs/utf16.h"
#include "partition/volume_parameters.h"

#include <array>

namespace salvex::test {

namespace {

bool valid(uint64_t spc) {
    return spc >= 1 && spc <= 128 && (spc & (spc - 1)) == 0;
}

struct Oracle {
    const SectorReader& reader;
    HitLists& hits;
    CandidateList candidates;

    bool indx_at(Lba sector) {
        std::array<uint8_t, kSectorSize> b{};
        return reader.read_sectors(sector, 1, b) && has_text_at(b, 0, "INDX");
    }

    bool verify(uint64_t spc, Lba lower, Lba upper) {
        bool any = false;
        for (FolderRecordHit& f : hits.folders) {
            if (f.sector > upper)
                break;
            if (f.sector <= lower || f.candidate != 0 || f.firstIndexCluster <= 0)
                continue;
            if (indx_at(lower + spc * static_cast<uint64_t>(f.firstIndexCluster))) {
                f.candidate = static_cast<int16_t>(candidates.size() + 1);
                any = true;
            }
        }
        return any;
    }

    void assign() {
        for (const IndexBlockHit& hit : hits.indexBlocks) {
            std::vector<uint8_t> block(size_t{hit.sizeInSectors} * kSectorSize, 0);
            reader.read_sectors(hit.sector, hit.sizeInSectors, block);
            if (!has_text_at(block, 0, "INDX"))
                continue;
            apply_fixup(block);
            size_t at = uint64_t{le32(block, 0x18).value_or(0)} + 0x18;
            while (at < block.size()) {
                const uint8_t length = le8(block, at + 0x50).value_or(0);
                if (length == 0 || at + 0x52 + 2 * size_t{length} > block.size())
                    break;
                if (le32(block, at + 0x48).value_or(0) & 0x10000000) {
                    const std::string name = utf16le_to_utf8(block, at + 0x52, length);
                    for (FolderRecordHit& f : hits.folders) {
                        if (f.mftNumber == 0 && f.creationTime == le64(block, at + 0x18) &&
                            f.parent == le32(block, at + 0x10) && f.name == name) {
                            f.mftNumber = le32(block, at).value_or(0);
                            break;
                        }
                    }
                }
                const uint16_t step = le16(block, at + 8).value_or(0);
                if (step == 0)
                    break;
                at += step;
            }
        }
        uint32_t previousNumber = 1;
        Lba previousSector = 0;
        for (FolderRecordHit& f : hits.folders) {
            if (f.mftNumber == 0) {
                const uint64_t d = f.sector - previousSector;
                f.mftNumber = (previousSector == 0 || d % 2 == 1)
                                  ? previousNumber + 1
                                  : previousNumber + uint32_t(d / 2);
            }
            previousNumber = f.mftNumber;
            previousSector = f.sector;
        }
    }

    void pair() {
        for (const BootSectorHit& hit : hits.bootSectors) {
            std::array<uint8_t, kSectorSize> b{};
            if (!reader.read_sectors(hit.sector, 1, b))
                continue;
            const auto spc = decode_sectors_per_cluster(b[0x0D]);
            const uint64_t total = le64(b, 0x28).value_or(0);
            if (!spc || total == 0 || b[0x44] == 0)
                continue;
            const auto make = [&](Lba s) {
                return FsCandidate{FsType::Ntfs,
                                   *spc,
                                   s,
                                   s + *spc * le64(b, 0x30).value_or(0),
                                   s + *spc * le64(b, 0x38).value_or(0),
                                   index_block_sectors(b, *spc),
                                   s + total};
            };
            if (verify(*spc, hit.sector, hit.sector + total))
                candidates.push_back(make(hit.sector));
            if (hit.sector >= total && verify(*spc, hit.sector - total, hit.sector))
                candidates.push_back(make(hit.sector - total));
        }
    }

    Lba first_block(uint32_t owner) const {
        for (const IndexBlockHit& b : hits.indexBlocks) {
            if (b.vcn == 0 && b.marker == -1 && b.owner == owner)
                return b.sector;
        }
        return 0;
    }

    void infer(Lba rangeEnd) {
        for (size_t p = 0; p < hits.folders.size(); ++p) {
            FolderRecordHit& P = hits.folders[p];
            if (P.candidate != 0)
                continue;
            const int64_t c = P.firstIndexCluster;
            const Lba d = c == 0 ? 0 : first_block(P.mftNumber);
            if (d == 0) {
                P.candidate = -1;
                continue;
            }
            for (size_t r = p + 1; r < hits.folders.size(); ++r) {
                const FolderRecordHit& R = hits.folders[r];
                const int64_t e = R.firstIndexCluster;
                if (R.candidate != 0 || e == 0)
                    continue;
                const Lba f = first_block(R.mftNumber);
                if (f == 0 || f == d || c == e)
                    continue;
                const int64_t num = static_cast<int64_t>(f) - static_cast<int64_t>(d);
                const int64_t den = e - c;
                if (num % den != 0)
                    continue;
                const int64_t spc = num / den;
                const int64_t start = static_cast<int64_t>(d) - spc * c;
                if (spc <= 0 || start < 0 || !valid(static_cast<uint64_t>(spc)))
                    continue;
                if (verify(static_cast<uint64_t>(spc), static_cast<Lba>(start), rangeEnd))
                    candidates.push_back(FsCandidate{FsType::Ntfs, static_cast<uint32_t>(spc),
                                                     static_cast<Lba>(start), 0, 0, 8, rangeEnd});
            }
        }
    }
};

} // namespace

CandidateList classify_hits_directly(const SectorReader& reader, Lba rangeEnd, HitLists& hits) {
    Oracle oracle{reader, hits, {}};
    oracle.assign();
    std::erase_if(hits.indexBlocks, [](const IndexBlockHit& b) { return b.vcn != 0; });
    oracle.pair();
    oracle.infer(rangeEnd);
    int16_t last = 1;
    for (FolderRecordHit& f : hits.folders) {
        if (f.candidate == -1)
            f.candidate = last;
        last = f.candidate;
    }
    return oracle.candidates;
}

} // namespace salvex::test
