#include "Pop3Wire.h"

#include "MailboxMessage.h"

std::uint64_t Pop3Octets(const MailboxMessage& message) { return message.Size() + message.DotLines(); }

void AppendDotStuffed(std::string_view text, std::string& out) {
    out.reserve(out.size() + text.size() + text.size() / 64 + 5);
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        end = end == std::string_view::npos ? text.size() : end + 1;
        if (text[pos] == '.') out += '.';
        out.append(text, pos, end - pos);
        pos = end;
    }
    if (!text.empty() && !text.ends_with("\r\n")) out += "\r\n";
    out += ".\r\n";
}

std::string_view TopOfMessage(std::string_view text, int lineCount) {
    bool headerEnded = false;
    int bodyLines = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (headerEnded && bodyLines >= lineCount) break;
        const std::size_t eol = text.find("\r\n", pos);
        const std::size_t next = eol == std::string_view::npos ? text.size() : eol + 2;
        if (headerEnded) {
            ++bodyLines;
        } else if (next - pos == 2 && eol == pos) {
            headerEnded = true;
        }
        pos = next;
    }
    return text.substr(0, pos);
}
