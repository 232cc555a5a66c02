// Turning the items of latest.xml into messages: RSS 1.0, RSS 0.9x/2.0 and Atom.
#include "RssHandler.h"

#include "FeedFolder.h"
#include "Log.h"
#include "Notifier.h"
#include "ProcessFlags.h"
#include "XmlParse.h"
#include "Trace.h"

#include <xercesc/dom/DOM.hpp>


XERCES_CPP_NAMESPACE_USE

namespace {

const char kUnexpectedFormat[] = "RSSの解析に失敗しました。\n予期しない書式です。\nURL: ";

bool NameIs(const DOMNode* node, const char* name) {
    const XMLCh* nodeName = node->getNodeName();
    // Names are ASCII literals: compare code unit by code unit, case-sensitive.
    size_t i = 0;
    for (; name[i]; ++i) {
        if (nodeName[i] != static_cast<unsigned char>(name[i])) return false;
    }
    return nodeName[i] == 0;
}

const DOMNode* FindChild(const DOMNode* parent, const char* name) {
    for (const DOMNode* child = parent->getFirstChild(); child; child = child->getNextSibling()) {
        if (NameIs(child, name)) return child;
    }
    return nullptr;
}

// The value of an attribute, or nullptr when the element has none of that name.
const XMLCh* Attribute(const DOMNode* node, const char* name) {
    const DOMNamedNodeMap* attributes = node->getAttributes();
    if (!attributes) return nullptr;
    const DOMNode* attribute = attributes->getNamedItem(XmlString(name));
    return attribute ? attribute->getNodeValue() : nullptr;
}

void AppendEscaped(std::string& out, const std::string& text, bool inAttribute) {
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"':
                if (inAttribute) {
                    out += "&quot;";
                    break;
                }
                [[fallthrough]];
            default: out += c;
        }
    }
}

// Deeper markup than any page needs is flattened to its text, so hostile nesting
// cannot exhaust the stack.
constexpr int kMaxMarkupDepth = 200;

// The markup of a node as XML text (for Atom xhtml content).
void AppendMarkup(std::string& out, const DOMNode* node, int depth = 0) {
    switch (node->getNodeType()) {
        case DOMNode::TEXT_NODE:
        case DOMNode::CDATA_SECTION_NODE:
            AppendEscaped(out, ToUtf8(node->getNodeValue()), false);
            break;
        case DOMNode::ELEMENT_NODE: {
            if (depth >= kMaxMarkupDepth) {
                AppendEscaped(out, ToUtf8(node->getTextContent()), false);
                break;
            }
            const std::string name = ToUtf8(node->getNodeName());
            out += '<';
            out += name;
            const DOMNamedNodeMap* attributes = node->getAttributes();
            for (XMLSize_t i = 0; attributes && i < attributes->getLength(); ++i) {
                const DOMNode* attribute = attributes->item(i);
                out += ' ';
                out += ToUtf8(attribute->getNodeName());
                out += "=\"";
                AppendEscaped(out, ToUtf8(attribute->getNodeValue()), true);
                out += "\"";
            }
            if (!node->getFirstChild()) {
                out += "/>";
                break;
            }
            out += ">";
            for (const DOMNode* c = node->getFirstChild(); c; c = c->getNextSibling())
                AppendMarkup(out, c, depth + 1);
            out += "</";
            out += name;
            out += '>';
            break;
        }
        default:
            break;
    }
}

// Atom text construct body: CDATA children as plain pieces when there are any;
// otherwise the text, as HTML for type "html", or the markup inside the div for "xhtml".
void AddAtomBody(MailData& message, const DOMNode* content) {
    bool sawCdata = false;
    for (const DOMNode* c = content->getFirstChild(); c; c = c->getNextSibling()) {
        if (c->getNodeType() == DOMNode::CDATA_SECTION_NODE) {
            message.AddBody(ToUtf8(c->getNodeValue()), false);
            sawCdata = true;
        }
    }
    if (sawCdata) return;
    const std::string type = ToUtf8(Attribute(content, "type"));
    if (type == "xhtml") {
        std::string markup;
        const DOMNode* div = nullptr;
        for (const DOMNode* c = content->getFirstChild(); c; c = c->getNextSibling()) {
            if (c->getNodeType() == DOMNode::ELEMENT_NODE) {
                div = c;
                break;
            }
        }
        for (const DOMNode* c = div ? div->getFirstChild() : nullptr; c; c = c->getNextSibling())
            AppendMarkup(markup, c);
        if (!markup.empty()) message.AddBody(markup, true);
        return;
    }
    const std::string text = ToUtf8(content->getTextContent());
    if (!text.empty()) message.AddBody(text, type == "html" || type == "text/html");
}

}  // namespace

void RssHandler::LogParseFailure() {
    WriteLog(kUnexpectedFormat + feed_->url + "\n\n");
    g_feedError = true;
}

void RssHandler::Parse() {
    const OptionalXmlFile latest = ParseXmlFileIfPresent(FeedFolder() + "latest.xml");
    if (!latest.present) return;
    const DOMDocument* document = latest.document;
    if (!document || !document->getDocumentElement()) {
        // Not well-formed, or empty: nothing of it can be trusted.
        Trace("Parse Error! : " + feed_->url + " (" + latest.error + ")");
        LogParseFailure();
        return;
    }
    if (IsRss2(document)) {
        ParseRss2(document);
    } else if (IsAtom(document)) {
        ParseAtom(document);
    } else {
        ParseRss1(document);
    }
}

bool RssHandler::IsRss2(const DOMDocument* document) const {
    for (const DOMNode* c = document->getFirstChild(); c; c = c->getNextSibling()) {
        if (NameIs(c, "rss") && Attribute(c, "version")) return true;
    }
    return false;
}

bool RssHandler::IsAtom(const DOMDocument* document) const {
    return FindChild(document, "feed") != nullptr;
}

void RssHandler::ParseRss1(const DOMDocument* document) {
    if (!document->getChildNodes()) {
        if (!disableMessageBox_)
            CurrentNotifier().Show("pRootList == NULL", "msg", Notifier::Icon::None,
                                   Notifier::Buttons::Ok);
        return;
    }
    const DOMNode* rdf = FindChild(document, "rdf:RDF");
    if (!rdf) {
        LogParseFailure();
        return;
    }
    for (const DOMNode* c = rdf->getFirstChild(); c; c = c->getNextSibling()) {
        if (NameIs(c, "channel")) {
            ReadFeedTitle(c);
        } else if (NameIs(c, "item")) {
            ParseRssItem(c, feed_->title);
        }
    }
}

void RssHandler::ParseRss2(const DOMDocument* document) {
    const DOMNode* rss = nullptr;
    for (const DOMNode* c = document->getFirstChild(); c && !rss; c = c->getNextSibling()) {
        if (NameIs(c, "rss") && Attribute(c, "version")) rss = c;
    }
    const DOMNode* channel = rss ? FindChild(rss, "channel") : nullptr;
    if (!channel) {
        Trace("Parse Error! : " + feed_->url);
        return;
    }
    ReadFeedTitle(channel);
    for (const DOMNode* c = channel->getFirstChild(); c; c = c->getNextSibling()) {
        if (NameIs(c, "item")) ParseRssItem(c, feed_->title);
    }
}

void RssHandler::ParseAtom(const DOMDocument* document) {
    const DOMNode* feed = FindChild(document, "feed");
    if (!feed) {
        LogParseFailure();
        return;
    }
    ReadFeedTitle(feed);
    for (const DOMNode* c = feed->getFirstChild(); c; c = c->getNextSibling()) {
        if (NameIs(c, "entry")) ParseAtomEntry(c, feed_->title);
    }
}

void RssHandler::ReadFeedTitle(const DOMNode* element) {
    for (const DOMNode* c = element->getFirstChild(); c; c = c->getNextSibling()) {
        if (NameIs(c, "title") && c->getFirstChild()) {
            feed_->title = FirstChildValue(c);
            return;
        }
    }
}

void RssHandler::ParseRssItem(const DOMNode* item, const std::string& feedTitle) {
    auto message = std::make_shared<MailData>(enableHtml_);
    message->SetSender(feedTitle);
    for (const DOMNode* c = item->getFirstChild(); c; c = c->getNextSibling()) {
        if (c->getNodeType() != DOMNode::ELEMENT_NODE) continue;
        // Only the first child node counts; an element there has no text and gives "".
        if (NameIs(c, "title")) {
            if (c->getFirstChild()) message->SetSubject(FirstChildValue(c));
        } else if (NameIs(c, "link")) {
            if (c->getFirstChild()) message->SetLink(FirstChildValue(c));
        } else if (NameIs(c, "dc:date")) {
            if (c->getFirstChild()) message->ParseW3cDate(FirstChildValue(c));
        } else if (NameIs(c, "pubDate")) {
            if (c->getFirstChild()) message->SetDate(FirstChildValue(c));
        } else if (NameIs(c, "description")) {
            for (const DOMNode* piece = c->getFirstChild(); piece; piece = piece->getNextSibling()) {
                const auto type = piece->getNodeType();
                if (type != DOMNode::TEXT_NODE && type != DOMNode::CDATA_SECTION_NODE) continue;
                message->AddBody(ToUtf8(piece->getNodeValue()),
                                 type == DOMNode::CDATA_SECTION_NODE);
            }
        }
    }
    FileMessage(std::move(message), false);
}

void RssHandler::ParseAtomEntry(const DOMNode* entry, const std::string& feedTitle) {
    auto message = std::make_shared<MailData>(enableHtml_);
    message->SetSender(feedTitle);
    const DOMNode* modified = nullptr;
    const DOMNode* updated = nullptr;
    const DOMNode* published = nullptr;
    const DOMNode* content = nullptr;
    const DOMNode* summary = nullptr;
    const XMLCh* alternate = nullptr;
    const XMLCh* lastHref = nullptr;
    for (const DOMNode* c = entry->getFirstChild(); c; c = c->getNextSibling()) {
        if (c->getNodeType() != DOMNode::ELEMENT_NODE) continue;
        if (NameIs(c, "title")) {
            if (c->getFirstChild()) message->SetSubject(FirstChildValue(c));
        } else if (NameIs(c, "link")) {
            if (const XMLCh* href = Attribute(c, "href")) {
                lastHref = href;
                const XMLCh* rel = Attribute(c, "rel");
                if (!alternate && (!rel || ToUtf8(rel) == "alternate")) alternate = href;
            }
        } else if (NameIs(c, "modified")) {
            modified = c;
        } else if (NameIs(c, "updated")) {
            updated = c;
        } else if (NameIs(c, "published")) {
            published = c;
        } else if (NameIs(c, "content")) {
            content = c;
        } else if (NameIs(c, "summary")) {
            summary = c;
        }
    }
    // The entry's page, not its comment feed or edit URL.
    if (alternate || lastHref) message->SetLink(ToUtf8(alternate ? alternate : lastHref));
    for (const DOMNode* date : {modified, updated, published}) {
        if (date && date->getFirstChild()) {
            message->ParseW3cDate(FirstChildValue(date));
            break;
        }
    }
    if (const DOMNode* body = content ? content : summary) AddAtomBody(*message, body);
    FileMessage(std::move(message), true);
}
