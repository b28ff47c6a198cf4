// The disk images bundled with the tests (built by tools/ with parted, mkntfs and mkfs.vfat,
// unpacked into the build tree).
#pragma once

#include "disk/sector_reader.h"

#include <memory>
#include <string>
#include <vector>

namespace salvex::test {

// Path of the unpacked image `name` (without ".img").
std::string image_path(const std::string& name);

// A device-mode reader over image `name`; fails the calling test when it cannot be opened.
std::unique_ptr<SectorReader> open_image(const std::string& name);
// The same over the image file at `path`.
std::unique_ptr<SectorReader> open_image_file(const std::string& path);

// A copy of image `name` in the temporary folder (named after the running test, and `copy` when
// one test needs several) with `sectors` zeroed: a damaged disk made from a real one. Returns its
// path.
std::string damaged_copy(const std::string& name, const std::vector<Lba>& sectors,
                         const std::string& copy = "");

// A path for a file of the running test, named after the test, in a folder of this process that
// is removed when it ends: tests running at the same time, from any checkout, never share one.
std::string temp_path(const std::string& stem);
// temp_path(stem), made an empty folder.
std::string empty_temp_folder(const std::string& stem);

// The path of the salvex-cli program built with the tests.
std::string cli_path();

} // namespace salvex::test
