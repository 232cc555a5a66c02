#include "XmlScanner.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

// Writes every event as one line, so a table can hold the expected event stream.
class Recorder : public XmlScannerHandler {
public:
    std::string log;

    void XmlProlog(const std::string& version, bool standalone,
                   const std::string& encoding) override {
        log += "decl(" + version + "," + (standalone ? "yes" : "no") + "," + encoding + ")\n";
    }
    void ProcessingInstruction(const std::string& target, const XmlAttributes& pseudo,
                               const std::string& content) override {
        log += "pi(" + target + Attributes(pseudo) + "|" + content + ")\n";
    }
    void StartTag(const std::string& name, const XmlAttributes& attributes) override {
        log += "start(" + name + Attributes(attributes) + ")\n";
    }
    void EmptyTag(const std::string& name, const XmlAttributes& attributes) override {
        log += "empty(" + name + Attributes(attributes) + ")\n";
    }
    void EndTag(const std::string& name) override { log += "end(" + name + ")\n"; }
    void Content(const std::string& text) override { log += "text(" + text + ")\n"; }

private:
    static std::string Attributes(const XmlAttributes& attributes) {
        std::string out;
        for (const auto& [name, value] : attributes.Items()) out += " " + name + "=" + value;
        return out;
    }
};

struct Case {
    const char* name;
    std::string input;
    std::string events;
    bool ok;
};

std::string Events(std::string_view input, XmlScanResult* result = nullptr) {
    Recorder recorder;
    XmlScanner scanner(recorder);
    const XmlScanResult r = scanner.ScanBuffer(input);
    if (result) *result = r;
    return recorder.log;
}

TEST(XmlScanner, DeliversTheEventsOfEachDocumentInOrder) {
    const Case cases[] = {
        {"empty element raises no end tag", "<a><b x='1'/></a>",
         "start(a)\nempty(b x=1)\nend(a)\n", true},
        {"start and end tag stay two events", "<a><b x=\"1\"></b></a>",
         "start(a)\nstart(b x=1)\nend(b)\nend(a)\n", true},
        {"declaration", "<?xml version=\"1.0\" encoding=\"euc-jp\" standalone='yes'?><r/>",
         "decl(1.0,yes,euc-jp)\nempty(r)\n", true},
        {"declaration without encoding", "<?xml version='1.0'?>\n<r/>", "decl(1.0,no,)\nempty(r)\n",
         true},
        {"content is trimmed and folded", "<r>\n\t  two \r\n words\t</r>",
         "start(r)\ntext(two words)\nend(r)\n", true},
        {"white space only content reaches nobody", "<r>  \n <a/> \t</r>",
         "start(r)\nempty(a)\nend(r)\n", true},
        {"predefined entities and character references",
         "<r a='&lt;&gt;&amp;&apos;&quot;&#65;&#x42;&#x65E5;'>&lt;p&gt; &#12354;</r>",
         "start(r a=<>&'\"AB日)\ntext(<p> あ)\nend(r)\n", true},
        {"attribute white space becomes spaces", "<r a='x\ty\nz\r\nw'/>", "empty(r a=x y z w)\n",
         true},
        {"CDATA is text as it stands", "<r>a <![CDATA[<b>&amp; ]]> c</r>",
         "start(r)\ntext(a <b>&amp; c)\nend(r)\n", true},
        {"comments are skipped and do not split text", "<!-- head --><r>a<!-- <x/> -->b</r><!--t-->",
         "start(r)\ntext(ab)\nend(r)\n", true},
        {"processing instruction with pseudo-attributes",
         "<?xml-stylesheet type=\"text/xsl\" href='a.xsl?x=1&amp;y=2'?><r/>",
         "pi(xml-stylesheet type=text/xsl href=a.xsl?x=1&y=2|type=\"text/xsl\" href='a.xsl?x=1&amp;y=2')\n"
         "empty(r)\n",
         true},
        {"processing instruction without pseudo-attributes", "<r><?php echo 1; ?></r>",
         "start(r)\npi(php|echo 1; )\nend(r)\n", true},
        {"doctype with internal entities",
         "<!DOCTYPE r [<!ENTITY co \"Acme &amp; Co\"><!ENTITY big \"&co;!\"><!-- c -->]><r t='&big;'>&co;</r>",
         "start(r t=Acme & Co!)\ntext(Acme & Co)\nend(r)\n", true},
        {"undeclared entity of an external DTD vanishes",
         "<!DOCTYPE r SYSTEM \"r.dtd\"><r>a&nbsp;b</r>", "start(r)\ntext(ab)\nend(r)\n", true},
        {"names keep their case", "<rdf:RDF><Channel/></rdf:RDF>",
         "start(rdf:RDF)\nempty(Channel)\nend(rdf:RDF)\n", true},
        {"UTF-8 byte-order mark", "\xEF\xBB\xBF<r>x</r>", "start(r)\ntext(x)\nend(r)\n", true},
        {"other encodings pass their bytes", "<?xml version='1.0' encoding='Shift_JIS'?><r>\x93\xFA</r>",
         "decl(1.0,no,Shift_JIS)\nstart(r)\ntext(\x93\xFA)\nend(r)\n", true},
    };
    for (const Case& c : cases) {
        XmlScanResult result;
        EXPECT_EQ(Events(c.input, &result), c.events) << c.name;
        EXPECT_EQ(result.ok, c.ok) << c.name << ": " << result.error;
    }
}

TEST(XmlScanner, MalformedInputStopsAtTheErrorKeepingEarlierEvents) {
    const Case cases[] = {
        {"truncated in a tag", "<a><b x='1'", "start(a)\n", false},
        {"truncated in content", "<a><b>text", "start(a)\nstart(b)\n", false},
        {"truncated comment", "<a><!-- never closed", "start(a)\n", false},
        {"truncated CDATA", "<a><![CDATA[abc", "start(a)\n", false},
        {"mismatched end tag", "<a><b></a><c/>", "start(a)\nstart(b)\n", false},
        {"end tag without start", "</a>", "", false},
        {"undeclared entity", "<a>x<b/>&nbsp;<c/></a>", "start(a)\ntext(x)\nempty(b)\n", false},
        {"bare ampersand", "<a><b/>AT&T</a>", "start(a)\nempty(b)\n", false},
        {"invalid character reference", "<a><b/>&#0;</a>", "start(a)\nempty(b)\n", false},
        {"huge character reference", "<a>&#x110000;</a>", "start(a)\n", false},
        {"less-than in attribute", "<a><b x='<'/></a>", "start(a)\n", false},
        {"repeated attribute", "<a x='1' x='2'/>", "", false},
        {"double hyphen in comment", "<a><b/><!-- a -- b --></a>", "start(a)\nempty(b)\n", false},
        {"second root", "<a/><b/>", "empty(a)\n", false},
        {"text after root", "<a/>junk", "empty(a)\n", false},
        {"empty input", "", "", false},
        {"declaration later in the document", "<a><?xml version='1.0'?></a>", "start(a)\n", false},
        {"unquoted attribute", "<a x=1/>", "", false},
        {"invalid UTF-8 stops where it starts", "<a><b/>ok \xC3\x28 more<c/></a>",
         "start(a)\nempty(b)\n", false},
        {"overlong UTF-8", "<a>\xC0\xAF</a>", "start(a)\n", false},
    };
    for (const Case& c : cases) {
        XmlScanResult result;
        EXPECT_EQ(Events(c.input, &result), c.events) << c.name;
        EXPECT_EQ(result.ok, c.ok) << c.name;
        if (!c.ok) {
            EXPECT_FALSE(result.error.empty()) << c.name;
        }
    }
}

TEST(XmlScanner, ReportsTheLineOfTheError) {
    XmlScanResult result;
    Events("<a>\n<b>\n</c>\n</a>", &result);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.line, 3u);
    EXPECT_EQ(result.column, 1u);
}

// Eight references per level over a 1 KB entity: 32 MB in full, four times the scanner's
// 8 MB budget, yet small enough that a scanner without the budget finishes and passes it.
TEST(XmlScanner, EntityExpansionIsBounded) {
    std::string doc = "<!DOCTYPE r [<!ENTITY a0 \"" + std::string(1024, 'x') + "\">";
    for (int i = 1; i <= 5; ++i) {
        std::string value;
        for (int k = 0; k < 8; ++k) value += "&a" + std::to_string(i - 1) + ";";
        doc += "<!ENTITY a" + std::to_string(i) + " \"" + value + "\">";
    }
    doc += "]><r>&a5;</r>";
    XmlScanResult result;
    const std::string events = Events(doc, &result);
    ASSERT_FALSE(result.ok) << "expanded to " << events.size() << " bytes of events";
    EXPECT_EQ(result.error, "entity expansion too large");
    EXPECT_EQ(events, "start(r)\n");
}

// A chain of entities, each naming the one before: sixteen levels are read, the
// seventeenth is refused.
TEST(XmlScanner, EntityNestingStopsAtSixteenLevels) {
    std::string subset = "<!ENTITY e0 \"x\">";
    for (int i = 1; i <= 17; ++i) {
        subset += "<!ENTITY e" + std::to_string(i) + " \"&e" + std::to_string(i - 1) + ";\">";
    }
    XmlScanResult result;
    EXPECT_EQ(Events("<!DOCTYPE r [" + subset + "]><r>&e16;</r>", &result),
              "start(r)\ntext(x)\nend(r)\n");
    EXPECT_TRUE(result.ok) << result.error;
    EXPECT_EQ(Events("<!DOCTYPE r [" + subset + "]><r>&e17;</r>", &result), "start(r)\n");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "entity &e0; nests too deep");
}

TEST(XmlScanner, SelfReferringEntityFailsInsteadOfRecursingForever) {
    XmlScanResult result;
    EXPECT_EQ(Events("<!DOCTYPE r [<!ENTITY e \"&e;\">]><r>&e;</r>", &result), "start(r)\n");
    EXPECT_FALSE(result.ok);
}

TEST(XmlScanner, DeeplyNestedElementsDoNotExhaustTheStack) {
    std::string doc;
    for (int i = 0; i < 200000; ++i) doc += "<a>";
    XmlScanResult result;
    Recorder recorder;
    XmlScanner scanner(recorder);
    result = scanner.ScanBuffer(doc);
    EXPECT_FALSE(result.ok);
}

TEST(XmlScanner, Utf16DocumentWithByteOrderMarkIsReadAsUtf8) {
    const std::u16string text = u"<r>日本</r>";
    std::string bytes = "\xFF\xFE";
    for (const char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    EXPECT_EQ(Events(bytes), "start(r)\ntext(日本)\nend(r)\n");
}

TEST(XmlScanner, AttributeLookupIsExactAndAbsentIsEmpty) {
    XmlAttributes attributes;
    attributes.Add("xmlUrl", "http://127.0.0.1/a");
    EXPECT_EQ(attributes.Value("xmlUrl"), "http://127.0.0.1/a");
    EXPECT_EQ(attributes.Value("xmlurl"), "");
    EXPECT_FALSE(attributes.Has("xmlurl"));
}

TEST(XmlScanner, ScansAFileAndReportsOneThatCannotBeOpened) {
    const std::string path = testing::TempDir() + "scanner-file.xml";
    std::ofstream(path, std::ios::binary) << "<r>file</r>";
    Recorder recorder;
    XmlScanner scanner(recorder);
    EXPECT_TRUE(scanner.ScanFile(path).ok);
    EXPECT_EQ(recorder.log, "start(r)\ntext(file)\nend(r)\n");
    EXPECT_FALSE(scanner.ScanFile(path + ".missing").ok);
}

TEST(XmlScanner, EveryTruncationOfARealDocumentEndsWithoutCrash) {
    const std::string doc =
        "<?xml version=\"1.0\"?><!DOCTYPE opml [<!ENTITY e \"v\">]><?xml-stylesheet href='s'?>"
        "<opml version=\"1.0\"><head><title>T &amp; &e;</title></head><body>"
        "<outline text=\"a\"><outline text=\"b\" type=\"rss\" xmlUrl=\"http://127.0.0.1/\"/>"
        "</outline><!-- c --><![CDATA[x]]></body></opml>";
    for (std::size_t n = 0; n < doc.size(); ++n) {
        XmlScanResult result;
        Events(std::string_view(doc).substr(0, n), &result);
        EXPECT_FALSE(result.ok) << n;
    }
    XmlScanResult result;
    Events(doc, &result);
    EXPECT_TRUE(result.ok) << result.error;
}

}  // namespace
