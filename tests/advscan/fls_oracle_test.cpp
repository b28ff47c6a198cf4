// The Advance Scan against The Sleuth Kit: over every image whose builder kept fls's listing of
// its volumes, the sweep, classification and reconstruction list every live path fls lists.
#include "partition/partition_table.h"
#include "tests/advscan/damaged_image.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/test_images.h"

#include <gtest/gtest.h>

namespace salvex {
namespace {

// The streams of the file system's own files ($BadClus:$Bad, $Secure:$SDS): bookkeeping as
// large as the volume, which the Advance Scan does not list as items.
bool system_file_stream(const std::string& path) {
    const bool systemFile = (path.starts_with("/$") && path.find('/', 1) == std::string::npos) ||
                            path.starts_with("/$Extend/");
    return systemFile && path.rfind(':') != std::string::npos;
}

TEST(FlsOracle, EveryLivePathFlsListsIsFoundByTheAdvanceScan) {
    const auto images = test::images_with_fls_listings();
    for (const std::string& image : images) {
        test::AdvanceScan advance(test::image_in_memory(image));
        advance.sweep();
        PartitionList partitions;
        list_partitions(advance.reader, partitions);
        for (const auto& [partition, paths] : test::fls_live_paths(image)) {
            ASSERT_LE(partition, partitions.size()) << image;
            const Lba start = partitions.entries[partition - 1].start;
            ASSERT_TRUE(advance.reconstruct(start)) << image << " @" << start;
            const auto byPath = test::items_by_path(advance.scan);
            size_t compared = 0;
            for (const std::string& path : paths) {
                if (system_file_stream(path))
                    continue;
                EXPECT_TRUE(byPath.count(path)) << image << ": " << path;
                ++compared;
            }
            EXPECT_GT(compared, 0u) << image;
        }
    }
    EXPECT_FALSE(images.empty());
}

} // namespace
} // namespace salvex
