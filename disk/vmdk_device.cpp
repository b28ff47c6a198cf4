#include "disk/vmdk_device.h"

#include "disk/library_device.h"

#include <filesystem>
#include <libvmdk.h>

namespace salvex {

namespace {

using VmdkHandle = LibraryHandle<libvmdk_handle_t, libvmdk_handle_close, libvmdk_handle_free>;
using VmdkDevice = HandleDevice<VmdkHandle, libvmdk_handle_read_buffer_at_offset>;

std::string take_error(libvmdk_error_t*& error) {
    return take_library_error(error, libvmdk_error_backtrace_sprint, libvmdk_error_free);
}

} // namespace

bool vmdk_recognises(const std::string& path) {
    return library_recognises(path, libvmdk_check_file_signature, libvmdk_error_free);
}

namespace {

Result<LibraryImage> open_vmdk_handle(const std::string& path) {
    // The examined image is only ever opened for reading.
    auto opened = open_library_handle<VmdkHandle>(
        path, libvmdk_handle_initialize, libvmdk_handle_open, LIBVMDK_OPEN_READ, take_error);
    if (!opened)
        return Error{opened.error()};
    auto handle = std::move(opened).value();
    libvmdk_error_t* error = nullptr;
    if (const auto parent =
            library_text(handle->pointer, libvmdk_handle_get_utf8_parent_filename_size,
                         libvmdk_handle_get_utf8_parent_filename))
        return Error{differencing_refusal(*parent)};
    // The descriptor names its extent files relative to its own folder, wherever the program
    // runs from.
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    const std::string folder = parent.empty() ? std::string(".") : parent.string();
    if (libvmdk_handle_set_extent_data_files_path(handle->pointer, folder.c_str(), folder.size(),
                                                  &error) != 1 ||
        libvmdk_handle_open_extent_data_files(handle->pointer, &error) != 1)
        return Error{take_error(error)};
    size64_t size = 0;
    if (libvmdk_handle_get_media_size(handle->pointer, &size, &error) != 1)
        return Error{take_error(error)};
    // libvmdk does not tell its grain size (64 KiB in a sparse extent, by default).
    return LibraryImage{std::make_unique<VmdkDevice>(std::move(handle), size), 0};
}

} // namespace

Result<std::unique_ptr<BlockDevice>> open_vmdk_image(const std::string& path) {
    return open_cached_image(path, open_vmdk_handle);
}

} // namespace salvex
