#include "SafeUrl.h"

#include "TextUtil.h"

namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsSchemeCharacter(char c) {
    return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

}  // namespace

std::optional<std::string> SafeLinkUrl(std::string_view url) {
    std::size_t begin = 0;
    std::size_t end = url.size();
    while (begin < end && static_cast<unsigned char>(url[begin]) <= 0x20) ++begin;
    while (end > begin && static_cast<unsigned char>(url[end - 1]) <= 0x20) --end;
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
        const auto b = static_cast<unsigned char>(url[i]);
        if (b == '\t' || b == '\n' || b == '\r') continue;
        if (b < 0x20 || b == 0x7F) {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += static_cast<char>(b);
        }
    }
    if (out.empty() || !IsAsciiLetter(out[0])) return std::nullopt;
    std::size_t colon = 1;
    while (colon < out.size() && IsSchemeCharacter(out[colon])) ++colon;
    if (colon == out.size() || out[colon] != ':') return std::nullopt;
    const std::string scheme = ToLowerCopy(std::string_view(out).substr(0, colon));
    if (scheme != "http" && scheme != "https" && scheme != "mailto") return std::nullopt;
    out.replace(0, colon, scheme);
    return UrlWithoutCredentials(out);
}

std::string UrlWithoutCredentials(std::string_view url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) return std::string(url);
    const std::size_t start = scheme + 3;
    // A browser ends an http authority at a backslash too.
    std::size_t end = url.find_first_of("/?#\\", start);
    if (end == std::string_view::npos) end = url.size();
    const std::size_t at = url.substr(start, end - start).rfind('@');
    if (at == std::string_view::npos) return std::string(url);
    std::string out(url.substr(0, start));
    out += url.substr(start + at + 1);
    return out;
}
