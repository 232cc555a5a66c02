#include "FeedFinder.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "FeedDiscovery.h"
#include "jconvert.h"

namespace {

bool ContainsNoCase(const std::string& hay, const std::string& needle, size_t* at = nullptr,
                    size_t from = 0) {
    const auto it = std::search(hay.begin() + static_cast<std::ptrdiff_t>(std::min(from, hay.size())),
                                hay.end(), needle.begin(), needle.end(), [](char a, char b) {
                                    return std::tolower(static_cast<unsigned char>(a)) ==
                                           std::tolower(static_cast<unsigned char>(b));
                                });
    if (it == hay.end()) return false;
    if (at != nullptr) *at = static_cast<size_t>(it - hay.begin());
    return true;
}

// A page that is itself a feed needs no discovery.
bool LooksLikeFeed(const QByteArray& body) {
    const std::string start = body.left(2048).toStdString();
    return ContainsNoCase(start, "<rss") || ContainsNoCase(start, "<rdf:rdf") ||
           ContainsNoCase(start, "<feed");
}

}  // namespace

std::string BulkfeedsSearchUrl(const std::string& host, const std::string& text, int field) {
    static const char* const kFields[] = {";field=title", ";field=description", ";field=link"};
    const char* suffix = field >= 0 && field < 3 ? kFields[field] : kFields[0];
    return "http://" + host + "/app/search.opml?q=" + UrlEncodeQuery(LocalToUtf8(text)) + suffix;
}

std::string BulkfeedsDiscoverUrl(const std::string& host, const std::string& apiKey,
                                 const std::string& pageUrl) {
    return "http://" + host + "/app/discover.xml?url=" + UrlEncodeQuery(LocalToUtf8(pageUrl)) +
           ";apikey=" + apiKey;
}

std::string ParseDiscoverAnswer(const std::string& response) {
    size_t open = 0;
    size_t close = 0;
    if (!ContainsNoCase(response, "<success>", &open)) return {};
    const size_t start = open + std::strlen("<success>");
    if (!ContainsNoCase(response, "</success>", &close, start)) return {};
    // The address as the service wrote it, without the layout white space
    // some answers put around it.
    std::string url = response.substr(start, close - start);
    const size_t first = url.find_first_not_of(" \t\r\n");
    const size_t last = url.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : url.substr(first, last - first + 1);
}

std::string FindFeedOfPage(HttpClient& http, const std::string& pageUrl, bool* pageFetched) {
    // Pages move (http to https, a new path) far more often than feeds, so this one
    // fetch follows a few redirects the way a browser would; links are resolved
    // against the address that answered.
    std::string url = pageUrl;
    HttpResult page = http.Get(url);
    for (int hop = 0; hop < 5 && page.ok && page.status >= 300 && page.status < 400 &&
                      !page.location.empty();
         ++hop) {
        url = page.location;
        page = http.Get(url);
    }
    *pageFetched = page.ok;
    if (!page.ok) return {};
    if (LooksLikeFeed(page.body)) return url;
    const std::vector<std::string> feeds = FindFeedLinks(page.body.toStdString(), url);
    return feeds.empty() ? std::string() : feeds.front();
}
