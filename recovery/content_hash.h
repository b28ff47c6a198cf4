// SHA-256 of the bytes a recovery writes, fed as they are written (OpenSSL's libcrypto).
#pragma once

#include "disk/bytes.h"

#include <cstdint>
#include <memory>
#include <string>

namespace salvex {

class ContentHash {
public:
    ContentHash();
    ~ContentHash();
    ContentHash(const ContentHash&) = delete;
    ContentHash& operator=(const ContentHash&) = delete;

    void add(ByteView bytes);
    // Adds `count` zero bytes (a hole left in the written file).
    void add_zeros(uint64_t count);
    // Lower-case hexadecimal digest of everything added; the hash starts over.
    std::string hex();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace salvex
