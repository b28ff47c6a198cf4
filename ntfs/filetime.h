// NTFS times: 100-nanosecond units since 1601-01-01 UTC.
#pragma once

#include <cstdint>
#include <string>

namespace salvex {

// Day-month-year hour:minute:second in UTC without leading zeros, as the item list shows times:
// "7-3-2005 9:5:0". No time (0) is shown as nothing.
std::string format_item_time(uint64_t filetime);

// Seconds since 1970-01-01 UTC, as the platform sets file times.
int64_t filetime_to_unix_seconds(uint64_t filetime);

} // namespace salvex
