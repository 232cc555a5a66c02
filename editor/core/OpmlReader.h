#pragma once

#include "OpmlDocument.h"
#include "XmlScanner.h"

#include <functional>
#include <string>
#include <string_view>

// What an open or add command makes of a scan.
enum class OpmlScanOutcome {
    Success,    // an OPML document, and the tree holds at least one node
    NoFeeds,    // "RSSが見つかりませんでした。"
    NotOpml,    // "OPMLファイルではないようです。"
};

inline constexpr const char* kNoFeedsMessage = "RSSが見つかりませんでした。";
inline constexpr const char* kNotOpmlMessage = "OPMLファイルではないようです。";

// The message box text for an outcome; empty for Success.
std::string OutcomeMessage(OpmlScanOutcome outcome);
// A scan that met an <opml> element succeeds when the tree it added to has nodes.
OpmlScanOutcome JudgeScan(bool opmlSeen, int topLevelCount);

// Builds or extends the tree from an OPML document, and takes a feed's channel title,
// link and description from an RSS document; both through one set of handlers.
// Outlines are appended to the children of top (a document's body); error texts go
// to the message sink, and the values a feed lacks are asked for through the
// node-boxes provider.
class OpmlReader : private XmlScannerHandler {
public:
    explicit OpmlReader(OutlineNode& top);

    // Receives "XML 1.1はサポートしていません。" and the like; scanning goes on.
    void SetMessageSink(std::function<void(const std::string&)> sink);
    // The values a feed's channel starts from: the title, source-URL and
    // description of the selected node, as a ChannelInfo. Without one, nothing.
    void SetNodeBoxesProvider(std::function<ChannelInfo()> provider);

    // Each scan starts with the insertion cursor at none and all reader flags cleared;
    // outlines are appended at the end of the top level.
    XmlScanResult ScanFile(const std::string& path);
    XmlScanResult ScanBuffer(std::string_view text);

    // Judged right after a scan.
    OpmlScanOutcome Outcome() const;
    bool OpmlSeen() const { return opmlSeen_; }

    // The scratch head persists between scans; open commands copy it into the
    // document head after a successful read.
    OpmlHead& ScratchHead() { return scratchHead_; }
    const OpmlHead& ScratchHead() const { return scratchHead_; }
    const ChannelInfo& Channel() const { return channel_; }
    const std::string& DocumentEncoding() const { return documentEncoding_; }

private:
    void XmlProlog(const std::string& version, bool standalone,
                   const std::string& encoding) override;
    void ProcessingInstruction(const std::string& target, const XmlAttributes& pseudo,
                               const std::string& content) override;
    void StartTag(const std::string& name, const XmlAttributes& attributes) override;
    void EmptyTag(const std::string& name, const XmlAttributes& attributes) override;
    void EndTag(const std::string& name) override;
    void Content(const std::string& text) override;

    XmlScanResult Scan(const std::function<XmlScanResult(XmlScanner&)>& run);
    void ClearFlags();
    std::string FromDocument(std::string_view text) const;
    std::string OutlineText(const XmlAttributes& attributes) const;

    OutlineNode* top_;
    std::function<void(const std::string&)> messageSink_;
    std::function<ChannelInfo()> nodeBoxes_;

    OpmlHead scratchHead_;
    ChannelInfo channel_;
    std::string documentEncoding_;
    OutlineNode* cursor_ = nullptr;  // the folder being read; null at the top level

    bool opmlSeen_ = false, inHead_ = false, inBody_ = false, inHeadTitle_ = false,
         inDateCreated_ = false, inDateModified_ = false, inOwnerName_ = false,
         inOwnerEmail_ = false;
    bool feedSeen_ = false, inChannel_ = false, inItem_ = false, inTextInput_ = false,
         inChannelTitle_ = false, inChannelLink_ = false, inChannelDescription_ = false;
};
