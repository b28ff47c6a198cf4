// SHA-256 of test outputs, to compare recovered files with what the image builders wrote.
#pragma once

#include "disk/bytes.h"

#include <string>

namespace salvex::test {

// Lower-case hexadecimal digest.
std::string sha256_hex(ByteView bytes);
std::string sha256_of_file(const std::string& path);

} // namespace salvex::test
