#include "MailHeaders.h"

#include "KanjiConverter.h"
#include "TextUtil.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::size_t kFoldAt = 78;
constexpr std::size_t kMaxLine = 998;

bool IsPrintableAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// RFC 5322 atext, the letters a display name may hold without quotes.
bool IsAtext(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'*+-/=?^_`{|}~").find(c) != std::string_view::npos;
}

// Folds one ASCII field line at blanks: each fold goes before a blank, the first not
// before the value starts. False when some line would still exceed the hard limit.
bool FoldAscii(std::string_view line, std::size_t valueStart, std::string& out) {
    out.clear();
    std::size_t minimum = valueStart;
    while (line.size() > kFoldAt) {
        std::size_t at = line.substr(0, kFoldAt + 1).rfind(' ');
        if (at == std::string_view::npos || at < minimum) at = line.find(' ', std::max(minimum, kFoldAt + 1));
        // A fold before trailing blanks only would leave a line of white space.
        if (at == std::string_view::npos || line.find_first_not_of(' ', at) == std::string_view::npos) break;
        if (at > kMaxLine) return false;
        out += line.substr(0, at);
        out += "\r\n";
        line.remove_prefix(at);
        minimum = 1;
    }
    if (line.size() > kMaxLine) return false;
    out += line;
    return true;
}


}  // namespace

std::string OneLine(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    bool inBreak = false;
    for (char c : value) {
        if (c == '\r' || c == '\n' || c == '\t') {
            if (!inBreak) out += ' ';
            inBreak = true;
            continue;
        }
        inBreak = false;
        out += c;
    }
    return out;
}

std::string UnstructuredField(std::string_view name, std::string_view utf8, HeaderCharset charset) {
    const std::string value = OneLine(utf8);
    const std::string head = std::string(name) + ": ";
    if (IsPrintableAscii(value) && value.find("=?") == std::string::npos) {
        std::string folded;
        if (FoldAscii(head + value, head.size(), folded)) return folded + "\r\n";
    }
    return head + EncodeHeaderWords(value, head.size(), charset) + "\r\n";
}

std::string FromField(std::string_view displayName, std::string_view address, HeaderCharset charset) {
    const std::string name = std::string(Trim(OneLine(displayName), " "));
    const std::string angle = "<" + std::string(address) + ">";
    const std::string head = "From: ";
    if (name.empty()) return head + angle + "\r\n";
    if (IsPrintableAscii(name) && name.find("=?") == std::string::npos) {
        std::string phrase = name;
        const bool quote = std::any_of(name.begin(), name.end(), [](char c) { return c != ' ' && !IsAtext(c); });
        if (quote) {
            phrase = "\"";
            for (char c : name) {
                if (c == '"' || c == '\\') phrase += '\\';
                phrase += c;
            }
            phrase += '"';
        }
        std::string folded;
        if (FoldAscii(head + phrase + " " + angle, head.size(), folded)) return folded + "\r\n";
    }
    const std::string words = EncodeHeaderWords(name, head.size(), charset);
    const std::size_t lastBreak = words.rfind("\r\n");
    const std::size_t lastLine = lastBreak == std::string::npos ? head.size() + words.size() : words.size() - lastBreak - 2;
    const char* gap = lastLine + 1 + angle.size() > kFoldAt ? "\r\n " : " ";
    return head + words + gap + angle + "\r\n";
}

std::uint64_t Fnv1a64(std::string_view bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::string FeedSenderAddress(std::string_view feedFolderName) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(Fnv1a64(feedFolderName)));
    return std::string(hex, 12) + "@quillo.invalid";
}
