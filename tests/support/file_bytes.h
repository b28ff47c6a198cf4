// A whole file read into a string, for byte-for-byte comparisons; empty when it cannot be read.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

namespace salvex::test {

inline std::string file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace salvex::test
