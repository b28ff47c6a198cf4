// Folder and file items as a scan lists them, for tests that build item lists by hand.
#pragma once

#include "ntfs/item_tree.h"

#include <string>

namespace salvex::test {

inline FolderNode folder_node(std::string name, uint32_t record, uint32_t parent) {
    FolderNode f;
    f.name = std::move(name);
    f.recordNumber = record;
    f.parent = parent;
    return f;
}

inline FileNode file_node(std::string name, uint32_t record, uint32_t parent, uint64_t size = 0) {
    FileNode f;
    f.name = std::move(name);
    f.recordNumber = record;
    f.parent = parent;
    f.size = size;
    return f;
}

} // namespace salvex::test
