#include "IniFile.h"

#include "TextUtil.h"

#include <iterator>

namespace {

// A CR is stripped only at the end, where a CR LF file leaves it.
std::string_view TrimIniSpace(std::string_view text) { return TrimEnd(TrimStart(text, " \t"), " \t\r"); }

// Section and key names compare without regard to ASCII case, as INI readers do.
bool SameName(std::string_view a, std::string_view b) { return EqualsIgnoringCase(a, b); }

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
    IniFile ini;
    ini.sections_.push_back({});
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view raw = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        const std::string_view line = TrimIniSpace(raw);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            ini.sections_.push_back({std::string(TrimIniSpace(line.substr(1, line.size() - 2))), {}});
            continue;
        }
        const std::size_t equals = line.find('=');
        if (line.empty() || line.front() == ';' || line.front() == '#' ||
            equals == std::string_view::npos || TrimIniSpace(line.substr(0, equals)).empty()) {
            ini.sections_.back().entries.push_back({std::string(), std::string(raw)});
            continue;
        }
        ini.sections_.back().entries.push_back(
            {std::string(TrimIniSpace(line.substr(0, equals))), std::string(TrimIniSpace(line.substr(equals + 1)))});
    }
    return ini;
}

std::string IniFile::Text() const {
    std::string out;
    for (const Section& section : sections_) {
        if (!section.name.empty()) out += "[" + section.name + "]\n";
        for (const Entry& entry : section.entries) {
            out += entry.key.empty() ? entry.value : entry.key + "=" + entry.value;
            out += '\n';
        }
    }
    return out;
}

std::optional<std::string> IniFile::Value(std::string_view section, std::string_view key) const {
    for (const Section& s : sections_) {
        if (!SameName(s.name, section)) continue;
        for (const Entry& entry : s.entries) {
            if (!entry.key.empty() && SameName(entry.key, key)) return entry.value;
        }
    }
    return std::nullopt;
}

void IniFile::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    Section* target = nullptr;
    for (Section& s : sections_) {
        if (s.name.empty() || !SameName(s.name, section)) continue;
        for (Entry& entry : s.entries) {
            if (!entry.key.empty() && SameName(entry.key, key)) {
                entry.value = std::string(value);
                return;
            }
        }
        if (target == nullptr) target = &s;
    }
    if (target == nullptr) {
        sections_.push_back({std::string(section), {}});
        target = &sections_.back();
    }
    // New keys go after the section's last pair, before trailing blank lines.
    auto at = target->entries.end();
    while (at != target->entries.begin() && std::prev(at)->key.empty() &&
           TrimIniSpace(std::prev(at)->value).empty()) {
        --at;
    }
    target->entries.insert(at, {std::string(key), std::string(value)});
}
