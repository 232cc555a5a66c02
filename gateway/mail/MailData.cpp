// First cut of message composition; the full version replaces it.
#include "MailData.h"

#include "KanjiConverter.h"

#include <ctime>

MailData::MailData(bool htmlEnabled) : htmlEnabled_(htmlEnabled) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%02d %s %d %02d:%02d:%02d +0900", local.tm_mday,
                  kMonths[local.tm_mon], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec);
    date_ = buffer;
}

void MailData::ParseW3cDate(std::string_view value) { date_ = value; }

void MailData::AddBody(std::string_view text, bool isHtml) {
    if (isHtml) htmlSeen_ = true;
    SetConverterOptions("-Wj");
    body_ += ConvertText(text);
}

const std::string& MailData::GetText() {
    if (!text_.empty()) return text_;
    bool html = htmlSeen_ && htmlEnabled_;
    SetConverterOptions("-WM");
    std::string t = "From: " + ConvertText(sender_) + "\r\n";
    t += "Subject: " + ConvertText(subject_) + "\r\n";
    t += "Date: " + date_ + "\r\n";
    t += "Message-ID: <" + uid_ + ">\r\n";
    t += "Mime-Version: 1.0\r\n";
    t += "Content-Transfer-Encoding: 7bit\r\n";
    t += html ? "Content-Type: text/html; charset=iso-2022-jp\r\n"
              : "Content-Type: Text/Plain; charset=iso-2022-jp\r\n";
    t += "\r\n";
    if (html) {
        t += "link: <a href=\"" + link_ + "\">" + link_ + "</a><br><br>\r\n\r\n";
    } else {
        t += "link: " + link_ + "\r\n\r\n";
    }
    t += body_;
    t += "\r\n.\r\n";
    text_ = std::move(t);
    return text_;
}

