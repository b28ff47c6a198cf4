// VMware's virtual disks read through libvmdk: a text descriptor naming extent files (flat or
// sparse, in the descriptor's folder), or a sparse extent with the descriptor inside.
#pragma once

#include "disk/block_device.h"
#include "disk/result.h"

#include <memory>
#include <string>

namespace salvex {

// True when libvmdk takes the file at `path` for a VMDK descriptor or sparse extent.
bool vmdk_recognises(const std::string& path);

// Opens the VMDK image at `path` and the extent files its descriptor names, read-only. A
// snapshot (only the changes made to a parent disk) is refused. The error is the library's
// reason, as one line.
Result<std::unique_ptr<BlockDevice>> open_vmdk_image(const std::string& path);

} // namespace salvex
