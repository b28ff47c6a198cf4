#include "disk/image_format.h"

#include "disk/bytes.h"

#include <string_view>

namespace salvex {

using namespace std::string_view_literals;

namespace {

// The signatures, as the formats define them.
constexpr auto kEwfSignature = "EVF\x09\x0d\x0a\xff\x00"sv;
constexpr auto kEwf2Signature = "EVF2\x0d\x0a\x81\x00"sv;
constexpr auto kVhdFooterCookie = "conectix"sv; // the footer's first 8 bytes
constexpr auto kVhdxSignature = "vhdxfile"sv;
constexpr auto kVmdkDescriptor = "# Disk DescriptorFile"sv;
constexpr auto kVmdkSparseExtent = "KDMV"sv;
constexpr auto kQcowSignature = "QFI\xfb"sv;

// A VHD footer is one 512-byte sector: at the file's end, and copied to 0 in dynamic disks.
constexpr size_t kVhdFooterSize = 512;

} // namespace

const char* image_format_name(ImageFormat format) {
    switch (format) {
    case ImageFormat::Raw:
        return "raw";
    case ImageFormat::Ewf:
        return "EnCase (E01)";
    case ImageFormat::Ewf2:
        return "EnCase (Ex01)";
    case ImageFormat::Vhd:
        return "VHD";
    case ImageFormat::Vhdx:
        return "VHDX";
    case ImageFormat::Vmdk:
        return "VMDK";
    case ImageFormat::Qcow:
        return "QCOW";
    }
    return "unknown";
}

ImageLibrary library_of(ImageFormat format) {
    switch (format) {
    case ImageFormat::Ewf:
    case ImageFormat::Ewf2:
        return ImageLibrary::Ewf;
    case ImageFormat::Vhd:
    case ImageFormat::Vhdx:
        return ImageLibrary::Vhdi;
    case ImageFormat::Vmdk:
        return ImageLibrary::Vmdk;
    case ImageFormat::Qcow:
        return ImageLibrary::Qcow;
    case ImageFormat::Raw:
        break;
    }
    return ImageLibrary::None;
}

const char* library_name(ImageLibrary library) {
    switch (library) {
    case ImageLibrary::Ewf:
        return "libewf";
    case ImageLibrary::Vhdi:
        return "libvhdi";
    case ImageLibrary::Vmdk:
        return "libvmdk";
    case ImageLibrary::Qcow:
        return "libqcow";
    case ImageLibrary::None:
        break;
    }
    return "";
}

const char* library_package(ImageLibrary library) {
    switch (library) {
    case ImageLibrary::Ewf:
        return "libewf-dev";
    case ImageLibrary::Vhdi:
        return "libvhdi-dev";
    case ImageLibrary::Vmdk:
        return "libvmdk-dev";
    case ImageLibrary::Qcow:
        return "libqcow-dev";
    case ImageLibrary::None:
        break;
    }
    return "";
}

bool ImageLibraries::has(ImageLibrary library) const {
    switch (library) {
    case ImageLibrary::Ewf:
        return ewf;
    case ImageLibrary::Vhdi:
        return vhdi;
    case ImageLibrary::Vmdk:
        return vmdk;
    case ImageLibrary::Qcow:
        return qcow;
    case ImageLibrary::None:
        break;
    }
    return false;
}

ImageLibraries built_in_image_libraries() {
    ImageLibraries libraries;
#ifdef SALVEX_HAVE_LIBEWF
    libraries.ewf = true;
#endif
#ifdef SALVEX_HAVE_LIBVHDI
    libraries.vhdi = true;
#endif
#ifdef SALVEX_HAVE_LIBVMDK
    libraries.vmdk = true;
#endif
#ifdef SALVEX_HAVE_LIBQCOW
    libraries.qcow = true;
#endif
    return libraries;
}

ImageFormat image_format_by_signature(std::span<const uint8_t> head,
                                      std::span<const uint8_t> tail) {
    if (has_text_at(head, 0, kEwfSignature))
        return ImageFormat::Ewf;
    if (has_text_at(head, 0, kEwf2Signature))
        return ImageFormat::Ewf2;
    if (has_text_at(head, 0, kVhdxSignature))
        return ImageFormat::Vhdx;
    if (has_text_at(head, 0, kVmdkDescriptor) || has_text_at(head, 0, kVmdkSparseExtent))
        return ImageFormat::Vmdk;
    if (has_text_at(head, 0, kQcowSignature))
        return ImageFormat::Qcow;
    if (has_text_at(head, 0, kVhdFooterCookie))
        return ImageFormat::Vhd;
    if (tail.size() >= kVhdFooterSize &&
        has_text_at(tail, tail.size() - kVhdFooterSize, kVhdFooterCookie))
        return ImageFormat::Vhd;
    return ImageFormat::Raw;
}

std::string missing_library_message(ImageFormat format) {
    return std::string("this build cannot read ") + image_format_name(format) +
           " images: install " + library_package(library_of(format)) + " and rebuild";
}

} // namespace salvex
