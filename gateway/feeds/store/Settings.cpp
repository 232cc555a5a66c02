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

// What a row makes of its element's text.
struct Reading {
    bool usable = true;   // false: the value stays as it was and the file is invalid
    std::string warning;  // read as before, but said in the log
};

// One row per settings element; a present element always overwrites the value, an
// empty one with "". A row whose reading is not usable leaves the value as it was;
// the file is then unusable unless a later element of the name is accepted.
struct SettingKey {
    const char* element;
    Reading (*apply)(Settings&, const std::string& text);
};

Reading Usable(bool usable) { return {usable, {}}; }

// A number setting: white space around it, an optional sign and decimal digits, nothing
// else ("1e9", "0x10", "3.9" and "10 minutes" would read as 1, 0, 3 and 10). What
// earlier versions took without a word, an empty element (0) and a number outside
// [low, high] (the nearest end), is still read so, with a warning.
Reading ReadNumber(const char* element, const std::string& text, int low, int high, int& value) {
    const std::string_view trimmed = Trim(text);
    std::string_view digits = trimmed;
    if (digits.starts_with('+') || digits.starts_with('-')) digits.remove_prefix(1);
    const bool empty = trimmed.empty();
    if (!empty && (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos))
        return Usable(false);
    const int read = ParseLenientInt(trimmed);
    value = std::clamp(read, low, high);
    Reading reading;
    if (empty) {
        reading.warning = std::string("the ") + element + " is empty; read as " + std::to_string(value);
    } else if (value != read) {
        const std::string number(trimmed.substr(0, 32));
        reading.warning = std::string("the ") + element + " \"" + number + (trimmed.size() > 32 ? "..." : "") + "\" is outside " +
                          std::to_string(low) + " to " + std::to_string(high) + "; read as " + std::to_string(value);
    }
    return reading;
}

std::optional<RequireTls> ParseRequireTls(std::string_view text) {
    const std::string_view value = Trim(text);
    if (value.empty() || EqualsIgnoringCase(value, "auto")) return RequireTls::Auto;
    if (EqualsIgnoringCase(value, "always")) return RequireTls::Always;
    if (EqualsIgnoringCase(value, "never")) return RequireTls::Never;
    return std::nullopt;
}

const SettingKey kSettingKeys[] = {
    // Strict where a wrong value would only fail later and elsewhere: port 0 binds a
    // random port, and "1110x" would quietly be 1110.
    {"port", [](Settings& s, const std::string& t) {
         const std::optional<int> port = ParsePort(t);
         if (port) s.port = *port;
         return Usable(port.has_value());
     }},
    {"disable-messagebox", [](Settings& s, const std::string& t) { s.disableMessageBox = t == "true"; return Usable(true); }},
    {"disable-trayicon", [](Settings& s, const std::string& t) { s.disableTrayIcon = t == "true"; return Usable(true); }},
    {"enable-html", [](Settings& s, const std::string& t) { s.enableHtml = t == "true"; return Usable(true); }},
    {"listen-address", [](Settings& s, const std::string& t) { s.listenAddress = std::string(Trim(t)); return Usable(true); }},
    // Taken as written: a space at either end is part of the password.
    {"password", [](Settings& s, const std::string& t) { s.password = t; return Usable(true); }},
    // The cap keeps a typo from opening thousands of sockets.
    {"download-concurrency", [](Settings& s, const std::string& t) {
         return ReadNumber("download-concurrency", t, 1, 256, s.downloadConcurrency);
     }},
    {"mail-charset", [](Settings& s, const std::string& t) { s.mailCharset = ParseMailCharset(t); return Usable(true); }},
    // A day and a week at most: a typo must not leave a client waiting or feeds unread.
    {"greeting-deadline", [](Settings& s, const std::string& t) {
         return ReadNumber("greeting-deadline", t, 0, 24 * 60 * 60, s.greetingDeadlineSeconds);
     }},
    {"refresh-interval", [](Settings& s, const std::string& t) {
         return ReadNumber("refresh-interval", t, 0, 7 * 24 * 60, s.refreshIntervalMinutes);
     }},
    {"min-feed-interval", [](Settings& s, const std::string& t) {
         return ReadNumber("min-feed-interval", t, 0, 24 * 60, s.minFeedIntervalMinutes);
     }},
    // Taken as written but for white space around it; an empty one keeps the default,
    // and a line break could end the header early.
    {"user-agent", [](Settings& s, const std::string& t) {
         const std::string_view agent = Trim(t);
         if (agent.find_first_of("\r\n") != std::string_view::npos) return Usable(false);
         s.userAgent = agent.empty() ? Settings().userAgent : std::string(agent);
         return Usable(true);
     }},
    {"keep-days", [](Settings& s, const std::string& t) {
         return ReadNumber("keep-days", t, 0, 3650, s.keepDays);
     }},
    {"maildir", [](Settings& s, const std::string& t) { s.maildir = std::string(Trim(t)); return Usable(true); }},
    // Strict: a typo must not pour every feed into one folder, or the other way round.
    {"maildir-folders", [](Settings& s, const std::string& t) {
         const std::string_view value = Trim(t);
         if (value != "none" && value != "feeds") return Usable(false);
         s.maildirFeedFolders = value == "feeds";
         return Usable(true);
     }},
    {"tls-certificate", [](Settings& s, const std::string& t) { s.tlsCertificate = std::string(Trim(t)); return Usable(true); }},
    {"tls-key", [](Settings& s, const std::string& t) { s.tlsKey = std::string(Trim(t)); return Usable(true); }},
    // As strict as port: a typo must not move implicit TLS to the default port.
    {"tls-port", [](Settings& s, const std::string& t) {
         const std::optional<int> port = ParsePort(t);
         if (port) s.tlsPort = *port;
         return Usable(port.has_value());
     }},
    // New, so strict from the start: a typo must not quietly let passwords travel in clear.
    {"require-tls", [](Settings& s, const std::string& t) {
         const std::optional<RequireTls> value = ParseRequireTls(t);
         if (value) s.requireTls = *value;
         return Usable(value.has_value());
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
            std::erase_if(warnings, [&](const auto& w) { return w.first == key.element; });
            const Reading reading = key.apply(settings_, text);
            if (!reading.usable) rejected.emplace_back(key.element, text);
            if (!reading.warning.empty()) warnings.emplace_back(key.element, reading.warning);
        }
    }

    // Element name and text of every value that could not be used, in document order.
    std::vector<std::pair<std::string, std::string>> rejected;
    // Element name and warning of every value read the lenient way.
    std::vector<std::pair<std::string, std::string>> warnings;

private:
    Settings& settings_;
};

// The text of an element for one line of a log and a box.
std::string Shown(const std::string& text) {
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
    return shown;
}

std::string DescribeRejected(const std::string& element, const std::string& text) {
    const std::string shown = Shown(text);
    if (element == "port" || element == "tls-port") return "the " + element + " \"" + shown + "\" is not a number from 1 to 65535";
    if (element == "user-agent") return "the user-agent \"" + shown + "\" holds a line break";
    if (element == "require-tls") return "the require-tls \"" + shown + "\" is not auto, always or never";
    if (element == "download-concurrency" || element == "greeting-deadline" || element == "refresh-interval" ||
        element == "min-feed-interval")
        return "the " + element + " \"" + shown + "\" is not a whole number (digits only)";
    return "the " + element + " \"" + shown + "\" cannot be used";
}

}  // namespace

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
    for (const auto& warning : reader.warnings) result.warnings.push_back(path + ": " + warning.second);
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
