#include "snapshot/snapshot_reader.h"

#include "disk/block_device.h"
#include "ntfs/utf16.h"
#include "snapshot/drive_check.h"
#include "snapshot/snapshot_layout.h"
#include "snapshot/snapshot_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace salvex {

namespace {

namespace header = snapshot_header;

bool is_valid_utf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<uint8_t>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        size_t length = 0;
        char32_t cp = 0;
        char32_t smallest = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2, cp = lead & 0x1F, smallest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, cp = lead & 0x0F, smallest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, cp = lead & 0x07, smallest = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i < length)
            return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        // Overlong forms, UTF-16 surrogates and code points beyond Unicode are not UTF-8.
        if (cp < smallest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::string text_of(ByteView bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// Reads the sections after the header in order; every read is checked against the file's end.
class SnapshotCursor {
public:
    explicit SnapshotCursor(ByteView bytes) : bytes_(bytes) {}

    size_t at() const { return at_; }
    size_t left() const { return bytes_.size() - at_; }

    std::optional<uint64_t> take(size_t width) {
        const auto value = le_uint(bytes_, at_, width);
        if (value)
            at_ += width;
        return value;
    }
    // The next `count` bytes, which the caller has checked are there.
    ByteView take_bytes(size_t count) {
        const ByteView taken = bytes_.subspan(at_, count);
        at_ += count;
        return taken;
    }

private:
    ByteView bytes_;
    size_t at_ = 0;
};

// How one kind of record is laid out: the fixed bytes around its name, and where the name
// starts within the record (after the record length).
struct RecordKind {
    std::string_view name; // "folder" or "file"
    size_t fixedBytes;
    size_t nameAt;
};
constexpr RecordKind kFolderRecord{"folder", snapshot_folder::kFixedBytes, 0};
// A file record starts with its record sector, before the name.
constexpr RecordKind file_record(const SnapshotVersion& version) {
    return {"file", version.fileFixedBytes, version.sectorWidth};
}

struct RawRecord {
    ByteView fields; // the record without its length, name included
    std::string name;
    size_t nameLength = 0;
};

std::string record_label(const RecordKind& kind, uint64_t index, uint64_t count, size_t at) {
    return std::string(kind.name) + " record " + std::to_string(index + 1) + " of " +
           std::to_string(count) + " (at byte " + std::to_string(at) + ")";
}

// The count before a section of records, refused when the rest of the file cannot hold that
// many records of the smallest size (plus `after` bytes that must follow the section).
Result<uint32_t> read_count(SnapshotCursor& in, const RecordKind& kind, size_t after) {
    const size_t at = in.at();
    const auto count = in.take(4);
    if (!count)
        return Error{"The snapshot file ends before its " + std::string(kind.name) +
                     " count (at byte " + std::to_string(at) + ")."};
    const size_t left = in.left();
    const size_t room = left < after ? 0 : (left - after) / (2 + kind.fixedBytes);
    if (*count > room)
        return Error{"The snapshot file promises " + std::to_string(*count) + " " +
                     std::string(kind.name) + " records, but its remaining " +
                     std::to_string(left) + " bytes can hold at most " + std::to_string(room) +
                     "."};
    return static_cast<uint32_t>(*count);
}

Result<RawRecord> read_record(SnapshotCursor& in, const RecordKind& kind, uint64_t index,
                              uint64_t count) {
    const size_t at = in.at();
    const auto length = in.take(2);
    if (!length)
        return Error{"The snapshot file ends inside " + record_label(kind, index, count, at) +
                     ", before its length."};
    if (*length < kind.fixedBytes)
        return Error{"The snapshot file is damaged: " + record_label(kind, index, count, at) +
                     " has the length " + std::to_string(*length) + ", less than the " +
                     std::to_string(kind.fixedBytes) + " bytes of its fixed fields."};
    if (*length > in.left())
        return Error{"The snapshot file ends inside " + record_label(kind, index, count, at) +
                     ": the record needs " + std::to_string(*length) + " bytes after its length, " +
                     std::to_string(in.left()) + " are left."};
    const size_t nameLength = *length - kind.fixedBytes;
    if (nameLength > kSnapshotMaxNameBytes)
        return Error{"The snapshot file is damaged: " + record_label(kind, index, count, at) +
                     " has a name of " + std::to_string(nameLength) +
                     " bytes, longer than any file name (at most " +
                     std::to_string(kSnapshotMaxNameBytes) + ")."};
    RawRecord record;
    record.fields = in.take_bytes(*length);
    record.nameLength = nameLength;
    const ByteView name = record.fields.subspan(kind.nameAt, nameLength);
    record.name = snapshot_name_text(
        std::string_view(reinterpret_cast<const char*>(name.data()), name.size()));
    return record;
}

// The fields of a record that follow its name; `at` counts from the end of the name. The
// record's length was checked, so every field lies inside it.
struct AfterName {
    ByteView fields;
    size_t base;
    uint32_t u32(size_t at) const { return le32(fields, base + at).value_or(0); }
    uint64_t u64(size_t at) const { return le64(fields, base + at).value_or(0); }
    uint8_t u8(size_t at) const { return le8(fields, base + at).value_or(0); }
};

// The header's fields, each at its place in `version`; the header was checked to be whole.
void read_header(ByteView h, const SnapshotVersion& version, LoadedSnapshot& loaded) {
    SnapshotHeaderValues values{};
    for (size_t i = 0; i < values.size(); ++i) {
        const size_t width = field_width(kSnapshotFields[i], version);
        values[i] = le_uint(h, field_offset(i, version), width).value_or(0);
    }
    take_header_values(values, loaded.selection, loaded.scan.volume);
}

// The version of a file whose tag and version text are as written; the error that refuses it
// otherwise, or when the file ends inside the header that version has.
Result<const SnapshotVersion*> check_header(ByteView bytes) {
    const auto truncated = [&](size_t headerSize) {
        return Error{"The snapshot file ends inside its header: it has " +
                     std::to_string(bytes.size()) + " bytes, the header takes " +
                     std::to_string(headerSize) + "."};
    };
    const size_t tagEnd = header::kTagAt + header::kTag.size();
    if (bytes.size() < tagEnd)
        return truncated(header::kSize);
    const ByteView tag = bytes.subspan(header::kTagAt, header::kTag.size());
    if (!equal_ignoring_case(tag, header::kTag))
        return Error{kSnapshotBadTagMessage + text_of(tag)};
    if (bytes.size() < header::kVersionAt + header::kVersion.size())
        return truncated(header::kSize);
    const ByteView text = bytes.subspan(header::kVersionAt, header::kVersion.size());
    for (const SnapshotVersion* version : {&kSnapshotV1, &kSnapshotV2}) {
        if (!equal_ignoring_case(text, version->text))
            continue;
        if (bytes.size() < version->headerSize)
            return truncated(version->headerSize);
        return version;
    }
    return Error{kSnapshotBadVersionMessage};
}

// The file has no field for the named data stream an item is: it lies in the name, "file:stream",
// since a name that Windows wrote cannot hold a colon. (A colon in a name from another system
// makes a stream that the record lacks; extraction then takes the file's own data.)
std::string stream_of(const std::string& name) {
    const size_t colon = name.rfind(':');
    return colon == std::string::npos ? std::string() : name.substr(colon + 1);
}

std::optional<Error> read_items(SnapshotCursor& in, const SnapshotVersion& version,
                                NtfsItems& items) {
    auto folders = read_count(in, kFolderRecord, 4);
    if (!folders)
        return Error{folders.error()};
    items.folders.reserve(*folders);
    for (uint32_t i = 0; i < *folders; ++i) {
        auto record = read_record(in, kFolderRecord, i, *folders);
        if (!record)
            return Error{record.error()};
        const AfterName f{record->fields, record->nameLength};
        FolderNode folder;
        folder.name = std::move(record->name);
        folder.recordNumber = f.u32(0);
        folder.parent = f.u32(4);
        folder.creationTime = f.u64(8);
        folder.changeTime = f.u64(16);
        folder.deleted = f.u8(24) != 0;
        items.add_folder(std::move(folder), ScanMode::Standard);
    }

    const RecordKind fileKind = file_record(version);
    auto files = read_count(in, fileKind, 0);
    if (!files)
        return Error{files.error()};
    items.files.reserve(*files);
    for (uint32_t i = 0; i < *files; ++i) {
        auto record = read_record(in, fileKind, i, *files);
        if (!record)
            return Error{record.error()};
        const AfterName f{record->fields, fileKind.nameAt + record->nameLength};
        FileNode file;
        file.recordSector = le_uint(record->fields, 0, version.sectorWidth).value_or(0);
        file.name = std::move(record->name);
        file.stream = stream_of(file.name);
        file.recordNumber = f.u32(0);
        file.parent = f.u32(4);
        file.creationTime = f.u64(8);
        file.changeTime = f.u64(16);
        file.deleted = f.u8(24) != 0;
        file.size = f.u64(25);
        items.add_file(std::move(file));
    }
    return std::nullopt;
}

// The longest record of each kind: its length, its fixed fields and the longest name.
constexpr uint64_t kMostFolderRecordBytes =
    2 + snapshot_folder::kFixedBytes + kSnapshotMaxNameBytes;
constexpr uint64_t most_file_record_bytes(const SnapshotVersion& version) {
    return 2 + version.fileFixedBytes + kSnapshotMaxNameBytes;
}
// The largest file the format can describe: a header of version "2.0", then 2^32 − 1 folders
// and as many files, each with the longest name.
constexpr uint64_t kMostSnapshotBytes = kSnapshotV2.headerSize + 4 +
                                        uint64_t{UINT32_MAX} * kMostFolderRecordBytes + 4 +
                                        uint64_t{UINT32_MAX} * most_file_record_bytes(kSnapshotV2);

// How far a snapshot file that starts with `head` can reach: `most`, the largest size its counts
// allow, once `head` holds them; otherwise `readTo`, how far to read to learn them. Neither when
// `head` is all that is worth reading: a snapshot of another file system (its header is all it
// holds), or one refused before its counts (a foreign header, a damaged folder record) or that
// ends before them, whose bytes read say why.
struct SnapshotExtent {
    std::optional<uint64_t> most;
    uint64_t readTo = 0;
};

SnapshotExtent snapshot_extent(ByteView head) {
    const auto version = check_header(head);
    if (!version)
        return {};
    LoadedSnapshot header;
    read_header(head, **version, header);
    const size_t headerSize = (*version)->headerSize;
    if (header.scan.volume.fsType != FsType::Ntfs)
        return {}; // the header is all it holds, and the first bytes hold the header
    const auto folders = le32(head, headerSize);
    if (!folders)
        return {std::nullopt, headerSize + 4};
    // The folder records, each at most this long, and the file count after them.
    const uint64_t foldersReach = headerSize + 4 + *folders * kMostFolderRecordBytes + 4;
    uint64_t at = headerSize + 4;
    for (uint32_t i = 0; i < *folders; ++i) {
        const auto length = le16(head, at);
        if (!length)
            return {std::nullopt, foldersReach};
        if (*length < snapshot_folder::kFixedBytes ||
            *length - snapshot_folder::kFixedBytes > kSnapshotMaxNameBytes)
            return {};
        at += 2 + *length;
    }
    const auto files = le32(head, at);
    if (!files)
        return {std::nullopt, foldersReach};
    return {at + 4 + *files * most_file_record_bytes(**version)};
}

// Closes a descriptor it owns.
class OwnedFd {
public:
    explicit OwnedFd(int fd) : fd_(fd) {}
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    ~OwnedFd() { ::close(fd_); }
    int get() const { return fd_; }

private:
    int fd_;
};

// Appends the file's bytes to `bytes` until it holds `size` of them or the file ends; false on
// a read error.
bool read_up_to(const OwnedFd& file, std::vector<uint8_t>& bytes, uint64_t size) {
    while (bytes.size() < size) {
        const size_t at = bytes.size();
        bytes.resize(static_cast<size_t>(std::min<uint64_t>(size, at + (1 << 20))));
        const ssize_t n =
            ::pread(file.get(), bytes.data() + at, bytes.size() - at, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) {
            bytes.resize(at);
            continue;
        }
        bytes.resize(at + static_cast<size_t>(std::max<ssize_t>(n, 0)));
        if (n <= 0)
            return n == 0;
    }
    return true;
}

// The bytes of the snapshot file at `path`: a regular file, read no further than its counts
// allow, and refused when it is larger than they allow.
Result<std::vector<uint8_t>> read_snapshot_file(const std::string& path) {
    const auto fd = open_read_only(
        path, ReadableKinds::Files, "a snapshot file", [](const std::string& file, int error) {
            return "Unable to open the snapshot file " + file + ": " + std::strerror(error) + ".";
        });
    if (!fd)
        return Error{fd.error()};
    const OwnedFd file(*fd);
    const auto read_failed = [&] {
        return Error{"Unable to read the snapshot file " + path + ": " + std::strerror(errno) +
                     "."};
    };
    struct stat st {};
    if (::fstat(file.get(), &st) != 0)
        return read_failed();
    const auto size = static_cast<uint64_t>(st.st_size);
    const auto too_large = [&](uint64_t most) {
        return Error{"The snapshot file " + path + " is not a snapshot: it has " +
                     std::to_string(size) + " bytes, more than the " + std::to_string(most) +
                     " its header and counts allow."};
    };
    if (size > kMostSnapshotBytes)
        return too_large(kMostSnapshotBytes);

    std::vector<uint8_t> bytes;
    SnapshotExtent extent{std::nullopt, kSnapshotV2.headerSize + 4};
    do {
        if (!read_up_to(file, bytes, std::min(size, extent.readTo)))
            return read_failed();
        extent = snapshot_extent(bytes);
    } while (!extent.most && extent.readTo > bytes.size() && bytes.size() < size);
    if (!extent.most)
        return bytes;
    if (size > *extent.most)
        return too_large(*extent.most);
    if (!read_up_to(file, bytes, size))
        return read_failed();
    return bytes;
}

} // namespace

std::string snapshot_name_text(std::string_view bytes) {
    if (is_valid_utf8(bytes))
        return std::string(bytes);
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char c : bytes)
        append_utf8(text, static_cast<uint8_t>(c));
    return text;
}

namespace {

bool power_of_two(uint64_t n) {
    return n != 0 && (n & (n - 1)) == 0;
}

std::string damaged_field(const char* field, uint64_t value, const char* rule) {
    return std::string("The snapshot file is damaged: its ") + field + " (" +
           std::to_string(value) + ") " + rule + ".";
}

// Why the saved sizes cannot be those of an NTFS volume, naming the field; nullopt when they
// can. Nothing is read or allocated by their measure before this.
std::optional<std::string> size_refusal(const VolumeInfo& v) {
    // Clusters of 512 bytes to 2 MiB, file records and index blocks of 512 bytes to 64 KiB; 0
    // where a volume found by the Advance Scan did not learn them.
    if (v.sectorsPerCluster != 0 &&
        (!power_of_two(v.sectorsPerCluster) || v.sectorsPerCluster > 4096))
        return damaged_field("sectors per cluster", v.sectorsPerCluster,
                             "is not a cluster size NTFS allows");
    if (v.recordSectors != 0 && (!power_of_two(v.recordSectors) || v.recordSectors > 128))
        return damaged_field("sectors per file record", v.recordSectors,
                             "is not a record size NTFS allows");
    if (v.indexBlockSectors > 128)
        return damaged_field("sectors per index block", v.indexBlockSectors,
                             "is not an index block size NTFS allows");
    return std::nullopt;
}

// Why the saved places cannot be those of one volume: its end before its start, its $MFT or
// $MFTMirr outside it. A Standard Scan's snapshot leaves the last sector 0 (unknown).
std::optional<std::string> layout_refusal(const VolumeInfo& v) {
    if (v.fsEnd == 0)
        return std::nullopt;
    if (v.fsEnd < v.fsStart)
        return damaged_field("volume's last sector", v.fsEnd, "lies before its first");
    for (const auto& [field, at] :
         {std::pair{"$MFT sector", v.mftStart}, std::pair{"$MFTMirr sector", v.mftMirrorStart}}) {
        if (at != 0 && (at < v.fsStart || at > v.fsEnd))
            return damaged_field(field, at, "lies outside the volume");
    }
    return std::nullopt;
}

} // namespace

Result<LoadedSnapshot> parse_snapshot(ByteView bytes, const SectorReader& reader,
                                      ProgressSink& progress) {
    const auto version = check_header(bytes);
    if (!version)
        return Error{version.error()};
    LoadedSnapshot loaded;
    read_header(bytes, **version, loaded);
    if (loaded.scan.volume.fsType != FsType::Ntfs)
        return loaded;
    if (auto refusal = size_refusal(loaded.scan.volume))
        return Error{std::move(*refusal), ErrorCode::Refused};

    SnapshotCursor in(bytes);
    in.take_bytes((*version)->headerSize);
    if (auto error = read_items(in, **version, loaded.scan.items))
        return *std::move(error);
    loaded.scan.mftMap = build_mft_map(reader, loaded.scan.volume);
    loaded.scan.tree = build_folder_tree(loaded.scan.items, progress);
    return loaded;
}

Result<LoadedSnapshot> parse_snapshot(ByteView bytes, const SectorReader& reader) {
    SilentProgress progress;
    return parse_snapshot(bytes, reader, progress);
}

Result<LoadedSnapshot> load_snapshot(const std::string& path, const SectorReader& reader,
                                     ProgressSink& progress) {
    const auto bytes = read_snapshot_file(snapshot_file_to_load(path));
    if (!bytes)
        return Error{bytes.error()};
    auto loaded = parse_snapshot(*bytes, reader, progress);
    if (!loaded)
        return loaded;
    // Only NTFS volumes are saved with their items: any other holds nothing to browse.
    if (loaded->scan.volume.fsType != FsType::Ntfs)
        return Error{"The snapshot file " + path +
                         " holds no NTFS volume: there is nothing in it to list or recover.",
                     ErrorCode::NotNtfs};
    if (auto refusal = layout_refusal(loaded->scan.volume))
        return Error{std::move(*refusal), ErrorCode::Refused};
    const DriveCheck check = check_snapshot_drive(reader, loaded->scan, loaded->selection);
    if (check.match == DriveMatch::Other)
        return Error{check.message};
    loaded->warning = check.message;
    return loaded;
}

Result<LoadedSnapshot> load_snapshot(const std::string& path, const SectorReader& reader) {
    SilentProgress progress;
    return load_snapshot(path, reader, progress);
}

std::string snapshot_file_to_load(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, ec)) || path.empty())
        return path;
    std::string saved = snapshot_path(path);
    return std::filesystem::exists(saved, ec) ? saved : path;
}

} // namespace salvex
