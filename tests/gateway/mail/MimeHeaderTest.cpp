#include "KanjiConverter.h"
#include "MimeHeader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Base64Decode(std::string_view text) {
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        int v;
        if (c >= 'A' && c <= 'Z') v = c - 'A';
        else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
        else if (c >= '0' && c <= '9') v = c - '0' + 52;
        else if (c == '+') v = 62;
        else if (c == '/') v = 63;
        else break;
        buffer = (buffer << 6) | v;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return out;
}

struct Word {
    std::string charset;
    std::string bytes;
    std::size_t length;
};

// Splits a folded value into its encoded-words, checking the folding on the way.
std::vector<Word> SplitWords(const std::string& value) {
    std::vector<Word> words;
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find("\r\n ", start);
        if (end == std::string::npos) end = value.size();
        const std::string word = value.substr(start, end - start);
        EXPECT_TRUE(word.starts_with("=?") && word.ends_with("?=")) << word;
        const std::size_t q = word.find("?B?");
        EXPECT_NE(q, std::string::npos) << word;
        words.push_back({word.substr(2, q - 2), Base64Decode(word.substr(q + 3, word.size() - q - 5)),
                         word.size()});
        start = end + 3;
    }
    return words;
}

// Each word decoded on its own, as a reader does.
std::string DecodeWords(const std::vector<Word>& words) {
    std::string text;
    for (const Word& w : words) text += w.charset == "UTF-8" ? w.bytes : ConvertTextWith("-Jw", w.bytes);
    return text;
}

TEST(MimeHeader, PrintableAsciiStaysAsItIs) {
    for (const char* value : {"", "Hello World", "Re: [news] 100% =?not?= encoded", "a\tb"}) {
        EXPECT_EQ(EncodeHeaderValue(value, 9), value);
        EXPECT_EQ(ConvertTextWith("-WM", value), value);
    }
}

TEST(MimeHeader, JapaneseBecomesOneIso2022JpWord) {
    EXPECT_EQ(EncodeHeaderValue("日本語", 6), "=?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=");
    EXPECT_EQ(ConvertTextWith("-SM", "\x93\xfa\x96\x7b\x8c\xea"),
              "=?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=");
}

struct RoundTrip {
    std::string value;
    std::string decoded;
    bool needsUtf8;
};

TEST(MimeHeader, WordsAreShortSelfContainedAndDecodeToTheOriginal) {
    const std::string longJapanese =
        "吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何でも薄暗いじめじめした所で"
        "ニャーニャー泣いていた事だけは記憶している。";
    const std::vector<RoundTrip> cases = {
        {longJapanese, longJapanese, false},
        {"News: 東京 weather ①②③ 纊", "News: 東京 weather ①②③ 纊", false},
        {"ﾊﾟｿｺﾝ ｶﾞｲﾄﾞ", "パソコン ガイド", false},
        {"Café au lait 東京", "Café au lait 東京", true},
        {"絵文字😀と한국어のまじった見出し", "絵文字😀と한국어のまじった見出し", true},
        {std::string(100, 'x') + "é", std::string(100, 'x') + "é", true},
        {"a\x1b" "b", "a\x1b" "b", true},
        {"bad \xff byte", "bad \xef\xbf\xbd byte", true},
    };
    for (const RoundTrip& c : cases) {
        for (std::size_t column : {0u, 9u, 40u}) {
            const std::string value = EncodeHeaderValue(c.value, column);
            for (char ch : value) EXPECT_LT(static_cast<unsigned char>(ch), 0x80);
            const std::vector<Word> words = SplitWords(value);
            bool usedUtf8 = false;
            for (std::size_t i = 0; i < words.size(); ++i) {
                const Word& w = words[i];
                EXPECT_LE(w.length, 75u);
                if (i == 0) {
                    EXPECT_LE(column + w.length, std::max<std::size_t>(76, column + 24));
                }
                if (w.charset == "UTF-8") {
                    usedUtf8 = true;
                    // A word never ends inside a UTF-8 character.
                    EXPECT_EQ(ConvertTextWith("-Ww", w.bytes), w.bytes);
                } else {
                    ASSERT_EQ(w.charset, "ISO-2022-JP");
                    const std::size_t esc = w.bytes.rfind('\x1b');
                    if (esc != std::string::npos) {
                        EXPECT_EQ(w.bytes.substr(esc, 3), "\x1b(B") << c.value;
                    }
                }
            }
            EXPECT_EQ(DecodeWords(words), c.decoded) << value;
            EXPECT_EQ(usedUtf8, c.needsUtf8) << value;
        }
    }
}

TEST(MimeHeader, EachMessageCharsetPutsTheCharactersInItsOwnWords) {
    struct CharsetCase {
        HeaderCharset charset;
        std::string value;
        std::vector<std::string> charsets;  // of the words, in order
        std::string decoded;
    };
    const CharsetCase cases[] = {
        // The iso-2022-jp setting: the Windows rows in ISO-2022-JP, half-width kana made full-width.
        {HeaderCharset::Iso2022JpWindows, "東京① ｶﾅ", {"ISO-2022-JP"}, "東京① カナ"},
        {HeaderCharset::Iso2022JpWindows, "東京😀", {"ISO-2022-JP", "UTF-8"}, "東京😀"},
        // A message in ISO-2022-JP: JIS X 0208 itself only.
        {HeaderCharset::Iso2022Jp, "東京 晴れ", {"ISO-2022-JP"}, "東京 晴れ"},
        {HeaderCharset::Iso2022Jp, "東京①", {"ISO-2022-JP", "UTF-8"}, "東京①"},
        {HeaderCharset::Iso2022Jp, "ｶﾅ", {"UTF-8"}, "ｶﾅ"},
        // A message in UTF-8: UTF-8 words only, the text as it is.
        {HeaderCharset::Utf8, "東京① ｶﾅ", {"UTF-8"}, "東京① ｶﾅ"},
        {HeaderCharset::Utf8, "Новости — обзор", {"UTF-8"}, "Новости — обзор"},
    };
    for (const CharsetCase& c : cases) {
        const std::string value = EncodeHeaderValue(c.value, 9, c.charset);
        const std::vector<Word> words = SplitWords(value);
        std::vector<std::string> charsets;
        for (const Word& w : words) charsets.push_back(w.charset);
        EXPECT_EQ(charsets, c.charsets) << value;
        EXPECT_EQ(DecodeWords(words), c.decoded) << value;
    }
    // ASCII that must not be read as a word is one word of the message's charset.
    EXPECT_EQ(EncodeHeaderWords("=?x?=", 9, HeaderCharset::Utf8), "=?UTF-8?B?PT94Pz0=?=");
    EXPECT_EQ(EncodeHeaderWords("=?x?=", 9, HeaderCharset::Iso2022Jp), "=?ISO-2022-JP?B?PT94Pz0=?=");
}

TEST(MimeHeader, AStreamEncodesTheWholeValueAtFinish) {
    KanjiStream stream("-WM");
    EXPECT_EQ(stream.Convert("日"), "");
    EXPECT_EQ(stream.Convert("本語"), "");
    EXPECT_EQ(stream.Finish(), "=?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=");
}

TEST(MimeHeader, Base64PadsTheLastGroup) {
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Encode("f"), "Zg==");
    EXPECT_EQ(Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(Base64Encode("foo"), "Zm9v");
    EXPECT_EQ(Base64Encode("\xff\xfe\xfd\xfc"), "//79/A==");
}

}  // namespace
