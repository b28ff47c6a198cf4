// Opening what the user names as a drive: a block device, a raw image in one file or split into
// numbered segments, or a disk in a container format (EnCase, VHD, VHDX, VMDK, QCOW).
#pragma once

#include "disk/block_device.h"
#include "disk/image_format.h"
#include "disk/result.h"

#include <memory>
#include <string>

namespace salvex {

// Opens `path` read-only as the disk it holds. Image files are told apart by their contents,
// never by their names: a container by the signature its library checks; then a file named as
// the first segment of a split raw image (disk.001, disk.aa) with its further segments beside
// it; anything else is read as raw sectors, as a block device always is. The error is a
// sentence: why the file could not be opened, the library's reason for a container it could
// not read, or, for a container of a format this build has no library for, which package to
// install.
Result<std::unique_ptr<BlockDevice>> open_image_or_device(const std::string& path);

// The same, reading containers with no other libraries than `libraries` (of those the build
// has): the others' formats are refused as a build without them refuses them.
Result<std::unique_ptr<BlockDevice>> open_image_or_device(const std::string& path,
                                                          const ImageLibraries& libraries);

} // namespace salvex
