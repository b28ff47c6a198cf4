#include "app/session.h"

#include "disk/block_device.h"
#include "partition/partition_table.h"

#include <charconv>

namespace salvex::app {

namespace {

constexpr const char* kStartSectorInvalid =
    "      Start sector value is not valid, It should be a positive number";
constexpr const char* kEndSectorInvalid =
    "      End sector value is not valid, It should be a positive number";
constexpr const char* kEndNotAboveStart = "      End sector should be bigger than start sector";

// An unsigned decimal number filling the whole text (blanks around it allowed).
std::optional<uint64_t> parse_unsigned(const std::string& text) {
    const size_t from = text.find_first_not_of(' ');
    if (from == std::string::npos)
        return std::nullopt;
    const size_t to = text.find_last_not_of(' ') + 1;
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data() + from, text.data() + to, value);
    if (error != std::errc() || end != text.data() + to)
        return std::nullopt;
    return value;
}

} // namespace

FsType fs_type_of_choice(int index) {
    return static_cast<FsType>(index * 100 + 100);
}

int choice_of_fs_type(FsType type) {
    switch (type) {
    case FsType::Fat16:
        return 0;
    case FsType::Ntfs:
        return 2;
    default:
        return 1;
    }
}

RangeInput parse_range_input(const std::string& startText, const std::string& endText) {
    RangeInput input;
    const auto start = parse_unsigned(startText);
    const auto end = parse_unsigned(endText);
    if (!start)
        input.refusal = kStartSectorInvalid;
    else if (!end)
        input.refusal = kEndSectorInvalid;
    else if (*start >= *end)
        input.refusal = kEndNotAboveStart;
    else {
        input.start = *start;
        input.end = *end;
    }
    return input;
}

Session::Session() : settings(default_recovery_settings(AccessMode::Device)) {}

std::vector<std::string> Session::add_images(const std::vector<std::string>& paths) {
    std::vector<std::string> failures;
    for (const std::string& path : paths) {
        auto image = describe_image(path);
        if (!image)
            failures.push_back(image.error());
        else if (drives.size() >= kMaxDrives)
            failures.push_back("Too many drives: " + path + " was not added.");
        else
            drives.push_back(std::move(image).value());
    }
    return failures;
}

const DriveInfo* Session::current_drive() const {
    return state.driveIndex < drives.size() ? &drives[state.driveIndex] : nullptr;
}

std::optional<std::string> Session::open_current_drive() {
    const DriveInfo* drive = current_drive();
    if (drive == nullptr)
        return std::string("No drive is selected.");
    auto device = FileDevice::open(drive->path);
    if (!device)
        return device.error();
    reader.open_device(std::move(device).value());
    return std::nullopt;
}

void Session::close_drive() {
    reader.close_device();
}

bool Session::walk_partitions() {
    return list_partitions(reader, partitions);
}

void Session::select_partition(size_t index) {
    const PartitionInfo& partition = partitions.entries.at(index);
    state.selectedFsType = partition.type;
    state.rangeStart = partition.start;
    state.rangeCount = partition.size;
    state.rangeEnd = partition.end();
    state.selectedPartitionIndex = static_cast<uint16_t>(index);
}

void Session::select_whole_drive() {
    const DriveInfo* drive = current_drive();
    const uint64_t total = drive != nullptr ? drive->totalSectors : 0;
    state.selectedFsType = FsType::Fat32;
    state.rangeStart = 0;
    state.selectedPartitionIndex = 0;
    state.rangeCount = total;
    state.rangeEnd = total;
}

RangeDefaults Session::range_defaults() const {
    if (!partitions.empty()) {
        const PartitionInfo& first = partitions.entries.front();
        return {choice_of_fs_type(first.type), first.start, first.start + first.size};
    }
    const DriveInfo* drive = current_drive();
    return {1, 0, drive != nullptr ? drive->totalSectors : 0};
}

void Session::clear_items() {
    scan = NtfsScan{};
}

void Session::clear_sweep() {
    hits.clear();
    candidates.clear();
    candidateNumber = 0;
}

} // namespace salvex::app
