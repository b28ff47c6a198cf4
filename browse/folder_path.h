// Where a folder lies in the folder tree, as a path of names from the volume's root.
#pragma once

#include "ntfs/standard_scan.h"

#include <cstdint>
#include <string>

namespace salvex {

// The names of the folders from the root down to the folder with record number `recordNumber`
// (the first one listed with it), joined by `separator`: "Pictures\2024" with '\'. Empty for
// the root (record 5) and for a record number that names no folder of the tree. The walk goes
// up the tree's parent links, so it costs the folder's depth, and it gives up on links that do
// not belong to the tree (a scan restored from damaged input).
std::string folder_path(const NtfsScan& scan, uint32_t recordNumber, char separator);

} // namespace salvex
