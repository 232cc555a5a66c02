// Any bytes read as OPML: whatever tree results is saved and read back into the same
// tree, and saving that again gives the same bytes.
#include "OpmlReader.h"
#include "OpmlWriter.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Depth-first without recursion: the input may nest as deep as the scanner allows.
std::string Dump(const OutlineNode& top) {
    std::string out;
    std::vector<const OutlineNode*> pending;
    for (int i = top.ChildCount() - 1; i >= 0; --i) pending.push_back(top.Child(i));
    while (!pending.empty()) {
        const OutlineNode* node = pending.back();
        pending.pop_back();
        out += std::to_string(node->Depth()) + (node->IsFeedItem() ? "i" : "f") + node->text;
        if (const auto& data = node->data) {
            out += "|" + data->xmlUrl + "|" + data->description + "|" + data->htmlUrl;
        }
        out += "\n";
        for (int i = node->ChildCount() - 1; i >= 0; --i) pending.push_back(node->Child(i));
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    OutlineNode first;
    OpmlReader reader(first);
    reader.ScanBuffer(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string written = BuildOpmlText(reader.ScratchHead(), first, 0);

    OutlineNode second;
    OpmlReader again(second);
    if (!again.ScanBuffer(written).ok) std::abort();
    // Text with line breaks or runs of spaces is normalised on reading, and "&amp;"
    // is folded on writing; compare after one full cycle.
    const std::string rewritten = BuildOpmlText(again.ScratchHead(), second, 0);
    OutlineNode third;
    OpmlReader third_reader(third);
    if (!third_reader.ScanBuffer(rewritten).ok) std::abort();
    if (Dump(third) != Dump(second)) std::abort();
    if (BuildOpmlText(third_reader.ScratchHead(), third, 0) != rewritten) std::abort();
    return 0;
}
