// Quillo.xml: the settings table and what an unusable file does.
#include "Settings.h"

#include "StoreTestFiles.h"

#include <gtest/gtest.h>

namespace {

using namespace storetest;

class StoreSettingsFile : public StoreDirTest {
protected:
    Settings Load(const std::string& xml, SettingsFileResult* result = nullptr) {
        Settings settings;
        SettingsFileResult r = LoadSettingsFile(Write("Quillo.xml", xml), settings);
        if (result) *result = r;
        return settings;
    }
};

std::string In(const std::string& inner) { return "<quillo><settings>" + inner + "</settings></quillo>"; }

TEST_F(StoreSettingsFile, EachKeyTakesItsElementsFirstChildAndTheLastOneWins) {
    struct Case {
        std::string xml;
        int port;
        bool noBoxes, noTray, html;
        std::string address;
        int concurrency;
    };
    const Case cases[] = {
        {In(""), 110, false, false, false, "127.0.0.1", 64},
        {In("<port>1110</port><port>2110</port>"), 2110, false, false, false, "127.0.0.1", 64},
        {"<quillo><settings><port>1</port></settings><feed-list/><settings><port>3</port></settings></quillo>", 3, false, false, false, "127.0.0.1", 64},
        {In("<disable-messagebox>true</disable-messagebox><disable-trayicon>true</disable-trayicon><enable-html>true</enable-html>"),
         110, true, true, true, "127.0.0.1", 64},
        {In("<enable-html>True</enable-html><disable-trayicon> true</disable-trayicon>"), 110, false, false, false, "127.0.0.1", 64},
        {In("<disable-messagebox>true</disable-messagebox><disable-messagebox/>"), 110, false, false, false, "127.0.0.1", 64},
        {In("<port><![CDATA[ 77]]></port>"), 77, false, false, false, "127.0.0.1", 64},
        {In("<port>\n  1110\n  </port>"), 1110, false, false, false, "127.0.0.1", 64},
        {In("<port>x</port><port>65535</port>"), 65535, false, false, false, "127.0.0.1", 64},
        {In("<Port>5</Port><x:port xmlns:x='u'>6</x:port><unknown>1</unknown>"), 110, false, false, false, "127.0.0.1", 64},
        {In("<listen-address>\n 0.0.0.0 \n</listen-address>"), 110, false, false, false, "0.0.0.0", 64},
        {In("<download-concurrency>0</download-concurrency>"), 110, false, false, false, "127.0.0.1", 1},
        {In("<download-concurrency>100000</download-concurrency>"), 110, false, false, false, "127.0.0.1", 256},
        {"<quillo><port>5</port><x><settings><port>6</port></settings></x></quillo>", 110, false, false, false, "127.0.0.1", 64},
        {"<?xml version='1.0' encoding='Shift_JIS'?><quillo><!-- \x93\xfa --><settings><port>7</port></settings></quillo>",
         7, false, false, false, "127.0.0.1", 64},
    };
    for (const auto& c : cases) {
        SettingsFileResult result;
        Settings s = Load(c.xml, &result);
        EXPECT_EQ(result.status, SettingsFileResult::Status::Read) << c.xml << " " << result.error;
        EXPECT_EQ(s.port, c.port) << c.xml;
        EXPECT_EQ(s.disableMessageBox, c.noBoxes) << c.xml;
        EXPECT_EQ(s.disableTrayIcon, c.noTray) << c.xml;
        EXPECT_EQ(s.enableHtml, c.html) << c.xml;
        EXPECT_EQ(s.listenAddress, c.address) << c.xml;
        EXPECT_EQ(s.downloadConcurrency, c.concurrency) << c.xml;
    }
}

TEST_F(StoreSettingsFile, MailCharsetIsAutoUnlessItNamesIso2022Jp) {
    EXPECT_EQ(Load(In("")).mailCharset, MailCharset::Auto);
    EXPECT_EQ(Load(In("<mail-charset>iso-2022-jp</mail-charset>")).mailCharset, MailCharset::Iso2022Jp);
    EXPECT_EQ(Load(In("<mail-charset> ISO-2022-JP\n</mail-charset>")).mailCharset, MailCharset::Iso2022Jp);
    EXPECT_EQ(Load(In("<mail-charset>iso-2022-jp</mail-charset><mail-charset>auto</mail-charset>")).mailCharset,
              MailCharset::Auto);
    EXPECT_EQ(Load(In("<mail-charset>shift_jis</mail-charset>")).mailCharset, MailCharset::Auto);
}

TEST_F(StoreSettingsFile, AnAddressThatIsNotIPv4IsRejectedAndTheRestStays) {
    SettingsFileResult result;
    Settings s = Load(In("<port>5</port><listen-address>everywhere</listen-address>"), &result);
    EXPECT_EQ(result.status, SettingsFileResult::Status::Read);
    EXPECT_EQ(result.rejectedListenAddress, std::optional<std::string>("everywhere"));
    EXPECT_EQ(s.listenAddress, "127.0.0.1");
    EXPECT_EQ(s.port, 5);
    Load(In("<listen-address>10.0.0.1</listen-address>"), &result);
    EXPECT_EQ(result.rejectedListenAddress, std::nullopt);
}

TEST_F(StoreSettingsFile, AMissingOrUnusableFileChangesNothing) {
    Settings settings;
    settings.port = 999;
    SettingsFileResult missing = LoadSettingsFile(Path("Quillo.xml"), settings);
    EXPECT_EQ(missing.status, SettingsFileResult::Status::Missing);
    EXPECT_EQ(missing.error, "");
    EXPECT_EQ(settings.port, 999);
    const std::string path = Path("Quillo.xml");
    const std::pair<std::string, std::string> cases[] = {
        {"<quillo><settings><port>5", path + ": line "},
        {"<other><settings><port>5</port></settings></other>", path + ": the document element is not quillo"},
        {std::string("\0\xff\xfe", 3), path + ": "},
        {"<quillo><settings><port>5</port></settings></quillo><quillo/>", path + ": line "},
    };
    for (const auto& [xml, error] : cases) {
        Write("Quillo.xml", xml);
        SettingsFileResult result = LoadSettingsFile(path, settings);
        EXPECT_EQ(result.status, SettingsFileResult::Status::Unreadable) << xml;
        EXPECT_EQ(result.error.rfind(error, 0), 0u) << xml << " -> " << result.error;
        EXPECT_EQ(settings.port, 999) << xml;
    }
}

TEST_F(StoreSettingsFile, APortThatIsNoPortMakesTheFileInvalidAndKeepsTheOtherValues) {
    const std::string path = Path("Quillo.xml");
    const std::pair<std::string, std::string> cases[] = {
        {"0", path + ": the port \"0\" is not a number from 1 to 65535"},
        {"70000", path + ": the port \"70000\" is not a number from 1 to 65535"},
        {"abc", path + ": the port \"abc\" is not a number from 1 to 65535"},
        {"", path + ": the port \"\" is not a number from 1 to 65535"},
        {"12abc", path + ": the port \"12abc\" is not a number from 1 to 65535"},
        {"1\t2", path + ": the port \"1\\x092\" is not a number from 1 to 65535"},
        {std::string(100, '9'), path + ": the port \"" + std::string(64, '9') + "...\" is not a number from 1 to 65535"},
    };
    for (const auto& [port, error] : cases) {
        SettingsFileResult result;
        Settings s = Load(In("<port>" + port + "</port><disable-messagebox>true</disable-messagebox>"), &result);
        EXPECT_EQ(result.status, SettingsFileResult::Status::Invalid) << port;
        EXPECT_EQ(result.error, error) << port;
        EXPECT_EQ(s.port, 110) << port;
        EXPECT_TRUE(s.disableMessageBox) << port;
    }
    // The last port element decides, as for every key.
    SettingsFileResult result;
    Load(In("<port>1110</port><port>0</port>"), &result);
    EXPECT_EQ(result.status, SettingsFileResult::Status::Invalid);
    // Elements that are no setting are not looked at.
    Load("<quillo><port>0</port><settings><Port>0</Port></settings></quillo>", &result);
    EXPECT_EQ(result.status, SettingsFileResult::Status::Read);
}

TEST(StoreSettingPort, OnlyDecimalDigitsFrom1To65535WithWhiteSpaceAround) {
    const std::pair<std::string, std::optional<int>> cases[] = {
        {"110", 110}, {"1", 1}, {"65535", 65535}, {" 1110 ", 1110}, {"\n\t25\r\n", 25}, {"00110", 110}, {"0000000080", 80},
        {"0", std::nullopt}, {"65536", std::nullopt}, {"70000", std::nullopt}, {"100000", std::nullopt},
        {"", std::nullopt}, {"   ", std::nullopt}, {"abc", std::nullopt}, {"12abc", std::nullopt},
        {"1 2", std::nullopt}, {"+110", std::nullopt}, {"-1", std::nullopt}, {"0x6e", std::nullopt},
        {"\v110", std::nullopt}, {"１１０", std::nullopt}, {"99999999999", std::nullopt},
    };
    for (const auto& [text, port] : cases) EXPECT_EQ(ParsePort(text), port) << text;
}

TEST_F(StoreSettingsFile, ANumberWithAnythingAfterItsDigitsMakesTheFileInvalid) {
    const std::string path = Path("Quillo.xml");
    for (const char* element : {"greeting-deadline", "refresh-interval", "download-concurrency", "min-feed-interval"}) {
        for (const char* text : {"1e9", "0x10", "3.9", "10 minutes", "abc", "1 2", "+-3", "--1", "-", "1,000", "\xef\xbc\x91"}) {
            SettingsFileResult result;
            const std::string e(element);
            Settings s = Load(In("<" + e + ">" + text + "</" + e + "><port>5</port>"), &result);
            EXPECT_EQ(result.status, SettingsFileResult::Status::Invalid) << e << " " << text;
            EXPECT_EQ(result.error, path + ": the " + e + " \"" + text + "\" is not a whole number (digits only)")
                << result.error;
            // The value stays the default; the others are read.
            EXPECT_EQ(s.greetingDeadlineSeconds, 20);
            EXPECT_EQ(s.refreshIntervalMinutes, 0);
            EXPECT_EQ(s.downloadConcurrency, 64);
            EXPECT_EQ(s.minFeedIntervalMinutes, 0);
            EXPECT_EQ(s.port, 5);
        }
    }
}

TEST_F(StoreSettingsFile, WhatEarlierVersionsReadLenientlyIsReadSoWithAWarning) {
    const std::string path = Path("Quillo.xml");
    struct Case {
        std::string element;
        std::string text;
        int value;
        std::string warning;  // "" for none
    };
    const Case cases[] = {
        {"greeting-deadline", " 30\n", 30, ""},
        {"greeting-deadline", "+7", 7, ""},
        {"greeting-deadline", "0", 0, ""},
        {"greeting-deadline", "", 0, "the greeting-deadline is empty; read as 0"},
        {"greeting-deadline", "-5", 0, "the greeting-deadline \"-5\" is outside 0 to 86400; read as 0"},
        {"greeting-deadline", "99999999999", 86400, "the greeting-deadline \"99999999999\" is outside 0 to 86400; read as 86400"},
        {"refresh-interval", "60", 60, ""},
        {"refresh-interval", "  ", 0, "the refresh-interval is empty; read as 0"},
        {"refresh-interval", "100000", 10080, "the refresh-interval \"100000\" is outside 0 to 10080; read as 10080"},
        {"download-concurrency", "4", 4, ""},
        {"download-concurrency", "0", 1, "the download-concurrency \"0\" is outside 1 to 256; read as 1"},
        {"download-concurrency", "100000", 256, "the download-concurrency \"100000\" is outside 1 to 256; read as 256"},
        {"min-feed-interval", " 15 ", 15, ""},
        {"min-feed-interval", "-1", 0, "the min-feed-interval \"-1\" is outside 0 to 1440; read as 0"},
        {"min-feed-interval", "5000", 1440, "the min-feed-interval \"5000\" is outside 0 to 1440; read as 1440"},
    };
    for (const auto& c : cases) {
        SettingsFileResult result;
        Settings s = Load(In("<" + c.element + ">" + c.text + "</" + c.element + ">"), &result);
        EXPECT_EQ(result.status, SettingsFileResult::Status::Read) << c.element << " " << c.text << result.error;
        const int value = c.element == "greeting-deadline" ? s.greetingDeadlineSeconds
                          : c.element == "refresh-interval" ? s.refreshIntervalMinutes
                          : c.element == "min-feed-interval" ? s.minFeedIntervalMinutes
                                                             : s.downloadConcurrency;
        EXPECT_EQ(value, c.value) << c.element << " " << c.text;
        const std::vector<std::string> warnings =
            c.warning.empty() ? std::vector<std::string>{} : std::vector<std::string>{path + ": " + c.warning};
        EXPECT_EQ(result.warnings, warnings) << c.element << " " << c.text;
    }
    // Only the element that counts, the last of its name, is warned about.
    SettingsFileResult result;
    Load(In("<greeting-deadline></greeting-deadline><greeting-deadline>5</greeting-deadline>"), &result);
    EXPECT_TRUE(result.warnings.empty());
}

TEST_F(StoreSettingsFile, TheUserAgentIsTakenAsWrittenAndALineBreakInItMakesTheFileInvalid) {
    EXPECT_EQ(Load(In("")).userAgent, "QUILLO");
    EXPECT_EQ(Load(In("<user-agent>  Mozilla/5.0 (X11; Linux) Quillo  </user-agent>")).userAgent,
              "Mozilla/5.0 (X11; Linux) Quillo");
    EXPECT_EQ(Load(In("<user-agent>x</user-agent><user-agent></user-agent>")).userAgent, "QUILLO");
    SettingsFileResult result;
    const Settings s = Load(In("<user-agent>a\nX-Injected: 1</user-agent><port>5</port>"), &result);
    EXPECT_EQ(result.status, SettingsFileResult::Status::Invalid);
    EXPECT_EQ(result.error, Path("Quillo.xml") + ": the user-agent \"a\\x0aX-Injected: 1\" holds a line break");
    EXPECT_EQ(s.userAgent, "QUILLO");
    EXPECT_EQ(s.port, 5);
}

TEST_F(StoreSettingsFile, RequireTlsIsAutoAlwaysOrNeverAndNothingElse) {
    const std::pair<std::string, RequireTls> cases[] = {
        {"", RequireTls::Auto}, {"auto", RequireTls::Auto}, {" Always\n", RequireTls::Always}, {"never", RequireTls::Never},
    };
    EXPECT_EQ(Load(In("")).requireTls, RequireTls::Auto);
    for (const auto& [text, value] : cases) {
        SettingsFileResult result;
        EXPECT_EQ(Load(In("<require-tls>" + text + "</require-tls>"), &result).requireTls, value) << text;
        EXPECT_EQ(result.status, SettingsFileResult::Status::Read) << text;
    }
    for (const char* text : {"yes", "true", "always!", "off"}) {
        SettingsFileResult result;
        EXPECT_EQ(Load(In("<require-tls>never</require-tls><require-tls>" + std::string(text) + "</require-tls>"), &result)
                      .requireTls,
                  RequireTls::Never)
            << text;
        EXPECT_EQ(result.status, SettingsFileResult::Status::Invalid) << text;
        EXPECT_EQ(result.error, Path("Quillo.xml") + ": the require-tls \"" + text + "\" is not auto, always or never");
    }
}

}  // namespace
