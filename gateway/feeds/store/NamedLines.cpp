#include "NamedLines.h"

bool ReadNamedLines(std::string_view text, std::string_view header,
                    const std::function<void(std::string_view name, std::string_view value)>& take) {
    const std::size_t firstEnd = text.find('\n');
    if (text.substr(0, firstEnd) != header) return false;
    std::size_t at = firstEnd == std::string_view::npos ? text.size() : firstEnd + 1;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        const std::size_t space = line.find(' ');
        if (space != std::string_view::npos) take(line.substr(0, space), line.substr(space + 1));
    }
    return true;
}
