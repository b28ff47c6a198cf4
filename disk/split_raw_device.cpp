#include "disk/split_raw_device.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace salvex {

namespace fs = std::filesystem;

namespace {

// Past this many digits or letters a suffix is no segment number (and would overflow).
constexpr size_t kMaxSuffixWidth = 12;

bool all_of_kind(std::string_view text, SegmentNaming::Kind kind) {
    return std::all_of(text.begin(), text.end(), [kind](char c) {
        switch (kind) {
        case SegmentNaming::Kind::Digits:
            return c >= '0' && c <= '9';
        case SegmentNaming::Kind::Lower:
            return c >= 'a' && c <= 'z';
        case SegmentNaming::Kind::Upper:
            return c >= 'A' && c <= 'Z';
        }
        return false;
    });
}

char first_letter(SegmentNaming::Kind kind) {
    return kind == SegmentNaming::Kind::Upper ? 'A' : 'a';
}

} // namespace

std::optional<SegmentName> parse_segment_name(std::string_view fileName) {
    const size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return std::nullopt;
    const std::string_view suffix = fileName.substr(dot + 1);
    if (suffix.size() < 2 || suffix.size() > kMaxSuffixWidth)
        return std::nullopt;
    SegmentName name;
    name.naming.stem = std::string(fileName.substr(0, dot + 1));
    name.naming.width = suffix.size();
    for (const auto kind :
         {SegmentNaming::Kind::Digits, SegmentNaming::Kind::Lower, SegmentNaming::Kind::Upper}) {
        if (!all_of_kind(suffix, kind))
            continue;
        name.naming.kind = kind;
        for (const char c : suffix) {
            name.index = kind == SegmentNaming::Kind::Digits
                             ? name.index * 10 + static_cast<uint64_t>(c - '0')
                             : name.index * 26 + static_cast<uint64_t>(c - first_letter(kind));
        }
        return name;
    }
    return std::nullopt;
}

std::optional<std::string> segment_file_name(const SegmentNaming& naming, uint64_t index) {
    std::string suffix;
    if (naming.kind == SegmentNaming::Kind::Digits) {
        suffix = std::to_string(index);
        if (suffix.size() < naming.width)
            suffix.insert(0, naming.width - suffix.size(), '0');
        return naming.stem + suffix;
    }
    suffix.assign(naming.width, first_letter(naming.kind));
    for (size_t i = naming.width; i-- > 0 && index > 0; index /= 26)
        suffix[i] = static_cast<char>(first_letter(naming.kind) + static_cast<char>(index % 26));
    if (index > 0)
        return std::nullopt; // past ".zz...z"
    return naming.stem + suffix;
}

bool is_first_segment_name(std::string_view fileName) {
    const auto name = parse_segment_name(fileName);
    if (!name)
        return false;
    return name->index == 0 ||
           (name->naming.kind == SegmentNaming::Kind::Digits && name->index == 1);
}

namespace {

// A file in `folder` named as a segment of `naming` after segment `index`; nullopt when none.
std::optional<std::string> later_segment(const fs::path& folder, const SegmentNaming& naming,
                                         uint64_t index) {
    std::error_code ec;
    fs::directory_iterator entry(folder.empty() ? fs::path(".") : folder, ec);
    for (; !ec && entry != fs::directory_iterator(); entry.increment(ec)) {
        const std::string other = entry->path().filename().string();
        const auto parsed = parse_segment_name(other);
        if (parsed && parsed->naming.stem == naming.stem && parsed->naming.kind == naming.kind &&
            parsed->index > index && segment_file_name(naming, parsed->index) == other)
            return other;
    }
    return std::nullopt;
}

} // namespace

Result<std::vector<std::string>> split_image_segments(const std::string& path) {
    const fs::path first(path);
    const std::string fileName = first.filename().string();
    std::vector<std::string> segments{path};
    if (!is_first_segment_name(fileName))
        return segments;
    const SegmentName name = *parse_segment_name(fileName);
    const fs::path folder = first.parent_path();

    std::error_code ec;
    if (name.index == 1) {
        // Numbered from 0 (split -d), a ".1" file is the second segment, not the first.
        const std::string zero = *segment_file_name(name.naming, 0);
        if (fs::is_regular_file(folder / zero, ec))
            return Error{"Cannot read " + path + " alone: it is the second segment of a split " +
                         "image; open its first segment " + zero + " instead."};
    }
    uint64_t index = name.index + 1;
    for (;; ++index) {
        const auto next = segment_file_name(name.naming, index);
        if (!next || !fs::is_regular_file(folder / *next, ec))
            break;
        segments.push_back((folder / *next).string());
    }
    if (const auto later = later_segment(folder, name.naming, index)) {
        // A segment after the gap: the gap is a lost segment, not the image's end.
        return Error{"Cannot read the split image " + path + ": its segment " +
                     segment_file_name(name.naming, index).value_or("?") + " is missing, though " +
                     *later + " follows it."};
    }
    return segments; // `path` alone: a raw image that only looks like a first segment
}

Result<std::unique_ptr<SplitRawDevice>>
SplitRawDevice::open(const std::vector<std::string>& paths) {
    std::vector<Segment> segments;
    uint64_t start = 0;
    for (const std::string& path : paths) {
        auto device = FileDevice::open(path);
        if (!device)
            return Error{device.error()};
        segments.push_back({path, start, device.value()->size_bytes()});
        start += device.value()->size_bytes();
    }
    return std::unique_ptr<SplitRawDevice>(new SplitRawDevice(std::move(segments)));
}

SplitRawDevice::SplitRawDevice(std::vector<Segment> segments)
    : segments_(std::move(segments)), open_(segments_.size()) {
    if (!segments_.empty())
        sizeBytes_ = segments_.back().start + segments_.back().size;
}

const FileDevice* SplitRawDevice::open_segment(size_t index) const {
    if (!open_[index]) {
        auto device = FileDevice::open(segments_[index].path);
        if (!device)
            return nullptr;
        if (openOrder_.size() == kMaxOpenSegments) {
            open_[openOrder_.front()].reset();
            openOrder_.pop_front();
        }
        open_[index] = std::move(device).value();
        openOrder_.push_back(index);
    }
    return open_[index].get();
}

bool SplitRawDevice::read_at(uint64_t offset, std::span<uint8_t> out) const {
    if (offset > sizeBytes_ || out.size() > sizeBytes_ - offset)
        return false;
    const std::lock_guard lock(mutex_);
    size_t done = 0;
    while (done < out.size()) {
        const uint64_t at = offset + done;
        // The last segment that starts at or before `at`: empty segments are passed over.
        const auto after =
            std::upper_bound(segments_.begin(), segments_.end(), at,
                             [](uint64_t o, const Segment& s) { return o < s.start; });
        const auto index = static_cast<size_t>(after - segments_.begin()) - 1;
        const Segment& segment = segments_[index];
        const size_t length = static_cast<size_t>(
            std::min<uint64_t>(out.size() - done, segment.start + segment.size - at));
        const FileDevice* device = open_segment(index);
        if (device == nullptr || length == 0 ||
            !device->read_at(at - segment.start, out.subspan(done, length)))
            return false;
        done += length;
    }
    return true;
}

} // namespace salvex
