// A file of the demo disk whose clusters are one run, for the tests that make its sectors
// unreadable: where it lies and what it holds. For the suites that link the recovery layer.
#pragma once

#include "ntfs/file_data.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/test_images.h"

#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace salvex::test {

inline constexpr const char* kDemoFile = "/Documents/Reports/ledger-notes.txt"; // 3 clusters
inline constexpr uint64_t kDemoFileSize = 9000;
inline constexpr uint32_t kDemoClusterSectors = 8; // the demo volume's 4096-byte clusters

// The file's first data sector on the demo disk and its content there, as the Standard Scan
// finds them; the file's clusters are contiguous (one run).
struct FileOnDisk {
    Lba firstSector = 0;
    std::string content;
};

inline FileOnDisk demo_file_on_disk() {
    const auto volume = scan_image_partition("demo", 1);
    const Lba record = volume.byPath.at(kDemoFile).recordSector;
    for (const FileNode& file : volume.scan.items.files) {
        if (file.recordSector != record)
            continue;
        const auto data = locate_file_data(*volume.reader, volume.scan, file);
        if (!data || data->runs.size() != 1)
            break;
        FileOnDisk found{volume.scan.volume.cluster_sector(data->runs.front().lcn), {}};
        std::ifstream image(image_path("demo"), std::ios::binary);
        image.seekg(static_cast<std::streamoff>(found.firstSector * 512));
        found.content.resize(kDemoFileSize);
        image.read(found.content.data(), static_cast<std::streamsize>(kDemoFileSize));
        return found;
    }
    ADD_FAILURE() << kDemoFile << " is not one run of clusters on the demo disk";
    return {};
}

} // namespace salvex::test
