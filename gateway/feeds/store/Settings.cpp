#include "Settings.h"

#include "StoreXml.h"

#include <arpa/inet.h>

#include <algorithm>
#include <climits>

namespace {

std::string Trim(const std::string& text) {
    const char* space = " \t\r\n";
    auto first = text.find_first_not_of(space);
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// One row per settings element; a present element always overwrites the value, an
// empty one with "".
struct SettingKey {
    const char* element;
    void (*apply)(Settings&, const std::string& text);
};

const SettingKey kSettingKeys[] = {
    {"port", [](Settings& s, const std::string& t) { s.port = ParseSettingInt(t); }},
    {"disable-messagebox", [](Settings& s, const std::string& t) { s.disableMessageBox = t == "true"; }},
    {"disable-trayicon", [](Settings& s, const std::string& t) { s.disableTrayIcon = t == "true"; }},
    {"enable-html", [](Settings& s, const std::string& t) { s.enableHtml = t == "true"; }},
    {"listen-address", [](Settings& s, const std::string& t) { s.listenAddress = Trim(t); }},
    // Below 1 means one at a time; the cap keeps a typo from opening thousands of sockets.
    {"download-concurrency", [](Settings& s, const std::string& t) {
         s.downloadConcurrency = std::clamp(ParseSettingInt(t), 1, 256);
     }},
    {"mail-charset", [](Settings& s, const std::string& t) { s.mailCharset = ParseMailCharset(t); }},
    // A day and a week at most: a typo must not leave a client waiting or feeds unread.
    {"greeting-deadline", [](Settings& s, const std::string& t) {
         s.greetingDeadlineSeconds = std::clamp(ParseSettingInt(t), 0, 24 * 60 * 60);
     }},
    {"refresh-interval", [](Settings& s, const std::string& t) {
         s.refreshIntervalMinutes = std::clamp(ParseSettingInt(t), 0, 7 * 24 * 60);
     }},
    {"tls-certificate", [](Settings& s, const std::string& t) { s.tlsCertificate = Trim(t); }},
    {"tls-key", [](Settings& s, const std::string& t) { s.tlsKey = Trim(t); }},
    {"tls-port", [](Settings& s, const std::string& t) { s.tlsPort = ParseSettingInt(t); }},
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
            if (path[2] == key.element) key.apply(settings_, firstChild.value_or(""));
        }
    }

private:
    Settings& settings_;
};

}  // namespace

int ParseSettingInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        // Saturates instead of overflowing; such a port fails to bind with its message.
        if (value < INT_MAX) value = value * 10 + (text[i] - '0');
    }
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(negative ? -value : value);
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
    in_addr address{};
    if (inet_pton(AF_INET, read.listenAddress.c_str(), &address) != 1) {
        result.rejectedListenAddress = read.listenAddress;
        read.listenAddress = Settings().listenAddress;
    }
    read.tlsCertificate = BesideSettings(path, read.tlsCertificate);
    read.tlsKey = BesideSettings(path, read.tlsKey);
    settings = read;
    result.status = SettingsFileResult::Status::Read;
    return result;
}
