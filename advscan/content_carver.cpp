#include "advscan/content_carver.h"

#include "advscan/jpeg_check.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <zlib.h>

namespace salvex {

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr char kSqliteSignature[] = "SQLite format 3"; // and a NUL byte

// The bytes of a file that starts at a sector, read from the drive a window at a time and never
// past the sector the search may reach.
class FileBytes {
public:
    FileBytes(const SectorReader& reader, Lba start, Lba end)
        : reader_(reader), start_(start),
          limit_(end > start ? std::min<uint64_t>((end - start) * kSectorSize, kMaxCarvedSize)
                             : 0) {}

    uint64_t limit() const { return limit_; }

    // Hands the bytes [offset, offset + count) to `take` a window at a time; false when they
    // run past the limit or `take` says to stop.
    template <class Take>
    bool each_span(uint64_t offset, uint64_t count, Take take) {
        if (offset > limit_ || count > limit_ - offset)
            return false;
        while (count > 0) {
            const ByteView window = window_at(offset);
            const uint64_t skip = offset - windowStart_;
            const auto part = window.subspan(skip, std::min<uint64_t>(count, window.size() - skip));
            if (!take(part))
                return false;
            offset += part.size();
            count -= part.size();
        }
        return true;
    }

    std::optional<uint64_t> uint(uint64_t offset, size_t bytes, bool bigEndian) {
        std::array<uint8_t, 8> value{};
        size_t at = 0;
        if (!each_span(offset, bytes, [&](ByteView part) {
                std::copy(part.begin(), part.end(), value.begin() + static_cast<long>(at));
                at += part.size();
                return true;
            }))
            return std::nullopt;
        uint64_t result = 0;
        for (size_t i = 0; i < bytes; ++i)
            result |= uint64_t{value[bigEndian ? bytes - 1 - i : i]} << (8 * i);
        return result;
    }
    std::optional<uint64_t> be(uint64_t offset, size_t bytes) { return uint(offset, bytes, true); }
    std::optional<uint64_t> le(uint64_t offset, size_t bytes) { return uint(offset, bytes, false); }
    std::optional<uint8_t> byte(uint64_t offset) {
        const auto value = le(offset, 1);
        return value ? std::optional<uint8_t>(static_cast<uint8_t>(*value)) : std::nullopt;
    }

private:
    static constexpr uint64_t kWindowSectors = 128;

    ByteView window_at(uint64_t offset) {
        const uint64_t first = offset / kSectorSize / kWindowSectors * kWindowSectors;
        if (window_.empty() || first * kSectorSize != windowStart_) {
            window_.resize(kWindowSectors * kSectorSize);
            reader_.read_sectors_or_zeros(start_ + first, kWindowSectors, window_);
            windowStart_ = first * kSectorSize;
        }
        return window_;
    }

    const SectorReader& reader_;
    Lba start_;
    uint64_t limit_;
    std::vector<uint8_t> window_;
    uint64_t windowStart_ = 0;
};

// PNG: chunks of length, type, data and CRC from the signature through IEND, each CRC checked.
std::optional<uint64_t> png_size(FileBytes& bytes) {
    uint64_t pos = sizeof kPngSignature;
    for (bool first = true;; first = false) {
        const auto length = bytes.be(pos, 4);
        const auto type = bytes.be(pos + 4, 4);
        if (!length || !type || *length > 0x7FFFFFFF)
            return std::nullopt;
        if (first && *type != 0x49484452) // IHDR
            return std::nullopt;
        uLong crc = crc32(0, nullptr, 0);
        if (!bytes.each_span(pos + 4, 4 + *length, [&](ByteView part) {
                crc = crc32(crc, part.data(), static_cast<uInt>(part.size()));
                return true;
            }))
            return std::nullopt;
        const auto stored = bytes.be(pos + 8 + *length, 4);
        if (!stored || *stored != crc)
            return std::nullopt;
        pos += 12 + *length;
        if (*type == 0x49454E44) // IEND
            return pos;
    }
}

// Whether a JPEG marker starts a frame: SOF0 to SOF15 but DHT, JPG and DAC.
bool is_frame_marker(uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// The offset of the marker that ends the entropy-coded data from `pos` on: a 0xFF followed by
// neither a stuffed zero nor a restart marker.
std::optional<uint64_t> entropy_end(FileBytes& bytes, uint64_t pos) {
    std::optional<uint64_t> found;
    bool afterFF = false;
    uint64_t at = pos;
    bytes.each_span(pos, bytes.limit() - pos, [&](ByteView part) {
        for (size_t i = 0; i < part.size(); ++i, ++at) {
            const uint8_t b = part[i];
            if (afterFF) {
                afterFF = b == 0xFF;
                if (b != 0x00 && b != 0xFF && !(b >= 0xD0 && b <= 0xD7)) {
                    found = at - 1;
                    return false;
                }
                continue;
            }
            if (b != 0xFF) {
                const void* next = std::memchr(part.data() + i, 0xFF, part.size() - i);
                if (next == nullptr) {
                    at += part.size() - i;
                    return true;
                }
                const size_t skipped = static_cast<const uint8_t*>(next) - (part.data() + i);
                i += skipped;
                at += skipped;
            }
            afterFF = true;
        }
        return true;
    });
    return found;
}

// JPEG: segments from SOI through EOI, the entropy-coded data after each SOS scanned for the
// next marker. A thumbnail in an APP1 segment lies inside its segment and is passed over.
std::optional<uint64_t> jpeg_size(FileBytes& bytes) {
    uint64_t pos = 2;
    bool frame = false;
    while (true) {
        if (bytes.byte(pos) != 0xFF)
            return std::nullopt;
        while (bytes.byte(pos + 1) == 0xFF) // fill bytes
            ++pos;
        const auto marker = bytes.byte(pos + 1);
        if (!marker)
            return std::nullopt;
        pos += 2;
        if (*marker == 0xD9) // EOI
            return frame ? std::optional<uint64_t>(pos) : std::nullopt;
        if (*marker == 0x01 || (*marker >= 0xD0 && *marker <= 0xD7) || *marker == 0xD8 ||
            *marker == 0x00)
            return std::nullopt; // no length, and none of these belongs between segments
        const auto length = bytes.be(pos, 2);
        if (!length || *length < 2)
            return std::nullopt;
        frame = frame || is_frame_marker(*marker);
        pos += *length;
        if (*marker == 0xDA) { // SOS: the scan's data follows
            if (!frame)
                return std::nullopt;
            const auto end = entropy_end(bytes, pos);
            if (!end)
                return std::nullopt;
            pos = *end;
        }
    }
}

// Data sub-blocks of a GIF: lengths and bytes up to a block of length 0.
std::optional<uint64_t> gif_sub_blocks(FileBytes& bytes, uint64_t pos) {
    while (true) {
        const auto length = bytes.byte(pos);
        if (!length)
            return std::nullopt;
        pos += 1 + *length;
        if (*length == 0)
            return pos;
    }
}

// GIF: the screen descriptor and its colour table, then images and extensions through the
// trailer.
// The bytes of the colour table a GIF's packed flags announce.
uint64_t gif_colour_table(uint8_t flags) {
    return (flags & 0x80) != 0 ? 3u << ((flags & 7) + 1) : 0;
}

std::optional<uint64_t> gif_size(FileBytes& bytes) {
    const auto flags = bytes.byte(10);
    if (!flags)
        return std::nullopt;
    uint64_t pos = 13 + gif_colour_table(*flags);
    bool image = false;
    while (true) {
        const auto block = bytes.byte(pos);
        if (!block)
            return std::nullopt;
        std::optional<uint64_t> next;
        if (*block == 0x3B) // trailer
            return image ? std::optional<uint64_t>(pos + 1) : std::nullopt;
        if (*block == 0x21) {
            next = gif_sub_blocks(bytes, pos + 2);
        } else if (*block == 0x2C) { // an image: its descriptor, colour table and LZW data
            const auto local = bytes.byte(pos + 9);
            if (!local)
                return std::nullopt;
            const uint64_t data = pos + 10 + gif_colour_table(*local);
            const auto codeSize = bytes.byte(data);
            if (!codeSize || *codeSize < 1 || *codeSize > 12)
                return std::nullopt;
            next = gif_sub_blocks(bytes, data + 1);
            image = true;
        }
        if (!next)
            return std::nullopt;
        pos = *next;
    }
}

bool is_bmp_header_size(uint64_t size) {
    return size == 12 || size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// BMP: the size its file header gives, when the header and the pixel array agree with it.
std::optional<uint64_t> bmp_size(FileBytes& bytes) {
    const auto size = bytes.le(2, 4);
    const auto offset = bytes.le(10, 4);
    const auto header = bytes.le(14, 4);
    if (!size || !offset || !header || !is_bmp_header_size(*header) || *offset < 14 + *header ||
        *offset >= *size)
        return std::nullopt;
    if (*header >= 40) {
        const auto width = bytes.le(18, 4);
        const auto height = bytes.le(22, 4);
        const auto planes = bytes.le(26, 2);
        const auto bits = bytes.le(28, 2);
        const auto compression = bytes.le(30, 4);
        if (!width || !height || planes != 1 || !bits || !compression)
            return std::nullopt;
        const int64_t rows = std::abs(static_cast<int64_t>(static_cast<int32_t>(*height)));
        const auto columns = static_cast<int32_t>(*width);
        if (columns <= 0 || rows == 0)
            return std::nullopt;
        if (*compression == 0) { // uncompressed: rows of whole 32-bit words
            const uint64_t row = (uint64_t{*bits} * static_cast<uint64_t>(columns) + 31) / 32 * 4;
            if (*offset + row * static_cast<uint64_t>(rows) > *size)
                return std::nullopt;
        }
    }
    if (*size > bytes.limit())
        return std::nullopt;
    return size;
}

constexpr uint32_t kZipLocal = 0x04034b50;
constexpr uint32_t kZipCentral = 0x02014b50;
constexpr uint32_t kZipEnd = 0x06054b50;
constexpr uint32_t kZip64End = 0x06064b50;
constexpr uint32_t kZip64Locator = 0x07064b50;

// The offset of the next local or central header after `pos`, for an entry whose sizes follow
// its data: its data is passed over as far as the next header's signature.
std::optional<uint64_t> next_zip_header(FileBytes& bytes, uint64_t pos) {
    std::optional<uint64_t> found;
    uint64_t at = pos;
    uint32_t last = 0;
    bytes.each_span(pos, bytes.limit() - pos, [&](ByteView part) {
        for (const uint8_t b : part) {
            last = (last >> 8) | (uint32_t{b} << 24);
            ++at;
            if (at - pos >= 4 && (last == kZipLocal || last == kZipCentral)) {
                found = at - 4;
                return false;
            }
        }
        return true;
    });
    return found;
}

// ZIP and the formats built on it: the local entries, the central directory that lists each,
// and the end record that points back at the directory.
std::optional<uint64_t> zip_size(FileBytes& bytes) {
    uint64_t pos = 0;
    uint64_t entries = 0;
    while (bytes.le(pos, 4) == kZipLocal) {
        const auto flags = bytes.le(pos + 6, 2);
        const auto packed = bytes.le(pos + 18, 4);
        const auto nameLength = bytes.le(pos + 26, 2);
        const auto extraLength = bytes.le(pos + 28, 2);
        if (!flags || !packed || !nameLength || !extraLength)
            return std::nullopt;
        const uint64_t data = pos + 30 + *nameLength + *extraLength;
        ++entries;
        if ((*flags & 0x08) != 0 && *packed == 0) {
            const auto next = next_zip_header(bytes, data);
            if (!next)
                return std::nullopt;
            pos = *next;
        } else {
            pos = data + *packed;
        }
    }
    const uint64_t directory = pos;
    uint64_t listed = 0;
    while (bytes.le(pos, 4) == kZipCentral) {
        const auto nameLength = bytes.le(pos + 28, 2);
        const auto extraLength = bytes.le(pos + 30, 2);
        const auto commentLength = bytes.le(pos + 32, 2);
        if (!nameLength || !extraLength || !commentLength)
            return std::nullopt;
        pos += 46 + *nameLength + *extraLength + *commentLength;
        ++listed;
    }
    if (bytes.le(pos, 4) == kZip64End) {
        const auto size = bytes.le(pos + 4, 8);
        if (!size || *size > bytes.limit())
            return std::nullopt;
        pos += 12 + *size;
        if (bytes.le(pos, 4) != kZip64Locator)
            return std::nullopt;
        pos += 20;
    }
    if (bytes.le(pos, 4) != kZipEnd)
        return std::nullopt;
    const auto count = bytes.le(pos + 10, 2);
    const auto offset = bytes.le(pos + 16, 4);
    const auto commentLength = bytes.le(pos + 20, 2);
    if (!count || !offset || !commentLength || listed != entries || entries == 0)
        return std::nullopt;
    // The end record points at the directory, unless a ZIP64 record holds the numbers.
    if (*offset != 0xFFFFFFFF && (*offset != directory || (*count != 0xFFFF && *count != listed)))
        return std::nullopt;
    const uint64_t end = pos + 22 + *commentLength;
    return end <= bytes.limit() ? std::optional<uint64_t>(end) : std::nullopt;
}

// SQLite: page size times page count, when the header's count is valid (its change counter
// agrees with the version-valid-for number).
std::optional<uint64_t> sqlite_size(FileBytes& bytes) {
    const auto pageSize = bytes.be(16, 2);
    const auto changes = bytes.be(24, 4);
    const auto pages = bytes.be(28, 4);
    const auto validFor = bytes.be(92, 4);
    if (!pageSize || !changes || !pages || !validFor || *changes != *validFor || *pages == 0)
        return std::nullopt;
    const uint64_t size = *pageSize == 1 ? 65536 : *pageSize;
    if (size < 512 || size > 65536 || (size & (size - 1)) != 0)
        return std::nullopt;
    const uint64_t total = size * *pages;
    return total <= bytes.limit() ? std::optional<uint64_t>(total) : std::nullopt;
}

// More than this inflated from one gzip member is taken for a bomb, not for a file.
constexpr uint64_t kMaxInflated = uint64_t{64} << 30;

// gzip: one member, its deflate stream inflated to its end (which zlib alone knows), then the
// trailer's CRC-32 and length checked against what was inflated.
std::optional<uint64_t> gzip_size(FileBytes& bytes) {
    const auto flags = bytes.byte(3);
    if (bytes.byte(2) != 8 || !flags || (*flags & 0xE0) != 0)
        return std::nullopt;
    uint64_t pos = 10;
    if (*flags & 0x04) { // FEXTRA
        const auto length = bytes.le(pos, 2);
        if (!length)
            return std::nullopt;
        pos += 2 + *length;
    }
    for (const uint8_t field : {uint8_t{0x08}, uint8_t{0x10}}) { // FNAME, FCOMMENT: NUL-ended
        if ((*flags & field) == 0)
            continue;
        while (true) {
            const auto b = bytes.byte(pos++);
            if (!b)
                return std::nullopt;
            if (*b == 0)
                break;
        }
    }
    if (*flags & 0x02) // FHCRC
        pos += 2;
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK)
        return std::nullopt;
    std::vector<uint8_t> out(64 * 1024);
    uLong crc = crc32(0, nullptr, 0);
    uint64_t produced = 0;
    int status = Z_OK;
    uint64_t consumed = 0;
    bytes.each_span(pos, bytes.limit() - pos, [&](ByteView part) {
        stream.next_in = const_cast<Bytef*>(part.data());
        stream.avail_in = static_cast<uInt>(part.size());
        while (stream.avail_in > 0 && status == Z_OK && produced <= kMaxInflated) {
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            status = inflate(&stream, Z_NO_FLUSH);
            const size_t made = out.size() - stream.avail_out;
            crc = crc32(crc, out.data(), static_cast<uInt>(made));
            produced += made;
        }
        consumed += part.size() - stream.avail_in;
        return status == Z_OK;
    });
    inflateEnd(&stream);
    if (status != Z_STREAM_END)
        return std::nullopt;
    const uint64_t trailer = pos + consumed;
    const auto storedCrc = bytes.le(trailer, 4);
    const auto storedSize = bytes.le(trailer + 4, 4);
    if (storedCrc != crc || storedSize != (produced & 0xFFFFFFFF))
        return std::nullopt;
    return trailer + 8;
}

// RIFF (WAV, AVI, WebP): the size its header gives, when the chunks inside fill it exactly.
std::optional<uint64_t> riff_size(FileBytes& bytes) {
    const auto size = bytes.le(4, 4);
    if (!size || *size < 4 || *size + 8 > bytes.limit())
        return std::nullopt;
    const uint64_t end = *size + 8;
    uint64_t pos = 12;
    while (pos < end) {
        const auto id = bytes.le(pos, 4);
        const auto length = bytes.le(pos + 4, 4);
        if (!id || !length)
            return std::nullopt;
        for (int shift = 0; shift < 32; shift += 8) { // an identifier is four printable bytes
            const auto c = static_cast<uint8_t>(*id >> shift);
            if (c < 0x20 || c > 0x7E)
                return std::nullopt;
        }
        pos += 8 + *length + (*length & 1);
    }
    return pos == end || pos == end + 1 ? std::optional<uint64_t>(end) : std::nullopt;
}

// The largest JPEG decoded to check it; a larger one is taken by its structure alone.
constexpr uint64_t kMaxDecodedJpeg = uint64_t{256} << 20;

// Whether the JPEG of `size` bytes decodes whole: its segments may reach an end marker through
// bytes that are not its own.
bool decodes_whole(FileBytes& bytes, uint64_t size) {
    if (size > kMaxDecodedJpeg)
        return true;
    std::vector<uint8_t> data;
    data.reserve(size);
    bytes.each_span(0, size, [&](ByteView part) {
        data.insert(data.end(), part.begin(), part.end());
        return true;
    });
    return data.size() == size && jpeg_decodes_whole(data);
}

} // namespace

std::string_view content_extension(ContentKind kind) {
    switch (kind) {
    case ContentKind::Jpeg:
        return "jpg";
    case ContentKind::Png:
        return "png";
    case ContentKind::Gif:
        return "gif";
    case ContentKind::Bmp:
        return "bmp";
    case ContentKind::Zip:
        return "zip";
    case ContentKind::Sqlite:
        return "sqlite";
    case ContentKind::Gzip:
        return "gz";
    case ContentKind::Wav:
        return "wav";
    case ContentKind::Avi:
        return "avi";
    case ContentKind::Webp:
        return "webp";
    }
    return "bin";
}

std::optional<ContentKind> content_start(ByteView sector) {
    if (sector.size() < 100)
        return std::nullopt;
    switch (sector[0]) {
    case 0xFF:
        if (sector[1] == 0xD8 && sector[2] == 0xFF && sector[3] >= 0xC0 && sector[3] != 0xFF)
            return ContentKind::Jpeg;
        break;
    case 0x89:
        if (std::equal(std::begin(kPngSignature), std::end(kPngSignature), sector.begin()))
            return ContentKind::Png;
        break;
    case 'G':
        if (has_text_at(sector, 0, "GIF87a") || has_text_at(sector, 0, "GIF89a"))
            return ContentKind::Gif;
        break;
    case 'B':
        if (sector[1] == 'M' && le_uint(sector, 6, 4) == 0 &&
            is_bmp_header_size(le_uint(sector, 14, 4).value_or(0)))
            return ContentKind::Bmp;
        break;
    case 'P':
        if (le_uint(sector, 0, 4) == kZipLocal)
            return ContentKind::Zip;
        break;
    case 'S':
        if (has_text_at(sector, 0, std::string_view(kSqliteSignature, sizeof kSqliteSignature)))
            return ContentKind::Sqlite;
        break;
    case 0x1F:
        if (sector[1] == 0x8B && sector[2] == 8)
            return ContentKind::Gzip;
        break;
    case 'R':
        if (has_text_at(sector, 0, "RIFF")) {
            if (has_text_at(sector, 8, "WAVE"))
                return ContentKind::Wav;
            if (has_text_at(sector, 8, "AVI "))
                return ContentKind::Avi;
            if (has_text_at(sector, 8, "WEBP"))
                return ContentKind::Webp;
        }
        break;
    default:
        break;
    }
    return std::nullopt;
}

std::optional<CarvedFile> carve_file(const SectorReader& reader, Lba start, ContentKind kind,
                                     Lba end) {
    FileBytes bytes(reader, start, end);
    std::optional<uint64_t> size;
    switch (kind) {
    case ContentKind::Jpeg:
        size = jpeg_size(bytes);
        if (size && !decodes_whole(bytes, *size))
            size.reset();
        break;
    case ContentKind::Png:
        size = png_size(bytes);
        break;
    case ContentKind::Gif:
        size = gif_size(bytes);
        break;
    case ContentKind::Bmp:
        size = bmp_size(bytes);
        break;
    case ContentKind::Zip:
        size = zip_size(bytes);
        break;
    case ContentKind::Sqlite:
        size = sqlite_size(bytes);
        break;
    case ContentKind::Gzip:
        size = gzip_size(bytes);
        break;
    case ContentKind::Wav:
    case ContentKind::Avi:
    case ContentKind::Webp:
        size = riff_size(bytes);
        break;
    }
    if (!size || *size == 0 || *size > bytes.limit())
        return std::nullopt;
    return CarvedFile{start, *size, kind};
}

std::vector<CarvedFile> carve_files(const SectorReader& reader, std::vector<ContentStart> starts,
                                    Lba end) {
    std::sort(starts.begin(), starts.end(),
              [](const ContentStart& a, const ContentStart& b) { return a.sector < b.sector; });
    std::vector<CarvedFile> files;
    Lba covered = 0; // the sectors before this one belong to a file already followed
    for (const ContentStart& start : starts) {
        if (start.sector < covered)
            continue;
        if (auto file = carve_file(reader, start.sector, start.kind, end)) {
            covered = start.sector + (file->size + kSectorSize - 1) / kSectorSize;
            files.push_back(*file);
        }
    }
    return files;
}

} // namespace salvex
