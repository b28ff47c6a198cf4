// Files found by their contents: files made by real encoders (tools/carving/make_samples.py)
// laid on a disk at sector starts, between zeros and noise, swept and followed to their ends.
#include "advscan/content_carver.h"
#include "advscan/sector_sweep.h"
#include "tests/support/memory_device.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace salvex {
namespace {

std::vector<uint8_t> sample(const std::string& name) {
    std::ifstream in(std::string(SALVEX_SOURCE_DATA_DIR) + "/carving/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), {}};
}

// Bytes no format recognises: each sector starts with 0x00 so that no start is taken.
std::vector<uint8_t> noise(size_t count, uint32_t seed) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        seed = seed * 1103515245 + 12345;
        bytes[i] = i % kSectorSize == 0 ? 0 : static_cast<uint8_t>(seed >> 24);
    }
    return bytes;
}

struct Disk {
    std::unique_ptr<test::MemoryDevice> device = std::make_unique<test::MemoryDevice>(4096);
    test::MemoryDevice* raw = device.get();
    SectorReader reader{AccessMode::Device};
    HitLists hits;

    void put(Lba at, const std::vector<uint8_t>& bytes) { raw->write(at, bytes); }
    std::vector<CarvedFile> sweep_and_carve() {
        reader.open_device(std::move(device));
        SilentProgress quiet;
        StopFlag stop{0};
        sweep_sectors(reader, 0, 4096, 60, hits, quiet, stop);
        return carve_files(reader, hits.contentStarts, 4096);
    }
};

TEST(ContentCarver, EveryFormatIsFollowedToItsOwnEnd) {
    const std::vector<std::pair<std::string, ContentKind>> samples = {
        {"photo.jpg", ContentKind::Jpeg},      {"scan.png", ContentKind::Png},
        {"icon.gif", ContentKind::Gif},        {"drawing.bmp", ContentKind::Bmp},
        {"album.zip", ContentKind::Zip},       {"contacts.sqlite", ContentKind::Sqlite},
        {"service.log.gz", ContentKind::Gzip}, {"tone.wav", ContentKind::Wav}};
    Disk disk;
    std::vector<CarvedFile> expected;
    Lba at = 16;
    for (const auto& [name, kind] : samples) {
        const std::vector<uint8_t> bytes = sample(name);
        disk.put(at, bytes);
        expected.push_back({at, bytes.size(), kind});
        const Lba sectors = (bytes.size() + kSectorSize - 1) / kSectorSize;
        // Noise after each file: its end comes from its structure, not from where zeros begin.
        disk.put(at + sectors, noise(8 * kSectorSize, static_cast<uint32_t>(at)));
        at += sectors + 8;
    }
    // The photo inside the ZIP starts at a sector too, and is part of the ZIP.
    EXPECT_EQ(disk.sweep_and_carve(), expected);
    EXPECT_EQ(disk.hits.contentStarts.size(), samples.size() + 1);
}

TEST(ContentCarver, AFileCutShortOrDamagedIsNotTakenForWhole) {
    const std::vector<uint8_t> png = sample("scan.png");
    const std::vector<uint8_t> jpeg = sample("photo.jpg");
    const std::vector<uint8_t> zip = sample("album.zip");
    Disk disk;
    // The first half of each, the rest overwritten.
    disk.put(100, std::vector<uint8_t>(png.begin(), png.begin() + png.size() / 2));
    disk.put(300, std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + jpeg.size() / 2));
    disk.put(500, std::vector<uint8_t>(zip.begin(), zip.end() - 600));
    // A PNG with one byte changed inside a chunk: its CRC disagrees.
    std::vector<uint8_t> changed = png;
    changed[png.size() / 2] ^= 0x40;
    disk.put(1000, changed);
    // A gzip member whose compressed bytes were overwritten in the middle, and a WAV whose
    // chunks do not fill the size its header gives.
    std::vector<uint8_t> gz = sample("service.log.gz");
    std::fill(gz.begin() + 2000, gz.begin() + 2100, uint8_t{0x55});
    disk.put(1500, gz);
    std::vector<uint8_t> wav = sample("tone.wav");
    wav[4] ^= 0x10; // its size
    disk.put(1700, wav);
    // A database whose page count is stale (its change counter moved on).
    std::vector<uint8_t> db = sample("contacts.sqlite");
    db[27] ^= 1;
    disk.put(2000, db);
    // A JPEG cut off in its picture data by an end marker: its segments reach the marker, but it
    // does not decode whole.
    std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + jpeg.size() * 2 / 3);
    cut.push_back(0xFF);
    cut.push_back(0xD9);
    disk.put(2500, cut);
    // Starts that are only signatures: a "BM" and a JPEG marker in noise.
    std::vector<uint8_t> fake = noise(4 * kSectorSize, 5);
    fake[0] = 0xFF, fake[1] = 0xD8, fake[2] = 0xFF, fake[3] = 0xE0;
    disk.put(3000, fake);
    // The photo inside the cut ZIP is whole, and comes back on its own.
    EXPECT_EQ(disk.sweep_and_carve(),
              (std::vector<CarvedFile>{{501, jpeg.size(), ContentKind::Jpeg}}));
    EXPECT_EQ(disk.hits.contentStarts.size(), 10u) << "the starts are seen, the files refused";
}

TEST(ContentCarver, ClaimedSizesAreBoundedByTheSearchedRange) {
    Disk disk;
    std::vector<uint8_t> bmp = sample("drawing.bmp");
    disk.put(4070, bmp); // runs past the end of the disk
    disk.reader.open_device(std::move(disk.device));
    EXPECT_EQ(carve_file(disk.reader, 4070, ContentKind::Bmp, 4096), std::nullopt);
    EXPECT_EQ(carve_file(disk.reader, 4070, ContentKind::Bmp, 4070), std::nullopt);
    EXPECT_EQ(carve_file(disk.reader, 0, ContentKind::Zip, 4096), std::nullopt); // zeros
}

} // namespace
} // namespace salvex
