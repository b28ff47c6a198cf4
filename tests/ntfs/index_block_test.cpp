// Index blocks and index roots: a real folder's index names exactly its items, and an entry walk
// over damaged bytes never leaves its block.
#include "ntfs/index_block.h"
#include "ntfs/run_list.h"
#include "tests/support/scanned_volume.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <set>

namespace salvex {
namespace {

struct IndexedItem {
    std::string name;
    uint32_t record = 0;
    auto operator<=>(const IndexedItem&) const = default;
};

// The keys of one node (a root's value or a block) that name items of folder `owner`.
void collect_entries(ByteView node, uint64_t first, uint32_t owner, std::set<IndexedItem>& items) {
    for_each_index_entry(node, first, [&](const IndexEntryView& entry) {
        if (entry.is_last())
            return false;
        EXPECT_EQ(entry.parent(), owner);
        const auto name = entry.name();
        EXPECT_TRUE(name.has_value());
        items.insert({name.value_or(""), static_cast<uint32_t>(entry.file_reference().record)});
        return true;
    });
}

TEST(IndexBlock, AFolderIndexOfManyBlocksNamesExactlyItsItems) {
    // /fragmented/parts holds 1,600 files: its index is a root and many blocks.
    const auto volume = test::scan_image_partition("ntfs_attribute_list", 1);
    const auto folder = volume.byPath.find("/fragmented/parts");
    ASSERT_NE(folder, volume.byPath.end());
    const uint32_t owner = folder->second.recordNumber;
    std::set<IndexedItem> expected;
    const std::string prefix = "/fragmented/parts/";
    for (const auto& [path, item] : volume.byPath) {
        if (path.starts_with(prefix) && path.find('/', prefix.size()) == std::string::npos)
            expected.insert({path.substr(prefix.size()), item.recordNumber});
    }
    ASSERT_EQ(expected.size(), 1600u);

    std::array<uint8_t, mft_record::kSize> record{};
    ASSERT_TRUE(volume.reader->read_sectors(volume.scan.mftMap.record_to_sector(owner), 2, record));
    ASSERT_TRUE(apply_fixup(record));
    const auto root = find_i30_attribute(record, kIndexRoot);
    ASSERT_TRUE(root.has_value());
    const auto rootValue = root->resident_value();
    ASSERT_TRUE(rootValue.has_value());
    EXPECT_EQ(le32(*rootValue, index_root::kAttributeType), uint32_t{kFileName});
    std::set<IndexedItem> found;
    collect_entries(*rootValue, index_root_first_entry(*rootValue), owner, found);

    // The blocks lie in the clusters of the index allocation, one after another.
    const uint32_t blockSize = index_root_block_size(*rootValue);
    ASSERT_EQ(blockSize, 4096u);
    const auto allocation = find_i30_attribute(record, kIndexAllocation);
    ASSERT_TRUE(allocation.has_value());
    const RunList runs = decode_run_list(
        allocation->bytes, le16(allocation->bytes, attribute::kRunListOffset).value_or(0));
    ASSERT_FALSE(runs.empty());
    const uint32_t spc = volume.scan.volume.sectorsPerCluster;
    size_t blocks = 0;
    uint64_t vcn = 0; // clusters of the allocation before the block
    std::vector<uint8_t> block(blockSize);
    const uint64_t clustersPerBlock = blockSize / kSectorSize / spc;
    for (const DataRun& run : runs) {
        for (uint64_t c = 0; c < run.clusters; c += clustersPerBlock, vcn += clustersPerBlock) {
            const Lba at = volume.scan.volume.fsStart + (run.lcn + c) * spc;
            ASSERT_TRUE(volume.reader->read_sectors(at, blockSize / kSectorSize, block));
            if (!has_index_block_signature(block))
                continue;
            EXPECT_EQ(index_block_size(block), blockSize);
            EXPECT_EQ(index_block_vcn(block), vcn); // blocks of a cluster or more count clusters
            EXPECT_TRUE(apply_fixup(block));
            collect_entries(block, index_block_first_entry(block), owner, found);
            ++blocks;
        }
    }
    EXPECT_GT(blocks, 10u);
    EXPECT_EQ(found, expected);
}

// An index block of one sector whose entries start at 0x40.
std::array<uint8_t, kSectorSize> small_block() {
    std::array<uint8_t, kSectorSize> b{};
    std::memcpy(b.data(), "INDX", 4);
    b[index_block::kNodeHeader + index_node::kEntriesOffset] = 0x28;
    b[index_block::kNodeHeader + index_node::kEntriesAllocated] = 0xE8;
    b[index_block::kNodeHeader + index_node::kEntriesAllocated + 1] = 0x01;
    return b;
}

void put_entry(std::span<uint8_t> b, size_t at, uint16_t length, uint8_t nameLength) {
    b[at + index_entry::kLength] = static_cast<uint8_t>(length);
    b[at + index_entry::kLength + 1] = static_cast<uint8_t>(length >> 8);
    b[at + index_entry::kKey + file_name::kNameLength] = nameLength;
    for (size_t i = 0;
         i < nameLength && at + index_entry::kKey + file_name::kName + 2 * i < b.size(); ++i)
        b[at + index_entry::kKey + file_name::kName + 2 * i] = 'a';
}

TEST(IndexBlock, EntryWalkEndsAtItsBlockWhateverTheLengthsSay) {
    auto b = small_block();
    EXPECT_EQ(index_block_size(b), 512u);
    EXPECT_EQ(index_block_first_entry(b), 0x40u);
    put_entry(b, 0x40, 0x68, 2);     // a whole entry
    put_entry(b, 0xA8, 0xF8, 0);     // no name
    put_entry(b, 0x1A0, 0x8000, 40); // its name would run past the block; its length too
    using Seen = std::vector<std::pair<size_t, std::optional<std::string>>>;
    Seen seen;
    for_each_index_entry(b, index_block_first_entry(b), [&](const IndexEntryView& e) {
        seen.push_back({static_cast<size_t>(e.bytes.data() - b.data()), e.name()});
        return true;
    });
    EXPECT_EQ(seen, (Seen{{0x40, "aa"}, {0xA8, ""}, {0x1A0, std::nullopt}}));

    // A length of 0 ends the walk; an entry that begins in the block's last bytes reads as
    // zeros beyond them.
    auto c = small_block();
    put_entry(c, 0x40, 0x1BC, 1);
    size_t count = 0;
    for_each_index_entry(c, 0x40, [&](const IndexEntryView& e) {
        ++count;
        if (count == 2) {
            EXPECT_EQ(e.bytes.size(), 4u);
            EXPECT_EQ(e.length(), 0);
            EXPECT_EQ(e.parent(), 0u);
            EXPECT_FALSE(e.name().has_value());
        }
        return true;
    });
    EXPECT_EQ(count, 2u);
}

} // namespace
} // namespace salvex
