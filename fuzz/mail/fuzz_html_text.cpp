// Any bytes as an HTML body piece: rendered as text, cleaned as HTML and composed into
// both kinds of message. It must never crash or hang, no rendered line may pass 998
// octets, and every message must stay 7-bit.
#include "HtmlText.h"
#include "MailData.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void CheckLines(std::string_view text) {
    std::size_t length = 0;
    for (char c : text) {
        length = c == '\n' ? 0 : length + 1;
        if (length > kMaxTextLine) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view html(reinterpret_cast<const char*>(data), size);
    CheckLines(HtmlToText(html));
    CleanHtml(html);
    // The first byte picks HTML mail and the charset setting.
    const uint8_t mode = size ? data[0] : 0;
    MailData mail((mode & 1) != 0, (mode & 2) ? MailCharset::Iso2022Jp : MailCharset::Auto);
    mail.SetSender("Fuzz");
    mail.SetSubject(html.substr(0, 200));
    mail.SetLink("http://127.0.0.1/");
    mail.AddBody(html, true);
    for (unsigned char c : mail.GetText()) {
        if (c >= 0x80) std::abort();  // mail text leaves the gateway 7-bit
    }
    return 0;
}
