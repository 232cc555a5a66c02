#include "MimeHeader.h"

#include "Jis0208.h"
#include "KanjiCodec.h"
#include "Utf8.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::size_t kMaxWord = 75;
constexpr std::size_t kMaxLine = 76;
constexpr std::string_view kIsoPrefix = "=?ISO-2022-JP?B?";
constexpr std::string_view kUtf8Prefix = "=?UTF-8?B?";
constexpr std::string_view kSuffix = "?=";

enum class Kind { Neutral, Jis, Utf8 };

Kind KindOf(char32_t cp, HeaderCharset charset) {
    if (cp < 0x80 && cp != 0x0E && cp != 0x0F && cp != 0x1B) return Kind::Neutral;
    switch (charset) {
        case HeaderCharset::Iso2022JpWindows:
            if (cp == 0x00A5 || cp == 0x203E || IsoJisPointer(cp) >= 0) return Kind::Jis;
            break;
        case HeaderCharset::Iso2022Jp:
            if (Jis0208JisFormPointer(cp) >= 0) return Kind::Jis;
            break;
        case HeaderCharset::Utf8:
            break;
    }
    return Kind::Utf8;
}

std::size_t Base64Length(std::size_t bytes) { return (bytes + 2) / 3 * 4; }

// Collects the words of one value and enforces the length limits.
class WordWriter {
public:
    explicit WordWriter(std::size_t column)
        : firstLimit_(std::clamp<std::size_t>(kMaxLine > column ? kMaxLine - column : 0, 24,
                                              kMaxWord)) {}

    std::size_t Limit() const { return words_ == 0 ? firstLimit_ : kMaxWord; }

    void Emit(std::string_view prefix, std::string_view raw) {
        if (words_++ > 0) out_ += "\r\n ";
        out_ += prefix;
        out_ += Base64Encode(raw);
        out_ += kSuffix;
    }

    std::string Take() { return std::move(out_); }

private:
    std::size_t firstLimit_;
    std::size_t words_ = 0;
    std::string out_;
};

// The ISO-2022-JP bytes of one character after a word in state jis (ASCII, Roman
// or JIS X 0208); updates the state.
enum class IsoSet { Ascii, Roman, Jis0208 };

void AppendIso(char32_t cp, IsoSet& set, std::string& out) {
    auto to = [&](IsoSet want, std::string_view escape) {
        if (set != want) out += escape;
        set = want;
    };
    if (cp < 0x80) {
        to(IsoSet::Ascii, "\x1b(B");
        out += static_cast<char>(cp);
    } else if (cp == 0x00A5 || cp == 0x203E) {
        to(IsoSet::Roman, "\x1b(J");
        out += cp == 0x00A5 ? '\x5c' : '\x7e';
    } else {
        const int pointer = IsoJisPointer(cp);
        to(IsoSet::Jis0208, "\x1b$B");
        out += static_cast<char>(0x21 + pointer / kJisCells);
        out += static_cast<char>(0x21 + pointer % kJisCells);
    }
}

void WriteIsoRun(std::u32string_view run, WordWriter& writer) {
    std::string word;
    IsoSet set = IsoSet::Ascii;
    auto fits = [&](const std::string& raw, IsoSet state) {
        const std::size_t closing = state == IsoSet::Ascii ? 0 : 3;
        return kIsoPrefix.size() + Base64Length(raw.size() + closing) + kSuffix.size() <=
               writer.Limit();
    };
    auto flush = [&] {
        if (set != IsoSet::Ascii) word += "\x1b(B";
        writer.Emit(kIsoPrefix, word);
        word.clear();
        set = IsoSet::Ascii;
    };
    for (char32_t cp : run) {
        std::string candidate = word;
        IsoSet next = set;
        AppendIso(cp, next, candidate);
        if (!word.empty() && !fits(candidate, next)) {
            flush();
            candidate.clear();
            next = IsoSet::Ascii;
            AppendIso(cp, next, candidate);
        }
        word = std::move(candidate);
        set = next;
    }
    if (!word.empty()) flush();
}

void WriteUtf8Run(std::u32string_view run, WordWriter& writer) {
    std::string word;
    for (char32_t cp : run) {
        std::string bytes;
        AppendUtf8(bytes, cp);
        if (!word.empty() && kUtf8Prefix.size() + Base64Length(word.size() + bytes.size()) +
                                     kSuffix.size() >
                                 writer.Limit()) {
            writer.Emit(kUtf8Prefix, word);
            word.clear();
        }
        word += bytes;
    }
    if (!word.empty()) writer.Emit(kUtf8Prefix, word);
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve(Base64Length(bytes.size()));
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                           static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string EncodeMimeHeader(std::u32string_view input, std::size_t column, bool alwaysWords,
                             HeaderCharset charset) {
    const bool plain = !alwaysWords && std::all_of(input.begin(), input.end(), [](char32_t cp) {
        return (cp >= 0x20 && cp < 0x7F) || cp == '\t';
    });
    if (plain) return std::string(input.begin(), input.end());

    std::u32string text;
    if (charset == HeaderCharset::Iso2022JpWindows) {
        HalfWidthKanaFolder folder;
        folder.Fold(input, text);
        folder.Finish(text);
    } else {
        text = input;
    }

    // ASCII fits either kind of word; it joins the run before it (or, at the
    // start, the first run), so a value splits only where the set must change.
    std::vector<Kind> kinds(text.size());
    Kind current = Kind::Neutral;
    for (std::size_t i = 0; i < text.size(); ++i) {
        kinds[i] = KindOf(text[i], charset);
        if (kinds[i] == Kind::Neutral) {
            kinds[i] = current;
        } else {
            current = kinds[i];
        }
    }
    Kind first = charset == HeaderCharset::Utf8 ? Kind::Utf8 : Kind::Jis;
    auto found = std::find_if(kinds.begin(), kinds.end(), [](Kind k) { return k != Kind::Neutral; });
    if (found != kinds.end()) first = *found;
    std::replace(kinds.begin(), kinds.end(), Kind::Neutral, first);

    WordWriter writer(column);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size() && kinds[end] == kinds[start]) ++end;
        const std::u32string_view run(text.data() + start, end - start);
        if (kinds[start] == Kind::Jis) {
            WriteIsoRun(run, writer);
        } else {
            WriteUtf8Run(run, writer);
        }
        start = end;
    }
    return writer.Take();
}
