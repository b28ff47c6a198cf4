// The disk images bundled with the tests (built by tools/ with parted, mkntfs and mkfs.vfat,
// unpacked into the build tree).
#pragma once

#include "disk/sector_reader.h"

#include <initializer_list>
#include <memory>
#include <string>

namespace salvex::test {

// Path of the unpacked image `name` (without ".img").
std::string image_path(const std::string& name);

// A device-mode reader over image `name`; fails the calling test when it cannot be opened.
std::unique_ptr<SectorReader> open_image(const std::string& name);

// A copy of image `name` in the temporary folder (named after the running test) with `sectors`
// zeroed: a damaged disk made from a real one. Returns its path.
std::string damaged_copy(const std::string& name, std::initializer_list<Lba> sectors);

// A path for a file of the running test, named after the test, in a folder of this process that
// is removed when it ends: tests running at the same time, from any checkout, never share one.
std::string temp_path(const std::string& stem);

// The path of the salvex-cli program built with the tests.
std::string cli_path();

} // namespace salvex::test
