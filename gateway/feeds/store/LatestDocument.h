#pragma once

#include <optional>
#include <string>
#include <string_view>

// The last document a feed sent, latest.xml in its folder, and the validators that name
// it (lastmodified.txt, etag.txt), which the next request sends back: a 304 reply means
// this copy is still the feed.
class LatestDocument {
public:
    // folder ends in "/".
    explicit LatestDocument(std::string folder) : folder_(std::move(folder)) {}

    // Keeps the document of a 200 reply, written and synced, then the reply's
    // validators: its Last-Modified when it gave one (else the old one stays), its ETag
    // or none. False with the reason when latest.xml cannot be written; the validators
    // then go too, so the next check downloads the document again.
    bool Replace(std::string_view document, const std::string& lastModified, const std::string& etag,
                 std::string& error) const;
    // The document as stored; nullopt when there is none or it cannot be read.
    std::optional<std::string> Read() const;
    // Removes the document and its validators: the folder now belongs to another feed,
    // whose server must not be sent them.
    void Forget() const;

private:
    std::string folder_;
};
