#include "backup/sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace mdk {
namespace {

[[noreturn]] void unavailable() {
    throw std::runtime_error("SHA-256 is not available");
}

std::string hexText(const unsigned char* digest, unsigned int length) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(kDigits[digest[i] >> 4]);
        text.push_back(kDigits[digest[i] & 0x0F]);
    }
    return text;
}

}  // namespace

std::string sha256Hex(std::span<const uint8_t> bytes) {
    Sha256 digest;
    digest.update(bytes);
    return digest.hex();
}

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
    auto* context = static_cast<EVP_MD_CTX*>(context_);
    if (!context || EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(context);
        unavailable();
    }
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(context_));
}

void Sha256::update(std::span<const uint8_t> bytes) {
    if (EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(context_), bytes.data(), bytes.size()) != 1) {
        unavailable();
    }
}

std::string Sha256::hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(context_), digest, &length) != 1) {
        unavailable();
    }
    return hexText(digest, length);
}

}  // namespace mdk
