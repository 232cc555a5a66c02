// Any bytes as the dates, subject and body of an item: the message composed from them
// in either charset must be 7-bit, hold no control character but TAB, CR, LF and
// ISO-2022-JP's own shifts, and carry a Date field that reads back as itself.
#include "MailData.h"
#include "MailDate.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The first byte picks HTML mail, the charset setting and which date calls are made.
    const uint8_t mode = size ? data[0] : 0;
    const std::string_view rest = bytes.substr(size ? 1 : 0);
    const std::string_view date = rest.substr(0, 48);
    MailData mail((mode & 1) != 0, (mode & 2) ? MailCharset::Iso2022Jp : MailCharset::Auto, 1796799600);
    if (mode & 4) mail.ParseW3cDate(date);
    if (mode & 8) mail.SetDate(date);
    mail.SetSender(rest.substr(0, 64));
    mail.SetSubject(rest);
    mail.SetLink(date);
    mail.AddBody(rest, (mode & 16) != 0);
    mail.SetUid("1234");
    const std::string& text = mail.GetText();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80 || c == 0x7F) std::abort();
        if (c < 0x20 && c != '\t' && c != '\r' && c != '\n') {
            const std::string_view shift = std::string_view(text).substr(i, 3);
            if (c != 0x1B || (shift != "\x1b$B" && shift != "\x1b(B" && shift != "\x1b(J")) std::abort();
        }
    }
    const std::size_t start = text.find("\r\nDate: ");
    if (start == std::string::npos) std::abort();
    const std::string field = text.substr(start + 8, text.find("\r\n", start + 8) - start - 8);
    const auto instant = ParseRfc822Instant(field);
    if (!instant || FormatMailDate(*instant) != field) std::abort();
    return 0;
}
