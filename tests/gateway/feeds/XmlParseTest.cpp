#include "XmlParse.h"

#include <gtest/gtest.h>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>

XERCES_CPP_NAMESPACE_USE

namespace {

class XmlParse : public ::testing::Test {
protected:
    static void SetUpTestSuite() { XMLPlatformUtils::Initialize(); }
    static void TearDownTestSuite() { XMLPlatformUtils::Terminate(); }

    static std::string RootText(XercesDOMParser& parser) {
        return ToUtf8(parser.getDocument()->getDocumentElement()->getTextContent());
    }
};

TEST_F(XmlParse, WellFormedDocumentGivesItsElements) {
    std::string error;
    auto parser = ParseXmlMemory("<quillo><settings><port>1110</port></settings></quillo>", &error);
    ASSERT_NE(parser, nullptr) << error;
    EXPECT_EQ(NodeName(parser->getDocument()->getDocumentElement()), "quillo");
    EXPECT_EQ(RootText(*parser), "1110");
}

TEST_F(XmlParse, NotWellFormedDocumentsAreRefusedWithAReason) {
    const char* cases[] = {
        "", "<quillo>", "<a></b>", "garbage", "<a>&undefined;</a>", "<?xml version='1.0'?>",
        "<a x='1' x='2'/>", "<a>\x01</a>",
    };
    for (const char* text : cases) {
        std::string error;
        EXPECT_EQ(ParseXmlMemory(text, &error), nullptr) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST_F(XmlParse, ExternalEntityIsNeverRead) {
    auto secret = std::filesystem::temp_directory_path() / "quillo-xmlparse-secret.txt";
    { std::ofstream(secret) << "SECRET"; }
    std::string doc = "<?xml version='1.0'?><!DOCTYPE a [<!ENTITY x SYSTEM 'file://" +
                      secret.string() + "'>]><a>&x;</a>";
    std::string error;
    auto parser = ParseXmlMemory(doc, &error);
    if (parser) {
        EXPECT_EQ(RootText(*parser).find("SECRET"), std::string::npos);
    }
    std::filesystem::remove(secret);
}

TEST_F(XmlParse, ExternalDtdOnTheNetworkIsNotFetched) {
    // A port on loopback that nobody listens on would make a fetch fail loudly; the
    // document must parse without trying.
    std::string doc =
        "<?xml version='1.0'?><!DOCTYPE rss PUBLIC '-//Netscape Communications//DTD RSS 0.91//EN' "
        "'http://127.0.0.1:9/rss-0.91.dtd'><rss version='0.91'><channel/></rss>";
    std::string error;
    EXPECT_NE(ParseXmlMemory(doc, &error), nullptr) << error;
}

TEST_F(XmlParse, EntityExpansionBombIsStopped) {
    std::string doc = "<?xml version='1.0'?><!DOCTYPE a [<!ENTITY l0 'ha'>";
    for (int i = 1; i <= 9; ++i) {
        doc += "<!ENTITY l" + std::to_string(i) + " '";
        for (int k = 0; k < 10; ++k) doc += "&l" + std::to_string(i - 1) + ";";
        doc += "'>";
    }
    doc += "]><a>&l9;</a>";
    std::string error;
    EXPECT_EQ(ParseXmlMemory(doc, &error), nullptr);
    EXPECT_FALSE(error.empty());
}

TEST_F(XmlParse, MissingFileIsReportedNotThrown) {
    std::string error;
    EXPECT_EQ(ParseXmlFile("/nonexistent/quillo/none.xml", &error), nullptr);
    EXPECT_NE(error.find("none.xml"), std::string::npos);
}

TEST_F(XmlParse, FileIsParsedFromItsPath) {
    auto path = std::filesystem::temp_directory_path() / "quillo-xmlparse-file.xml";
    { std::ofstream(path, std::ios::binary) << "<?xml version='1.0' encoding='Shift_JIS'?><a>\x93\xfa\x96\x7b</a>"; }
    std::string error;
    auto parser = ParseXmlFile(path.string(), &error);
    ASSERT_NE(parser, nullptr) << error;
    EXPECT_EQ(RootText(*parser), "日本");
    std::filesystem::remove(path);
}

TEST_F(XmlParse, Utf8RoundTripKeepsCharactersOutsideTheBasicPlane) {
    const std::string texts[] = {"", "plain", "日本語", "𠮷野家 🍣", "mixed é ü ∑"};
    for (const auto& text : texts) {
        XmlString wide(text);
        EXPECT_EQ(ToUtf8(wide), text);
    }
}

TEST_F(XmlParse, SurrogatePairBecomesOneFourByteCharacter) {
    const XMLCh pair[] = {0xD842, 0xDFB7, 0};
    EXPECT_EQ(ToUtf8(pair), "\xF0\xA0\xAE\xB7");
    const XMLCh lone[] = {'a', 0xD842, 'b', 0};
    EXPECT_EQ(ToUtf8(lone), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(ToUtf8(nullptr), "");
}

TEST_F(XmlParse, InvalidUtf8BecomesReplacementCharacters) {
    XmlString wide(std::string_view("a\xFF\xC3", 3));
    EXPECT_EQ(ToUtf8(wide), "a\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
