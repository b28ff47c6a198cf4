// Items of a scan named by the paths `salvex-cli list` prints: "/Documents/notes.txt".
#pragma once

#include "ntfs/standard_scan.h"
#include "recovery/recovery_driver.h"

#include <string>
#include <string_view>
#include <vector>

namespace salvex::cli {

// A name as `list` prints it: tab, newline and backslash written as \t, \n and \\.
std::string escape_name(std::string_view name);
std::string unescape_name(std::string_view text);

// The path `list` prints for the folder with this record number: "/Pictures/2024"; "" for the
// root, and for a folder that the tree does not hold.
std::string listed_folder_path(const NtfsScan& scan, uint32_t folderRecord);

// The items at `path` (several when a folder holds more than one item of that name); empty
// when nothing is there. "/" names the root's contents.
std::vector<RecoveryRow> items_at_path(const NtfsScan& scan, std::string_view path);

} // namespace salvex::cli
