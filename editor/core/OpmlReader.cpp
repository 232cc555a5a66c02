#include "OpmlReader.h"

#include "TextUtil.h"
#include "jconvert.h"

std::string OutcomeMessage(OpmlScanOutcome outcome) {
    switch (outcome) {
    case OpmlScanOutcome::Success: return {};
    case OpmlScanOutcome::NoFeeds: return kNoFeedsMessage;
    case OpmlScanOutcome::NotOpml: return kNotOpmlMessage;
    }
    return {};
}

OpmlScanOutcome JudgeScan(bool opmlSeen, int topLevelCount) {
    if (!opmlSeen) return OpmlScanOutcome::NotOpml;
    if (topLevelCount == 0) return OpmlScanOutcome::NoFeeds;
    return OpmlScanOutcome::Success;
}

OpmlReader::OpmlReader(OutlineNode& top) : top_(&top) {}

void OpmlReader::SetMessageSink(std::function<void(const std::string&)> sink) {
    messageSink_ = std::move(sink);
}

void OpmlReader::SetNodeBoxesProvider(std::function<ChannelInfo()> provider) {
    nodeBoxes_ = std::move(provider);
}

XmlScanResult OpmlReader::ScanFile(const std::string& path) {
    return Scan([&](XmlScanner& scanner) { return scanner.ScanFile(path); });
}

XmlScanResult OpmlReader::ScanBuffer(std::string_view text) {
    return Scan([&](XmlScanner& scanner) { return scanner.ScanBuffer(text); });
}

XmlScanResult OpmlReader::Scan(const std::function<XmlScanResult(XmlScanner&)>& run) {
    cursor_ = nullptr;
    ClearFlags();
    // A document without a declaration is UTF-8, whatever the one before it was.
    documentEncoding_ = "UTF-8";
    XmlScanner scanner(*this);
    XmlScanResult result = run(scanner);
    // A document cut short leaves the cursor inside it; the next scan starts afresh.
    cursor_ = nullptr;
    return result;
}

void OpmlReader::ClearFlags() {
    opmlSeen_ = inHead_ = inBody_ = inHeadTitle_ = inDateCreated_ = inDateModified_ =
        inOwnerName_ = inOwnerEmail_ = false;
    feedSeen_ = inChannel_ = inItem_ = inTextInput_ = inChannelTitle_ = inChannelLink_ =
        inChannelDescription_ = false;
}

OpmlScanOutcome OpmlReader::Outcome() const {
    return JudgeScan(opmlSeen_, top_->ChildCount());
}

std::string OpmlReader::FromDocument(std::string_view text) const {
    return ConvertFromDocument(text, documentEncoding_);
}

std::string OpmlReader::OutlineText(const XmlAttributes& attributes) const {
    const std::string& title = attributes.Value("title");
    return FromDocument(title.empty() ? attributes.Value("text") : title);
}

void OpmlReader::XmlProlog(const std::string& version, bool /*standalone*/,
                           const std::string& encoding) {
    channel_ = nodeBoxes_ ? nodeBoxes_() : ChannelInfo{};
    documentEncoding_ = ToUpperCopy(encoding.empty() ? std::string("UTF-8") : encoding);
    if (!messageSink_) return;
    if (version != "1.0") {
        messageSink_("XML " + ConvertFromDocument(version, "") + "はサポートしていません。");
    } else if (!IsSupportedEncoding(documentEncoding_)) {
        messageSink_(ConvertFromDocument(documentEncoding_, "") + "はサポートしていません。");
    }
}

void OpmlReader::ProcessingInstruction(const std::string& target,
                                       const XmlAttributes& pseudo,
                                       const std::string& /*content*/) {
    if (ToLowerCopy(target) == "xml-stylesheet") {
        scratchHead_.stylesheetHref = FromDocument(pseudo.Value("href"));
    }
}

void OpmlReader::StartTag(const std::string& name, const XmlAttributes& attributes) {
    const std::string n = ToLowerCopy(name);
    if (n == "opml") {
        opmlSeen_ = true;
    } else if (n == "rss" || n == "rdf:rdf") {
        feedSeen_ = true;
    }
    if (opmlSeen_) {
        if (n == "head") {
            inHead_ = true;
        } else if (n == "body") {
            inBody_ = true;
        }
        if (inHead_) {
            if (n == "title") inHeadTitle_ = true;
            else if (n == "datecreated") inDateCreated_ = true;
            else if (n == "datemodified") inDateModified_ = true;
            else if (n == "ownername") inOwnerName_ = true;
            else if (n == "owneremail") inOwnerEmail_ = true;
        }
        if (inBody_ && n == "outline") {
            cursor_ = &AppendFolder(cursor_ != nullptr ? *cursor_ : *top_, OutlineText(attributes));
        }
    }
    if (feedSeen_) {
        if (n == "channel") inChannel_ = true;
        else if (n == "item") inItem_ = true;
        else if (n == "textinput") inTextInput_ = true;
    }
    if (inChannel_) {
        if (n == "title") inChannelTitle_ = true;
        else if (n == "link") inChannelLink_ = true;
        else if (n == "description") inChannelDescription_ = true;
    }
}

void OpmlReader::EmptyTag(const std::string& name, const XmlAttributes& attributes) {
    if (ToLowerCopy(name) != "outline") return;
    // Many feed readers export feeds without a type; an outline that names a feed
    // URL is a feed all the same, as the gateway, which reads every xmlUrl, sees it.
    const std::string type = ToLowerCopy(attributes.Value("type"));
    if (type != "rss" && !(type.empty() && !attributes.Value("xmlUrl").empty())) return;
    TOutlineData data;
    data.xmlUrl = FromDocument(attributes.Value("xmlUrl"));
    data.description = FromDocument(attributes.Value("description"));
    data.htmlUrl = FromDocument(attributes.Value("htmlUrl"));
    AppendFeedItem(cursor_ != nullptr ? *cursor_ : *top_, OutlineText(attributes), data);
}

void OpmlReader::EndTag(const std::string& name) {
    const std::string n = ToLowerCopy(name);
    if (n == "rss" || n == "rdf:rdf") feedSeen_ = false;
    if (opmlSeen_) {
        if (n == "head") inHead_ = false;
        else if (n == "body") inBody_ = false;
        else if (n == "title") inHeadTitle_ = false;
        else if (n == "datecreated") inDateCreated_ = false;
        else if (n == "datemodified") inDateModified_ = false;
        else if (n == "ownername") inOwnerName_ = false;
        else if (n == "owneremail") inOwnerEmail_ = false;
    }
    if (feedSeen_) {
        if (n == "channel") inChannel_ = false;
        else if (n == "item") inItem_ = false;
        else if (n == "textinput") inTextInput_ = false;
        else if (n == "title") inChannelTitle_ = false;
        else if (n == "link") inChannelLink_ = false;
        else if (n == "description") inChannelDescription_ = false;
    }
    // In a body of outlines these are exactly the closing tags of folders.
    if (cursor_ != nullptr) {
        cursor_ = cursor_->Parent() == top_ ? nullptr : cursor_->Parent();
    }
}

void OpmlReader::Content(const std::string& text) {
    if (text.empty() || inItem_ || inTextInput_) return;
    if (inChannel_) {
        if (inChannelTitle_) channel_.title = FromDocument(text);
        else if (inChannelLink_) channel_.link = FromDocument(text);
        else if (inChannelDescription_) channel_.description = FromDocument(text);
    } else if (inHead_) {
        if (inHeadTitle_) scratchHead_.title = FromDocument(text);
        else if (inOwnerName_) scratchHead_.ownerName = FromDocument(text);
        else if (inOwnerEmail_) scratchHead_.ownerEmail = FromDocument(text);
        else if (inDateCreated_) scratchHead_.dateCreated = FromDocument(text);
        else if (inDateModified_) scratchHead_.dateModified = FromDocument(text);
    }
}
