// Composes messages for the Python decoding test. Standard input holds records
// separated by 0x1E; the fields of a record are separated by 0x1F: html-enabled
// ("0" or "1", followed by "i" for the iso-2022-jp charset setting), sender, subject,
// date (a pubDate, or "w3c:" and a W3C-DTF value), link, then pairs of piece flag ("0" text,
// "1" HTML) and piece text. Each message is written as its length, a line feed
// and its bytes.
#include "MailData.h"

#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

}  // namespace

int main() {
    const std::string input{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    for (const std::string& record : Split(input, '\x1e')) {
        if (record.empty()) continue;
        const std::vector<std::string> fields = Split(record, '\x1f');
        if (fields.size() < 5 || fields.size() % 2 == 0) {
            std::cerr << "bad record\n";
            return 2;
        }
        MailData mail(fields[0].starts_with('1'),
                      fields[0].ends_with('i') ? MailCharset::Iso2022Jp : MailCharset::Auto);
        mail.SetSender(fields[1]);
        mail.SetUid("4242");
        mail.SetSubject(fields[2]);
        // "w3c:" before a date marks a W3C-DTF value; any other is a pubDate.
        if (fields[3].starts_with("w3c:")) {
            mail.ParseW3cDate(fields[3].substr(4));
        } else if (!fields[3].empty()) {
            mail.SetDate(fields[3]);
        }
        mail.SetLink(fields[4]);
        for (std::size_t i = 5; i + 1 < fields.size(); i += 2) mail.AddBody(fields[i + 1], fields[i] == "1");
        const std::string& text = mail.GetText();
        std::cout << text.size() << '\n' << text;
    }
    return 0;
}
