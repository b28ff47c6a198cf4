// What a recovery by the command line left: its report read back, the files it wrote, and the
// manifest they are compared with.
#pragma once

#include "tests/support/scanned_volume.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace salvex::test {

// The manifest's files of partition 1 of image `name`: path → sha256.
inline std::map<std::string, std::string> manifest_hashes(const std::string& name) {
    std::map<std::string, std::string> hashes;
    for (const auto& e : read_manifest(source_data_path(name + ".manifest.tsv")))
        if (e.partition == 1 && !e.folder)
            hashes[e.path] = e.sha256;
    return hashes;
}

struct ReportLine {
    std::string status;
    uint64_t size = 0;
    std::string sha256;
    uint64_t unreadable = 0;
    std::string recoverable;
};

// The report's lines by path; fails the test when the header is not the report's.
inline std::map<std::string, ReportLine> read_report(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "status\tsize\tsha256\tunreadable\trecoverable\tpath");
    std::map<std::string, ReportLine> lines;
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');)
            cells.push_back(cell);
        if (cells.size() != 6) {
            ADD_FAILURE() << "a report line without six columns: " << line;
            continue;
        }
        lines[cells[5]] = {cells[0], std::stoull(cells[1]), cells[2], std::stoull(cells[3]),
                           cells[4]};
    }
    return lines;
}

// Every regular file under `folder`, by its path below it ("/a/b.txt").
inline std::vector<std::string> files_under(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file())
            files.push_back(entry.path().string().substr(folder.size()));
    }
    return files;
}

} // namespace salvex::test
