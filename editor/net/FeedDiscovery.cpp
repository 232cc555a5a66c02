#include "FeedDiscovery.h"

#include <QUrl>

#include <cctype>
#include <map>

#include "TextUtil.h"
#include "Utf8.h"

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }


bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string TrimHtmlSpace(std::string_view s) { return std::string(::Trim(s, " \t\n\r\f")); }

// Case-insensitive search for an ASCII needle from pos.
size_t FindNoCase(const std::string& hay, const std::string& needle, size_t pos) {
    if (needle.empty()) return pos;
    for (size_t i = pos; i + needle.size() <= hay.size(); ++i) {
        size_t k = 0;
        while (k < needle.size() && Lower(hay[i + k]) == needle[k]) ++k;
        if (k == needle.size()) return i;
    }
    return std::string::npos;
}

// Enough of HTML's character references for addresses: the named ones that
// occur in URLs and every numeric one. Anything else is kept as written.
std::string DecodeEntities(const std::string& s) {
    static const std::map<std::string, std::string> named = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", "\xC2\xA0"}};
    std::string out;
    for (size_t i = 0; i < s.size();) {
        if (s[i] != '&') {
            out += s[i++];
            continue;
        }
        const size_t semi = s.find(';', i + 1);
        if (semi == std::string::npos || semi - i > 12) {
            out += s[i++];
            continue;
        }
        const std::string name = s.substr(i + 1, semi - i - 1);
        if (!name.empty() && name[0] == '#') {
            const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
            const std::string digits = name.substr(hex ? 2 : 1);
            bool valid = !digits.empty();
            unsigned long cp = 0;
            for (char c : digits) {
                const int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                              : hex && std::isxdigit(static_cast<unsigned char>(c)) ? Lower(c) - 'a' + 10
                                                                                     : -1;
                if (v < 0 || cp > 0x10FFFF) {
                    valid = false;
                    break;
                }
                cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(v);
            }
            if (valid) {
                // A reference to no character (NUL, a surrogate, past U+10FFFF) is dropped.
                if (cp != 0 && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF)) {
                    AppendUtf8(out, static_cast<char32_t>(cp));
                }
                i = semi + 1;
                continue;
            }
        } else if (auto it = named.find(ToLowerCopy(name)); it != named.end()) {
            out += it->second;
            i = semi + 1;
            continue;
        }
        out += s[i++];
    }
    return out;
}

// Parses the attributes of a tag from just after its name up to its '>'.
// Returns the position after the tag.
size_t ParseAttributes(const std::string& html, size_t pos, std::map<std::string, std::string>& attrs) {
    const size_t n = html.size();
    while (pos < n) {
        while (pos < n && (IsSpace(html[pos]) || html[pos] == '/')) ++pos;
        if (pos >= n) break;
        if (html[pos] == '>') return pos + 1;
        size_t nameStart = pos;
        while (pos < n && !IsSpace(html[pos]) && html[pos] != '=' && html[pos] != '>' && html[pos] != '/') ++pos;
        std::string name = ToLowerCopy(html.substr(nameStart, pos - nameStart));
        while (pos < n && IsSpace(html[pos])) ++pos;
        std::string value;
        if (pos < n && html[pos] == '=') {
            ++pos;
            while (pos < n && IsSpace(html[pos])) ++pos;
            if (pos < n && (html[pos] == '"' || html[pos] == '\'')) {
                const char quote = html[pos++];
                const size_t end = html.find(quote, pos);
                const size_t stop = end == std::string::npos ? n : end;
                value = html.substr(pos, stop - pos);
                pos = end == std::string::npos ? n : end + 1;
            } else {
                const size_t valueStart = pos;
                while (pos < n && !IsSpace(html[pos]) && html[pos] != '>') ++pos;
                value = html.substr(valueStart, pos - valueStart);
            }
        }
        // The first occurrence of an attribute wins, as in HTML.
        if (!name.empty()) attrs.emplace(name, DecodeEntities(value));
    }
    return n;
}

bool HasToken(const std::string& list, const std::string& token) {
    size_t i = 0;
    const std::string lower = ToLowerCopy(list);
    while (i < lower.size()) {
        while (i < lower.size() && IsSpace(lower[i])) ++i;
        size_t start = i;
        while (i < lower.size() && !IsSpace(lower[i])) ++i;
        if (lower.substr(start, i - start) == token) return true;
    }
    return false;
}

bool IsFeedType(const std::string& type) {
    std::string t = ToLowerCopy(TrimHtmlSpace(type));
    if (size_t semi = t.find(';'); semi != std::string::npos) t = TrimHtmlSpace(t.substr(0, semi));
    return t == "application/rss+xml" || t == "application/atom+xml";
}

}  // namespace

std::string ResolveUrl(const std::string& base, const std::string& reference) {
    const QUrl baseUrl(QString::fromUtf8(base.data(), static_cast<qsizetype>(base.size())));
    const QUrl ref(QString::fromUtf8(reference.data(), static_cast<qsizetype>(reference.size())));
    const QUrl resolved = baseUrl.resolved(ref);
    return resolved.toString(QUrl::FullyEncoded).toStdString();
}

std::vector<std::string> FindFeedLinks(const std::string& html, const std::string& pageUrl) {
    std::vector<std::string> hrefs;
    std::string base = pageUrl;
    bool baseSeen = false;
    const size_t n = html.size();
    size_t pos = 0;
    while (pos < n) {
        const size_t lt = html.find('<', pos);
        if (lt == std::string::npos) break;
        if (html.compare(lt, 4, "<!--") == 0) {
            const size_t end = html.find("-->", lt + 4);
            pos = end == std::string::npos ? n : end + 3;
            continue;
        }
        size_t nameEnd = lt + 1;
        while (nameEnd < n && std::isalnum(static_cast<unsigned char>(html[nameEnd]))) ++nameEnd;
        const std::string name = ToLowerCopy(html.substr(lt + 1, nameEnd - lt - 1));
        if (name.empty()) {
            pos = lt + 1;
            continue;
        }
        std::map<std::string, std::string> attrs;
        pos = ParseAttributes(html, nameEnd, attrs);
        if (name == "script" || name == "style" || name == "textarea") {
            // Their text may hold anything that looks like a tag.
            const size_t close = FindNoCase(html, "</" + name, pos);
            pos = close == std::string::npos ? n : close;
            continue;
        }
        if (name == "base" && !baseSeen) {
            if (auto it = attrs.find("href"); it != attrs.end() && !TrimHtmlSpace(it->second).empty()) {
                base = ResolveUrl(pageUrl, TrimHtmlSpace(it->second));
                baseSeen = true;
            }
            continue;
        }
        if (name != "link") continue;
        auto rel = attrs.find("rel");
        auto type = attrs.find("type");
        auto href = attrs.find("href");
        if (rel == attrs.end() || type == attrs.end() || href == attrs.end()) continue;
        if (!HasToken(rel->second, "alternate") || !IsFeedType(type->second)) continue;
        const std::string target = TrimHtmlSpace(href->second);
        if (target.empty()) continue;
        hrefs.push_back(target);
    }
    std::vector<std::string> feeds;
    for (const std::string& target : hrefs) {
        std::string url = ResolveUrl(base, target);
        if (!url.empty()) feeds.push_back(url);
    }
    return feeds;
}
