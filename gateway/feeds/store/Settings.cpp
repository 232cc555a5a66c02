#include "Settings.h"

#include "Numbers.h"
#include "StoreXml.h"
#include "TextUtil.h"

#include <arpa/inet.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

// One row per settings element; a present element always overwrites the value, an
// empty one with "". A row that returns false cannot use the text and leaves the value
// as it was; the file is then unusable unless a later element of the name is accepted.
struct SettingKey {
    const char* element;
    bool (*apply)(Settings&, const std::string& text);
};

const SettingKey kSettingKeys[] = {
    // Strict where a wrong value would only fail later and elsewhere: port 0 binds a
    // random port, and "1110x" would quietly be 1110.
    {"port", [](Settings& s, const std::string& t) {
         const std::optional<int> port = ParsePort(t);
         if (port) s.port = *port;
         return port.has_value();
     }},
    {"disable-messagebox", [](Settings& s, const std::string& t) { s.disableMessageBox = t == "true"; return true; }},
    {"disable-trayicon", [](Settings& s, const std::string& t) { s.disableTrayIcon = t == "true"; return true; }},
    {"enable-html", [](Settings& s, const std::string& t) { s.enableHtml = t == "true"; return true; }},
    {"listen-address", [](Settings& s, const std::string& t) { s.listenAddress = std::string(Trim(t)); return true; }},
    // Taken as written: a space at either end is part of the password.
    {"password", [](Settings& s, const std::string& t) { s.password = t; return true; }},
    // Below 1 means one at a time; the cap keeps a typo from opening thousands of sockets.
    {"download-concurrency", [](Settings& s, const std::string& t) {
         s.downloadConcurrency = std::clamp(ParseSettingInt(t), 1, 256);
         return true;
     }},
    {"mail-charset", [](Settings& s, const std::string& t) { s.mailCharset = ParseMailCharset(t); return true; }},
    // A day and a week at most: a typo must not leave a client waiting or feeds unread.
    {"greeting-deadline", [](Settings& s, const std::string& t) {
         s.greetingDeadlineSeconds = std::clamp(ParseSettingInt(t), 0, 24 * 60 * 60);
         return true;
     }},
    {"refresh-interval", [](Settings& s, const std::string& t) {
         s.refreshIntervalMinutes = std::clamp(ParseSettingInt(t), 0, 7 * 24 * 60);
         return true;
     }},
    // Ten years at most: the count of days becomes a time in seconds.
    {"keep-days", [](Settings& s, const std::string& t) {
         s.keepDays = std::clamp(ParseSettingInt(t), 0, 3650);
         return true;
     }},
    {"maildir", [](Settings& s, const std::string& t) { s.maildir = std::string(Trim(t)); return true; }},
    // Strict: a typo must not pour every feed into one folder, or the other way round.
    {"maildir-folders", [](Settings& s, const std::string& t) {
         const std::string_view value = Trim(t);
         if (value != "none" && value != "feeds") return false;
         s.maildirFeedFolders = value == "feeds";
         return true;
     }},
    {"tls-certificate", [](Settings& s, const std::string& t) { s.tlsCertificate = std::string(Trim(t)); return true; }},
    {"tls-key", [](Settings& s, const std::string& t) { s.tlsKey = std::string(Trim(t)); return true; }},
    // As strict as port: a typo must not move implicit TLS to the default port.
    {"tls-port", [](Settings& s, const std::string& t) {
         const std::optional<int> port = ParsePort(t);
         if (port) s.tlsPort = *port;
         return port.has_value();
     }},
};

// A path of the settings file as the program opens it: relative ones from the folder
// of the settings file, never from the current directory.
std::string BesideSettings(const std::string& settingsPath, const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    const auto slash = settingsPath.rfind('/');
    return slash == std::string::npos ? path : settingsPath.substr(0, slash + 1) + path;
}

class SettingsReader : public XmlVisitor {
public:
    explicit SettingsReader(Settings& settings) : settings_(settings) {}
    void ElementEnd(const std::vector<std::string>& path,
                    const std::optional<std::string>& firstChild) override {
        if (path.size() != 3 || path[0] != "quillo" || path[1] != "settings") return;
        for (const auto& key : kSettingKeys) {
            if (path[2] != key.element) continue;
            const std::string text = firstChild.value_or("");
            // Only the last element of a name counts, so only its verdict is kept.
            std::erase_if(rejected, [&](const auto& r) { return r.first == key.element; });
            if (!key.apply(settings_, text)) rejected.emplace_back(key.element, text);
        }
    }

    // Element name and text of every value that could not be used, in document order.
    std::vector<std::pair<std::string, std::string>> rejected;

private:
    Settings& settings_;
};

std::string DescribeRejected(const std::string& element, const std::string& text) {
    // A whole document pasted into the element must not fill the box.
    constexpr size_t kShownBytes = 64;
    std::string shown;
    for (char c : text.substr(0, kShownBytes)) {
        // The text goes to one line of a log and a box: control characters are escaped.
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
            shown += hex;
        } else {
            shown += c;
        }
    }
    if (text.size() > kShownBytes) shown += "...";
    if (element == "port" || element == "tls-port") return "the " + element + " \"" + shown + "\" is not a number from 1 to 65535";
    return "the " + element + " \"" + shown + "\" cannot be used";
}

}  // namespace

int ParseSettingInt(const std::string& text) { return ParseLenientInt(text); }

std::optional<int> ParsePort(const std::string& text) {
    const std::optional<int> value = ParseDecimalInt(Trim(text));
    if (!value || *value < 1 || *value > 65535) return std::nullopt;
    return value;
}

SettingsFileResult LoadSettingsFile(const std::string& path, Settings& settings) {
    SettingsFileResult result;
    const StoreFileBytes file = ReadStoreFile(path);
    if (file.status == StoreFileBytes::Status::Missing) return result;
    result.status = SettingsFileResult::Status::Unreadable;
    if (file.status == StoreFileBytes::Status::Unreadable) {
        result.error = file.error;
        return result;
    }
    Settings read = settings;
    SettingsReader reader(read);
    const XmlWalkResult walk = WalkXml(file.bytes, reader);
    if (!walk.error.empty()) {
        result.error = path + ": " + walk.error;
        return result;
    }
    if (walk.root != "quillo") {
        result.error = path + ": the document element is not quillo";
        return result;
    }
    if (!reader.rejected.empty()) {
        result.status = SettingsFileResult::Status::Invalid;
        result.error = path + ": ";
        for (size_t i = 0; i < reader.rejected.size(); ++i) {
            if (i) result.error += "; ";
            result.error += DescribeRejected(reader.rejected[i].first, reader.rejected[i].second);
        }
    }
    in_addr address{};
    if (inet_pton(AF_INET, read.listenAddress.c_str(), &address) != 1) {
        result.rejectedListenAddress = read.listenAddress;
        read.listenAddress = Settings().listenAddress;
    }
    read.tlsCertificate = BesideSettings(path, read.tlsCertificate);
    read.tlsKey = BesideSettings(path, read.tlsKey);
    if (read.maildir == "~" || read.maildir.starts_with("~/")) {
        const char* home = std::getenv("HOME");
        read.maildir = std::string(home ? home : "") + read.maildir.substr(1);
    }
    read.maildir = BesideSettings(path, read.maildir);
    settings = read;
    if (result.status != SettingsFileResult::Status::Invalid) result.status = SettingsFileResult::Status::Read;
    return result;
}
