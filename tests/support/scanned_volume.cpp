#include "tests/support/scanned_volume.h"

#include "partition/partition_table.h"
#include "tests/support/test_images.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
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

namespace {

// The checks of expect_manifest_listed over entries already read; returns how many were made.
size_t expect_entries_listed(const std::map<std::string, ListedItem>& byPath,
                             const std::vector<ManifestEntry>& entries, const std::string& where,
                             const ManifestSkip& skip) {
    size_t checked = 0;
    for (const ManifestEntry& e : entries) {
        if (skip && skip(e))
            continue;
        const auto it = byPath.find(e.path);
        EXPECT_NE(it, byPath.end()) << where << ": " << e.path << " is not listed";
        if (it == byPath.end())
            continue;
        expect_listed_as(it->second, e, where + ": " + e.path);
        ++checked;
    }
    return checked;
}

} // namespace

void expect_manifest_listed(const std::map<std::string, ListedItem>& byPath,
                            const std::string& manifest, const ManifestSkip& skip) {
    const auto entries = read_manifest(source_data_path(manifest));
    EXPECT_GT(expect_entries_listed(byPath, entries, manifest, skip), 0u) << manifest;
}

void expect_image_listed(const std::string& image, const std::string& manifest,
                         const ManifestSkip& skip) {
    std::map<size_t, std::vector<ManifestEntry>> byPartition;
    for (const ManifestEntry& e : read_manifest(source_data_path(manifest)))
        byPartition[e.partition].push_back(e);
    ASSERT_FALSE(byPartition.empty()) << manifest;
    for (const auto& [partition, entries] : byPartition) {
        const ScannedVolume volume = scan_image_partition(image, partition);
        expect_entries_listed(volume.byPath, entries,
                              image + " partition " + std::to_string(partition), skip);
    }
}

std::vector<std::string> images_with_fls_listings() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(SALVEX_SOURCE_DATA_DIR)) {
        const std::string file = entry.path().filename();
        if (file.ends_with(".fls.tsv"))
            names.push_back(file.substr(0, file.size() - 8));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::map<size_t, std::vector<std::string>> fls_live_paths(const std::string& image) {
    static const std::set<std::string> kIndexes = {":$O", ":$Q", ":$R", ":$SDH", ":$SII"};
    std::map<size_t, std::vector<std::string>> paths;
    std::ifstream in(source_data_path(image + ".fls.tsv"));
    EXPECT_TRUE(in.good()) << image;
    std::string line;
    std::getline(in, line); // header: partition, record, deleted, type, path
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string partition, record, deleted, type, path;
        std::getline(fields, partition, '\t');
        std::getline(fields, record, '\t');
        std::getline(fields, deleted, '\t');
        std::getline(fields, type, '\t');
        std::getline(fields, path);
        const size_t colon = path.rfind(':');
        if (deleted != "0" || type == "V" || path.starts_with("/$OrphanFiles") ||
            (colon != std::string::npos && kIndexes.count(path.substr(colon))) ||
            (image == "damaged_cycle" && (path == "/A" || path.starts_with("/A/"))))
            continue;
        const size_t stream = path.rfind("/.:");
        if (stream != std::string::npos)
            path = path.substr(0, stream) + path.substr(stream + 2);
        paths[std::stoul(partition)].push_back(path);
    }
    return paths;
}

bool listed_in_lost_folder(const std::map<std::string, ListedItem>& byPath,
                           const std::string& leaf) {
    return std::any_of(byPath.begin(), byPath.end(), [&](const auto& p) {
        return p.first.starts_with("/Dir") && p.first.ends_with("/" + leaf);
    });
}

} // namespace salvex::test
