#include "Numbers.h"

#include <climits>
#include <limits>

std::optional<long long> ParseDecimal(std::string_view text) {
    if (text.empty()) return std::nullopt;
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const int digit = c - '0';
        if (value > (std::numeric_limits<long long>::max() - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<int> ParseDecimalInt(std::string_view text) {
    const auto value = ParseDecimal(text);
    if (!value || *value > INT_MAX) return std::nullopt;
    return static_cast<int>(*value);
}

std::optional<int> ParseSignedDecimalInt(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    const auto value = ParseDecimal(text);
    if (!value) return std::nullopt;
    if (negative) {
        if (*value > -static_cast<long long>(INT_MIN)) return std::nullopt;
        return static_cast<int>(-*value);
    }
    if (*value > INT_MAX) return std::nullopt;
    return static_cast<int>(*value);
}

int ParseLenientInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        // Saturates instead of overflowing: a port that large fails to bind with its message.
        if (value <= INT_MAX) value = value * 10 + (text[i] - '0');
    }
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(negative ? -value : value);
}
