#include "MailData.h"

#include "HtmlText.h"
#include "KanjiConverter.h"
#include "MailDate.h"

#include <ctime>

namespace {

// Feed titles often span lines; a raw line break would end the header block, so
// every run of CR, LF and TAB becomes one space.
std::string OneLine(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    bool inBreak = false;
    for (char c : value) {
        if (c == '\r' || c == '\n' || c == '\t') {
            if (!inBreak) out += ' ';
            inBreak = true;
            continue;
        }
        inBreak = false;
        out += c;
    }
    return out;
}

std::string HeaderLine(std::string_view name, std::string_view value) {
    std::string line(name);
    line += EncodeHeaderValue(OneLine(value), name.size());
    line += "\r\n";
    return line;
}

// The text after the header block as RETR must send it: every line ends in CR LF
// (bare CR or LF from the feed included) and a line that begins with "." gets one
// more, so no feed line can end the message early.
void AppendMailBody(std::string_view text, std::string& out) {
    bool lineStart = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\r\n";
            lineStart = true;
            continue;
        }
        if (lineStart && c == '.') out += '.';
        lineStart = false;
        out += c;
    }
}

}  // namespace

MailData::MailData(bool htmlEnabled)
    : htmlEnabled_(htmlEnabled), date_(FormatClockDate(std::time(nullptr))) {}

void MailData::AddBody(std::string_view text, bool isHtml) {
    if (isHtml) htmlSeen_ = true;
    if (!isHtml || htmlEnabled_) {
        body_ += ConvertTextWith("-Wj", text);
    } else {
        body_ += ConvertTextWith("-Wj", ReduceHtmlToText(text));
    }
}

const std::string& MailData::GetText() {
    if (!text_.empty()) return text_;
    const bool html = htmlSeen_ && htmlEnabled_;
    std::string text;
    text.reserve(body_.size() + body_.size() / 32 + 512);
    text += HeaderLine("From: ", sender_);
    text += HeaderLine("Subject: ", subject_);
    text += HeaderLine("Date: ", date_);
    text += "Message-ID: <" + EncodeHeaderValue(OneLine(uid_), 13) + ">\r\n";
    text += "Mime-Version: 1.0\r\n";
    text += "Content-Transfer-Encoding: 7bit\r\n";
    text += html ? "Content-Type: text/html; charset=iso-2022-jp\r\n"
                 : "Content-Type: Text/Plain; charset=iso-2022-jp\r\n";
    text += "\r\n";

    // The link goes into an ISO-2022-JP body, so a link with non-ASCII letters is
    // converted like the body; an ASCII link stays byte for byte.
    const std::string link = ConvertTextWith("-Wj", link_);
    std::string rest;
    rest.reserve(body_.size() + 2 * link.size() + 64);
    if (html) {
        rest += "link: <a href=\"" + link + "\">" + link + "</a><br><br>\r\n\r\n";
    } else {
        rest += "link: " + link + "\r\n\r\n";
    }
    rest += body_;
    rest += "\r\n";
    AppendMailBody(rest, text);
    text += ".\r\n";
    text_ = std::move(text);
    return text_;
}
