// Microsoft's virtual hard disks read through libvhdi: VHD (fixed: the sectors followed by a
// 512-byte footer; dynamic: blocks allocated as written) and VHDX.
#pragma once

#include "disk/block_device.h"
#include "disk/result.h"

#include <memory>
#include <string>

namespace salvex {

// True when libvhdi takes the file at `path` for a VHD or VHDX image.
bool vhdi_recognises(const std::string& path);

// Opens the VHD or VHDX image at `path` read-only. A differencing image (only the changes made
// to a parent) is refused. The error is the library's reason, as one line.
Result<std::unique_ptr<BlockDevice>> open_vhdi_image(const std::string& path);

} // namespace salvex
