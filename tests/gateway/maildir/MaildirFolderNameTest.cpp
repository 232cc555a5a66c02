// Maildir++ folder names: readable, safe for Maildir++ and IMAP servers, in modified
// UTF-7 or UTF-8, and never longer than one file name may be.
#include "MaildirFolderName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Utf8.h"

namespace {

TEST(MaildirFolderName, NamesAreMadeSafeAndStayReadable) {
    const struct {
        std::vector<std::string> names;
        const char* utf7;
        const char* utf8;
    } cases[] = {
        {{"Feeds", "Technology", "Ars Technica"}, ".Feeds.Technology.Ars Technica", ".Feeds.Technology.Ars Technica"},
        {{"Feeds", "Slashdot.org"}, ".Feeds.Slashdot_org", ".Feeds.Slashdot_org"},
        {{"News/Politics", "a\\b"}, ".News_Politics.a_b", ".News_Politics.a_b"},
        {{"100% *new*"}, ".100_ _new_", ".100_ _new_"},
        {{"~home", "a~b"}, "._home.a~b", "._home.a~b"},
        {{"  Line\none\t\ttab \x7f "}, ".Line one tab", ".Line one tab"},
        {{"Tom & Jerry"}, ".Tom &- Jerry", ".Tom & Jerry"},
        {{"Entwürfe"}, ".Entw&APw-rfe", ".Entwürfe"},
        {{"台北", "日本語"}, ".&U,BTFw-.&ZeVnLIqe-", ".台北.日本語"},
        {{"Feeds 🚀"}, ".Feeds &2D3egA-", ".Feeds 🚀"},
        {{"Bad \xff byte"}, ".Bad &,,0- byte", ".Bad \xef\xbf\xbd byte"},
        {{"", " ", "\n"}, "._._._", "._._._"},
        {{"inbox", "INBOX"}, ".inbox_.INBOX", ".inbox_.INBOX"},
        {{}, "._", "._"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(MaildirPlusPlusFolder(c.names), c.utf7);
        EXPECT_EQ(MaildirPlusPlusFolder(c.names, FolderNameEncoding::Utf8), c.utf8);
    }
}

TEST(MaildirFolderName, LongNamesAreShortenedToOneFileNameWholeCharactersAtATime) {
    const std::vector<std::string> names = {"Feeds", std::string(100, 'x'), std::string(300, 'y') + " tail",
                                            "日本語のとても長いフィードの題名" + std::string(40, 'z')};
    for (const auto encoding : {FolderNameEncoding::ModifiedUtf7, FolderNameEncoding::Utf8}) {
        const std::string folder = MaildirPlusPlusFolder(names, encoding);
        EXPECT_LE(folder.size(), 255u) << folder;
        EXPECT_GT(folder.size(), 240u) << "shortened no more than needed: " << folder;
        EXPECT_EQ(FirstInvalidUtf8(folder), folder.size());
        EXPECT_EQ(folder.rfind(".Feeds.", 0), 0u) << "short names are kept whole: " << folder;
        const char* start = encoding == FolderNameEncoding::Utf8 ? ".日本語" : ".&ZeVnLIqe";
        EXPECT_NE(folder.find(start), std::string::npos) << "the Japanese name keeps its start: " << folder;
    }
}

}  // namespace
