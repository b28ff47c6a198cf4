// Read-only access to the bytes of a drive: a block device or a raw image file.
//
// BlockDevice is the seam between the sector reader and the platform. The program's own device
// opens its path read-only and reads with positioned reads, so no two readers can disturb each
// other's file position; tests put devices in its place that fail chosen sectors.
#pragma once

#include "disk/result.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace salvex {

class BlockDevice {
public:
    virtual ~BlockDevice() = default;

    // Reads out.size() bytes at byte `offset` into `out`. True only when every byte was read; a
    // read that stops short (the end of an image, an unreadable sector) is a failure, and `out`
    // then holds whatever the platform left there.
    virtual bool read_at(uint64_t offset, std::span<uint8_t> out) const = 0;

    // Size of the device in bytes.
    virtual uint64_t size_bytes() const = 0;

    // The drive's logical sector size in bytes as the device reports it (a block device's
    // kernel, an image format that records it); 0 when the device does not say, as a raw image
    // file does not.
    virtual uint32_t logical_sector_size() const { return 0; }
};

// A block device or an image file, opened for reading only.
class FileDevice final : public BlockDevice {
public:
    // Opens `path` read-only. The error says why it failed, and for a permission problem how to
    // get access.
    static Result<std::unique_ptr<FileDevice>> open(const std::string& path);

    ~FileDevice() override;
    FileDevice(const FileDevice&) = delete;
    FileDevice& operator=(const FileDevice&) = delete;

    bool read_at(uint64_t offset, std::span<uint8_t> out) const override;
    uint64_t size_bytes() const override { return sizeBytes_; }
    uint32_t logical_sector_size() const override { return logicalSectorSize_; }
    const std::string& path() const { return path_; }

private:
    FileDevice(int fd, std::string path, uint64_t sizeBytes, uint32_t logicalSectorSize);

    int fd_;
    std::string path_;
    uint64_t sizeBytes_;
    uint32_t logicalSectorSize_; // BLKSSZGET of a block device; 0 for an image file
};

// The sentence shown when `path` cannot be opened for reading because of `errnoValue`.
std::string open_error_message(const std::string& path, int errnoValue);

// What a path given by the user may name.
enum class ReadableKinds { Files, FilesAndBlockDevices };

// What `path` is, as stat() finds it, when it is not of `kinds`: "a named pipe", "a character
// device", "a socket", "a folder"; nullopt when it is of `kinds`, or cannot be looked at (opening
// it then says why). Nothing is opened: opening a named pipe waits for a writer, and reading a
// character device may never end.
std::optional<std::string> kind_not_readable(const std::string& path, ReadableKinds kinds);

// `path` opened read-only, when it is of `kinds`. It is looked at before it is opened, and
// opened without blocking and looked at again through the descriptor, so that a path swapped
// for a named pipe in between is refused too; the descriptor is then made blocking. The error
// is a sentence: for a path of another kind "p is not `expected` (a named pipe).", for a failed
// open or look what `open_error` makes of the path and errno.
using OpenErrorMessage = std::string (*)(const std::string& path, int errnoValue);
Result<int> open_read_only(const std::string& path, ReadableKinds kinds, std::string_view expected,
                           OpenErrorMessage open_error = open_error_message);

} // namespace salvex
