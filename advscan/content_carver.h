// Files found by their contents: the start of a file recognised at the start of a sector, and
// the file followed to its end by its format's own structure (chunks, segments, blocks, the
// central directory), never "up to the next header". A file whose structure breaks before its
// end is not taken for whole.
#pragma once

#include "disk/bytes.h"
#include "disk/sector.h"
#include "disk/sector_reader.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace salvex {

enum class ContentKind : uint8_t { Jpeg, Png, Gif, Bmp, Zip, Sqlite, Gzip, Wav, Avi, Webp };

// The file name extension a kind is saved under: "jpg", "png", ...
std::string_view content_extension(ContentKind kind);

// The kind of file whose first bytes `sector` holds, if any is recognised.
std::optional<ContentKind> content_start(ByteView sector);

struct ContentStart {
    Lba sector = 0;
    ContentKind kind = ContentKind::Jpeg;
    bool operator==(const ContentStart&) const = default;
};

struct CarvedFile {
    Lba start = 0;     // its first sector
    uint64_t size = 0; // bytes, as its structure gives them
    ContentKind kind = ContentKind::Jpeg;
    bool operator==(const CarvedFile&) const = default;
};

// The largest file followed: a structure claiming more is taken for damaged.
inline constexpr uint64_t kMaxCarvedSize = uint64_t{4} << 30;

// Follows the file of `kind` that starts at sector `start` to its end, reading no further than
// sector `end` (exclusive); nullopt when its structure is broken or runs past `end`.
std::optional<CarvedFile> carve_file(const SectorReader& reader, Lba start, ContentKind kind,
                                     Lba end);

// Follows every start found, in sector order, to its end; a start that lies inside a file
// already followed (the JPEG inside a ZIP) is part of it and not followed again.
std::vector<CarvedFile> carve_files(const SectorReader& reader, std::vector<ContentStart> starts,
                                    Lba end);

} // namespace salvex
