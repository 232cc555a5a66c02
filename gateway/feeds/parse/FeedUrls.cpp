#include "FeedUrls.h"

#include <libxml/uri.h>
#include <libxml/xmlmemory.h>

namespace {

bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// "scheme:" at the start: the reference is absolute already.
bool HasScheme(std::string_view reference) {
    if (reference.empty() || !IsAsciiAlpha(reference[0])) return false;
    for (size_t i = 1; i < reference.size(); ++i) {
        const char c = reference[i];
        if (c == ':') return true;
        if (!IsAsciiAlpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
    }
    return false;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool NameIs(std::string_view html, size_t at, size_t length, std::string_view name) {
    if (length != name.size()) return false;
    for (size_t i = 0; i < length; ++i) {
        if (Lower(html[at + i]) != name[i]) return false;
    }
    return true;
}

}  // namespace

std::string ResolveUrl(const std::string& base, const std::string& reference) {
    if (base.empty() || HasScheme(reference)) return reference;
    const size_t first = reference.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return reference;
    const size_t last = reference.find_last_not_of(" \t\r\n");
    const std::string trimmed = reference.substr(first, last - first + 1);
    xmlChar* built = xmlBuildURI(reinterpret_cast<const xmlChar*>(trimmed.c_str()),
                                 reinterpret_cast<const xmlChar*>(base.c_str()));
    if (!built) return reference;
    std::string resolved(reinterpret_cast<const char*>(built));
    xmlFree(built);
    return resolved;
}

std::string ResolveHtmlLinks(const std::string& html, const std::string& base) {
    if (base.empty() || html.find('<') == std::string::npos) return html;
    std::string out;
    size_t copied = 0;
    size_t i = 0;
    const size_t n = html.size();
    while (i < n) {
        if (html[i] != '<') {
            ++i;
            continue;
        }
        if (html.compare(i, 4, "<!--") == 0) {
            const size_t end = html.find("-->", i + 4);
            i = end == std::string::npos ? n : end + 3;
            continue;
        }
        ++i;
        if (i >= n || !IsAsciiAlpha(html[i])) continue;
        while (i < n && !IsSpace(html[i]) && html[i] != '>' && html[i] != '/') ++i;
        // Attributes up to the end of the tag.
        while (i < n && html[i] != '>') {
            if (IsSpace(html[i]) || html[i] == '/') {
                ++i;
                continue;
            }
            const size_t nameAt = i;
            while (i < n && !IsSpace(html[i]) && html[i] != '=' && html[i] != '>' && html[i] != '/') ++i;
            const size_t nameLength = i - nameAt;
            while (i < n && IsSpace(html[i])) ++i;
            if (i >= n || html[i] != '=') continue;
            ++i;
            while (i < n && IsSpace(html[i])) ++i;
            if (i >= n) break;
            size_t valueAt = i;
            size_t valueEnd;
            if (html[i] == '"' || html[i] == '\'') {
                const char quote = html[i];
                valueAt = i + 1;
                valueEnd = html.find(quote, valueAt);
                if (valueEnd == std::string::npos) valueEnd = n;
                i = valueEnd < n ? valueEnd + 1 : n;
            } else {
                while (i < n && !IsSpace(html[i]) && html[i] != '>') ++i;
                valueEnd = i;
            }
            if (!NameIs(html, nameAt, nameLength, "href") && !NameIs(html, nameAt, nameLength, "src")) continue;
            const std::string value = html.substr(valueAt, valueEnd - valueAt);
            // Only scheme-less values change; "&amp;" in a query stays as written.
            if (value.empty() || HasScheme(value)) continue;
            const std::string resolved = ResolveUrl(base, value);
            if (resolved == value) continue;
            out.append(html, copied, valueAt - copied);
            out += resolved;
            copied = valueEnd;
        }
    }
    if (copied == 0) return html;
    out.append(html, copied, std::string::npos);
    return out;
}
