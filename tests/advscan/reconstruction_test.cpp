// The reconstruction of a candidate's items from the sweep's hits: files completed from their
// extension records, named streams listed beside their items, files without a folder gathered.
#include "advscan/reconstruction.h"
#include "advscan/sector_sweep.h"
#include "tests/support/ntfs_builder.h"
#include "tests/support/recording_progress.h"

#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <tuple>

namespace salvex {
namespace {

using test::Bytes;
using test::RecordBuilder;

constexpr Lba kStart = 1000;

// Records written at chosen sectors of a volume the classification is told of directly.
struct Volume {
    std::unique_ptr<test::MemoryDevice> device = std::make_unique<test::MemoryDevice>(20'000);
    SectorReader reader{AccessMode::Device};
    HitLists hits;
    NtfsScan scan;

    // Writes `record` at `at` with its own record number and sequence number in its header.
    void put(Lba at, const RecordBuilder& record, uint32_t number, uint16_t sequence = 1) {
        auto bytes = record.build();
        std::memcpy(bytes.data() + mft_record::kRecordNumber, &number, 4);
        std::memcpy(bytes.data() + mft_record::kSequence, &sequence, 2);
        device->write(at, bytes);
    }
    void run() {
        reader.open_device(std::move(device));
        test::RecordingProgress progress;
        StopFlag stop{0};
        sweep_sectors(reader, 0, 20'000, 60, hits, progress, stop);
        const CandidateList candidates{{FsType::Ntfs, 8, kStart, 0, 0, 8, 19'999}};
        reconstruct_candidate(reader, hits, candidates, 1, scan, progress, stop);
    }
    const FileNode* file(const std::string& name) const {
        for (const FileNode& f : scan.items.files) {
            if (f.name == name)
                return &f;
        }
        return nullptr;
    }
};

uint64_t reference(uint32_t record, uint16_t sequence) {
    return record | (uint64_t{sequence} << 48);
}

RecordBuilder listed(uint16_t flags = test::kFileInUse) {
    RecordBuilder r(flags);
    r.attribute_list({{kData, 0, 0}});
    return r;
}

TEST(Reconstruction, FilesAreCompletedFromTheirOwnExtensionRecords) {
    Volume v;
    // Its data starts in the base record and goes on in an extension record; an older extension
    // of another item once in record 40 is not its own.
    v.put(
        1100,
        listed().file_name(5, u"big.bin").non_resident_data(test::encode_runs({{10, 500}}), 90'000),
        40, 2);
    v.put(2000,
          RecordBuilder()
              .base_record(reference(40, 2))
              .non_resident_data(test::encode_runs({{12, 700}}), 0, 10),
          300);
    v.put(2002,
          RecordBuilder()
              .base_record(reference(40, 1))
              .non_resident_data(test::encode_runs({{1, 900}}), 123'456),
          301);
    // Its data starts in an extension record.
    v.put(1102, listed().file_name(5, u"moved.bin"), 41);
    v.put(2004,
          RecordBuilder()
              .base_record(reference(41, 1))
              .non_resident_data(test::encode_runs({{3, 800}}), 9000),
          302);
    // Its name lies in an extension record; the nameless base record without one is dropped.
    v.put(1104, listed().resident_data(Bytes(20)), 42);
    v.put(2006, RecordBuilder().base_record(reference(42, 1)).file_name(64, u"named-later.txt"),
          303);
    v.put(1106, listed().resident_data(Bytes(20)), 43);
    // A deleted item: freeing its base record raised the record's sequence number.
    v.put(1108, listed(test::kDeletedFile).file_name(5, u"gone.bin"), 44, 8);
    v.put(2008,
          RecordBuilder(test::kDeletedFile)
              .base_record(reference(44, 7))
              .non_resident_data(test::encode_runs({{4, 600}}), 16'384),
          304);
    v.run();

    // Name → record number, parent, size, record sector, deleted.
    using Listed = std::map<std::string, std::tuple<uint32_t, uint32_t, uint64_t, Lba, bool>>;
    Listed files;
    for (const FileNode& f : v.scan.items.files)
        files[f.name] = {f.recordNumber, f.parent, f.size, f.recordSector, f.deleted};
    // A file's record sector is where its data starts, as in the Standard Scan.
    EXPECT_EQ(files, (Listed{{"big.bin", {40, 5, 90'000, 1100, false}},
                             {"moved.bin", {41, 5, 9000, 2004, false}},
                             {"named-later.txt", {42, 64, 20, 1104, false}},
                             {"gone.bin", {44, 5, 16'384, 2008, true}}}));
    EXPECT_EQ(v.scan.items.files.size(), 4u);

    using Sectors = std::vector<Lba>;
    EXPECT_EQ(v.scan.extensionRecords,
              (std::unordered_map<uint32_t, Sectors>{
                  {40, {2000}}, {41, {2004}}, {42, {2006}}, {44, {2008}}}));
    // The file whose folder left no trace is gathered in a made-up folder.
    const FolderNode* lost = v.scan.items.find_folder(64);
    ASSERT_NE(lost, nullptr);
    EXPECT_EQ(lost->name, "Dir0");
}

TEST(Reconstruction, NamedStreamsAreListedBesideTheirItems) {
    Volume v;
    v.put(1100,
          RecordBuilder()
              .file_name(5, u"photo.jpg")
              .resident_data(Bytes(10))
              .resident_data(Bytes(6), u"thumbnail")
              .non_resident_data(test::encode_runs({{1, 300}}), 54, 0, u"Zone.Identifier", 7),
          64);
    v.put(1102,
          RecordBuilder(test::kFolderInUse)
              .file_name(5, u"Folder")
              .resident_data(Bytes(120), u"comment"),
          65);
    // The file system's own files keep bookkeeping in named streams: not items.
    v.put(1104,
          RecordBuilder()
              .file_name(5, u"$BadClus")
              .resident_data({})
              .non_resident_data(test::encode_runs({{1000, std::nullopt}}), 4'096'000, 0, u"$Bad"),
          8);
    v.run();

    std::map<std::string, std::pair<std::string, uint64_t>> files; // name → stream, size
    for (const FileNode& f : v.scan.items.files)
        files[f.name] = {f.stream, f.size};
    using Listed = std::map<std::string, std::pair<std::string, uint64_t>>;
    EXPECT_EQ(files, (Listed{{"photo.jpg", {"", 10}},
                             {"photo.jpg:thumbnail", {"thumbnail", 6}},
                             {"photo.jpg:Zone.Identifier", {"Zone.Identifier", 54}},
                             {"Folder:comment", {"comment", 120}},
                             {"$BadClus", {"", 0}}}));
    for (const FileNode& f : v.scan.items.files) {
        EXPECT_EQ(f.parent, kRootFolderRecord) << f.name;
        EXPECT_EQ(f.recordSector, f.name.starts_with("Folder") ? 1102u
                                  : f.name.starts_with("$")    ? 1104u
                                                               : 1100u);
    }
}

} // namespace
} // namespace salvex
