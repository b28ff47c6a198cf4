// NTFS names are UTF-16LE; this program's text is UTF-8.
#pragma once

#include "disk/bytes.h"

#include <string>

namespace salvex {

// Decodes `units` UTF-16LE code units at `at` into UTF-8. Surrogate pairs are joined; a lone or
// broken surrogate becomes U+FFFD. Code units beyond the buffer end the name.
std::string utf16le_to_utf8(ByteView bytes, size_t at, size_t units);

// Appends code point `cp` to `out` as UTF-8.
void append_utf8(std::string& out, char32_t cp);

} // namespace salvex
