#include "MaildirName.h"

#include <charconv>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The number of digits at text[i] read into value; 0 when none.
std::size_t ReadNumber(std::string_view text, std::size_t i, std::uint64_t& value) {
    std::size_t end = i;
    while (end < text.size() && IsDigit(text[end])) ++end;
    if (end == i) return 0;
    if (std::from_chars(text.data() + i, text.data() + end, value).ec != std::errc()) value = UINT64_MAX;
    return end - i;
}

}  // namespace

bool IsMaildirKey(std::string_view key) {
    if (key.empty() || key.size() > 128) return false;
    for (const char c : key) {
        const bool ok = IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

std::string EscapeMaildirHost(std::string_view host) {
    std::string out;
    for (const char c : host) {
        if (c == '/') out += "\\057";
        else if (c == ':') out += "\\072";
        else if (c == ',') out += "\\054";
        else out += c;
    }
    return out.empty() ? "localhost" : out;
}

std::string MakeMaildirName(timespec time, long pid, std::uint64_t counter, std::string_view host,
                            std::uint64_t size, std::uint64_t wireSize, std::string_view key) {
    std::string name = std::to_string(time.tv_sec) + ".M" + std::to_string(time.tv_nsec / 1000) + "P" +
                       std::to_string(pid) + "Q" + std::to_string(counter) + "." + EscapeMaildirHost(host) +
                       ",S=" + std::to_string(size) + ",W=" + std::to_string(wireSize);
    if (!key.empty()) name += ",K=" + std::string(key);
    return name;
}

std::uint64_t WireSize(std::string_view bytes) {
    std::uint64_t size = bytes.size();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) ++size;
    }
    return size;
}

std::optional<MaildirName> ParseMaildirName(std::string_view fileName) {
    for (const char c : fileName) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '/') return std::nullopt;
    }
    const std::string_view base = fileName.substr(0, fileName.find(':'));
    MaildirName name;
    const std::size_t digits = ReadNumber(base, 0, name.seconds);
    if (digits == 0 || digits >= base.size() || base[digits] != '.') return std::nullopt;
    const std::size_t uniqueEnd = base.find('.', digits + 1);
    if (uniqueEnd == std::string_view::npos || uniqueEnd == digits + 1 || uniqueEnd + 1 == base.size())
        return std::nullopt;

    const std::string_view unique = base.substr(digits + 1, uniqueEnd - digits - 1);
    for (std::size_t i = 0; i < unique.size(); ++i) {
        if (unique[i] == 'M') ReadNumber(unique, i + 1, name.microseconds);
        if (unique[i] == 'Q') ReadNumber(unique, i + 1, name.counter);
    }
    // Fields after the host: ",S=1234,W=1260,K=abc" (the host's own commas are escaped).
    for (std::size_t comma = base.find(',', uniqueEnd); comma != std::string_view::npos;) {
        const std::size_t next = base.find(',', comma + 1);
        const std::string_view field = base.substr(comma + 1, next == std::string_view::npos ? next : next - comma - 1);
        std::uint64_t number = 0;
        if (field.substr(0, 2) == "K=" && IsMaildirKey(field.substr(2))) name.key = field.substr(2);
        if (field.size() > 2 && ReadNumber(field, 2, number) == field.size() - 2) {
            if (field.substr(0, 2) == "S=") name.size = number;
            if (field.substr(0, 2) == "W=") name.wireSize = number;
        }
        comma = next;
    }
    return name;
}

bool ArrivedBefore(const MaildirName& a, const MaildirName& b) {
    if (a.seconds != b.seconds) return a.seconds < b.seconds;
    if (a.microseconds != b.microseconds) return a.microseconds < b.microseconds;
    return a.counter < b.counter;
}
