#include "LatestDocument.h"

#include "AtomicFile.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

constexpr char kDocument[] = "latest.xml";
constexpr char kLastModified[] = "lastmodified.txt";
constexpr char kEntityTag[] = "etag.txt";

}  // namespace

bool LatestDocument::Replace(std::string_view document, const std::string& lastModified, const std::string& etag,
                             std::string& error) const {
    // Synced like the validators below: a latest.xml lost in a crash while its
    // validators survive would be answered with 304 and its items never offered.
    if (!ReplaceFileAtomically(folder_ + kDocument, document, error)) {
        std::remove((folder_ + kLastModified).c_str());
        std::remove((folder_ + kEntityTag).c_str());
        return false;
    }
    // A validator that cannot be written only costs the next check a full download.
    std::string ignored;
    if (!lastModified.empty()) ReplaceFileAtomically(folder_ + kLastModified, lastModified, ignored);
    // The ETag names the copy just stored; a reply without one leaves none to send back.
    if (!etag.empty()) {
        ReplaceFileAtomically(folder_ + kEntityTag, etag, ignored);
    } else {
        std::remove((folder_ + kEntityTag).c_str());
    }
    return true;
}

std::optional<std::string> LatestDocument::Read() const {
    std::ifstream file(folder_ + kDocument, std::ios::binary);
    if (!file) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void LatestDocument::Forget() const {
    for (const char* name : {kDocument, kLastModified, kEntityTag}) std::remove((folder_ + name).c_str());
}
