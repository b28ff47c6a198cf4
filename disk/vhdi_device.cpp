#include "disk/vhdi_device.h"

#include "disk/library_device.h"

#include <libvhdi.h>

namespace salvex {

namespace {

using VhdiFile = LibraryHandle<libvhdi_file_t, libvhdi_file_close, libvhdi_file_free>;
using VhdiDevice = HandleDevice<VhdiFile, libvhdi_file_read_buffer_at_offset>;

std::string take_error(libvhdi_error_t*& error) {
    return take_library_error(error, libvhdi_error_backtrace_sprint, libvhdi_error_free);
}

} // namespace

bool vhdi_recognises(const std::string& path) {
    return library_recognises(path, libvhdi_check_file_signature, libvhdi_error_free);
}

namespace {

Result<LibraryImage> open_vhdi_handle(const std::string& path) {
    // The examined image is only ever opened for reading.
    auto opened = open_library_handle<VhdiFile>(path, libvhdi_file_initialize, libvhdi_file_open,
                                                LIBVHDI_OPEN_READ, take_error);
    if (!opened)
        return Error{opened.error()};
    auto file = std::move(opened).value();
    libvhdi_error_t* error = nullptr;
    uint32_t diskType = 0;
    if (libvhdi_file_get_disk_type(file->pointer, &diskType, &error) != 1)
        return Error{take_error(error)};
    if (diskType == LIBVHDI_DISK_TYPE_DIFFERENTIAL) {
        const auto parent = library_text(file->pointer, libvhdi_file_get_utf8_parent_filename_size,
                                         libvhdi_file_get_utf8_parent_filename);
        return Error{differencing_refusal(parent.value_or(""))};
    }
    size64_t size = 0;
    if (libvhdi_file_get_media_size(file->pointer, &size, &error) != 1)
        return Error{take_error(error)};
    // A VHDX records its logical sector size (512 or 4,096); 0 (unknown) when it cannot be read.
    uint32_t bytesPerSector = 0;
    if (libvhdi_file_get_bytes_per_sector(file->pointer, &bytesPerSector, nullptr) != 1)
        bytesPerSector = 0;
    // libvhdi does not tell its block size (2 MiB or more, a power of two): the cache's default
    // blocks divide it.
    return LibraryImage{std::make_unique<VhdiDevice>(std::move(file), size, bytesPerSector), 0};
}

} // namespace

Result<std::unique_ptr<BlockDevice>> open_vhdi_image(const std::string& path) {
    return open_cached_image(path, open_vhdi_handle);
}

} // namespace salvex
