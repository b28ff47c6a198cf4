#include "disk/open_image.h"

#include "disk/split_raw_device.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <vector>

#ifdef SALVEX_HAVE_LIBEWF
#include "disk/ewf_device.h"

#include <libewf.h>
#endif
#ifdef SALVEX_HAVE_LIBVHDI
#include "disk/vhdi_device.h"

#include <libvhdi.h>
#endif
#ifdef SALVEX_HAVE_LIBVMDK
#include "disk/vmdk_device.h"

#include <libvmdk.h>
#endif
#ifdef SALVEX_HAVE_LIBQCOW
#include "disk/qcow_device.h"

#include <libqcow.h>
#endif

namespace salvex {

namespace {

// A library this build reads containers with.
struct LibraryReader {
    ImageLibrary library;
    ImageFormat usualFormat; // named in errors when the signature does not say which format
    bool (*recognises)(const std::string& path);
    Result<std::unique_ptr<BlockDevice>> (*open)(const std::string& path);
    const char* (*version)();
};

std::vector<LibraryReader> built_in_readers() {
    return {
#ifdef SALVEX_HAVE_LIBEWF
        {ImageLibrary::Ewf, ImageFormat::Ewf, ewf_recognises, open_ewf_image, libewf_get_version},
#endif
#ifdef SALVEX_HAVE_LIBVHDI
        {ImageLibrary::Vhdi, ImageFormat::Vhd, vhdi_recognises, open_vhdi_image,
         libvhdi_get_version},
#endif
#ifdef SALVEX_HAVE_LIBVMDK
        {ImageLibrary::Vmdk, ImageFormat::Vmdk, vmdk_recognises, open_vmdk_image,
         libvmdk_get_version},
#endif
#ifdef SALVEX_HAVE_LIBQCOW
        {ImageLibrary::Qcow, ImageFormat::Qcow, qcow_recognises, open_qcow_image,
         libqcow_get_version},
#endif
    };
}

// The format a file's first and last bytes name.
ImageFormat signature_of(const BlockDevice& file) {
    const uint64_t size = file.size_bytes();
    const auto length = static_cast<size_t>(std::min<uint64_t>(size, kSignatureBytes));
    std::array<uint8_t, kSignatureBytes> head{};
    std::array<uint8_t, kSignatureBytes> tail{};
    if (!file.read_at(0, std::span(head).first(length)) ||
        !file.read_at(size - length, std::span(tail).first(length)))
        return ImageFormat::Raw;
    return image_format_by_signature(std::span(head).first(length), std::span(tail).first(length));
}

Result<std::unique_ptr<BlockDevice>>
open_with_library(const LibraryReader& reader, const std::string& path, ImageFormat signature) {
    auto device = reader.open(path);
    if (device)
        return device;
    const ImageFormat format =
        library_of(signature) == reader.library ? signature : reader.usualFormat;
    return Error{"Cannot read the " + std::string(image_format_name(format)) + " image " + path +
                 ": " + device.error() + "."};
}

Result<std::unique_ptr<BlockDevice>> open_split_or_raw(const std::string& path,
                                                       std::unique_ptr<FileDevice> raw) {
    auto segments = split_image_segments(path);
    if (!segments)
        return Error{segments.error()};
    if (segments->size() == 1)
        return std::unique_ptr<BlockDevice>(std::move(raw));
    auto split = SplitRawDevice::open(segments.value());
    if (!split)
        return Error{split.error()};
    return std::unique_ptr<BlockDevice>(std::move(split).value());
}

} // namespace

Result<std::unique_ptr<BlockDevice>> open_image_or_device(const std::string& path) {
    return open_image_or_device(path, built_in_image_libraries());
}

Result<std::unique_ptr<BlockDevice>> open_image_or_device(const std::string& path,
                                                          const ImageLibraries& libraries) {
    auto raw = FileDevice::open(path);
    if (!raw)
        return Error{raw.error()};
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return std::unique_ptr<BlockDevice>(std::move(raw).value()); // a disk is raw sectors

    const ImageFormat signature = signature_of(*raw.value());
    const auto readers = built_in_readers();
    for (const LibraryReader& reader : readers) {
        if (libraries.has(reader.library) && reader.recognises(path))
            return open_with_library(reader, path, signature);
    }
    if (signature != ImageFormat::Raw) {
        // A container no library took: refused, never scanned as if its bytes were the disk's.
        const auto reader =
            std::find_if(readers.begin(), readers.end(), [&](const LibraryReader& r) {
                return r.library == library_of(signature) && libraries.has(r.library);
            });
        if (reader == readers.end())
            return Error{"Cannot open " + path + ": " + missing_library_message(signature) + "."};
        return Error{"Cannot read " + path + ": it is an image in the " +
                     image_format_name(signature) + " format, which " +
                     library_name(reader->library) + " " + reader->version() +
                     ", the library this program was built with, does not read."};
    }
    return open_split_or_raw(path, std::move(raw).value());
}

} // namespace salvex
