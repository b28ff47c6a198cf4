#include "disk/qcow_device.h"

#include "disk/library_device.h"

#include <libqcow.h>

namespace salvex {

namespace {

using QcowFile = LibraryHandle<libqcow_file_t, libqcow_file_close, libqcow_file_free>;
using QcowDevice = HandleDevice<QcowFile, libqcow_file_read_buffer_at_offset>;

// libqcow keeps no decompressed cluster and does not tell the cluster size: the cache's blocks
// are the usual one (64 KiB), so that each compressed cluster is decompressed once where runs of
// records and sweeps straddle clusters.
constexpr size_t kClusterBytes = 64 * 1024;

std::string take_error(libqcow_error_t*& error) {
    return take_library_error(error, libqcow_error_backtrace_sprint, libqcow_error_free);
}

} // namespace

bool qcow_recognises(const std::string& path) {
    return library_recognises(path, libqcow_check_file_signature, libqcow_error_free);
}

namespace {

Result<LibraryImage> open_qcow_handle(const std::string& path) {
    // The examined image is only ever opened for reading.
    auto opened = open_library_handle<QcowFile>(path, libqcow_file_initialize, libqcow_file_open,
                                                LIBQCOW_OPEN_READ, take_error);
    if (!opened)
        return Error{opened.error()};
    auto file = std::move(opened).value();
    libqcow_error_t* error = nullptr;
    uint32_t encryption = LIBQCOW_ENCRYPTION_METHOD_NONE;
    if (libqcow_file_get_encryption_method(file->pointer, &encryption, &error) != 1)
        return Error{take_error(error)};
    if (encryption != LIBQCOW_ENCRYPTION_METHOD_NONE)
        return Error{"it is encrypted; decrypt a copy first (qemu-img convert with its key)"};
    if (const auto backing =
            library_text(file->pointer, libqcow_file_get_utf8_backing_filename_size,
                         libqcow_file_get_utf8_backing_filename))
        return Error{differencing_refusal(*backing)};
    size64_t size = 0;
    if (libqcow_file_get_media_size(file->pointer, &size, &error) != 1)
        return Error{take_error(error)};
    return LibraryImage{std::make_unique<QcowDevice>(std::move(file), size), kClusterBytes};
}

} // namespace

Result<std::unique_ptr<BlockDevice>> open_qcow_image(const std::string& path) {
    return open_cached_image(path, open_qcow_handle);
}

} // namespace salvex
