// A stand-in for the vendor's BIOS sector libraries that serves raw image files as BIOS drives
// 0x80, 0x81, ... It lets library mode run on systems that have no such libraries, and lets
// tests take libraries or calls away to see how the program copes.
#pragma once

#include "disk/sector_library.h"

#include <set>
#include <string>
#include <vector>

namespace salvex {

class ImageLibraryLoader final : public LibraryLoader {
public:
    struct Options {
        bool hasSect32 = true;
        bool hasSect2 = true;
        std::set<std::string, std::less<>> missingCalls; // names that do not resolve
        uint32_t int13Extensions = 1; // what CheckInt13Extension32 reports for every drive
    };

    explicit ImageLibraryLoader(std::vector<std::string> imagePaths);
    ImageLibraryLoader(std::vector<std::string> imagePaths, Options options);

    std::unique_ptr<LoadedLibrary> load(std::string_view name) override;

private:
    struct Images;
    std::shared_ptr<Images> images_;
    Options options_;
};

} // namespace salvex
