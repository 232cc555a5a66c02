#include "CorvaneSettings.h"

#include "AtomicFile.h"

#include "ExecutableDirectory.h"
#include "IniFile.h"
#include "Numbers.h"
#include "OpmlWriter.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace {

IniFile ReadIni(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return IniFile::Parse("");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return IniFile::Parse(text);
}

int ReadInteger(const IniFile& ini, const char* section, const char* key, int fallback) {
    const auto value = ini.Value(section, key);
    if (!value || value->empty()) return fallback;
    // One leading '+' is allowed before the optional '-', as the reader always took it.
    std::string_view text = *value;
    if (text.front() == '+') text.remove_prefix(1);
    return ParseSignedDecimalInt(text).value_or(fallback);
}

bool ReadBoolean(const IniFile& ini, const char* section, const char* key, bool fallback) {
    const auto value = ini.Value(section, key);
    if (!value) return fallback;
    // Any non-zero integer is true; a value that is no integer keeps the default.
    constexpr int kNotInteger = INT_MIN;
    const int number = ReadInteger(ini, section, key, kNotInteger);
    if (number == kNotInteger) return fallback;
    return number != 0;
}

}  // namespace

namespace {

bool Readable(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return static_cast<bool>(file);
}

// A copy beside a Quillo.xml or its own Corvane.ini is portable: its files stay in its
// directory. An installed copy keeps them in the XDG folders.
bool IsPortable(const std::string& executableDirectory) {
    return Readable(executableDirectory + "/Corvane.ini") || Readable(executableDirectory + "/Quillo.xml");
}

std::string XdgConfigHome() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    return ConfigHome(config ? config : "", home ? home : "");
}

}  // namespace

std::string ConfigHome(const std::string& xdgConfigHome, const std::string& home) {
    if (!xdgConfigHome.empty() && xdgConfigHome[0] == '/') return xdgConfigHome;
    return home + "/.config";
}

std::string ChooseSettingsFilePath(const std::string& executableDirectory, const std::string& configHome) {
    if (IsPortable(executableDirectory)) return executableDirectory + "/Corvane.ini";
    return configHome + "/corvane/Corvane.ini";
}

std::string ChooseDefaultFeedListPath(const std::string& executableDirectory, const std::string& configHome) {
    if (IsPortable(executableDirectory)) return "";
    const std::string feedList = configHome + "/quillo/feedlist.xml";
    return Readable(feedList) ? feedList : "";
}

CorvanePaths ResolveCorvanePaths() {
    const std::string executableDirectory = ExecutableDirectory();
    const std::string configHome = XdgConfigHome();
    return {ChooseSettingsFilePath(executableDirectory, configHome),
            ChooseDefaultFeedListPath(executableDirectory, configHome)};
}

CorvaneSettings LoadSettings(const std::string& path) {
    const IniFile ini = ReadIni(path);
    CorvaneSettings defaults;
    CorvaneSettings s;
    s.top = ReadInteger(ini, "General", "Top", defaults.top);
    s.left = ReadInteger(ini, "General", "Left", defaults.left);
    s.height = ReadInteger(ini, "General", "Height", defaults.height);
    s.width = ReadInteger(ini, "General", "Width", defaults.width);
    s.confirmOnClose = ReadBoolean(ini, "Confirm", "OnClose", defaults.confirmOnClose);
    s.confirmOnUpdateFromRss =
        ReadBoolean(ini, "Confirm", "OnUpdateFromRss", defaults.confirmOnUpdateFromRss);
    s.confirmOnDelete = ReadBoolean(ini, "Confirm", "OnDelete", defaults.confirmOnDelete);
    s.apiKey = ini.Value("Bulkfeeds", "ApiKey").value_or(defaults.apiKey);
    const std::string host = ini.Value("Bulkfeeds", "Host").value_or("");
    s.bulkfeedsHost = host.empty() ? defaults.bulkfeedsHost : host;
    return s;
}

bool SaveSettings(const CorvaneSettings& s, const std::string& path) {
    IniFile ini = ReadIni(path);
    const auto flag = [](bool value) { return value ? "1" : "0"; };
    ini.SetValue("General", "Top", std::to_string(s.top));
    ini.SetValue("General", "Left", std::to_string(s.left));
    ini.SetValue("General", "Height", std::to_string(s.height));
    ini.SetValue("General", "Width", std::to_string(s.width));
    ini.SetValue("Confirm", "OnClose", flag(s.confirmOnClose));
    ini.SetValue("Confirm", "OnUpdateFromRss", flag(s.confirmOnUpdateFromRss));
    ini.SetValue("Confirm", "OnDelete", flag(s.confirmOnDelete));
    // A line break in a value would start a new key when the file is read again.
    std::string apiKey = s.apiKey;
    std::string host = s.bulkfeedsHost;
    for (std::string* value : {&apiKey, &host}) {
        for (char& c : *value) {
            if (c == '\r' || c == '\n') c = ' ';
        }
    }
    ini.SetValue("Bulkfeeds", "ApiKey", apiKey);
    ini.SetValue("Bulkfeeds", "Host", host);
    // The XDG folder of an installed copy may not be there yet; a portable copy's is
    // its own directory. A folder that cannot be made fails in the write below.
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    std::string error;
    return ReplaceFileAtomically(path, ini.Text(), error);
}
