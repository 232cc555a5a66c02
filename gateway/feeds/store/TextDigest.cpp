#include "TextDigest.h"

#include <openssl/evp.h>

#include <initializer_list>

std::string TextDigest(std::string_view bytes) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), out, &size, EVP_sha256(), nullptr) != 1 || size < 16)
        return std::string(32, '0');  // never happens with a working OpenSSL
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(32);
    for (int i = 0; i < 16; ++i) {
        hex += kHex[out[i] >> 4];
        hex += kHex[out[i] & 0x0F];
    }
    return hex;
}

std::string FieldsDigest(std::initializer_list<std::string_view> fields) {
    std::string joined;
    for (std::string_view field : fields) {
        joined += std::to_string(field.size());
        joined += ':';
        joined += field;
    }
    return TextDigest(joined);
}
