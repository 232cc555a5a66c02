#include "RssManager.h"

#include "AppDirectory.h"
#include "FeedRefresh.h"
#include "InternetSession.h"
#include "Log.h"
#include "Notifier.h"
#include "RefreshProgress.h"
#include "Trace.h"
#include "XmlParse.h"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <arpa/inet.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <fstream>

XERCES_CPP_NAMESPACE_USE

namespace {

constexpr const char* kSessionFailure = "インターネット接続をオープンできません。";
constexpr const char* kOpmlFailure = "OPMLフィードリストの解析に失敗しました。";

bool CanOpen(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return static_cast<bool>(file);
}

std::string Trim(const std::string& text) {
    const char* space = " \t\r\n";
    auto first = text.find_first_not_of(space);
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// One row per settings element; a present element always overwrites the value.
struct SettingKey {
    const char* element;
    void (*apply)(Settings&, const std::string& text);
};

const SettingKey kSettingKeys[] = {
    {"port", [](Settings& s, const std::string& t) { s.port = ParseSettingInt(t); }},
    {"disable-messagebox", [](Settings& s, const std::string& t) { s.disableMessageBox = t == "true"; }},
    {"disable-trayicon", [](Settings& s, const std::string& t) { s.disableTrayIcon = t == "true"; }},
    {"enable-html", [](Settings& s, const std::string& t) { s.enableHtml = t == "true"; }},
    {"listen-address", [](Settings& s, const std::string& t) { s.listenAddress = Trim(t); }},
    // Below 1 means one at a time; the cap keeps a typo from opening thousands of sockets.
    {"download-concurrency", [](Settings& s, const std::string& t) {
         s.downloadConcurrency = std::clamp(ParseSettingInt(t), 1, 256);
     }},
};

DOMElement* ChildNamed(DOMNode* parent, const std::string& name) {
    for (DOMNode* n = parent ? parent->getFirstChild() : nullptr; n; n = n->getNextSibling()) {
        if (n->getNodeType() == DOMNode::ELEMENT_NODE && NodeName(n) == name)
            return static_cast<DOMElement*>(n);
    }
    return nullptr;
}

void LogSettingsProblem(const std::string& problem) {
    WriteLog("設定ファイルQuillo.xmlを読み込めません。既定の設定を使います。\n" + problem + "\n\n");
}

}  // namespace

int ParseSettingInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        // Saturates instead of overflowing; such a port fails to bind with its message.
        if (value < INT_MAX) value = value * 10 + (text[i] - '0');
    }
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(negative ? -value : value);
}

RssManager::RssManager() { XMLPlatformUtils::Initialize(); }

RssManager::~RssManager() {
    mailbox_ = Mailbox();
    handlers_.clear();
    XMLPlatformUtils::Terminate();
}

void RssManager::LoadSettings() {
    std::string path = AppFilePath("Quillo.xml");
    if (!CanOpen(path)) return;
    std::string error;
    auto parser = ParseXmlFile(path, &error);
    if (!parser) {
        LogSettingsProblem(error);
        return;
    }
    DOMElement* root = ChildNamed(parser->getDocument(), "quillo");
    if (!root) {
        LogSettingsProblem(path + ": the document element is not quillo");
        return;
    }
    Settings settings = settings_;
    for (DOMNode* group = root->getFirstChild(); group; group = group->getNextSibling()) {
        if (group->getNodeType() != DOMNode::ELEMENT_NODE || NodeName(group) != "settings") continue;
        for (DOMNode* node = group->getFirstChild(); node; node = node->getNextSibling()) {
            std::string name = NodeName(node);
            for (const auto& key : kSettingKeys) {
                if (name == key.element) key.apply(settings, FirstChildValue(node));
            }
        }
    }
    in_addr address{};
    if (inet_pton(AF_INET, settings.listenAddress.c_str(), &address) != 1) {
        WriteLog("listen-addressの値が正しくありません: " + settings.listenAddress +
                 "\n127.0.0.1で待ち受けます。\n\n");
        settings.listenAddress = Settings().listenAddress;
    }
    settings_ = settings;
}

void RssManager::AddFeed(const std::string& url) {
    handlers_.push_back(
        std::make_shared<RssHandler>(url, settings_.disableMessageBox, settings_.enableHtml));
}

void RssManager::LoadFeedList() {
    handlers_.clear();
    std::string path = AppFilePath("Quillo.xml");
    if (CanOpen(path)) {
        std::string error;
        auto parser = ParseXmlFile(path, &error);
        if (!parser) {
            WriteLog("Quillo.xmlのフィード一覧を読み込めません。\n" + error + "\n\n");
        } else if (DOMElement* root = ChildNamed(parser->getDocument(), "quillo")) {
            for (DOMNode* list = root->getFirstChild(); list; list = list->getNextSibling()) {
                if (list->getNodeType() != DOMNode::ELEMENT_NODE || NodeName(list) != "feed-list")
                    continue;
                for (DOMNode* feed = list->getFirstChild(); feed; feed = feed->getNextSibling()) {
                    // A "feed" without text names no feed; an empty xmlUrl of the feed
                    // list does, and fails visibly in the log.
                    if (NodeName(feed) == "feed" && feed->getFirstChild()) AddFeed(FirstChildValue(feed));
                }
            }
        }
    }
    LoadOpmlFeedList();
}

void RssManager::LoadOpmlFeedList() {
    std::string path = AppFilePath("feedlist.xml");
    if (!CanOpen(path)) {
        Trace("フィードリストがない");
        return;
    }
    std::string error;
    auto parser = ParseXmlFile(path, &error);
    DOMElement* opml = parser ? ChildNamed(parser->getDocument(), "opml") : nullptr;
    if (!opml) {
        if (!error.empty()) Trace(error);
        ShowErrorBox(kOpmlFailure);
        return;
    }
    // Depth-first, parents before children, with an explicit stack: a deeply nested
    // document must not exhaust the thread's stack.
    std::vector<DOMElement*> stack;
    auto pushOutlines = [&stack](DOMNode* parent) {
        size_t mark = stack.size();
        for (DOMNode* n = parent->getFirstChild(); n; n = n->getNextSibling()) {
            if (n->getNodeType() == DOMNode::ELEMENT_NODE && NodeName(n) == "outline")
                stack.push_back(static_cast<DOMElement*>(n));
        }
        std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(mark), stack.end());
    };
    for (DOMNode* body = opml->getFirstChild(); body; body = body->getNextSibling()) {
        if (body->getNodeType() != DOMNode::ELEMENT_NODE || NodeName(body) != "body") continue;
        pushOutlines(body);
        while (!stack.empty()) {
            DOMElement* outline = stack.back();
            stack.pop_back();
            if (const DOMAttr* url = outline->getAttributeNode(XmlString("xmlUrl")))
                AddFeed(ToUtf8(url->getValue()));
            pushOutlines(outline);
        }
    }
}

Mailbox& RssManager::Refresh() {
    // The last session's messages are let go before the new downloads.
    mailbox_ = Mailbox();
    LoadFeedList();
    ReportRefreshProgress(0, static_cast<int>(handlers_.size()));
    InternetSession session;
    if (!session.Open("QUILLO")) {
        ReportRefreshFinished();
        if (!settings_.disableMessageBox) ShowErrorBox(kSessionFailure);
        WriteLog(kSessionFailure);
        return OpenMailbox();
    }
    DownloadFeeds(handlers_, session, settings_.downloadConcurrency);
    session.Close();
    Mailbox& mailbox = OpenMailbox();
    ReportRefreshFinished();
    return mailbox;
}

Mailbox& RssManager::OpenMailbox() {
    std::vector<Mailbox::Part> parts;
    parts.reserve(handlers_.size());
    for (const auto& handler : handlers_)
        parts.push_back({handler->GetMailbox(), [handler] { return handler->SaveSentItems(); }});
    mailbox_ = Mailbox(std::move(parts));
    return mailbox_;
}
