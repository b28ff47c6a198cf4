#include "tests/support/scanned_volume.h"

#include "partition/partition_table.h"
#include "tests/support/test_images.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace salvex::test {

ScannedVolume scan_image_partition(const std::string& name, size_t number) {
    ScannedVolume volume;
    volume.reader = open_image(name);
    PartitionList partitions;
    list_partitions(*volume.reader, partitions);
    EXPECT_GE(partitions.size(), number) << name;
    if (partitions.size() < number)
        return volume;
    const PartitionInfo& p = partitions.entries[number - 1];
    SilentProgress progress;
    StopFlag stop{0};
    EXPECT_EQ(standard_scan(*volume.reader, p.start, p.end(), volume.scan, progress, stop),
              ScanOutcome::Completed);
    volume.byPath = items_by_path(volume.scan);
    return volume;
}

std::map<std::string, ListedItem> items_by_path(const NtfsScan& scan) {
    std::map<std::string, ListedItem> paths;
    const auto files = files_by_parent(scan.items);
    std::vector<std::pair<TreeItemId, std::string>> stack{{FolderTree::kRootId, ""}};
    while (!stack.empty()) {
        const auto [id, path] = stack.back();
        stack.pop_back();
        const FolderTreeNode& node = scan.tree.node(id);
        for (const TreeItemId child : node.children) {
            const FolderNode& f = scan.items.folders[scan.tree.node(child).folder];
            const std::string childPath = path + "/" + f.name;
            paths[childPath] = {true, f.deleted, 0, f.recordNumber, 0};
            stack.push_back({child, childPath});
        }
        if (const auto it = files.find(node.key); it != files.end()) {
            for (const size_t index : it->second) {
                const FileNode& f = scan.items.files[index];
                paths[path + "/" + f.name] = {false,          f.deleted,      f.size,
                                              f.recordNumber, f.recordSector, f.recoverable};
            }
        }
    }
    return paths;
}

std::vector<ManifestEntry> read_manifest(const std::string& file) {
    std::ifstream in(file);
    EXPECT_TRUE(in.good()) << file;
    std::string line;
    std::getline(in, line);
    std::vector<std::string> columns;
    std::istringstream header(line);
    for (std::string c; std::getline(header, c, '\t');)
        columns.push_back(c);
    std::vector<ManifestEntry> entries;
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        std::istringstream fields(line);
        ManifestEntry e;
        for (size_t i = 0; i < columns.size(); ++i) {
            std::string value;
            std::getline(fields, value, i + 1 == columns.size() ? '\n' : '\t');
            if (columns[i] == "partition")
                e.partition = std::stoul(value);
            else if (columns[i] == "kind")
                e.folder = value == "folder";
            else if (columns[i] == "state")
                e.deleted = value == "deleted";
            else if (columns[i] == "size")
                e.size = std::stoull(value);
            else if (columns[i] == "record" && !value.empty() && value != "-")
                e.record = static_cast<uint32_t>(std::stoul(value));
            else if (columns[i] == "path")
                e.path = value;
            else if (columns[i] == "sha256" && !value.empty() && value != "-")
                e.sha256 = value;
        }
        entries.push_back(e);
    }
    return entries;
}

bool ManifestEntry::is_stream() const {
    return path.find(':', path.rfind('/') + 1) != std::string::npos;
}

std::string source_data_path(const std::string& file) {
    return std::string(SALVEX_SOURCE_DATA_DIR) + "/" + file;
}

void expect_listed_as(const ListedItem& item, const ManifestEntry& entry, const std::string& path) {
    EXPECT_EQ(item.folder, entry.folder) << path;
    EXPECT_EQ(item.deleted, entry.deleted) << path;
    if (!entry.folder) {
        EXPECT_EQ(item.size, entry.size) << path;
    }
    if (entry.record) {
        EXPECT_EQ(item.recordNumber, *entry.record) << path;
    }
}

} // namespace salvex::test
