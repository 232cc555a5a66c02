#include "SentItemsStore.h"

#include "AtomicFile.h"
#include "StoreXml.h"

#include <cstdio>
#include <optional>

namespace {

constexpr char kRoot[] = "sent-items";
constexpr char kWrongRoot[] = "ルート要素がsent-itemsではありません。";

bool IsXmlChar(char32_t cp) {
    return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
           (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

// The length of the well-formed UTF-8 sequence at s[i], or 0; cp is its character.
size_t Utf8Sequence(std::string_view s, size_t i, char32_t& cp) {
    const auto c = static_cast<unsigned char>(s[i]);
    cp = c;
    if (c < 0x80) return 1;
    const size_t need = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (need == 0 || i + need > s.size()) return 0;
    cp = c & (0xFF >> (need + 1));
    for (size_t k = 1; k < need; ++k) {
        const auto next = static_cast<unsigned char>(s[i + k]);
        if ((next & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (next & 0x3F);
    }
    const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < minimum[need] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return need;
}

// The text as the file gives it back: each byte that does not belong to a UTF-8
// sequence becomes U+FFFD, and so does each character XML 1.0 cannot hold (controls
// other than tab, line feed and carriage return; U+FFFE; U+FFFF). Such a record is
// written, and the item still matches it, instead of the whole save failing.
std::string StoredText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const size_t length = Utf8Sequence(text, i, cp);
        if (length == 0 || !IsXmlChar(cp)) {
            out += "\xEF\xBF\xBD";
        } else {
            out.append(text, i, length);
        }
        i += length == 0 ? 1 : length;
    }
    return out;
}

// Escapes as the writer always has: the three markup characters, and carriage returns,
// which a reader would otherwise turn into line feeds.
void AppendEscaped(std::string& out, std::string_view text) {
    for (char c : StoredText(text)) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\r': out += "&#xD;"; break;
        default: out += c;
        }
    }
}

void AppendElement(std::string& out, const char* name, std::string_view value) {
    out += "    <";
    out += name;
    out += '>';
    AppendEscaped(out, value);
    out += "</";
    out += name;
    out += ">\n";
}

std::string IndexKey(std::string_view subject, std::string_view link) {
    std::string key;
    key.reserve(subject.size() + link.size() + 1);
    key += subject;
    key += '\0';  // stored texts never hold a NUL, so keys cannot run into each other
    key += link;
    return key;
}

// Collects the item elements under the root; a later subject, link or date element of
// one item wins over an earlier one.
class SentItemsReader : public XmlVisitor {
public:
    void ElementStart(const std::vector<std::string>& path, const XmlAttributes&) override {
        if (path.size() == 2 && path[1] == "item") current_.emplace();
    }
    void ElementEnd(const std::vector<std::string>& path,
                    const std::optional<std::string>& firstChild) override {
        if (path.size() == 3 && current_ && firstChild) {
            if (path[2] == "subject") current_->subject = *firstChild;
            else if (path[2] == "link") current_->link = *firstChild;
            else if (path[2] == "date") current_->date = *firstChild;
            else if (path[2] == "last-seen") current_->lastSeen = *firstChild;
        } else if (path.size() == 2 && current_) {
            records.push_back(std::move(*current_));
            current_.reset();
        }
    }

    std::vector<SentRecord> records;

private:
    std::optional<SentRecord> current_;
};

}  // namespace

SentItemsStore::LoadResult SentItemsStore::Load(const std::string& path) {
    records_.clear();
    index_.clear();
    LoadResult result;
    const StoreFileBytes file = ReadStoreFile(path);
    if (file.status == StoreFileBytes::Status::Missing) return result;
    result.status = LoadStatus::Unreadable;
    if (file.status == StoreFileBytes::Status::Unreadable) {
        result.error = file.error;
        return result;
    }
    SentItemsReader reader;
    const XmlWalkResult walk = WalkXml(file.bytes, reader);
    if (!walk.error.empty()) {
        result.error = path + ": " + walk.error;
        return result;
    }
    if (walk.root != kRoot) {
        result.error = kWrongRoot;
        return result;
    }
    records_ = std::move(reader.records);
    for (size_t i = 0; i < records_.size(); ++i)
        index_[IndexKey(records_[i].subject, records_[i].link)].push_back(i);
    result.status = LoadStatus::Loaded;
    return result;
}

std::optional<size_t> SentItemsStore::Find(std::string_view subject, std::string_view link,
                                            std::string_view date, bool compareDate) const {
    const auto bucket = index_.find(IndexKey(StoredText(subject), StoredText(link)));
    if (bucket == index_.end()) return std::nullopt;
    if (!compareDate) return bucket->second.front();
    const std::string stored = StoredText(date);
    for (size_t i : bucket->second) {
        if (records_[i].date == stored) return i;
    }
    return std::nullopt;
}

std::chrono::sys_days SystemToday() {
    return std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
}

std::string SentItemsStore::DayText(std::chrono::sys_days day) {
    const std::chrono::year_month_day ymd(day);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    return text;
}

std::optional<std::chrono::sys_days> SentItemsStore::ParseDay(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    int fields[3] = {};
    const size_t starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
    for (int f = 0; f < 3; ++f) {
        for (size_t k = 0; k < lengths[f]; ++k) {
            const char c = text[starts[f] + k];
            if (c < '0' || c > '9') return std::nullopt;
            fields[f] = fields[f] * 10 + (c - '0');
        }
    }
    const std::chrono::year_month_day ymd{std::chrono::year(fields[0]),
                                          std::chrono::month(static_cast<unsigned>(fields[1])),
                                          std::chrono::day(static_cast<unsigned>(fields[2]))};
    if (!ymd.ok()) return std::nullopt;
    return std::chrono::sys_days(ymd);
}

std::string SentItemsStore::Serialise(const std::vector<SentRecord>& records) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n";
    if (records.empty()) return out + "<" + kRoot + "/>\n";
    out += "<sent-items>\n\n";
    for (const auto& record : records) {
        out += "  <item>\n";
        AppendElement(out, "subject", record.subject);
        AppendElement(out, "link", record.link);
        AppendElement(out, "date", record.date);
        if (!record.lastSeen.empty()) AppendElement(out, "last-seen", record.lastSeen);
        out += "  </item>\n\n";
    }
    out += "</sent-items>\n";
    return out;
}

bool SentItemsStore::Save(const std::string& path, const std::vector<SentRecord>& records, std::string& error) {
    return ReplaceFileAtomically(path, Serialise(records), error);
}

bool SentItemsStore::SetAside(const std::string& path) {
    const std::string bad = path + ".bad";
    return std::rename(path.c_str(), bad.c_str()) == 0;
}
