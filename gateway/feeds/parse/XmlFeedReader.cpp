#include "XmlFeedReader.h"

#include "FeedHints.h"
#include "FeedText.h"
#include "FeedUrls.h"
#include "TextUtil.h"

#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr std::string_view kRdf = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
constexpr std::string_view kRss10 = "http://purl.org/rss/1.0/";
constexpr std::string_view kRss090 = "http://my.netscape.com/rdf/simple/0.9/";
constexpr std::string_view kRss11 = "http://purl.org/net/rss1.1#";
constexpr std::string_view kAtom10 = "http://www.w3.org/2005/Atom";
constexpr std::string_view kAtom03 = "http://purl.org/atom/ns#";
constexpr std::string_view kContent = "http://purl.org/rss/1.0/modules/content/";
constexpr std::string_view kDc = "http://purl.org/dc/elements/1.1/";
constexpr std::string_view kXhtml = "http://www.w3.org/1999/xhtml";
constexpr std::string_view kXml = "http://www.w3.org/XML/1998/namespace";
constexpr std::string_view kSyndication = "http://purl.org/rss/1.0/modules/syndication/";

// Deeper markup than any page needs is flattened to its text.
constexpr int kMaxMarkupDepth = 200;

void AppendEscaped(std::string& out, std::string_view text, bool inAttribute) {
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

std::string QualifiedName(std::string_view prefix, std::string_view local) {
    std::string name;
    if (!prefix.empty()) {
        name += prefix;
        name += ':';
    }
    name += local;
    return name;
}

// What an open element is to the feed.
enum class Role {
    Ignored,
    Root,
    Channel,
    Item,   // RSS item
    Entry,  // Atom entry
    ItemList,  // RSS 1.1 items: a list of items inside the channel
    ChannelTitle,
    ItemTitle,
    ItemLink,
    ItemGuid,  // RSS guid, Atom id
    W3cDate,
    RssDate,
    Description,
    ContentEncoded,
    XhtmlBody,
    AtomTitle,
    AtomDate,
    AtomContent,
    AtomSummary,
    // How often the feed is worth asking for.
    Ttl,
    SyPeriod,
    SyFrequency,
    SkipHours,
    SkipHour,
    SkipDays,
    SkipDay,
};

// The first child node of an element, as the fields of a feed read it: its text when
// it is character data, "" when it is an element.
struct FirstChild {
    bool seen = false;
    std::string value;
    void Take(std::string_view text) {
        if (seen) return;
        seen = true;
        value = text;
    }
    void TakeElement() {
        if (seen) return;
        seen = true;
    }
};

// Markup of an element's descendants written back as XML text, without recursion.
struct MarkupWriter {
    std::string out;
    int depth = 0;          // open elements written below the capturing element
    int flattenedDepth = 0;  // open elements below the flattening limit
    bool tagOpen = false;   // "<name ..." written, waiting for ">" or "/>"
    std::vector<std::string> names;

    void CloseTag() {
        if (tagOpen) out += '>';
        tagOpen = false;
    }
    void Start(const XmlElementStart& element) {
        if (depth >= kMaxMarkupDepth) {
            ++flattenedDepth;
            return;
        }
        CloseTag();
        std::string name = QualifiedName(element.prefix, element.local);
        out += '<';
        out += name;
        for (const auto& [prefix, uri] : element.namespaces) {
            out += prefix.empty() ? " xmlns" : " xmlns:";
            out += prefix;
            out += "=\"";
            AppendEscaped(out, uri, true);
            out += '"';
        }
        for (const auto& attribute : element.attributes) {
            out += ' ';
            out += QualifiedName(attribute.prefix, attribute.local);
            out += "=\"";
            AppendEscaped(out, attribute.value, true);
            out += '"';
        }
        tagOpen = true;
        names.push_back(std::move(name));
        ++depth;
    }
    void End() {
        if (flattenedDepth > 0) {
            --flattenedDepth;
            return;
        }
        if (tagOpen) {
            out += "/>";
            tagOpen = false;
        } else {
            out += "</";
            out += names.back();
            out += '>';
        }
        names.pop_back();
        --depth;
    }
    void Node(XmlNodeKind kind, std::string_view value) {
        // A comment is a child too: the element is not written as empty.
        CloseTag();
        if (kind == XmlNodeKind::Text || kind == XmlNodeKind::Cdata) AppendEscaped(out, value, false);
    }
};

// Atom content or summary: which pieces it gives is known only at its end.
struct AtomTextConstruct {
    std::string type;
    std::string base;
    std::vector<std::string> cdataPieces;  // CDATA sections that are direct children
    std::string textContent;               // all character data below it
    MarkupWriter markup;                   // the children of its first element child
    bool firstElementSeen = false;
    bool markupDone = false;
    size_t divDepth = 0;                   // stack size while that child is on top
    bool present = false;
};

// A title element while it is open: all its character data, descendants' included,
// or for an xhtml title the markup of its children.
struct TitleCapture {
    size_t depth = 0;  // frames open with the title on top
    TextType type = TextType::Text;
    std::string text;
    MarkupWriter markup;

    bool Below(size_t frames) const { return frames >= depth; }
    void Start(const XmlElementStart& element) {
        if (type == TextType::Xhtml) markup.Start(element);
    }
    void End() {
        if (type == TextType::Xhtml) markup.End();
    }
    void Node(XmlNodeKind kind, std::string_view value) {
        if (type == TextType::Xhtml) {
            markup.Node(kind, value);
        } else if (kind == XmlNodeKind::Text || kind == XmlNodeKind::Cdata) {
            text += value;
        }
    }

    std::string PlainText() {
        switch (type) {
            case TextType::Html: return PlainTextOfHtml(text);
            case TextType::Xhtml:
                markup.CloseTag();
                return PlainTextOfHtml(markup.out);
            case TextType::Text: break;
        }
        return std::string(Trim(text));
    }
};

struct Frame {
    Role role = Role::Ignored;
    std::string base;  // xml:base in force for the element
    FirstChild first;
};

struct ItemState {
    FeedItem item;
    bool isAtom = false;
    // Atom: the alternate link, else the last link with an href.
    std::optional<std::string> alternate;
    std::optional<std::string> alternateRaw;
    std::optional<std::string> lastHref;
    std::optional<std::string> lastHrefRaw;
    // Atom dates: the last element of each name; the first of them that has a child wins.
    std::optional<FirstChild> modified, updated, published;
    std::vector<FeedBodyPiece> description;
    std::string descriptionBase;
    std::vector<FeedBodyPiece> contentEncoded;
    std::string contentBase;
    std::string xhtmlBody;
    std::string xhtmlBase;
    AtomTextConstruct content, summary;
};

bool HasText(const std::vector<FeedBodyPiece>& pieces) {
    for (const auto& piece : pieces) {
        if (piece.text.find_first_not_of(" \t\r\n") != std::string::npos) return true;
    }
    return false;
}

class FeedSink : public XmlEventSink {
public:
    explicit FeedSink(const std::string& documentUrl) : documentUrl_(documentUrl) {}

    XmlFeedReadResult result;
    // The syndication module's texts, when the document gives them.
    std::optional<std::string> syPeriod;
    std::optional<std::string> syFrequency;

    void StartElement(const XmlElementStart& element) override {
        const std::string& parentBase = frames_.empty() ? documentUrl_ : frames_.back().base;
        std::string base = parentBase;
        if (const std::string* xmlBase = element.Attribute(kXml, "base"))
            base = ResolveUrl(parentBase, *xmlBase);
        if (!frames_.empty()) frames_.back().first.TakeElement();
        if (construct_) {
            AtomTextConstruct& c = *construct_;
            if (frames_.size() == constructDepth_ && !c.firstElementSeen) {
                c.firstElementSeen = true;
                c.divDepth = frames_.size() + 1;
            } else if (c.firstElementSeen && !c.markupDone && frames_.size() >= c.divDepth) {
                c.markup.Start(element);
            }
            frames_.push_back(Frame{Role::Ignored, std::move(base), {}});
            return;
        }
        if (xhtmlDepth_ > 0) {
            xhtml_.Start(element);
            frames_.push_back(Frame{Role::Ignored, std::move(base), {}});
            return;
        }
        if (title_ && title_->Below(frames_.size())) title_->Start(element);
        Role role = frames_.empty() ? RootRole(element) : ChildRole(element);
        if (frames_.empty() && role == Role::Ignored) {
            stop = true;  // not a feed: nothing below it is read
            return;
        }
        frames_.push_back(Frame{role, std::move(base), {}});
        Begin(element);
    }

    void EndElement() override {
        if (frames_.empty()) return;
        if (construct_ && frames_.size() > constructDepth_) {
            AtomTextConstruct& c = *construct_;
            if (!c.markupDone && frames_.size() > c.divDepth) {
                c.markup.End();
            } else if (!c.markupDone && frames_.size() == c.divDepth) {
                c.markup.CloseTag();
                c.markupDone = true;
            }
            frames_.pop_back();
            return;
        }
        if (xhtmlDepth_ > 0 && frames_.size() > xhtmlDepth_) {
            xhtml_.End();
            frames_.pop_back();
            return;
        }
        if (title_ && title_->Below(frames_.size() - 1)) title_->End();
        Frame frame = std::move(frames_.back());
        frames_.pop_back();
        Finish(frame);
    }

    void Node(XmlNodeKind kind, std::string_view value) override {
        if (frames_.empty()) return;
        Frame& frame = frames_.back();
        const bool characterData = kind == XmlNodeKind::Text || kind == XmlNodeKind::Cdata;
        // Comments and instructions are child nodes with a value, as in a DOM.
        frame.first.Take(value);
        if (construct_) {
            AtomTextConstruct& c = *construct_;
            if (frames_.size() == constructDepth_ && kind == XmlNodeKind::Cdata) c.cdataPieces.emplace_back(value);
            if (characterData) c.textContent += value;
            if (c.firstElementSeen && !c.markupDone && frames_.size() >= c.divDepth) c.markup.Node(kind, value);
            return;
        }
        if (xhtmlDepth_ > 0) {
            xhtml_.Node(kind, value);
            return;
        }
        if (title_ && title_->Below(frames_.size())) title_->Node(kind, value);
        if (!item_ || !characterData) return;
        // A description is HTML in a CDATA section, or entity-escaped in its text.
        if (frame.role == Role::Description)
            item_->description.push_back({std::string(value), kind == XmlNodeKind::Cdata || LooksLikeHtml(value)});
        else if (frame.role == Role::ContentEncoded)
            item_->contentEncoded.push_back({std::string(value), true});
    }

private:
    bool InCoreNamespace(const XmlElementStart& element) const {
        const auto ns = element.ns;
        switch (result.feed.format) {
            case FeedFormat::Rss1:
                return ns.empty() || ns == kRss10 || ns == kRss090 || ns == kRss11;
            case FeedFormat::Rss2:
                return ns.empty() || ns == rootNs_;
            case FeedFormat::Atom:
                return ns.empty() || ns == kAtom10 || ns == kAtom03 || ns == rootNs_;
            default:
                return false;
        }
    }
    bool Is(const XmlElementStart& element, std::string_view local) const {
        return element.local == local && InCoreNamespace(element);
    }
    // An element of a module namespace; a document that uses the usual prefix without
    // declaring it is read too.
    static bool IsModule(const XmlElementStart& element, std::string_view ns, std::string_view prefix,
                         std::string_view local) {
        if (element.local != local) return false;
        return element.ns == ns || (element.ns.empty() && element.prefix == prefix);
    }

    Role RootRole(const XmlElementStart& element) {
        // An rss element without a version is read as RSS 2.0 all the same.
        if (element.local == "rss" && element.prefix.empty()) {
            result.feed.format = FeedFormat::Rss2;
        } else if (element.local == "feed" &&
                   (element.prefix.empty() || element.ns == kAtom10 || element.ns == kAtom03)) {
            result.feed.format = FeedFormat::Atom;
            result.channelFound = true;
        } else if ((element.local == "RDF" && (element.ns == kRdf || element.prefix == "rdf")) ||
                   (element.local == "rdf" && element.ns.empty())) {
            result.feed.format = FeedFormat::Rss1;
        } else if (element.local == "Channel" && element.ns == kRss11) {
            // RSS 1.1: the root is the channel, its items are in an items list.
            result.feed.format = FeedFormat::Rss1;
            result.channelFound = true;
        } else {
            return Role::Ignored;
        }
        rootNs_ = element.ns;
        result.rootRecognised = true;
        return Role::Root;
    }

    Role ChildRole(const XmlElementStart& element) {
        const Frame& parent = frames_.back();
        const FeedFormat format = result.feed.format;
        // An element left open by mistake (<itunes:category> without its end) makes the
        // items that follow its children: they are the channel's items all the same.
        if (parent.role == Role::Ignored && !item_ && Is(element, "item") &&
            ((format == FeedFormat::Rss2 && channelOpen_) || format == FeedFormat::Rss1))
            return Role::Item;
        switch (parent.role) {
            case Role::Root:
                if (format == FeedFormat::Rss2) {
                    if (Is(element, "channel") && !channelSeen_) return Role::Channel;
                    // Items without a channel around them still make a feed.
                    if (Is(element, "item") && !channelSeen_) return Role::Item;
                } else if (format == FeedFormat::Rss1) {
                    if (Is(element, "channel")) return Role::Channel;
                    if (Is(element, "item")) return Role::Item;
                    if (element.ns == kRss11 && element.local == "title")
                        return titleTaken_ ? Role::Ignored : Role::ChannelTitle;
                    if (element.ns == kRss11 && element.local == "items") return Role::ItemList;
                } else if (format == FeedFormat::Atom) {
                    if (Is(element, "title")) return titleTaken_ ? Role::Ignored : Role::ChannelTitle;
                    if (Is(element, "entry")) return Role::Entry;
                }
                return HintRole(element);
            case Role::ItemList:
                return Is(element, "item") ? Role::Item : Role::Ignored;
            case Role::Channel:
                if (Is(element, "title")) return titleTaken_ ? Role::Ignored : Role::ChannelTitle;
                if (format == FeedFormat::Rss2 && Is(element, "item")) return Role::Item;
                return HintRole(element);
            case Role::SkipHours:
                return Is(element, "hour") ? Role::SkipHour : Role::Ignored;
            case Role::SkipDays:
                return Is(element, "day") ? Role::SkipDay : Role::Ignored;
            case Role::Item:
                if (Is(element, "title")) return Role::ItemTitle;
                if (Is(element, "link")) return Role::ItemLink;
                if (Is(element, "pubDate")) return Role::RssDate;
                if (Is(element, "guid")) return Role::ItemGuid;
                if (Is(element, "description")) return Role::Description;
                if (IsModule(element, kDc, "dc", "date")) return Role::W3cDate;
                if (IsModule(element, kContent, "content", "encoded")) return Role::ContentEncoded;
                if (IsModule(element, kXhtml, "xhtml", "body")) return Role::XhtmlBody;
                if (Is(element, "enclosure")) {
                    AddEnclosure(element, "url", "length");
                    return Role::Ignored;
                }
                return Role::Ignored;
            case Role::Entry:
                if (Is(element, "title")) return Role::AtomTitle;
                if (Is(element, "link")) {
                    AtomLink(element);
                    return Role::Ignored;
                }
                if (Is(element, "modified") || Is(element, "updated") || Is(element, "published"))
                    return Role::AtomDate;
                if (Is(element, "id")) return Role::ItemGuid;
                if (Is(element, "content")) return Role::AtomContent;
                if (Is(element, "summary")) return Role::AtomSummary;
                return Role::Ignored;
            default:
                return Role::Ignored;
        }
    }

    // A child of the channel (or of the root) that says how often to ask.
    Role HintRole(const XmlElementStart& element) const {
        if (IsModule(element, kSyndication, "sy", "updatePeriod")) return Role::SyPeriod;
        if (IsModule(element, kSyndication, "sy", "updateFrequency")) return Role::SyFrequency;
        if (result.feed.format != FeedFormat::Rss2) return Role::Ignored;
        if (Is(element, "ttl")) return Role::Ttl;
        if (Is(element, "skipHours")) return Role::SkipHours;
        if (Is(element, "skipDays")) return Role::SkipDays;
        return Role::Ignored;
    }

    void Begin(const XmlElementStart& element) {
        Frame& frame = frames_.back();
        switch (frame.role) {
            case Role::Channel:
                channelSeen_ = true;
                channelOpen_ = true;
                result.channelFound = true;
                break;
            case Role::Item:
            case Role::Entry:
                item_ = std::make_unique<ItemState>();
                item_->isAtom = frame.role == Role::Entry;
                // RSS 1.0 items carry the title of the last channel met; RSS 2.0 and
                // Atom items get the channel's title when the document is done.
                item_->item.channelTitle = result.feed.title;
                break;
            case Role::AtomDate:
                atomDateName_ = std::string(element.local);
                break;
            case Role::ChannelTitle:
            case Role::ItemTitle:
            case Role::AtomTitle: {
                title_.emplace();
                title_->depth = frames_.size();
                // Atom and RSS 1.0 titles say how they hold their text; RSS 2.0 ones hold text.
                if (result.feed.format == FeedFormat::Atom || result.feed.format == FeedFormat::Rss1)
                    title_->type = TextTypeOf(element.Attribute("type"), element.Attribute("mode"));
                break;
            }
            case Role::ContentEncoded:
                item_->contentEncoded.clear();
                item_->contentBase = frame.base;
                break;
            case Role::Description:
                item_->description.clear();
                item_->descriptionBase = frame.base;
                break;
            case Role::XhtmlBody:
                item_->xhtmlBase = frame.base;
                xhtml_ = MarkupWriter{};
                xhtmlDepth_ = frames_.size();
                break;
            case Role::AtomContent:
            case Role::AtomSummary: {
                AtomTextConstruct& construct = frame.role == Role::AtomContent ? item_->content : item_->summary;
                construct = AtomTextConstruct{};
                construct.present = true;
                const std::string* type = element.Attribute("type");
                construct.type = type ? *type : "";
                construct.base = frame.base;
                construct_ = &construct;
                constructDepth_ = frames_.size();
                break;
            }
            default:
                break;
        }
    }

    void Finish(Frame& frame) {
        switch (frame.role) {
            case Role::ChannelTitle:
                // The first title with a child node names the feed.
                if (frame.first.seen && title_) {
                    result.feed.title = title_->PlainText();
                    titleTaken_ = true;
                }
                title_.reset();
                break;
            case Role::Channel:
                // A later channel of an RSS 1.0 document may name the feed anew.
                titleTaken_ = false;
                channelOpen_ = false;
                break;
            case Role::ItemTitle:
            case Role::AtomTitle:
                // The whole title, and its first node as the version before read it.
                if (item_ && frame.first.seen && title_) {
                    item_->item.title = title_->PlainText();
                    item_->item.rawTitle = frame.first.value;
                }
                title_.reset();
                break;
            case Role::ItemLink:
                if (item_ && frame.first.seen) SetLink(frame.first.value, frame.base);
                break;
            case Role::ItemGuid:
                if (item_ && frame.first.seen) item_->item.guid = frame.first.value;
                break;
            case Role::W3cDate:
                if (item_ && frame.first.seen) item_->item.dates.push_back({frame.first.value, true});
                break;
            case Role::RssDate:
                if (item_ && frame.first.seen) item_->item.dates.push_back({frame.first.value, false});
                break;
            case Role::AtomDate:
                if (item_) {
                    auto& slot = atomDateName_ == "modified" ? item_->modified
                                 : atomDateName_ == "updated" ? item_->updated
                                                              : item_->published;
                    slot = frame.first;
                }
                break;
            case Role::AtomContent:
            case Role::AtomSummary:
                construct_ = nullptr;
                break;
            case Role::XhtmlBody:
                xhtml_.CloseTag();
                if (item_) item_->xhtmlBody = std::move(xhtml_.out);
                xhtmlDepth_ = 0;
                break;
            case Role::Item:
            case Role::Entry:
                if (item_) FinishItem();
                break;
            case Role::Ttl:
                if (frame.first.seen) result.feed.hints.ttl = ParseTtl(frame.first.value);
                break;
            case Role::SyPeriod:
                syPeriod = frame.first.seen ? frame.first.value : "";
                break;
            case Role::SyFrequency:
                syFrequency = frame.first.seen ? frame.first.value : "";
                break;
            case Role::SkipHour:
                if (const auto hour = ParseSkipHour(frame.first.seen ? frame.first.value : ""))
                    result.feed.hints.skipHours |= 1u << *hour;
                break;
            case Role::SkipDay:
                if (const auto day = ParseSkipDay(frame.first.seen ? frame.first.value : ""))
                    result.feed.hints.skipDays |= static_cast<std::uint8_t>(1u << *day);
                break;
            default:
                break;
        }
    }


    void SetLink(const std::string& raw, const std::string& base) {
        std::string resolved = ResolveUrl(base, raw);
        item_->item.rawLink = resolved == raw ? std::string() : raw;
        item_->item.link = std::move(resolved);
    }

    void AtomLink(const XmlElementStart& element) {
        const std::string* href = element.Attribute("href");
        if (!href || !item_) return;
        const std::string& base = frames_.back().base;  // the link element is not pushed yet
        std::string baseOfLink = base;
        if (const std::string* xmlBase = element.Attribute(kXml, "base")) baseOfLink = ResolveUrl(base, *xmlBase);
        std::string resolved = ResolveUrl(baseOfLink, *href);
        const std::string* rel = element.Attribute("rel");
        if (rel && *rel == "enclosure") {
            FeedEnclosure enclosure;
            enclosure.url = resolved;
            if (const std::string* type = element.Attribute("type")) enclosure.type = *type;
            if (const std::string* length = element.Attribute("length")) enclosure.length = ParseLength(*length);
            item_->item.enclosures.push_back(std::move(enclosure));
        }
        if (!item_->alternate && (!rel || *rel == "alternate")) {
            item_->alternate = resolved;
            item_->alternateRaw = *href;
        }
        item_->lastHref = resolved;
        item_->lastHrefRaw = *href;
    }

    void AddEnclosure(const XmlElementStart& element, std::string_view urlName, std::string_view lengthName) {
        if (!item_) return;
        const std::string* url = element.Attribute(urlName);
        if (!url || url->empty()) return;
        std::string base = frames_.back().base;
        if (const std::string* xmlBase = element.Attribute(kXml, "base")) base = ResolveUrl(base, *xmlBase);
        FeedEnclosure enclosure;
        enclosure.url = ResolveUrl(base, *url);
        if (const std::string* type = element.Attribute("type")) enclosure.type = *type;
        if (const std::string* length = element.Attribute(lengthName)) enclosure.length = ParseLength(*length);
        item_->item.enclosures.push_back(std::move(enclosure));
    }

    static long long ParseLength(const std::string& text) {
        long long value = 0;
        size_t i = text.find_first_not_of(" \t\r\n");
        if (i == std::string::npos || text[i] < '0' || text[i] > '9') return -1;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            if (value > (1LL << 50)) return -1;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    }

    // Atom text construct body: CDATA children as plain pieces when there are any;
    // otherwise the text, as HTML for type "html", or the markup inside the div for "xhtml".
    static std::vector<FeedBodyPiece> AtomBody(const AtomTextConstruct& construct) {
        std::vector<FeedBodyPiece> pieces;
        if (!construct.cdataPieces.empty()) {
            for (const auto& piece : construct.cdataPieces) pieces.push_back({ResolveHtmlLinks(piece, construct.base), false});
            return pieces;
        }
        if (construct.type == "xhtml") {
            if (!construct.markup.out.empty())
                pieces.push_back({ResolveHtmlLinks(construct.markup.out, construct.base), true});
            return pieces;
        }
        const bool html = construct.type == "html" || construct.type == "text/html";
        if (!construct.textContent.empty())
            pieces.push_back({html ? ResolveHtmlLinks(construct.textContent, construct.base) : construct.textContent, html});
        return pieces;
    }

    void FinishItem() {
        ItemState& state = *item_;
        FeedItem& item = state.item;
        if (item.rawTitle == item.title) item.rawTitle.reset();
        if (state.isAtom) {
            // The entry's page, not its comment feed or edit URL.
            if (state.alternate) {
                item.link = *state.alternate;
                item.rawLink = *state.alternateRaw == item.link ? "" : *state.alternateRaw;
            } else if (state.lastHref) {
                item.link = *state.lastHref;
                item.rawLink = *state.lastHrefRaw == item.link ? "" : *state.lastHrefRaw;
            }
            for (const auto* date : {&state.modified, &state.updated, &state.published}) {
                if (*date && (*date)->seen) {
                    item.dates.push_back({(*date)->value, true});
                    break;
                }
            }
            std::vector<FeedBodyPiece> body;
            if (state.content.present) body = AtomBody(state.content);
            if (!HasText(body) && state.summary.present) body = AtomBody(state.summary);
            item.body = std::move(body);
        } else if (HasText(state.contentEncoded)) {
            // The full text beside the short description.
            for (auto& piece : state.contentEncoded) piece.text = ResolveHtmlLinks(piece.text, state.contentBase);
            item.body = std::move(state.contentEncoded);
        } else if (state.xhtmlBody.find_first_not_of(" \t\r\n") != std::string::npos) {
            item.body.push_back({ResolveHtmlLinks(state.xhtmlBody, state.xhtmlBase), true});
        } else {
            for (auto& piece : state.description) {
                if (piece.isHtml) piece.text = ResolveHtmlLinks(piece.text, state.descriptionBase);
            }
            item.body = std::move(state.description);
        }
        result.feed.items.push_back(std::move(item));
        item_.reset();
    }

    std::string documentUrl_;
    std::string rootNs_;
    std::vector<Frame> frames_;
    std::unique_ptr<ItemState> item_;
    bool channelSeen_ = false;
    bool channelOpen_ = false;
    bool titleTaken_ = false;
    std::string atomDateName_;
    AtomTextConstruct* construct_ = nullptr;
    size_t constructDepth_ = 0;
    std::optional<TitleCapture> title_;
    // xhtml:body of an RSS item: its markup while it is open (depth 0: none open).
    MarkupWriter xhtml_;
    size_t xhtmlDepth_ = 0;
};

}  // namespace

XmlFeedReadResult ReadXmlFeed(std::string_view bytes, const std::string& documentUrl, bool recover) {
    FeedSink sink(documentUrl);
    sink.result.parse = ParseXmlEvents(bytes, recover, sink);
    Feed& feed = sink.result.feed;
    feed.url = documentUrl;
    // An RSS 2.0 channel and an Atom feed name all their items, wherever the title stands.
    if (feed.format != FeedFormat::Rss1) {
        for (auto& item : feed.items) item.channelTitle = feed.title;
    }
    if (sink.syPeriod || sink.syFrequency)
        feed.hints.updatePeriod = SyndicationPeriod(sink.syPeriod.value_or(""), sink.syFrequency.value_or(""));
    return std::move(sink.result);
}
