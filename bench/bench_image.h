// What the benchmarks share: the image to measure, opened for the sector reader, and a plain
// read of it to compare with.
#pragma once

#include "disk/open_image.h"
#include "disk/sector_reader.h"

#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace salvex::bench {

// A device-mode reader over the image at `path`; nullptr after a message on stderr.
inline std::unique_ptr<SectorReader> open_image(const char* path) {
    auto device = open_image_or_device(path);
    if (!device) {
        std::fprintf(stderr, "%s\n", device.error().c_str());
        return nullptr;
    }
    auto reader = std::make_unique<SectorReader>(AccessMode::Device);
    reader->open_device(std::move(device).value());
    return reader;
}

// Reads the whole file `bytesPerRead` at a time, as cat does; the bytes read.
inline uint64_t plain_read(const char* path, size_t bytesPerRead) {
    const int fd = ::open(path, O_RDONLY);
    if (fd < 0)
        return 0;
    std::vector<char> buffer(bytesPerRead);
    uint64_t total = 0;
    ssize_t n = 0;
    while ((n = ::read(fd, buffer.data(), buffer.size())) > 0)
        total += static_cast<uint64_t>(n);
    ::close(fd);
    return total;
}

} // namespace salvex::bench
