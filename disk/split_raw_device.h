// A raw image cut into numbered segment files, as split, dd piped through split and forensic
// imagers write it: disk.001, disk.002, ... (or disk.00, disk.01, ...) or disk.aa, disk.ab, ...,
// disk.az, disk.ba, ... in one folder. The disk is the segments' bytes one after the other;
// segments may differ in size, the last is usually shorter.
#pragma once

#include "disk/block_device.h"
#include "disk/result.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace salvex {

// How a segment file is named: its stem up to the last dot, then a suffix of `width` decimal
// digits or of `width` letters of one case counting in base 26 (aa, ab, ..., az, ba, ...).
struct SegmentNaming {
    enum class Kind : uint8_t { Digits, Lower, Upper };
    std::string stem; // "disk.img." for disk.img.001: everything up to and with the last dot
    Kind kind = Kind::Digits;
    size_t width = 0;
};

struct SegmentName {
    SegmentNaming naming;
    uint64_t index = 0; // the suffix's value: 1 for ".001", 0 for ".aa"
};

// The naming and place of a file named like a segment (a suffix of at least two digits or
// letters after its last dot); nullopt otherwise.
std::optional<SegmentName> parse_segment_name(std::string_view fileName);

// The file name of segment `index` in `naming`; nullopt past the last letters name (".zz" for
// two letters). Numbers grow past their width (".999", ".1000").
std::optional<std::string> segment_file_name(const SegmentNaming& naming, uint64_t index);

// True for the name of a first segment: ".000", ".001" (any width) or ".aa" (".AA").
bool is_first_segment_name(std::string_view fileName);

// The segment files of the split image whose first segment is `path`, in order: `path` alone
// when it is not named as a first segment or no second segment lies beside it (a plain raw
// image). An error names the missing segment when a later one lies beside a gap.
Result<std::vector<std::string>> split_image_segments(const std::string& path);

class SplitRawDevice final : public BlockDevice {
public:
    // Opens every segment read-only (each must open, as a file) to learn its size.
    static Result<std::unique_ptr<SplitRawDevice>> open(const std::vector<std::string>& paths);

    bool read_at(uint64_t offset, std::span<uint8_t> out) const override;
    uint64_t size_bytes() const override { return sizeBytes_; }
    size_t segment_count() const { return segments_.size(); }

    // Segment files kept open at once: a split image of thousands of segments must not run out
    // of file descriptors; the least recently opened is closed first.
    static constexpr size_t kMaxOpenSegments = 64;

private:
    struct Segment {
        std::string path;
        uint64_t start = 0; // byte offset of the segment's first byte on the disk
        uint64_t size = 0;
    };

    explicit SplitRawDevice(std::vector<Segment> segments);
    const FileDevice* open_segment(size_t index) const; // with the lock held

    std::vector<Segment> segments_;
    uint64_t sizeBytes_ = 0;
    mutable std::mutex mutex_;
    mutable std::vector<std::unique_ptr<FileDevice>> open_;
    mutable std::deque<size_t> openOrder_;
};

} // namespace salvex
