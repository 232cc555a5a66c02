#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A whole INI file in memory: sections in file order, each with its lines in order.
// Lines that are not key=value pairs (comments, blank lines) are kept where they
// stand, so writing the file back changes only the values that were set.
class IniFile {
public:
    static IniFile Parse(std::string_view text);
    std::string Text() const;

    std::optional<std::string> Value(std::string_view section, std::string_view key) const;
    // Replaces the key's value, or appends the key to its section (the section to the
    // file) when it is not there yet.
    void SetValue(std::string_view section, std::string_view key, std::string_view value);

private:
    struct Entry {
        std::string key;    // empty for a kept non-pair line
        std::string value;  // the value, or the whole kept line
    };
    struct Section {
        std::string name;   // empty for lines before the first section header
        std::vector<Entry> entries;
    };
    std::vector<Section> sections_;
};
