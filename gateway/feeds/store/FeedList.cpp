#include "FeedList.h"

#include "StoreXml.h"

#include <optional>

namespace {

class SettingsFeedReader : public XmlVisitor {
public:
    void ElementEnd(const std::vector<std::string>& path,
                    const std::optional<std::string>& firstChild) override {
        if (path.size() == 3 && path[0] == "quillo" && path[1] == "feed-list" && path[2] == "feed" &&
            firstChild)
            urls.push_back(*firstChild);
    }
    std::vector<std::string> urls;
};

// Document order is the depth-first, parent-before-children order of the outline tree,
// so one pass needs neither recursion nor the tree in memory.
class OpmlFeedReader : public XmlVisitor {
public:
    void ElementStart(const std::vector<std::string>& path, const XmlAttributes& attributes) override {
        if (path.size() < 3 || path[0] != "opml" || path[1] != "body") return;
        for (size_t i = 2; i < path.size(); ++i) {
            if (path[i] != "outline") return;
        }
        // The titles of this outline's ancestors are the first entries of the stack.
        const std::size_t depth = path.size() - 3;
        titles.resize(depth);
        auto title = attributes.Get("title");
        if (!title || title->empty()) title = attributes.Get("text");
        titles.push_back(title.value_or(""));
        if (auto url = attributes.Get("xmlUrl")) {
            urls.push_back(std::move(*url));
            folders.emplace_back(titles.begin(), titles.begin() + static_cast<std::ptrdiff_t>(depth));
        }
    }
    std::vector<std::string> urls;
    std::vector<std::vector<std::string>> folders;
    std::vector<std::string> titles;
};

template <typename Reader>
FeedListResult ReadFeedList(const std::string& path, const std::string& root) {
    FeedListResult result;
    const StoreFileBytes file = ReadStoreFile(path);
    if (file.status == StoreFileBytes::Status::Missing) return result;
    result.status = FeedListResult::Status::Unreadable;
    if (file.status == StoreFileBytes::Status::Unreadable) {
        result.error = file.error;
        return result;
    }
    Reader reader;
    const XmlWalkResult walk = WalkXml(file.bytes, reader);
    if (!walk.error.empty()) {
        result.error = path + ": " + walk.error;
        return result;
    }
    if (walk.root != root) {
        result.status = FeedListResult::Status::WrongRoot;
        result.error = path + ": the document element is not " + root;
        return result;
    }
    result.status = FeedListResult::Status::Read;
    result.urls = std::move(reader.urls);
    if constexpr (requires { reader.folders; }) result.folders = std::move(reader.folders);
    result.folders.resize(result.urls.size());
    return result;
}

}  // namespace

FeedListResult ReadSettingsFeedList(const std::string& path) {
    return ReadFeedList<SettingsFeedReader>(path, "quillo");
}

FeedListResult ReadOpmlFeedList(const std::string& path) {
    return ReadFeedList<OpmlFeedReader>(path, "opml");
}
