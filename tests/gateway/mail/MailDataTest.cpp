#include "MailData.h"

#include "HtmlText.h"
#include "KanjiConverter.h"

#include <gtest/gtest.h>

#include <string>

namespace {

MailData MakeMail(bool htmlEnabled, std::string_view sender, std::string_view subject,
                  std::string_view link) {
    MailData mail(htmlEnabled);
    mail.SetSender(sender);
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
              "From: Example Feed\r\n"
              "Subject: Hello World\r\n"
              "Date: Wed, 01 Jun 2005 12:34:56 GMT\r\n"
              "Message-ID: <1234567890>\r\n"
              "Mime-Version: 1.0\r\n"
              "Content-Transfer-Encoding: 7bit\r\n"
              "Content-Type: Text/Plain; charset=iso-2022-jp\r\n"
              "\r\n"
              "link: http://example.com/1\r\n"
              "\r\n"
              "First line\r\n"
              "Second line\r\n"
              ".\r\n");
}

TEST(MailData, ComposesAJapaneseMessage) {
    MailData mail = MakeMail(false, "日本語", "東京", "http://example.jp/");
    mail.AddBody("晴れ①", false);
    EXPECT_EQ(mail.GetText(),
              "From: =?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=\r\n"
              "Subject: =?ISO-2022-JP?B?GyRCRWw1fhsoQg==?=\r\n"
              "Date: Wed, 01 Jun 2005 12:34:56 GMT\r\n"
              "Message-ID: <1234567890>\r\n"
              "Mime-Version: 1.0\r\n"
              "Content-Transfer-Encoding: 7bit\r\n"
              "Content-Type: Text/Plain; charset=iso-2022-jp\r\n"
              "\r\n"
              "link: http://example.jp/\r\n"
              "\r\n"
              "\x1b$B@2$l-!\x1b(B\r\n"
              ".\r\n");
}

TEST(MailData, ComposesAnHtmlMessageWithTheAnchorLinkLine) {
    MailData mail = MakeMail(true, "Feed", "Title", "http://example.com/a");
    mail.AddBody("<p>Hello<br>World</p>", true);
    EXPECT_EQ(mail.GetText(),
              "From: Feed\r\n"
              "Subject: Title\r\n"
              "Date: Wed, 01 Jun 2005 12:34:56 GMT\r\n"
              "Message-ID: <1234567890>\r\n"
              "Mime-Version: 1.0\r\n"
              "Content-Transfer-Encoding: 7bit\r\n"
              "Content-Type: text/html; charset=iso-2022-jp\r\n"
              "\r\n"
              "link: <a href=\"http://example.com/a\">http://example.com/a</a><br><br>\r\n"
              "\r\n"
              "<p>Hello<br>World</p>\r\n"
              ".\r\n");
}

TEST(MailData, EmptyFieldsGiveEmptyValues) {
    MailData mail(false);
    mail.SetDate("Wed, 01 Jun 2005 12:34:56 GMT");
    EXPECT_EQ(mail.GetText(),
              "From: \r\n"
              "Subject: \r\n"
              "Date: Wed, 01 Jun 2005 12:34:56 GMT\r\n"
              "Message-ID: <>\r\n"
              "Mime-Version: 1.0\r\n"
              "Content-Transfer-Encoding: 7bit\r\n"
              "Content-Type: Text/Plain; charset=iso-2022-jp\r\n"
              "\r\n"
              "link: \r\n"
              "\r\n"
              "\r\n"
              ".\r\n");
}

TEST(MailData, HtmlPieceIsReducedToPlainTextWhenHtmlIsOff) {
    MailData mail = MakeMail(false, "F", "S", "L");
    mail.AddBody("<p>Hello<br>World</p>", true);
    const std::string& text = mail.GetText();
    EXPECT_NE(text.find("Content-Type: Text/Plain; charset=iso-2022-jp\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nlink: L\r\n\r\n\r\nHello\r\nWorld\r\n.\r\n"), std::string::npos) << text;
}

TEST(MailData, HtmlEnabledWithoutHtmlPiecesStaysPlainText) {
    MailData mail = MakeMail(true, "F", "S", "L");
    mail.AddBody("just text", false);
    const std::string& text = mail.GetText();
    EXPECT_NE(text.find("Content-Type: Text/Plain; charset=iso-2022-jp\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n\r\nlink: L\r\n\r\njust text\r\n.\r\n"), std::string::npos);
}

TEST(MailData, PiecesStandOneDirectlyAfterTheOther) {
    MailData mail = MakeMail(false, "F", "S", "L");
    mail.AddBody("text node ", false);
    mail.AddBody("東", false);
    mail.AddBody("京", false);
    EXPECT_NE(mail.GetText().find("\r\n\r\ntext node \x1b$BEl\x1b(B\x1b$B5~\x1b(B\r\n.\r\n"),
              std::string::npos);
}

TEST(MailData, HeaderValuesNeverCarryLineBreaksOrTabs) {
    MailData mail = MakeMail(false, "Feed\r\n  Title", "Line one\n\n\tline two\r", "L");
    mail.SetDate("Wed, 01 Jun 2005\n 12:34:56 GMT");
    const std::string& text = mail.GetText();
    EXPECT_EQ(text.substr(0, text.find("Message-ID")),
              "From: Feed   Title\r\n"
              "Subject: Line one line two \r\n"
              "Date: Wed, 01 Jun 2005  12:34:56 GMT\r\n");
    // The stored field keeps what the feed gave.
    EXPECT_EQ(mail.GetSubject(), "Line one\n\n\tline two\r");
}

TEST(MailData, BodyLinesEndInCrLfAndLeadingDotsAreDoubled) {
    MailData mail = MakeMail(false, "F", "S", "L");
    mail.AddBody(".\n.NET\rmiddle . dot\r\n..two\n\nlast.", false);
    EXPECT_NE(mail.GetText().find("\r\n\r\n..\r\n..NET\r\nmiddle . dot\r\n...two\r\n\r\nlast.\r\n.\r\n"),
              std::string::npos)
        << mail.GetText();
}

TEST(MailData, OnlyTheFinalDotLineIsUnstuffed) {
    MailData mail = MakeMail(false, "F", "S", ".link");
    mail.AddBody(".", false);
    const std::string& text = mail.GetText();
    std::size_t lone = 0;
    for (std::size_t at = 0; (at = text.find("\r\n.\r\n", at)) != std::string::npos; at += 2) ++lone;
    EXPECT_EQ(lone, 1u);
    EXPECT_TRUE(text.ends_with("\r\n\r\n..\r\n.\r\n")) << text;
}

TEST(MailData, TextIsComposedOnceAndSizeIsItsByteLength) {
    MailData mail = MakeMail(false, "日本語のフィード", "題名", "http://example.jp/");
    mail.AddBody("本文です。\n二行目", false);
    const std::string first = mail.GetText();
    EXPECT_EQ(mail.GetSize(), static_cast<int>(first.size()));
    mail.SetSubject("changed later");
    EXPECT_EQ(mail.GetText(), first);
    EXPECT_EQ(&mail.GetText(), &mail.GetText());
}

TEST(MailData, EveryByteOfTheMessageIsSevenBit) {
    MailData mail = MakeMail(true, "Café ｶﾌｪ", "😀 émoji 絵文字", "http://例え.jp/パス");
    mail.AddBody("<b>é</b> ①纊 \xff", true);
    for (char c : mail.GetText()) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
    EXPECT_NE(mail.GetText().find("&#233;"), std::string::npos);
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

struct HtmlCase {
    const char* html;
    const char* text;
};

TEST(HtmlText, ReducesTagsToLineBreaksOrNothing) {
    const HtmlCase cases[] = {
        {"<p>Hello<br>World</p>", "\r\nHello\r\nWorld"},
        {"<b>Bold</b> and then it ends!", "Bold and then it ends!"},
        {"no tags at all & <", "no tags at all & <"},
        {"a<BR/>b<br />c<P class=x>d<Br>e", "a\r\nbcd\r\ne"},
        {"<h1>T</h1><hr><HEAD><html>x", "\r\nT\r\n\r\n\r\nx"},
        {"tail <unclosed", "tail <unclosed"},
        {"&amp; &lt;", "&amp; &lt;"},
        // A ">" in the text before a tag is text, and nothing is repeated.
        {"<p>a > b<br>c", "\r\na > b\r\nc"},
        {"x>y<i>z</i>", "x>yz"},
        {"", ""},
    };
    for (const HtmlCase& c : cases) EXPECT_EQ(ReduceHtmlToText(c.html), c.text) << c.html;
}

}  // namespace
