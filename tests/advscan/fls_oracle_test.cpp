// The Advance Scan against The Sleuth Kit: over every image whose builder kept fls's listing of
// its volumes, the sweep, classification and reconstruction list every live path fls lists.
#include "partition/partition_table.h"
#include "tests/advscan/damaged_image.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/test_images.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

namespace salvex {
namespace {

// The live paths of one fls listing (partition, record, deleted, type, path), by partition.
std::map<size_t, std::vector<std::string>> live_fls_paths(const std::string& file) {
    std::map<size_t, std::vector<std::string>> paths;
    std::ifstream in(file);
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string partition, record, deleted, type, path;
        std::getline(fields, partition, '\t');
        std::getline(fields, record, '\t');
        std::getline(fields, deleted, '\t');
        std::getline(fields, type, '\t');
        std::getline(fields, path);
        if (deleted == "0" && type != "V")
            paths[std::stoul(partition)].push_back(path);
    }
    return paths;
}

// What the Advance Scan lists otherwise, on purpose:
bool listed_otherwise(const std::string& image, const std::string& path) {
    // fls's own folder of orphans, and the named indexes of metadata files ($Secure:$SDH), which
    // are no data streams;
    static const std::set<std::string> kIndexes = {":$O", ":$Q", ":$R", ":$SDH", ":$SII"};
    const size_t colon = path.rfind(':');
    if (path.starts_with("/$OrphanFiles") ||
        (colon != std::string::npos && kIndexes.count(path.substr(colon))))
        return true;
    // the streams of the file system's own files ($BadClus:$Bad, $Secure:$SDS), bookkeeping as
    // large as the volume;
    const bool systemFile = (path.starts_with("/$") && path.find('/', 1) == std::string::npos) ||
                            path.starts_with("/$Extend/");
    if (colon != std::string::npos && systemFile)
        return true;
    // and, where the records contradict the indexes fls walks, what the records say: the folders
    // of damaged_cycle name each other as parent and lie in a lost folder.
    return image == "damaged_cycle" && (path == "/A" || path.starts_with("/A/"));
}

// fls lists a folder's named stream inside the folder as ".:stream"; it lies beside the folder.
std::string as_listed_here(const std::string& flsPath) {
    const size_t at = flsPath.rfind("/.:");
    return at == std::string::npos ? flsPath : flsPath.substr(0, at) + flsPath.substr(at + 2);
}

TEST(FlsOracle, EveryLivePathFlsListsIsFoundByTheAdvanceScan) {
    size_t images = 0;
    for (const auto& entry : std::filesystem::directory_iterator(SALVEX_SOURCE_DATA_DIR)) {
        const std::string file = entry.path().filename();
        if (!file.ends_with(".fls.tsv"))
            continue;
        const std::string image = file.substr(0, file.size() - 8);
        ++images;
        test::AdvanceScan advance(test::image_in_memory(image));
        advance.sweep();
        PartitionList partitions;
        list_partitions(advance.reader, partitions);
        for (const auto& [partition, paths] : live_fls_paths(entry.path())) {
            ASSERT_LE(partition, partitions.size()) << image;
            const Lba start = partitions.entries[partition - 1].start;
            ASSERT_TRUE(advance.reconstruct(start)) << image << " @" << start;
            const auto byPath = test::items_by_path(advance.scan);
            size_t compared = 0;
            for (const std::string& path : paths) {
                if (listed_otherwise(image, path))
                    continue;
                EXPECT_TRUE(byPath.count(as_listed_here(path))) << image << ": " << path;
                ++compared;
            }
            EXPECT_GT(compared, 0u) << image;
        }
    }
    EXPECT_GT(images, 0u);
}

} // namespace
} // namespace salvex
