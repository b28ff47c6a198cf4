// Damaging real images for tests: MFT records rewritten in a copy of an image, their sector ends
// protected by the update sequence array again as the file system would leave them.
#pragma once

#include "disk/sector.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace salvex::test {

using RecordEdit = std::function<void(std::span<uint8_t> record)>;

// Rewrites the record at `sector` of the image file at `path` through `edit`, which sees the
// record fixed up.
void patch_record(const std::string& path, Lba sector, const RecordEdit& edit);

// An edit of the unnamed $DATA of a record: its data size, and its run list when `runs` is not
// empty (it must fit where the old one lies).
RecordEdit set_data_fields(uint64_t size, std::vector<uint8_t> runs = {});

} // namespace salvex::test
