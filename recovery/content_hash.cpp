#include "recovery/content_hash.h"

#include <algorithm>
#include <array>
#include <openssl/evp.h>

namespace salvex {

struct ContentHash::State {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~State() { EVP_MD_CTX_free(context); }
    void start() { EVP_DigestInit_ex(context, EVP_sha256(), nullptr); }
};

ContentHash::ContentHash() : state_(std::make_unique<State>()) {
    state_->start();
}

ContentHash::~ContentHash() = default;

void ContentHash::add(ByteView bytes) {
    EVP_DigestUpdate(state_->context, bytes.data(), bytes.size());
}

void ContentHash::add_zeros(uint64_t count) {
    static const std::array<uint8_t, 65536> kZeros{};
    while (count > 0) {
        const auto n = static_cast<size_t>(std::min<uint64_t>(count, kZeros.size()));
        EVP_DigestUpdate(state_->context, kZeros.data(), n);
        count -= n;
    }
}

std::string ContentHash::hex() {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    EVP_DigestFinal_ex(state_->context, digest.data(), &length);
    state_->start();
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += kDigits[digest[i] >> 4];
        out += kDigits[digest[i] & 15];
    }
    return out;
}

} // namespace salvex
