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

// The Message-ID's left part: the uid, which is digits; anything else is left out, so
// the field always parses.
std::string MessageIdField(std::string_view uid) {
    std::string id;
    for (char c : uid) {
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) id += c;
    }
    return id.empty() ? std::string() : "Message-ID: <" + id + "@quillo.invalid>\r\n";
}

}  // namespace

MailData::MailData(bool htmlEnabled, MailCharset charset, std::time_t firstSeen)
    : htmlEnabled_(htmlEnabled),
      charset_(charset),
      mailDate_(FormatMailDate(LocalInstant(firstSeen))),
      legacyDate_(LegacyClockDate(firstSeen)) {}

void MailData::SetDate(std::string_view pubDate) {
    legacyDate_ = pubDate;
    TakeDate(pubDate, ParseFeedDate(pubDate, false));
}

void MailData::ParseW3cDate(std::string_view value) {
    if (auto legacy = LegacyW3cDate(value, hasTime_)) legacyDate_ = std::move(*legacy);
    TakeDate(value, ParseFeedDate(value, true));
}

void MailData::TakeDate(std::string_view text, const std::optional<MailInstant>& instant) {
    if (instant) {
        mailDate_ = FormatMailDate(*instant);
        dateRead_ = true;
    } else if (!dateRead_) {
        date_ = text;
    }
}

void MailData::AddBody(std::string_view text, bool isHtml) {
    if (isHtml) htmlSeen_ = true;
    // Control characters go before the HTML parser could make U+FFFD of them.
    const std::string piece = WithoutControlCharacters(text);
    // Consecutive HTML pieces (a text node and a CDATA section of one element) are one
    // document to the HTML parser, so a tag split between them still reads.
    if (!body_.empty() && body_.back().isHtml == isHtml) {
        body_.back().text += piece;
        return;
    }
    body_.push_back({piece, isHtml});
}

std::string MailData::PlainBody(const std::string& link) const {
    // A link resolved against the feed's URL may carry its user name and password.
    std::string text = "link: " + UrlWithoutCredentials(link) + "\n\n";
    HtmlLinks links;
    // A character reference ("&#1;") makes one again when HTML is read.
    for (const BodyPiece& piece : body_)
        text += piece.isHtml ? WithoutControlCharacters(RenderHtmlText(piece.text, links)) : piece.text;
    text += WithoutControlCharacters(links.ListText());
    return text;
}

std::string MailData::HtmlBody(const std::string& link) const {
    std::string html;
    for (const BodyPiece& piece : body_) html += piece.isHtml ? piece.text : EscapeHtmlText(piece.text);
    return HtmlLinkLine(link) + "\n\n" + WithoutControlCharacters(CleanHtml(html));
}

const std::string& MailData::GetText() {
    if (!text_.empty()) return text_;
    const bool multipart = htmlSeen_ && htmlEnabled_;
    const std::string sender = WithoutControlCharacters(sender_);
    const std::string subject = WithoutControlCharacters(subject_);
    // The pieces lost theirs as they were added.
    const std::string link = WithoutControlCharacters(link_);
    const std::string plain = PlainBody(link);
    const std::string html = multipart ? HtmlBody(link) : std::string();
    // The HTML part does not take part: in ISO-2022-JP a character the set lacks
    // becomes a character reference, which HTML reads back as that character.
    const bool iso = charset_ == MailCharset::Iso2022Jp || SuitsIso2022Jp({sender, subject, plain});
    const HeaderCharset headers = charset_ == MailCharset::Iso2022Jp ? HeaderCharset::Iso2022JpWindows
                                  : iso                              ? HeaderCharset::Iso2022Jp
                                                                     : HeaderCharset::Utf8;
    const EncodedBody plainPart = EncodeBody(plain + "\n", iso);

    std::string text;
    text.reserve(plainPart.text.size() * (multipart ? 3 : 1) + plainPart.text.size() / 32 + 512);
    text += FromField(sender, senderAddress_.empty() ? FeedSenderAddress(sender_) : senderAddress_, headers);
    text += UnstructuredField("Subject", subject, headers);
    text += "Date: " + mailDate_ + "\r\n";
    text += MessageIdField(uid_);
    text += "Mime-Version: 1.0\r\n";
    if (!multipart) {
        text += "Content-Transfer-Encoding: " + plainPart.transferEncoding + "\r\n";
        text += "Content-Type: Text/Plain; charset=" + plainPart.charset + "\r\n";
        text += "\r\n";
        AppendMailBody(plainPart.text, text);
    } else {
        // Characters of attributes or entities the text part does not show may still
        // lie outside JIS X 0208; they go as references, so that every reader decodes.
        const bool jisOnly = iso && charset_ == MailCharset::Auto;
        const EncodedBody htmlPart = EncodeBody((jisOnly ? HtmlInJisX0208(html) : html) + "\n", iso);
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
