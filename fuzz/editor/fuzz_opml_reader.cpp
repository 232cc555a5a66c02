// Any bytes read as OPML: whatever tree results is saved and read back into the same
// tree, and saving that again gives the same bytes.
#include "OpmlReader.h"
#include "OpmlWriter.h"

#include <QApplication>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Dump(const QTreeWidgetItem* node, std::string& out) {
    out += std::to_string(NodeDepth(node)) + (IsFeedItem(node) ? "i" : "f") + NodeText(node);
    if (const auto data = OutlineData(node)) {
        out += "|" + data->xmlUrl + "|" + data->description + "|" + data->htmlUrl;
    }
    out += "\n";
    for (int i = 0; i < node->childCount(); ++i) Dump(node->child(i), out);
}

std::string Dump(const QTreeWidget& tree) {
    std::string out;
    for (int i = 0; i < tree.topLevelItemCount(); ++i) Dump(tree.topLevelItem(i), out);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QTreeWidget first;
    OpmlReader reader(&first);
    reader.ScanBuffer(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string written = BuildOpmlText(reader.ScratchHead(), &first, 0);

    QTreeWidget second;
    OpmlReader again(&second);
    if (!again.ScanBuffer(written).ok) std::abort();
    // Text with line breaks or runs of spaces is normalised on reading, and "&amp;"
    // is folded on writing; compare after one full cycle.
    const std::string rewritten = BuildOpmlText(again.ScratchHead(), &second, 0);
    QTreeWidget third;
    OpmlReader third_reader(&third);
    if (!third_reader.ScanBuffer(rewritten).ok) std::abort();
    if (Dump(third) != Dump(second)) std::abort();
    if (BuildOpmlText(third_reader.ScratchHead(), &third, 0) != rewritten) std::abort();
    return 0;
}
