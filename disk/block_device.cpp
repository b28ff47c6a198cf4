#include "disk/block_device.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <optional>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace salvex {

namespace {

std::optional<uint64_t> size_of(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return std::nullopt;
    if (S_ISBLK(st.st_mode)) {
        uint64_t bytes = 0;
        if (ioctl(fd, BLKGETSIZE64, &bytes) != 0)
            return std::nullopt;
        return bytes;
    }
    if (S_ISREG(st.st_mode))
        return static_cast<uint64_t>(st.st_size);
    return std::nullopt;
}

// The logical sector size the kernel reports for a block device; 0 for anything else. A
// buffered read at any byte offset works whatever this is: the kernel reads the logical sectors
// that cover it and hands back the bytes asked for.
uint32_t logical_sector_size_of(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISBLK(st.st_mode))
        return 0;
    int size = 0;
    if (ioctl(fd, BLKSSZGET, &size) != 0 || size <= 0)
        return 0;
    return static_cast<uint32_t>(size);
}

} // namespace

std::string open_error_message(const std::string& path, int errnoValue) {
    if (errnoValue == EACCES || errnoValue == EPERM) {
        return "Permission denied opening " + path +
               ": reading a disk needs root, so run salvex with sudo, or add your user to the "
               "'disk' group (sudo usermod -aG disk $USER) and log in again.";
    }
    if (errnoValue == ENOENT)
        return "Cannot open " + path + ": no such device or file.";
    if (errnoValue == ENOMEDIUM)
        return "Cannot open " + path + ": Media missing or not inserted.";
    return "Cannot open " + path + ": " + std::strerror(errnoValue) + ".";
}

namespace {

// What a file of `mode` is, for a sentence.
const char* kind_name(mode_t mode) {
    if (S_ISFIFO(mode))
        return "a named pipe";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISBLK(mode))
        return "a block device";
    return "an unknown kind of file";
}

std::optional<std::string> kind_not_of(mode_t mode, ReadableKinds kinds) {
    if (S_ISREG(mode) || (S_ISBLK(mode) && kinds == ReadableKinds::FilesAndBlockDevices))
        return std::nullopt;
    return kind_name(mode);
}

// `fd`, opened without blocking, made a blocking descriptor of the same file: the descriptor to
// use from now on, or -1 with errno. A block device is opened once more, through the descriptor
// (the same device, whatever its path names by now): opened without blocking it skips its
// driver's checks, and a drive without its medium would open. Without /proc to reach it, and for
// anything else, the flag is cleared.
int made_blocking(int fd, mode_t mode) {
    if (S_ISBLK(mode)) {
        const int again =
            ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY | O_CLOEXEC);
        if (again >= 0 || errno != ENOENT)
            return again;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 ? fd : -1;
}

} // namespace

std::optional<std::string> kind_not_readable(const std::string& path, ReadableKinds kinds) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return kind_not_of(st.st_mode, kinds);
}

Result<int> open_read_only(const std::string& path, ReadableKinds kinds, std::string_view expected,
                           OpenErrorMessage open_error) {
    const auto refusal = [&](const std::string& kind) {
        return Error{path + " is not " + std::string(expected) + " (" + kind + ")."};
    };
    if (const auto kind = kind_not_readable(path, kinds))
        return refusal(*kind);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Error{open_error(path, errno)};
    const auto closing = [fd](Error error) {
        ::close(fd);
        return error;
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return closing(Error{open_error(path, errno)});
    if (const auto kind = kind_not_of(st.st_mode, kinds))
        return closing(refusal(*kind));
    const int blocking = made_blocking(fd, st.st_mode);
    if (blocking == fd)
        return fd;
    if (blocking < 0)
        return closing(Error{open_error(path, errno)}); // a drive without its medium, ...
    ::close(fd);
    return blocking;
}

Result<std::unique_ptr<FileDevice>> FileDevice::open(const std::string& path) {
    // The examined disk is only ever opened for reading.
    const auto fd =
        open_read_only(path, ReadableKinds::FilesAndBlockDevices, "a disk image or a block device");
    if (!fd)
        return Error{fd.error()};
    const auto size = size_of(*fd);
    if (!size) {
        ::close(*fd);
        return Error{"Cannot read " + path + ": its size cannot be told."};
    }
    return std::unique_ptr<FileDevice>(
        new FileDevice(*fd, path, *size, logical_sector_size_of(*fd)));
}

FileDevice::FileDevice(int fd, std::string path, uint64_t sizeBytes, uint32_t logicalSectorSize)
    : fd_(fd), path_(std::move(path)), sizeBytes_(sizeBytes),
      logicalSectorSize_(logicalSectorSize) {}

FileDevice::~FileDevice() {
    ::close(fd_);
}

bool FileDevice::read_at(uint64_t offset, std::span<uint8_t> out) const {
    size_t done = 0;
    while (done < out.size()) {
        const uint64_t at = offset + done;
        if (at > static_cast<uint64_t>(INT64_MAX))
            return false;
        const ssize_t n =
            ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false; // an error, or the end of the device before the request was filled
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace salvex
