#include "MailData.h"

#include "HtmlCleaner.h"
#include "HtmlText.h"
#include "KanjiConverter.h"
#include "MailDate.h"
#include "MailHeaders.h"
#include "SafeUrl.h"

#include <ctime>

namespace {

// The text after the header block: every line ends in CR LF, bare CR or LF from the
// feed included. Lines that begin with "." stay as they are; the POP3 server stuffs
// them while sending.
void AppendMailBody(std::string_view text, std::string& out) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\r\n";
            continue;
        }
        out += c;
    }
}

std::string PartHeader(std::string_view type, const EncodedBody& body) {
    return "Content-Type: " + std::string(type) + "; charset=" + body.charset +
           "\r\nContent-Transfer-Encoding: " + body.transferEncoding + "\r\n\r\n";
}

// A boundary that no part holds: encoded parts never contain "=_", and a 7-bit part
// is searched.
std::string Boundary(const EncodedBody& plain, const EncodedBody& html) {
    for (unsigned n = 0;; ++n) {
        const std::string boundary = "=_quillo_alternative_" + std::to_string(n);
        if (plain.text.find(boundary) == std::string::npos && html.text.find(boundary) == std::string::npos)
            return boundary;
    }
}

}  // namespace

MailData::MailData(bool htmlEnabled, MailCharset charset)
    : htmlEnabled_(htmlEnabled), charset_(charset), date_(FormatClockDate(std::time(nullptr))) {}

void MailData::AddBody(std::string_view text, bool isHtml) {
    if (isHtml) htmlSeen_ = true;
    // Consecutive HTML pieces (a text node and a CDATA section of one element) are one
    // document to the HTML parser, so a tag split between them still reads.
    if (!body_.empty() && body_.back().isHtml == isHtml) {
        body_.back().text += text;
        return;
    }
    body_.push_back({std::string(text), isHtml});
}

std::string MailData::PlainBody() const {
    // A link resolved against the feed's URL may carry its user name and password.
    std::string text = "link: " + UrlWithoutCredentials(link_) + "\n\n";
    HtmlLinks links;
    for (const BodyPiece& piece : body_) text += piece.isHtml ? RenderHtmlText(piece.text, links) : piece.text;
    text += links.ListText();
    return text;
}

std::string MailData::HtmlBody() const {
    std::string html;
    for (const BodyPiece& piece : body_) html += piece.isHtml ? piece.text : EscapeHtmlText(piece.text);
    return HtmlLinkLine(link_) + "\n\n" + CleanHtml(html);
}

const std::string& MailData::GetText() {
    if (!text_.empty()) return text_;
    const bool multipart = htmlSeen_ && htmlEnabled_;
    const std::string plain = PlainBody();
    const std::string html = multipart ? HtmlBody() : std::string();
    // The HTML part does not take part: in ISO-2022-JP a character the set lacks
    // becomes a character reference, which HTML reads back as that character.
    const bool iso = charset_ == MailCharset::Iso2022Jp ||
                     (FitsIso2022Jp(sender_) && FitsIso2022Jp(subject_) && FitsIso2022Jp(plain));
    const EncodedBody plainPart = EncodeBody(plain + "\n", iso);

    std::string text;
    text.reserve(plainPart.text.size() * (multipart ? 3 : 1) + plainPart.text.size() / 32 + 512);
    text += FromField(sender_, senderAddress_.empty() ? FeedSenderAddress(sender_) : senderAddress_);
    text += UnstructuredField("Subject", subject_);
    text += UnstructuredField("Date", date_);
    text += "Message-ID: <" + EncodeHeaderValue(OneLine(uid_), 13) + ">\r\n";
    text += "Mime-Version: 1.0\r\n";
    if (!multipart) {
        text += "Content-Transfer-Encoding: " + plainPart.transferEncoding + "\r\n";
        text += "Content-Type: Text/Plain; charset=" + plainPart.charset + "\r\n";
        text += "\r\n";
        AppendMailBody(plainPart.text, text);
    } else {
        const EncodedBody htmlPart = EncodeBody(html + "\n", iso);
        const std::string boundary = Boundary(plainPart, htmlPart);
        text += "Content-Transfer-Encoding: 7bit\r\n";
        text += "Content-Type: multipart/alternative; boundary=\"" + boundary + "\"\r\n";
        text += "\r\n";
        text += "--" + boundary + "\r\n";
        text += PartHeader("text/plain", plainPart);
        AppendMailBody(plainPart.text, text);
        text += "\r\n--" + boundary + "\r\n";
        text += PartHeader("text/html", htmlPart);
        AppendMailBody(htmlPart.text, text);
        text += "\r\n--" + boundary + "--\r\n";
    }
    if (!text.ends_with("\r\n")) text += "\r\n";
    text_ = std::move(text);
    return text_;
}

std::uint64_t LinesBeginningWithDot(std::string_view text) {
    std::uint64_t count = !text.empty() && text.front() == '.' ? 1 : 0;
    for (std::size_t at = text.find("\n."); at != std::string_view::npos; at = text.find("\n.", at + 1)) ++count;
    return count;
}
