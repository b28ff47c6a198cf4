// EnCase (Expert Witness) images read through libewf: a disk acquired into segment files
// disk.E01, disk.E02, ... with compressed, checksummed chunks.
#pragma once

#include "disk/block_device.h"
#include "disk/result.h"

#include <memory>
#include <string>

namespace salvex {

// True when libewf takes the file at `path` for a segment of an EWF image.
bool ewf_recognises(const std::string& path);

// Opens, read-only, the image of which `path` is a segment: libewf's glob finds the other
// segment files beside it by the format's naming (.E01 to .E99, then .EAA, ...). A set with a
// segment missing or cut short is refused. The error is the library's reason, as one line.
Result<std::unique_ptr<BlockDevice>> open_ewf_image(const std::string& path);

} // namespace salvex
