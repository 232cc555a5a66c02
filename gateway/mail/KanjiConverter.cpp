#include "KanjiConverter.h"

#include "Jis0208.h"
#include "KanjiCodec.h"
#include "MimeHeader.h"
#include "Utf8.h"

#include <algorithm>

namespace {

struct Options {
    char input = 'W';
    char output = 'j';
};

// Letters as the option strings write them; unknown letters are ignored and
// missing ones keep the defaults (UTF-8 in, ISO-2022-JP out).
Options ParseOptions(std::string_view text) {
    Options options;
    for (char c : text) {
        if (c == 'W' || c == 'S' || c == 'E' || c == 'J') options.input = c;
        if (c == 'w' || c == 'j' || c == 'M') options.output = c;
    }
    return options;
}

// Bytes every input set and every stream output read as the same ASCII text.
bool IsPlainAscii(std::string_view text) {
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b >= 0x80 || b == 0x0E || b == 0x0F || b == 0x1B;
    });
}

std::u32string Decode(char input, std::string_view text) {
    std::u32string codePoints;
    codePoints.reserve(text.size());
    auto decoder = MakeKanjiDecoder(input);
    decoder->Decode(text, codePoints);
    decoder->Finish(codePoints);
    return codePoints;
}

std::string Convert(Options options, std::string_view input, std::size_t column) {
    if (options.output == 'M') return EncodeMimeHeader(Decode(options.input, input), column);
    if (IsPlainAscii(input)) return std::string(input);
    const std::u32string codePoints = Decode(options.input, input);
    std::string out;
    out.reserve(input.size() + input.size() / 2 + 8);
    auto encoder = MakeKanjiEncoder(options.output);
    encoder->Encode(codePoints, out);
    encoder->Finish(out);
    return out;
}

}  // namespace

std::string ConvertTextWith(std::string_view options, std::string_view input) {
    return Convert(ParseOptions(options), input, 0);
}

std::string EncodeHeaderValue(std::string_view utf8, std::size_t column, HeaderCharset charset) {
    return EncodeMimeHeader(Decode('W', utf8), column, false, charset);
}

std::string EncodeHeaderWords(std::string_view utf8, std::size_t column, HeaderCharset charset) {
    if (utf8.empty()) return "";
    return EncodeMimeHeader(Decode('W', utf8), column, true, charset);
}

bool SuitsIso2022Jp(std::initializer_list<std::string_view> utf8Texts) {
    bool japanese = false;
    for (std::string_view utf8 : utf8Texts) {
        for (std::size_t i = 0; i < utf8.size();) {
            const auto b = static_cast<unsigned char>(utf8[i]);
            if (b < 0x80) {
                if (b == 0x0E || b == 0x0F || b == 0x1B) return false;
                ++i;
                continue;
            }
            // Invalid UTF-8 would be sent as U+FFFD, which JIS lacks.
            const std::size_t length = Utf8SequenceLength(utf8, i);
            if (length == 0) return false;
            char32_t cp = b & (0x7F >> length);
            for (std::size_t k = 1; k < length; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
            i += length;
            if (Jis0208JisFormPointer(cp) < 0) return false;
            // Hiragana, katakana and the iteration marks, or a kanji of the set.
            japanese = japanese || (cp >= 0x3041 && cp <= 0x30FF) || (cp >= 0x3005 && cp <= 0x3007) ||
                       (cp >= 0x4E00 && cp <= 0x9FFF);
        }
    }
    return japanese;
}

std::string HtmlInJisX0208(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char32_t cp : Decode('W', utf8)) {
        if ((cp < 0x80 && cp != 0x0E && cp != 0x0F && cp != 0x1B) || Jis0208JisFormPointer(cp) >= 0) {
            AppendUtf8(out, cp);
        } else {
            out += "&#" + std::to_string(static_cast<unsigned long>(cp)) + ";";
        }
    }
    return out;
}

struct KanjiStream::State {
    Options options;
    std::unique_ptr<KanjiDecoder> decoder;
    std::unique_ptr<KanjiEncoder> encoder;
    std::u32string codePoints;
    // A header value is encoded as a whole, so its stream collects until Finish.
    std::u32string header;
};

KanjiStream::KanjiStream(std::string_view options) : state_(new State) {
    state_->options = ParseOptions(options);
    state_->decoder = MakeKanjiDecoder(state_->options.input);
    state_->encoder = MakeKanjiEncoder(state_->options.output);
}

KanjiStream::~KanjiStream() = default;

std::string KanjiStream::Convert(std::string_view piece) {
    State& s = *state_;
    s.codePoints.clear();
    s.decoder->Decode(piece, s.codePoints);
    if (s.options.output == 'M') {
        s.header += s.codePoints;
        return {};
    }
    std::string out;
    out.reserve(piece.size() + piece.size() / 2 + 8);
    s.encoder->Encode(s.codePoints, out);
    return out;
}

std::string KanjiStream::Finish() {
    State& s = *state_;
    s.codePoints.clear();
    s.decoder->Finish(s.codePoints);
    if (s.options.output == 'M') {
        s.header += s.codePoints;
        std::string out = EncodeMimeHeader(s.header);
        s.header.clear();
        return out;
    }
    std::string out;
    s.encoder->Encode(s.codePoints, out);
    s.encoder->Finish(out);
    return out;
}

std::size_t KanjiStream::Replacements() const { return state_->decoder->Replacements(); }
