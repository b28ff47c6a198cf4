#include "snapshot/snapshot_writer.h"

#include "disk/examined_disk.h"
#include "recovery/replace_file.h"
#include "snapshot/snapshot_layout.h"
#include "snapshot/snapshot_target.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string_view>

namespace salvex {

namespace {

constexpr uint64_t kMax32 = std::numeric_limits<uint32_t>::max();

// Appends little-endian fields to a byte vector.
class ByteWriter {
public:
    explicit ByteWriter(size_t capacity) { bytes_.reserve(capacity); }
    void put(uint64_t value, size_t width) {
        for (size_t i = 0; i < width; ++i)
            bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    void put_text(std::string_view text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }
    std::vector<uint8_t> take() && { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
};

std::string too_wide_message(std::string_view what, uint64_t value, size_t width) {
    const uint64_t most = width >= 8 ? UINT64_MAX : (uint64_t{1} << (8 * width)) - 1;
    return "The snapshot cannot hold " + std::string(what) + " = " + std::to_string(value) +
           ": the file keeps it in " + std::to_string(8 * width) + " bits (at most " +
           std::to_string(most) + "). Nothing was saved.";
}

std::string name_too_long_message(std::string_view kind, size_t index, size_t count,
                                  uint32_t record, size_t bytes) {
    return std::string(kind) + " " + std::to_string(index + 1) + " of " + std::to_string(count) +
           " (record " + std::to_string(record) + ") has a name of " + std::to_string(bytes) +
           " bytes; a snapshot holds names of at most " + std::to_string(kSnapshotMaxNameBytes) +
           " bytes. Nothing was saved.";
}

std::optional<Error> check_items(const NtfsItems& items) {
    if (items.folders.size() > kMax32)
        return Error{too_wide_message("the folder count", items.folders.size(), 4)};
    if (items.files.size() > kMax32)
        return Error{too_wide_message("the file count", items.files.size(), 4)};
    for (size_t i = 0; i < items.folders.size(); ++i) {
        const FolderNode& f = items.folders[i];
        if (f.name.size() > kSnapshotMaxNameBytes)
            return Error{name_too_long_message("Folder", i, items.folders.size(), f.recordNumber,
                                               f.name.size())};
    }
    for (size_t i = 0; i < items.files.size(); ++i) {
        const FileNode& f = items.files[i];
        if (f.name.size() > kSnapshotMaxNameBytes)
            return Error{name_too_long_message("File", i, items.files.size(), f.recordNumber,
                                               f.name.size())};
    }
    return std::nullopt;
}

bool fits(uint64_t value, size_t width) {
    return width >= 8 || value >> (8 * width) == 0;
}

// The first version whose fields hold every value: "1.0" unless a sector number or count (in
// the header or a file record) needs more than 32 bits.
const SnapshotVersion& version_for(const SnapshotHeaderValues& values, const NtfsItems* items) {
    for (size_t i = 0; i < values.size(); ++i) {
        if (!fits(values[i], field_width(kSnapshotFields[i], kSnapshotV1)))
            return kSnapshotV2;
    }
    if (items) {
        for (const FileNode& f : items->files) {
            if (!fits(f.recordSector, kSnapshotV1.sectorWidth))
                return kSnapshotV2;
        }
    }
    return kSnapshotV1;
}

} // namespace

std::string snapshot_path(std::string chosen) {
    // Folder names are kept: on a case-sensitive file system the upper-cased folder would be
    // another folder, most often one that does not exist.
    const size_t slash = chosen.find_last_of('/');
    const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    for (size_t i = nameAt; i < chosen.size(); ++i) {
        char& c = chosen[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    if (!chosen.ends_with(".QRSX"))
        chosen += ".QRSX";
    return chosen;
}

Result<std::vector<uint8_t>> encode_snapshot(const SnapshotSelection& selection,
                                             const VolumeInfo& volume, const NtfsItems& items) {
    const bool ntfs = volume.fsType == FsType::Ntfs;
    const SnapshotHeaderValues values = header_values(selection, volume);
    const SnapshotVersion& version = version_for(values, ntfs ? &items : nullptr);
    for (size_t i = 0; i < values.size(); ++i) {
        const size_t width = field_width(kSnapshotFields[i], version);
        if (!fits(values[i], width))
            return Error{too_wide_message(kSnapshotFields[i].name, values[i], width)};
    }
    size_t size = version.headerSize;
    if (ntfs) {
        if (auto error = check_items(items))
            return *std::move(error);
        size += 8;
        for (const FolderNode& f : items.folders)
            size += 2 + snapshot_folder::kFixedBytes + f.name.size();
        for (const FileNode& f : items.files)
            size += 2 + version.fileFixedBytes + f.name.size();
    }

    ByteWriter out(size);
    out.put_text(snapshot_header::kTag);
    out.put_text(version.text);
    for (size_t i = 0; i < values.size(); ++i)
        out.put(values[i], field_width(kSnapshotFields[i], version));
    if (!ntfs)
        return std::move(out).take();

    out.put(items.folders.size(), 4);
    for (const FolderNode& f : items.folders) {
        out.put(f.name.size() + snapshot_folder::kFixedBytes, 2);
        out.put_text(f.name);
        out.put(f.recordNumber, 4);
        out.put(f.parent, 4);
        out.put(f.creationTime, 8);
        out.put(f.changeTime, 8);
        out.put(f.deleted ? 1 : 0, 1);
        out.put(0, 2); // reserved
    }
    out.put(items.files.size(), 4);
    for (const FileNode& f : items.files) {
        out.put(f.name.size() + version.fileFixedBytes, 2);
        out.put(f.recordSector, version.sectorWidth);
        out.put_text(f.name);
        out.put(f.recordNumber, 4);
        out.put(f.parent, 4);
        out.put(f.creationTime, 8);
        out.put(f.changeTime, 8);
        out.put(f.deleted ? 1 : 0, 1);
        out.put(f.size, 8);
    }
    return std::move(out).take();
}

Result<uint64_t> save_snapshot(const std::string& path, const SnapshotSelection& selection,
                               const VolumeInfo& volume, const NtfsItems& items,
                               const std::string& examinedDisk) {
    if (const auto refusal = output_file_refusal(path, ExaminedDisk(examinedDisk)))
        return Error{"The snapshot cannot be saved: " + *refusal + ". Nothing was saved."};
    auto bytes = encode_snapshot(selection, volume, items);
    if (!bytes)
        return Error{bytes.error()};
    if (const auto failure = replace_file(path, *bytes)) {
        const char* reason = std::strerror(failure->error);
        switch (failure->step) {
        case ReplaceFailure::Step::Create:
            return Error{kSnapshotOpenFailedMessage};
        case ReplaceFailure::Step::Write:
            return Error{"Unable to write the snapshot " + path + ": " + reason +
                         ". Nothing was saved."};
        case ReplaceFailure::Step::Rename:
            return Error{"Unable to save the snapshot as " + path + ": " + reason +
                         ". Nothing was saved."};
        }
    }
    return static_cast<uint64_t>(bytes->size());
}

} // namespace salvex
