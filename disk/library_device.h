// What the devices over the image libraries (libewf, libvhdi, libvmdk, libqcow) share.
//
// Each library reads a container through a handle that keeps a file position and caches of its
// own, so one call must not interleave with another: the device takes a lock around every call.
// A library reports an error as a chain of messages, innermost first; the device turns it into
// one line of text fit for a sentence.
#pragma once

#include "disk/block_device.h"
#include "disk/cached_device.h"
#include "disk/result.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace salvex {

// Each request goes to the library as it comes; open_cached_image puts a CachedDevice in front,
// so that runs of records and sweeps do not pay the library's lookups (and a compressed chunk's
// decompression) again for every few sectors.
class LibraryDevice : public BlockDevice {
public:
    bool read_at(uint64_t offset, std::span<uint8_t> out) const final;
    uint64_t size_bytes() const final { return sizeBytes_; }
    uint32_t logical_sector_size() const final { return logicalSectorSize_; }

protected:
    // `logicalSectorSize` is what the image records of the disk's sectors, 0 when it records
    // nothing.
    explicit LibraryDevice(uint64_t sizeBytes, uint32_t logicalSectorSize = 0)
        : sizeBytes_(sizeBytes), logicalSectorSize_(logicalSectorSize) {}

    // One read by the library at `offset`, called with the lock held: the bytes it gave (fewer
    // than asked at the end of the media), or a negative value on an error.
    virtual int64_t read_some(uint64_t offset, std::span<uint8_t> out) const = 0;

private:
    mutable std::mutex mutex_;
    uint64_t sizeBytes_;
    uint32_t logicalSectorSize_;
};

// A library's handle (libewf_handle_t, libvhdi_file_t, ...): closed, when it was opened, and
// freed with its owner.
template <class T, auto Close, auto Free>
class LibraryHandle {
public:
    LibraryHandle() = default;
    LibraryHandle(const LibraryHandle&) = delete;
    LibraryHandle& operator=(const LibraryHandle&) = delete;
    ~LibraryHandle() {
        if (opened)
            Close(pointer, nullptr);
        if (pointer != nullptr)
            Free(&pointer, nullptr);
    }

    T* pointer = nullptr;
    bool opened = false;
};

// The device over an open handle that `ReadAt` (the library's read at an offset) reads.
template <class Handle, auto ReadAt>
class HandleDevice final : public LibraryDevice {
public:
    HandleDevice(std::unique_ptr<Handle> handle, uint64_t sizeBytes, uint32_t logicalSectorSize = 0)
        : LibraryDevice(sizeBytes, logicalSectorSize), handle_(std::move(handle)) {}

private:
    int64_t read_some(uint64_t offset, std::span<uint8_t> out) const override {
        return ReadAt(handle_->pointer, out.data(), out.size(), static_cast<int64_t>(offset),
                      nullptr);
    }

    std::unique_ptr<Handle> handle_;
};

// An image opened through its library: the device over its handle, and the format's chunk or
// cluster size (0 when the library does not tell it).
struct LibraryImage {
    std::unique_ptr<BlockDevice> device;
    uint64_t chunkBytes = 0;
};
using LibraryOpener = Result<LibraryImage> (*)(const std::string& path);

// The image at `path` opened by a format's `open`, read by blocks of its chunk or cluster size
// through a CachedDevice, whose read-ahead opens the image a second time for a handle of its
// own. A path that is not a regular file is refused before `open` sees it. The error is
// `open`'s.
Result<std::unique_ptr<BlockDevice>> open_cached_image(const std::string& path, LibraryOpener open);

// A UTF-8 text that a library gives in two calls, its size and then the text (a parent image's
// name); nullopt when the object has none.
template <class T, class GetSize, class Get>
std::optional<std::string> library_text(T* object, GetSize get_size, Get get) {
    size_t size = 0;
    if (get_size(object, &size, nullptr) != 1 || size == 0)
        return std::nullopt;
    std::string text(size, '\0');
    if (get(object, reinterpret_cast<uint8_t*>(text.data()), size, nullptr) != 1)
        return std::string();
    text.resize(std::min(text.find('\0'), text.size()));
    return text;
}

// A new handle of the library that opens `path` for reading only (`readOnly` is its
// LIBxxx_OPEN_READ); the library's reason, through `take_error`, when either step fails.
template <class Handle, class ErrorT, class Initialize, class Open>
Result<std::unique_ptr<Handle>> open_library_handle(const std::string& path, Initialize initialize,
                                                    Open open, int readOnly,
                                                    std::string (*take_error)(ErrorT*&)) {
    ErrorT* error = nullptr;
    auto handle = std::make_unique<Handle>();
    if (initialize(&handle->pointer, &error) != 1 ||
        open(handle->pointer, path.c_str(), readOnly, &error) != 1)
        return Error{take_error(error)};
    handle->opened = true;
    return handle;
}

// True when the library's check of the file's signature (libewf_check_file_signature, ...)
// takes the file at `path` for one of its images; a file it cannot read, or anything but a
// regular file, is none.
template <class ErrorT>
bool library_recognises(const std::string& path, int (*check)(const char*, ErrorT**),
                        void (*release)(ErrorT**)) {
    if (kind_not_readable(path, ReadableKinds::Files))
        return false;
    ErrorT* error = nullptr;
    const int found = check(path.c_str(), &error);
    release(&error);
    return found == 1;
}

// A library's error text as one line: its messages joined by "; ", the full stop that ends
// each dropped, other control characters written as \xNN, so that no text taken from a
// damaged file (a name in a descriptor) can play tricks on a terminal.
std::string library_error_line(std::string_view text);

// The chain of messages of a libyal library error, as one line (library_error_line), and the
// error freed. `sprint` is the library's error_backtrace_sprint, `release` its error_free.
template <class ErrorT, class Sprint, class Release>
std::string take_library_error(ErrorT*& error, Sprint sprint, Release release) {
    if (error == nullptr)
        return "no reason given";
    std::string text(4096, '\0');
    const bool printed = sprint(error, text.data(), text.size()) > 0;
    release(&error);
    text.resize(printed ? std::min(text.find('\0'), text.size()) : 0);
    return library_error_line(text);
}

// Why an image that holds only the changes made to another one (a differencing VHD, a VMDK
// snapshot, a QCOW with a backing file) is refused: read alone it would give zeros, or nothing,
// where the parent holds the data. `parent` is the parent's name as the image records it.
std::string differencing_refusal(std::string_view parent);

} // namespace salvex
