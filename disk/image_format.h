// The container formats a disk image may come in, and which of them this build can read.
//
// Forensic and virtual-machine images hold a disk's sectors inside a container: EnCase's Expert
// Witness format (E01 and its successor Ex01), Microsoft's VHD and VHDX, VMware's VMDK and
// QEMU's QCOW. Each is read through the library made for it (libewf, libvhdi, libvmdk,
// libqcow); a library missing when the program was built leaves its formats out. Recognising a
// container here, by its first bytes, serves one purpose only: to refuse an image this build
// cannot read with a sentence that says so, instead of scanning the container as raw sectors.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace salvex {

enum class ImageFormat : uint8_t {
    Raw,  // sectors as they are: a dd image, a block device
    Ewf,  // EnCase E01: "EVF" 09 0D 0A FF 00 at the start of every segment file
    Ewf2, // EnCase Ex01: "EVF2" 0D 0A 81 00
    Vhd,  // a 512-byte footer "conectix" at the end (a dynamic VHD also has a copy at 0)
    Vhdx, // "vhdxfile" at 0
    Vmdk, // a text descriptor "# Disk DescriptorFile", or a sparse extent "KDMV"
    Qcow, // "QFI" FB at 0
};

// The name users know the format by: "EnCase (E01)", "VHD", "QCOW", ...
const char* image_format_name(ImageFormat format);

// The libraries that read the containers; one may serve several formats.
enum class ImageLibrary : uint8_t { None, Ewf, Vhdi, Vmdk, Qcow };

ImageLibrary library_of(ImageFormat format);

// The library's name ("libvmdk") and the Debian package that brings its headers.
const char* library_name(ImageLibrary library);
const char* library_package(ImageLibrary library);

// The libraries a build reads images with.
struct ImageLibraries {
    bool ewf = false;
    bool vhdi = false;
    bool vmdk = false;
    bool qcow = false;

    bool has(ImageLibrary library) const;
};

// The libraries this program was built with.
ImageLibraries built_in_image_libraries();

// The bytes a recognition looks at: the first and the last 512 bytes of the file (fewer for a
// smaller file; the two may overlap).
inline constexpr size_t kSignatureBytes = 512;

// The format whose signature the file's first bytes (`head`) or last bytes (`tail`) carry;
// Raw when none does.
ImageFormat image_format_by_signature(std::span<const uint8_t> head, std::span<const uint8_t> tail);

// "this build cannot read VMDK images: install libvmdk-dev and rebuild"
std::string missing_library_message(ImageFormat format);

} // namespace salvex
