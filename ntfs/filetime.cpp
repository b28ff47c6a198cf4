#include "ntfs/filetime.h"

namespace salvex {

namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kSecondsFrom1601To1970 = 11'644'473'600;

// Civil date of a day count since 1970-01-01 (Howard Hinnant's algorithm).
void civil_from_days(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += (m <= 2);
}

} // namespace

int64_t filetime_to_unix_seconds(uint64_t filetime) {
    return static_cast<int64_t>(filetime / kTicksPerSecond) - kSecondsFrom1601To1970;
}

std::string format_item_time(uint64_t filetime) {
    // 0 is no time at all: a made-up folder's, or a file found by its contents.
    if (filetime == 0)
        return {};
    const int64_t seconds = static_cast<int64_t>(filetime / kTicksPerSecond);
    const int64_t days = seconds / 86400;
    const int64_t rest = seconds % 86400;
    int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    civil_from_days(days - kSecondsFrom1601To1970 / 86400, year, month, day);
    return std::to_string(day) + "-" + std::to_string(month) + "-" + std::to_string(year) + " " +
           std::to_string(rest / 3600) + ":" + std::to_string(rest / 60 % 60) + ":" +
           std::to_string(rest % 60);
}

} // namespace salvex
