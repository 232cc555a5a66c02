#include "OpmlReader.h"

std::string OutcomeMessage(OpmlScanOutcome outcome) {
    switch (outcome) {
    case OpmlScanOutcome::Success: return {};
    case OpmlScanOutcome::NoFeeds: return kNoFeedsMessage;
    case OpmlScanOutcome::NotOpml: return kNotOpmlMessage;
    }
    return {};
}

OpmlReader::OpmlReader(QTreeWidget* tree) : tree_(tree) {}
void OpmlReader::SetMessageSink(std::function<void(const std::string&)> sink) { messageSink_ = std::move(sink); }
void OpmlReader::SetNodeBoxesProvider(std::function<ChannelInfo()> provider) { nodeBoxes_ = std::move(provider); }
XmlScanResult OpmlReader::ScanFile(const std::string&) { return {false, "not built yet", 0, 0}; }
XmlScanResult OpmlReader::ScanBuffer(std::string_view) { return {false, "not built yet", 0, 0}; }
OpmlScanOutcome OpmlReader::Outcome() const { return OpmlScanOutcome::NotOpml; }
void OpmlReader::XmlProlog(const std::string&, bool, const std::string&) {}
void OpmlReader::ProcessingInstruction(const std::string&, const XmlAttributes&, const std::string&) {}
void OpmlReader::StartTag(const std::string&, const XmlAttributes&) {}
void OpmlReader::EmptyTag(const std::string&, const XmlAttributes&) {}
void OpmlReader::EndTag(const std::string&) {}
void OpmlReader::Content(const std::string&) {}
