#include "disk/ewf_device.h"

#include "disk/library_device.h"

#include <libewf.h>
#include <string>
#include <vector>

namespace salvex {

namespace {

using EwfHandle = LibraryHandle<libewf_handle_t, libewf_handle_close, libewf_handle_free>;
using EwfDevice = HandleDevice<EwfHandle, libewf_handle_read_random>;

std::string take_error(libewf_error_t*& error) {
    return take_library_error(error, libewf_error_backtrace_sprint, libewf_error_free);
}

// The segment files of the image that `path` belongs to, in order.
Result<std::vector<std::string>> segment_files(const std::string& path) {
    libewf_error_t* error = nullptr;
    char** names = nullptr;
    int count = 0;
    if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &names, &count, &error) != 1)
        return Error{take_error(error)};
    std::vector<std::string> files(names, names + count);
    libewf_glob_free(names, count, nullptr);
    return files;
}

} // namespace

bool ewf_recognises(const std::string& path) {
    return library_recognises(path, libewf_check_file_signature, libewf_error_free);
}

namespace {

Result<LibraryImage> open_ewf_handle(const std::string& path) {
    auto files = segment_files(path);
    if (!files)
        return Error{files.error()};
    std::vector<char*> names;
    for (std::string& file : files.value()) {
        // libewf opens each segment the glob found beside the first.
        if (const auto kind = kind_not_readable(file, ReadableKinds::Files))
            return Error{"its segment " + file + " is " + *kind + ", not a file"};
        names.push_back(file.data());
    }

    libewf_error_t* error = nullptr;
    auto handle = std::make_unique<EwfHandle>();
    if (libewf_handle_initialize(&handle->pointer, &error) != 1)
        return Error{take_error(error)};
    // The examined image is only ever opened for reading.
    if (libewf_handle_open(handle->pointer, names.data(), static_cast<int>(names.size()),
                           LIBEWF_OPEN_READ, &error) != 1)
        return Error{take_error(error)};
    handle->opened = true;
    // A segment file lost or cut short leaves chunks that libewf would give as zeros, as if the
    // disk held them.
    if (libewf_handle_segment_files_corrupted(handle->pointer, nullptr) != 0)
        return Error{"its segment files are incomplete: a segment is missing (" +
                     std::to_string(names.size()) +
                     " found beside it) or cut short, and what it held would read as zeros"};
    size64_t size = 0;
    if (libewf_handle_get_media_size(handle->pointer, &size, &error) != 1)
        return Error{take_error(error)};
    // The acquisition records the disk's bytes per sector; 0 (unknown) when it cannot be read.
    uint32_t bytesPerSector = 0;
    if (libewf_handle_get_bytes_per_sector(handle->pointer, &bytesPerSector, nullptr) != 1)
        bytesPerSector = 0;
    // Chunks (usually 32 KiB) are compressed one by one: the cache reads whole ones.
    size32_t chunkBytes = 0;
    if (libewf_handle_get_chunk_size(handle->pointer, &chunkBytes, nullptr) != 1)
        chunkBytes = 0;
    return LibraryImage{std::make_unique<EwfDevice>(std::move(handle), size, bytesPerSector),
                        chunkBytes};
}

} // namespace

Result<std::unique_ptr<BlockDevice>> open_ewf_image(const std::string& path) {
    return open_cached_image(path, open_ewf_handle);
}

} // namespace salvex
