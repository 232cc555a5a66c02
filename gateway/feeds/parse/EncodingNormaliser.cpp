#include "EncodingNormaliser.h"

#include "KanjiConverter.h"
#include "TextUtil.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr size_t kLinePieceBytes = 1998;
constexpr size_t kReadBlockBytes = 64 * 1024;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool WriteAll(std::FILE* file, std::string_view bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

}  // namespace

std::string ReadFirstLinePiece(std::string_view bytes) {
    std::string_view piece = bytes.substr(0, kLinePieceBytes);
    auto end = piece.find('\n');
    if (end != std::string_view::npos) piece = piece.substr(0, end + 1);
    return std::string(piece);
}

bool NormaliseEncoding(const std::string& path, std::string_view encodingName,
                       std::string_view converterOptions) {
    File in(std::fopen(path.c_str(), "rb"));
    if (!in) return false;
    std::vector<char> block(kReadBlockBytes);
    size_t got = std::fread(block.data(), 1, block.size(), in.get());
    const std::string firstLine = ReadFirstLinePiece(std::string_view(block.data(), got));
    if (firstLine.empty()) return false;

    const std::string searched = "ENCODING=\"" + std::string(encodingName) + "\"";
    const std::string upper = ToUpperCopy(firstLine);
    if (upper.find(searched) == std::string::npos) return false;

    const std::string tempPath = path + "tmp";
    File out(std::fopen(tempPath.c_str(), "wb"));
    if (!out) return false;
    bool ok = WriteAll(out.get(), ToLowerCopy(ReplaceAll(upper, searched, "encoding=\"UTF-8\"")));

    KanjiStream stream(converterOptions);
    std::string_view rest(block.data() + firstLine.size(), got - firstLine.size());
    while (ok) {
        if (!rest.empty()) ok = WriteAll(out.get(), stream.Convert(rest));
        if (!ok || got < block.size()) break;
        got = std::fread(block.data(), 1, block.size(), in.get());
        rest = std::string_view(block.data(), got);
        if (got == 0) break;
    }
    if (ok && std::ferror(in.get())) ok = false;
    if (ok) ok = WriteAll(out.get(), stream.Finish());
    in.reset();
    if (std::fclose(out.release()) != 0) ok = false;
    // A half-written conversion must never replace the document it came from.
    if (!ok || std::rename(tempPath.c_str(), path.c_str()) != 0) {
        std::remove(tempPath.c_str());
        return false;
    }
    return true;
}
