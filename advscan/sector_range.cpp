#include "advscan/sector_range.h"

#include <charconv>

namespace salvex {

std::optional<uint64_t> parse_typed_number(std::string_view text) {
    constexpr std::string_view kBlanks = " \t";
    const size_t from = text.find_first_not_of(kBlanks);
    if (from == std::string_view::npos)
        return std::nullopt;
    text = text.substr(from, text.find_last_not_of(kBlanks) - from + 1);
    uint64_t value = 0;
    const char* last = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), last, value);
    if (error != std::errc() || stop != last)
        return std::nullopt;
    return value;
}

std::string end_past_drive_message(Lba end, uint64_t driveSectors) {
    return "The end sector " + std::to_string(end) + " lies past the drive's last sector, " +
           std::to_string(driveSectors - 1) + ".";
}

Result<SectorRange> parse_sector_range(std::string_view startText, std::string_view endText,
                                       uint64_t driveSectors) {
    const auto start = parse_typed_number(startText);
    if (!start)
        return Error{kStartSectorInvalid};
    const auto end = parse_typed_number(endText);
    if (!end)
        return Error{kEndSectorInvalid};
    if (*start >= *end)
        return Error{kEndNotAboveStart};
    if (driveSectors != 0 && *end > driveSectors)
        return Error{end_past_drive_message(*end, driveSectors)};
    return SectorRange{*start, *end};
}

} // namespace salvex
