#include "ntfs/record_items.h"

#include <algorithm>
#include <array>
#include <set>

namespace salvex {

namespace {

// A named data stream and the record where it starts.
struct Stream {
    StreamInfo info;
    Lba sector = 0;
};

std::vector<Stream> item_streams(const ItemRecords& item) {
    std::vector<Stream> streams;
    for (size_t i = 0; i < item.records.size(); ++i) {
        for (StreamInfo& info : named_streams(item.records[i])) {
            const bool known = std::any_of(streams.begin(), streams.end(), [&](const Stream& s) {
                return s.info.name == info.name;
            });
            if (!known)
                streams.push_back({std::move(info), item.sectors[i]});
        }
    }
    return streams;
}

// The size of the unnamed $DATA and the record holding its start: the first record of the list
// that has it; else size 0 and the last record of the list.
std::pair<uint64_t, Lba> data_of(const ItemRecords& item) {
    Lba last = 0;
    for (size_t i = 0; i < item.records.size(); ++i) {
        if (item.records[i].empty())
            continue;
        last = item.sectors[i];
        if (const auto size = find_data_size(item.records[i]))
            return {*size, item.sectors[i]};
    }
    return {0, last};
}

template <class Node>
Node node_named(const FileNameInfo& name, uint32_t number, bool deleted) {
    Node node;
    node.name = name.name;
    node.recordNumber = number;
    node.parent = name.parent;
    node.parentSequence = name.parentSequence;
    node.creationTime = name.creationTime;
    node.changeTime = name.changeTime;
    node.deleted = deleted;
    return node;
}

// Each named stream as an item "name:stream" beside the item `base`.
void add_streams(const FileNode& base, const std::vector<Stream>& streams, NtfsItems& items) {
    for (const Stream& s : streams) {
        FileNode node = base;
        node.name = base.name + ":" + s.info.name;
        node.stream = s.info.name;
        node.size = s.info.size;
        node.recordSector = s.sector;
        items.add_file(std::move(node));
    }
}

} // namespace

std::vector<FileNameInfo> listed_names(const ItemRecords& item) {
    std::vector<NamedEntry> all;
    for (const ByteView record : item.records) {
        for (NamedEntry& entry : file_names(record))
            all.push_back(std::move(entry));
    }
    std::set<uint32_t> foldersWithLongNames;
    for (const NamedEntry& e : all) {
        if (e.space != NameSpace::Dos)
            foldersWithLongNames.insert(e.info.parent);
    }
    std::vector<FileNameInfo> names;
    std::set<std::pair<uint32_t, std::string>> listed;
    for (NamedEntry& e : all) {
        if (e.space == NameSpace::Dos && foldersWithLongNames.count(e.info.parent))
            continue; // the short alias of a long name
        if (listed.insert({e.info.parent, e.info.name}).second)
            names.push_back(std::move(e.info));
    }
    return names;
}

std::optional<FileNameInfo> folder_name(const ItemRecords& item) {
    for (const ByteView record : item.records) {
        if (auto name = find_display_name(record))
            return name;
    }
    return std::nullopt;
}

std::string add_record_items(const ItemRecords& item, bool isFolder, bool deleted,
                             NtfsItems& items) {
    const std::vector<Stream> streams = item_streams(item);
    if (isFolder) {
        auto name = folder_name(item);
        if (!name || name->name == ".")
            return {}; // no name, or the root folder's own record
        FolderNode folder = node_named<FolderNode>(*name, item.number, deleted);
        folder.sequence = item.sequence;
        // A folder's named streams lie beside it, in its parent.
        FileNode base = node_named<FileNode>(*name, item.number, deleted);
        std::string last = folder.name;
        items.add_folder(std::move(folder), ScanMode::Standard);
        add_streams(base, streams, items);
        return last;
    }

    const auto [size, sector] = data_of(item);
    std::string last;
    for (const FileNameInfo& name : listed_names(item)) {
        FileNode file = node_named<FileNode>(name, item.number, deleted);
        file.size = size;
        file.recordSector = sector;
        last = file.name;
        items.add_file(file);
        add_streams(file, streams, items);
    }
    return last;
}

} // namespace salvex
