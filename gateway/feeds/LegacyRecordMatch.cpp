#include "LegacyRecordMatch.h"

#include <optional>
#include <string>
#include <vector>

namespace {

// Texts a record of an earlier version may hold for an item.
struct RecordTexts {
    std::string subject;
    std::string link;
    std::string date;
};

// What earlier versions recorded for the item, most likely first: the texts of the
// message, and those read before links were resolved or entities decoded (the parser
// gives them when they differ). More candidates go at the end of the list.
std::vector<RecordTexts> LegacyRecordTexts(const FeedItem& item, const MailData& message) {
    const std::string subject = message.GetSubject();
    const std::string link = message.GetLink();
    const std::string date = message.GetDate();
    const std::string& oldSubject = item.legacyTitle.empty() ? subject : item.legacyTitle;
    const std::string& oldLink = item.rawLink.empty() ? link : item.rawLink;
    std::vector<RecordTexts> texts{{subject, link, date}};
    auto add = [&texts](const std::string& s, const std::string& l, const std::string& d) {
        for (const auto& t : texts) {
            if (t.subject == s && t.link == l && t.date == d) return;
        }
        texts.push_back({s, l, d});
    };
    add(oldSubject, oldLink, date);
    add(subject, oldLink, date);
    add(oldSubject, link, date);
    // Versions before dates were written as RFC 5322 dates and titles were read whole
    // recorded the date text as they wrote it and the title's first node as written.
    const std::optional<std::string>& rawSubject = message.GetRawSubject();
    const std::string legacyDate = message.GetLegacyDate();
    std::vector<const std::string*> subjects{&subject, &oldSubject};
    if (rawSubject) subjects.push_back(&*rawSubject);
    std::vector<const std::string*> dates{&date};
    if (legacyDate != date) dates.push_back(&legacyDate);
    for (const std::string* d : dates) {
        for (const std::string* s : subjects) {
            for (const std::string* l : {&link, &oldLink}) add(*s, *l, *d);
        }
    }
    return texts;
}

}  // namespace

bool MatchLegacyRecord(SentItemsStore& records, const FeedItem& item, const MailData& message, bool exact) {
    for (const RecordTexts& texts : LegacyRecordTexts(item, message)) {
        if (records.MatchLegacy(texts.subject, texts.link, texts.date, exact)) return true;
    }
    return false;
}
