// $FILE_NAME and the unnamed $DATA size: what the item list shows of a record.
#pragma once

#include "disk/bytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace salvex {

// A $FILE_NAME value (little-endian, from the value's start).
namespace file_name {
inline constexpr size_t kParent = 0x00;       // 8 bytes, a reference to the parent folder
inline constexpr size_t kCreationTime = 0x08; // 8 bytes, FILETIME
inline constexpr size_t kChangeTime = 0x18;   // 8 bytes, FILETIME; shown as "Modified"
inline constexpr size_t kFlags = 0x38;        // 4 bytes, the item's attributes
inline constexpr size_t kNameLength = 0x40;   // 1 byte, UTF-16 units
inline constexpr size_t kNamespace = 0x41;    // 1 byte: 0 POSIX, 1 Win32, 2 DOS, 3 Win32 and DOS
inline constexpr size_t kName = 0x42;         // 2 × length bytes, UTF-16LE

inline constexpr uint32_t kFolderFlag = 0x10000000; // in the flags: the item is a folder
} // namespace file_name

enum class NameSpace : uint8_t { Posix = 0, Win32 = 1, Dos = 2, Win32AndDos = 3 };

struct FileNameInfo {
    std::string name; // UTF-8
    uint32_t parent = 0;
    uint16_t parentSequence = 0; // the sequence number the parent's record had
    uint64_t creationTime = 0;
    uint64_t changeTime = 0;
};

// The first unnamed $FILE_NAME of a fixed-up record in namespace `space`.
std::optional<FileNameInfo> find_file_name(ByteView record, NameSpace space);

// The name an item is listed under: Win32, else Win32-and-DOS, else DOS, else POSIX (volumes
// written by Linux name every file in the POSIX namespace).
std::optional<FileNameInfo> find_display_name(ByteView record);

// Every usable $FILE_NAME of a fixed-up record, in attribute order, with its namespace.
struct NamedEntry {
    FileNameInfo info;
    NameSpace space = NameSpace::Posix;
};
std::vector<NamedEntry> file_names(ByteView record);

// A named data stream (alternate data stream) whose start lies in a record: its name and size.
struct StreamInfo {
    std::string name; // UTF-8
    uint64_t size = 0;
};
// The named $DATA attributes of a fixed-up record that start the stream they belong to (resident,
// or non-resident from cluster 0), in attribute order.
std::vector<StreamInfo> named_streams(ByteView record);

// The size of the record's unnamed $DATA: the data size of a non-resident one, the value
// length of a resident one. Named streams are not looked at.
std::optional<uint64_t> find_data_size(ByteView record);

} // namespace salvex
