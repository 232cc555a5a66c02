#include "MailData.h"

#include "KanjiConverter.h"
#include "MailHeaders.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr const char* kAddress = "0123456789ab@quillo.invalid";

MailData MakeMail(bool htmlEnabled, std::string_view sender, std::string_view subject,
                  std::string_view link, MailCharset charset = MailCharset::Auto) {
    MailData mail(htmlEnabled, charset);
    mail.SetSender(sender);
    mail.SetSenderAddress(kAddress);
    mail.SetUid("1234567890");
    mail.SetSubject(subject);
    mail.SetLink(link);
    mail.SetDate("Wed, 01 Jun 2005 12:34:56 GMT");
    return mail;
}

TEST(MailData, ComposesAPlainAsciiMessage) {
    MailData mail = MakeMail(false, "Example Feed", "Hello World", "http://example.com/1");
    mail.AddBody("First line\nSecond line", false);
    EXPECT_EQ(mail.GetText(),
              "From: Example Feed <0123456789ab@quillo.invalid>\r\n"
              "Subject: Hello World\r\n"
              "Date: Wed, 01 Jun 2005 12:34:56 +0000\r\n"
              "Message-ID: <1234567890@quillo.invalid>\r\n"
              "Mime-Version: 1.0\r\n"
              "Content-Transfer-Encoding: 7bit\r\n"
              "Content-Type: Text/Plain; charset=utf-8\r\n"
              "\r\n"
              "link: http://example.com/1\r\n"
              "\r\n"
              "First line\r\n"
              "Second line\r\n");
}

TEST(MailData, ComposesAJapaneseMessage) {
    MailData mail = MakeMail(false, "日本語", "東京", "http://example.jp/");
    mail.AddBody("晴れ", false);
    EXPECT_EQ(mail.GetText(),
              "From: =?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?= <0123456789ab@quillo.invalid>\r\n"
              "Subject: =?ISO-2022-JP?B?GyRCRWw1fhsoQg==?=\r\n"
              "Date: Wed, 01 Jun 2005 12:34:56 +0000\r\n"
              "Message-ID: <1234567890@quillo.invalid>\r\n"
              "Mime-Version: 1.0\r\n"
              "Content-Transfer-Encoding: 7bit\r\n"
              "Content-Type: Text/Plain; charset=iso-2022-jp\r\n"
              "\r\n"
              "link: http://example.jp/\r\n"
              "\r\n"
              "\x1b$B@2$l\x1b(B\r\n");
}

TEST(MailData, Iso2022JpSettingKeepsTheNecAndIbmRowsInIso2022Jp) {
    MailData mail = MakeMail(false, "日本語", "東京①", "http://example.jp/", MailCharset::Iso2022Jp);
    mail.AddBody("晴れ①", false);
    const std::string& text = mail.GetText();
    EXPECT_NE(text.find("Subject: =?ISO-2022-JP?B?GyRCRWw1fi0hGyhC?=\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("charset=iso-2022-jp\r\n\r\nlink: http://example.jp/\r\n\r\n\x1b$B@2$l-!\x1b(B\r\n"),
              std::string::npos) << text;
}

TEST(MailData, HtmlMailIsMultipartAlternativeOfTheTextAndTheHtml) {
    MailData mail = MakeMail(true, "Feed", "Title", "http://example.com/a");
    mail.AddBody("<p>Hello<br>World</p>", true);
    EXPECT_EQ(mail.GetText(),
              "From: Feed <0123456789ab@quillo.invalid>\r\n"
              "Subject: Title\r\n"
              "Date: Wed, 01 Jun 2005 12:34:56 +0000\r\n"
              "Message-ID: <1234567890@quillo.invalid>\r\n"
              "Mime-Version: 1.0\r\n"
              "Content-Transfer-Encoding: 7bit\r\n"
              "Content-Type: multipart/alternative; boundary=\"=_quillo_alternative_0\"\r\n"
              "\r\n"
              "--=_quillo_alternative_0\r\n"
              "Content-Type: text/plain; charset=utf-8\r\n"
              "Content-Transfer-Encoding: 7bit\r\n"
              "\r\n"
              "link: http://example.com/a\r\n"
              "\r\n"
              "Hello\r\n"
              "World\r\n"
              "\r\n"
              "--=_quillo_alternative_0\r\n"
              "Content-Type: text/html; charset=utf-8\r\n"
              "Content-Transfer-Encoding: 7bit\r\n"
              "\r\n"
              "link: <a href=\"http://example.com/a\">http://example.com/a</a><br><br>\r\n"
              "\r\n"
              "<p>Hello<br>World</p>\r\n"
              "\r\n"
              "--=_quillo_alternative_0--\r\n");
}

TEST(MailData, HtmlPartIsCleanedOfWhatRunsOrReachesOut) {
    MailData mail = MakeMail(true, "F", "S", "javascript:alert(1)", MailCharset::Iso2022Jp);
    mail.AddBody("<p onclick=\"steal()\" class=k>Cafe&nbsp;<a href=\"javascript:x()\">j</a>"
                 "<a href=\"http://ok/\" onmouseover=\"x()\">ok</a></p><script>s()</script>"
                 "<style>p{}</style><iframe src=\"http://i/\"></iframe><form action=\"http://f/\">"
                 "<input></form><object data=\"http://o/\"></object>end", true);
    mail.AddBody("\n<plain> & text", false);
    const std::string& text = mail.GetText();
    const std::string html = text.substr(text.find("Content-Type: text/html"));
    for (const char* gone : {"onclick", "steal", "javascript:x", "<script", "s()", "<style", "iframe",
                             "<form", "http://f/", "<object", "http://o/", "onmouseover"})
        EXPECT_EQ(html.find(gone), std::string::npos) << gone << "\n" << html;
    // In ISO-2022-JP the HTML writes what the set lacks as references.
    EXPECT_NE(html.find("charset=iso-2022-jp"), std::string::npos);
    EXPECT_NE(html.find("link: javascript:alert(1)<br><br>"), std::string::npos) << html;
    EXPECT_NE(html.find("<p>Cafe&#160;<a>j</a><a href=\"http://ok/\">ok</a></p>end"),
              std::string::npos) << html;
    EXPECT_NE(html.find("<br>\r\n&lt;plain&gt; &amp; text"), std::string::npos) << html;
}

TEST(MailData, EmptyFieldsGiveEmptyValues) {
    // Without an address the sender's hash stands in, here that of ""; without a uid
    // there is no Message-ID.
    MailData mail(false);
    mail.SetDate("Wed, 01 Jun 2005 12:34:56 GMT");
    EXPECT_EQ(mail.GetText(),
              "From: <cbf29ce48422@quillo.invalid>\r\n"
              "Subject: \r\n"
              "Date: Wed, 01 Jun 2005 12:34:56 +0000\r\n"
              "Mime-Version: 1.0\r\n"
              "Content-Transfer-Encoding: 7bit\r\n"
              "Content-Type: Text/Plain; charset=utf-8\r\n"
              "\r\n"
              "link: \r\n"
              "\r\n"
              "\r\n");
}

TEST(MailData, HtmlPieceIsReducedToPlainTextWhenHtmlIsOff) {
    MailData mail = MakeMail(false, "F", "S", "L");
    mail.AddBody("<p>Hello<br>World</p>", true);
    const std::string& text = mail.GetText();
    EXPECT_NE(text.find("Content-Type: Text/Plain; charset=utf-8\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nlink: L\r\n\r\nHello\r\nWorld\r\n"), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with("World\r\n"));
}

TEST(MailData, HtmlEnabledWithoutHtmlPiecesStaysPlainText) {
    MailData mail = MakeMail(true, "F", "S", "L");
    mail.AddBody("just text", false);
    const std::string& text = mail.GetText();
    EXPECT_NE(text.find("Content-Type: Text/Plain; charset=utf-8\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n\r\nlink: L\r\n\r\njust text\r\n"), std::string::npos);
}

TEST(MailData, PiecesStandOneDirectlyAfterTheOther) {
    MailData mail = MakeMail(false, "F", "S", "L");
    mail.AddBody("text node ", false);
    mail.AddBody("東", false);
    mail.AddBody("京", false);
    // The body is converted as one text, so the pieces share one JIS run.
    EXPECT_NE(mail.GetText().find("\r\n\r\ntext node \x1b$BEl5~\x1b(B\r\n"),
              std::string::npos);
}

TEST(MailData, HeaderValuesNeverCarryLineBreaksOrTabs) {
    MailData mail = MakeMail(false, "Feed\r\n  Title", "Line one\n\n\tline two\r", "L");
    mail.SetDate("Wed, 01 Jun 2005\n 12:34:56 GMT");
    const std::string& text = mail.GetText();
    EXPECT_EQ(text.substr(0, text.find("Message-ID")),
              "From: Feed   Title <0123456789ab@quillo.invalid>\r\n"
              "Subject: Line one line two \r\n"
              "Date: Wed, 01 Jun 2005 12:34:56 +0000\r\n");
    // The stored field keeps what the feed gave.
    EXPECT_EQ(mail.GetSubject(), "Line one\n\n\tline two\r");
}

TEST(MailData, BodyLinesEndInCrLfAndLeadingDotsStayForTheServerToStuff) {
    MailData mail = MakeMail(false, "F", "S", "L");
    mail.AddBody(".\n.NET\rmiddle . dot\r\n..two\n\nlast.", false);
    const std::string& text = mail.GetText();
    EXPECT_TRUE(text.ends_with("\r\n\r\n.\r\n.NET\r\nmiddle . dot\r\n..two\r\n\r\nlast.\r\n")) << text;
    EXPECT_EQ(LinesBeginningWithDot(text), 3u);
    EXPECT_EQ(LinesBeginningWithDot(".a\r\n.\r\nb.\r\n"), 2u);
}

TEST(MailData, TextIsComposedOnce) {
    MailData mail = MakeMail(false, "日本語のフィード", "題名", "http://example.jp/");
    mail.AddBody("本文です。\n二行目", false);
    const std::string first = mail.GetText();
    mail.SetSubject("changed later");
    EXPECT_EQ(mail.GetText(), first);
    EXPECT_EQ(&mail.GetText(), &mail.GetText());
}

TEST(MailData, EveryByteOfTheMessageIsSevenBitInEitherCharset) {
    for (MailCharset charset : {MailCharset::Auto, MailCharset::Iso2022Jp}) {
        MailData mail = MakeMail(true, "Café ｶﾌｪ", "😀 émoji 絵文字", "http://例え.jp/パス", charset);
        mail.AddBody("<b>é</b> ①纊 \xff", true);
        for (char c : mail.GetText()) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
    }
}

TEST(MailData, AutoCharsetIsIso2022JpForJapaneseThatJisX0208Holds) {
    MailData mail = MakeMail(false, "パソコン情報", "高橋さん 〜「株」", "http://example.jp/");
    mail.AddBody("<p>漢字とかな、ＡＢＣ &amp; ― ￥500 ∵</p>", true);
    const std::string& text = mail.GetText();
    EXPECT_NE(text.find("Content-Transfer-Encoding: 7bit\r\nContent-Type: Text/Plain; charset=iso-2022-jp\r\n"),
              std::string::npos) << text;
    EXPECT_EQ(text.find("UTF-8"), std::string::npos) << text;
    EXPECT_EQ(ConvertTextWith("-Jw", text.substr(text.find("\r\n\r\n") + 4)),
              "link: http://example.jp/\r\n\r\n漢字とかな、ＡＢＣ & ― ￥500 ∵\r\n");
}

TEST(MailData, AutoCharsetIsUtf8WhatEveryReaderCannotReadInIso2022Jp) {
    struct Case {
        const char* why;
        const char* subject;
        const char* body;
    };
    const Case cases[] = {
        {"NEC row 13", "第Ⅲ期", "①②"},
        {"NEC row 13 in the subject only", "㈱の記事", "本文"},
        {"IBM extension kanji", "髙橋さん", "﨑"},
        {"half-width katakana", "ｶﾀｶﾅ", "かな"},
        {"Windows form of the wave dash", "〜", "～"},
        {"em dash, which JIS holds only as the horizontal bar", "かな", "—"},
        {"yen sign of JIS X 0201", "かな", "¥500"},
        {"only Cyrillic", "Новости", "Только кириллица — и тире."},
        {"only Greek", "Ειδήσεις", "αβγ"},
        {"only ASCII", "News", "text"},
        {"emoji beside kana", "かな", "😀"},
    };
    for (const Case& c : cases) {
        MailData mail = MakeMail(false, "F", c.subject, "L");
        mail.AddBody(c.body, false);
        const std::string& text = mail.GetText();
        EXPECT_NE(text.find("Content-Type: Text/Plain; charset=utf-8\r\n"), std::string::npos) << c.why << "\n" << text;
        EXPECT_EQ(text.find("ISO-2022-JP"), std::string::npos) << c.why << "\n" << text;
        EXPECT_EQ(text.find('\x1b'), std::string::npos) << c.why;
    }
}

TEST(MailData, AutoCharsetIsUtf8WhenAnyCharacterFallsOutsideIso2022Jp) {
    struct Case {
        const char* sender;
        const char* subject;
        const char* body;
        const char* encoding;
        const char* encoded;
    };
    const Case cases[] = {
        // Mostly ASCII reads best as quoted-printable, mostly other letters as base64.
        {"F", "S", "Café crème, a French coffee with cream", "quoted-printable", "Caf=C3=A9 cr=C3=A8me, a"},
        {"F", "😀", "東京", "base64", "bGluazogTA0KDQrmnbHkuqwNCg=="},
        {"Café", "S", "x", "7bit", "link: L\r\n\r\nx\r\n"},
    };
    for (const Case& c : cases) {
        MailData mail = MakeMail(false, c.sender, c.subject, "L");
        mail.AddBody(c.body, false);
        const std::string& text = mail.GetText();
        EXPECT_NE(text.find("Content-Transfer-Encoding: " + std::string(c.encoding) +
                            "\r\nContent-Type: Text/Plain; charset=utf-8\r\n"),
                  std::string::npos) << text;
        EXPECT_NE(text.find(c.encoded), std::string::npos) << text;
        EXPECT_EQ(text.find("&#"), std::string::npos) << text;
    }
}

TEST(MailData, Iso2022JpSettingKeepsTheCharsetAndWritesReferences) {
    MailData mail = MakeMail(false, "Café", "S", "L", MailCharset::Iso2022Jp);
    mail.AddBody("Caf&eacute; 😀", true);
    const std::string& text = mail.GetText();
    EXPECT_NE(text.find("Content-Transfer-Encoding: 7bit\r\nContent-Type: Text/Plain; charset=iso-2022-jp\r\n"),
              std::string::npos) << text;
    EXPECT_NE(text.find("\r\nCaf&#233; &#128512;\r\n"), std::string::npos) << text;
}

TEST(MailData, ABodyLineTooLongForTransportIsQuotedPrintableNotCut) {
    const std::string link = "http://example.com/" + std::string(3000, 'a');
    MailData mail = MakeMail(false, "F", "S", link);
    mail.AddBody("東京", false);
    const std::string& text = mail.GetText();
    EXPECT_NE(text.find("Content-Transfer-Encoding: quoted-printable\r\nContent-Type: Text/Plain; charset=iso-2022-jp"),
              std::string::npos);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        EXPECT_LE(end - start, 76u);
        start = end + 2;
    }
    // Quoted-printable read back: soft breaks joined, =XX decoded.
    std::string joined;
    const std::string body = text.substr(text.find("\r\n\r\n") + 4);
    for (std::size_t at = 0; at < body.size();) {
        const std::size_t end = body.find("\r\n", at);
        std::string line = body.substr(at, end - at);
        const bool soft = line.ends_with('=');
        if (soft) line.pop_back();
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '=' && i + 2 < line.size() + 1) {
                joined += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                joined += line[i];
            }
        }
        if (!soft) joined += '\n';
        at = end + 2;
    }
    EXPECT_EQ(joined, "link: " + link + "\n\n\x1b$BEl5~\x1b(B\n");
}

TEST(MailData, LongSubjectIsFoldedIntoShortLines) {
    const std::string subject =
        "これはとても長い件名で、ひとつの符号化語には収まりきらないので、いくつもの語に分けて折り返されます";
    MailData mail = MakeMail(false, "F", subject, "L");
    const std::string& text = mail.GetText();
    const std::string header = text.substr(0, text.find("\r\n\r\n") + 2);
    std::size_t start = 0;
    int continued = 0;
    while (start < header.size()) {
        const std::size_t end = header.find("\r\n", start);
        const std::string line = header.substr(start, end - start);
        EXPECT_LE(line.size(), 76u) << line;
        if (line.starts_with(" =?ISO-2022-JP?B?")) ++continued;
        start = end + 2;
    }
    EXPECT_GE(continued, 2);
}

TEST(MailData, FromIsTheTitleAsDisplayNameAndOneAddress) {
    struct Case {
        const char* title;
        const char* from;
    };
    const Case cases[] = {
        {"Example Feed", "From: Example Feed <0123456789ab@quillo.invalid>\r\n"},
        {"Tech notes (Atom demo)", "From: \"Tech notes (Atom demo)\" <0123456789ab@quillo.invalid>\r\n"},
        {"Wellness: Health, Fitness, Nutrition & More - The Washington Post",
         "From: \"Wellness: Health, Fitness, Nutrition & More - The Washington Post\"\r\n"
         " <0123456789ab@quillo.invalid>\r\n"},
        {" say \"hi\" \\ bye ", "From: \"say \\\"hi\\\" \\\\ bye\" <0123456789ab@quillo.invalid>\r\n"},
        {"=?UTF-8?B?SGk=?=", "From: =?UTF-8?B?PT9VVEYtOD9CP1NHaz0/PQ==?= <0123456789ab@quillo.invalid>\r\n"},
        {"", "From: <0123456789ab@quillo.invalid>\r\n"},
    };
    for (const Case& c : cases) {
        MailData mail = MakeMail(false, c.title, "S", "L");
        const std::string& text = mail.GetText();
        EXPECT_EQ(text.substr(0, text.find("Subject: ")), c.from) << c.title;
    }
}

TEST(MailData, NoControlCharacterButTabCrAndLfReachesTheMessage) {
    static constexpr char kControls[] = "NUL\0 VT\v FF\f ESC\x1b SO\x0e DEL\x7f C1\xc2\x85\xc2\x9f";
    const std::string controls(kControls, sizeof kControls - 1);
    for (MailCharset charset : {MailCharset::Auto, MailCharset::Iso2022Jp}) {
        for (bool html : {false, true}) {
            MailData mail = MakeMail(html, "Feed" + controls, "Title" + controls, "http://example.com/" + controls,
                                     charset);
            mail.AddBody("Body\tTAB" + controls + "\r\nline", false);
            mail.AddBody("<p>Html" + controls + "&#1;&#x0b;&#127;&#x85;<a href=\"http://x/&#1;\">a</a></p>", true);
            const std::string& text = mail.GetText();
            for (std::size_t i = 0; i < text.size(); ++i) {
                const auto b = static_cast<unsigned char>(text[i]);
                // ESC only as ISO-2022-JP's own shifts, which a reader never shows.
                if (b == 0x1b) {
                    const std::string_view shift = std::string_view(text).substr(i, 3);
                    EXPECT_TRUE(shift == "\x1b$B" || shift == "\x1b(B" || shift == "\x1b(J") << i << "\n" << text;
                    continue;
                }
                EXPECT_TRUE(b >= 0x20 || b == '\t' || b == '\r' || b == '\n') << static_cast<int>(b) << "\n" << text;
                EXPECT_NE(b, 0x7f) << text;
            }
            // Nor as references or encoded bytes: the text reads as if they had never been there.
            EXPECT_EQ(text.find("&#"), std::string::npos) << text;
            EXPECT_NE(text.find("NUL VT FF ESC SO DEL C1"), std::string::npos) << text;
        }
    }
}

TEST(MailData, MessageIdIsTheUidAtQuilloInvalid) {
    MailData mail = MakeMail(false, "F", "S", "L");
    mail.SetUid("0213098820285661683207762453409017836742");
    const std::string& text = mail.GetText();
    EXPECT_NE(text.find("\r\nMessage-ID: <0213098820285661683207762453409017836742@quillo.invalid>\r\n"),
              std::string::npos) << text;
}

TEST(MailHeaders, AsciiIsFoldedAtBlanksAndWhatCannotFoldIsEncoded) {
    const std::string words = "A subject of many short words that goes on well past the fold column of a line";
    EXPECT_EQ(UnstructuredField("Subject", words),
              "Subject: A subject of many short words that goes on well past the fold column\r\n"
              " of a line\r\n");
    EXPECT_EQ(UnstructuredField("Subject", "Re: [news] 100% =?not?= encoded"),
              "Subject: =?ISO-2022-JP?B?UmU6IFtuZXdzXSAxMDAlID0/bm90Pz0gZW5jb2RlZA==?=\r\n");
    // One unbroken run past the hard limit can only be split as encoded-words.
    const std::string field = UnstructuredField("Subject", std::string(1200, 'x'));
    EXPECT_TRUE(field.starts_with("Subject: =?ISO-2022-JP?B?")) << field;
    // A run longer than a line but within the limit stays on a long line of its own.
    const std::string url = "see " + std::string(200, 'u') + " now";
    EXPECT_EQ(UnstructuredField("Subject", url), "Subject: see\r\n " + std::string(200, 'u') + "\r\n now\r\n");
    for (const std::string& value : {words, std::string(1200, 'x'), url}) {
        const std::string folded = UnstructuredField("Subject", value);
        for (std::size_t at = 0, end; (end = folded.find("\r\n", at)) != std::string::npos; at = end + 2)
            EXPECT_LE(end - at, 998u);
    }
}

TEST(MailHeaders, SenderAddressIsAFixedHashOfTheFeedFolder) {
    // FNV-1a 64 of "" and of "a" (published test vectors), so the address never moves.
    EXPECT_EQ(Fnv1a64(""), 0xcbf29ce484222325ULL);
    EXPECT_EQ(Fnv1a64("a"), 0xaf63dc4c8601ec8cULL);
    EXPECT_EQ(FeedSenderAddress("a"), "af63dc4c8601@quillo.invalid");
    EXPECT_NE(FeedSenderAddress("example.com-feed.xml"), FeedSenderAddress("example.com-feed2.xml"));
}

}  // namespace
