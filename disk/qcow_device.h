// QEMU's copy-on-write images (QCOW version 1 to 3, compressed clusters included) read through
// libqcow.
#pragma once

#include "disk/block_device.h"
#include "disk/result.h"

#include <memory>
#include <string>

namespace salvex {

// True when libqcow takes the file at `path` for a QCOW image.
bool qcow_recognises(const std::string& path);

// Opens the QCOW image at `path` read-only. An encrypted image, or one with a backing file (only
// the changes made to it), is refused. The error is the library's reason, as one line.
Result<std::unique_ptr<BlockDevice>> open_qcow_image(const std::string& path);

} // namespace salvex
