#include "disk/library_device.h"

#include <algorithm>
#include <cstdio>

namespace salvex {

bool LibraryDevice::read_at(uint64_t offset, std::span<uint8_t> out) const {
    if (offset > sizeBytes_ || out.size() > sizeBytes_ - offset)
        return false; // past the end of the media: the libraries would only report an error
    const std::lock_guard lock(mutex_);
    size_t done = 0;
    while (done < out.size()) {
        const int64_t n = read_some(offset + done, out.subspan(done));
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

Result<std::unique_ptr<BlockDevice>> open_cached_image(const std::string& path,
                                                       LibraryOpener open) {
    // The libraries open the path themselves, and would wait on a named pipe as open() does.
    if (const auto kind = kind_not_readable(path, ReadableKinds::Files))
        return Error{"it is " + *kind + ", not an image file"};
    auto image = open(path);
    if (!image)
        return Error{image.error()};
    auto reopen = [path, open]() -> std::unique_ptr<BlockDevice> {
        auto again = open(path);
        return again ? std::move(again.value().device) : nullptr;
    };
    return std::unique_ptr<BlockDevice>(std::make_unique<CachedDevice>(
        std::move(image.value().device), cache_block_bytes(image.value().chunkBytes),
        CachedDevice::kBudgetBytes, CachedDevice::kReadAheadBlocks, std::move(reopen)));
}

std::string library_error_line(std::string_view text) {
    std::string line;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view message = text.substr(start, end - start);
        while (!message.empty() &&
               (message.back() == '.' || message.back() == '\r' || message.back() == ' '))
            message.remove_suffix(1);
        if (!message.empty()) {
            if (!line.empty())
                line += "; ";
            for (const char c : message) {
                const auto byte = static_cast<unsigned char>(c);
                if (byte >= 0x20 && byte != 0x7f) {
                    line += c;
                } else {
                    char escaped[5];
                    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
                    line += escaped;
                }
            }
        }
        start = end + 1;
    }
    return line;
}

std::string differencing_refusal(std::string_view parent) {
    const std::string named = parent.empty() ? "" : " \"" + library_error_line(parent) + "\"";
    return "it holds only the changes made to its parent image" + named +
           "; open the parent, or a copy merged with it (qemu-img convert -O raw), instead";
}

} // namespace salvex
