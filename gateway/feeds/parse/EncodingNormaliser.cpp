#include "EncodingNormaliser.h"

#include "FeedRepair.h"
#include "KanjiConverter.h"
#include "TextUtil.h"

namespace {
constexpr size_t kLinePieceBytes = 1998;
}  // namespace

std::string ReadFirstLinePiece(std::string_view bytes) {
    std::string_view piece = bytes.substr(0, kLinePieceBytes);
    auto end = piece.find('\n');
    if (end != std::string_view::npos) piece = piece.substr(0, end + 1);
    return std::string(piece);
}

std::optional<std::string> NormaliseEncoding(std::string_view bytes, std::string_view encodingName,
                                             std::string_view converterOptions, std::string* repairNote) {
    const std::string firstLine = ReadFirstLinePiece(bytes);
    if (firstLine.empty()) return std::nullopt;
    const std::string searched = "ENCODING=\"" + std::string(encodingName) + "\"";
    const std::string upper = ToUpperCopy(firstLine);
    if (upper.find(searched) == std::string::npos) return std::nullopt;

    std::string out = ToLowerCopy(ReplaceAll(upper, searched, "encoding=\"UTF-8\""));
    KanjiStream stream(converterOptions);
    out += stream.Convert(bytes.substr(firstLine.size()));
    out += stream.Finish();
    if (repairNote) *repairNote = ReplacementNote(encodingName, stream.Replacements());
    return out;
}

std::optional<std::string> NormaliseJapaneseEncoding(std::string_view bytes, std::string* repairNote) {
    // Once one has converted, the first line declares utf-8 and the others find nothing.
    if (auto converted = NormaliseEncoding(bytes, "EUC-JP", "-Ew", repairNote)) return converted;
    if (auto converted = NormaliseEncoding(bytes, "SHIFT-JIS", "-Sw", repairNote)) return converted;
    return NormaliseEncoding(bytes, "ISO-2022-JP", "-Jw", repairNote);
}
