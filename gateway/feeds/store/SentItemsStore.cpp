#include "SentItemsStore.h"

#include "FeedFolder.h"
#include "StoreXml.h"
#include "TextDigest.h"

#include <cstdio>
#include <initializer_list>
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
    // Most texts are printable ASCII, which a record holds as it is.
    bool plain = true;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 || (byte < 0x20 && c != '\t' && c != '\n' && c != '\r')) {
            plain = false;
            break;
        }
    }
    if (plain) return std::string(text);
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
    AppendEscaped(out, SentItemsStore::BoundedText(value));
    out += "</";
    out += name;
    out += ">\n";
}

void AppendRecord(std::string& out, const SentRecord& record) {
    out += "  <item>\n";
    AppendElement(out, "subject", record.subject);
    AppendElement(out, "link", record.link);
    AppendElement(out, "date", record.date);
    if (!record.lastSeen.empty()) AppendElement(out, "last-seen", record.lastSeen);
    if (!record.identity.empty()) AppendElement(out, "identity", record.identity);
    out += "  </item>\n\n";
}

void AppendField(std::string& out, std::string_view field) {
    out += std::to_string(field.size());
    out += ':';
    out += field;
}

SentItemsStore::Key KeyOf(std::initializer_list<std::string_view> fields) {
    std::string joined;
    for (std::string_view field : fields) AppendField(joined, field);
    return {HashText(joined, 1), HashText(joined, 2)};
}

// The texts as a record holds them, so an item and the record made of it always agree.
SentItemsStore::Key LooseKey(std::string_view subject, std::string_view link) {
    return KeyOf({SentItemsStore::BoundedText(subject), SentItemsStore::BoundedText(link)});
}

SentItemsStore::Key ExactKey(std::string_view subject, std::string_view link, std::string_view date) {
    return KeyOf({SentItemsStore::BoundedText(subject), SentItemsStore::BoundedText(link),
                  SentItemsStore::BoundedText(date)});
}

// An identity key is 32 hexadecimal digits, taken as its 128 bits; any other text is
// keyed by its hash.
SentItemsStore::Key IdentityKey(std::string_view identity) {
    SentItemsStore::Key key;
    if (identity.size() != 32 || identity.find_first_not_of("0123456789abcdef") != std::string_view::npos)
        return KeyOf({"identity", identity});
    for (size_t i = 0; i < 32; ++i) {
        const char c = identity[i];
        const auto digit = static_cast<std::uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
        std::uint64_t& half = i < 16 ? key.high : key.low;
        half = (half << 4) | digit;
    }
    return key;
}

std::uint64_t Fingerprint(const SentRecord& record) {
    std::string joined;
    for (std::string_view field : {std::string_view(record.subject), std::string_view(record.link),
                                   std::string_view(record.date), std::string_view(record.identity)})
        AppendField(joined, field);
    return HashText(joined, 3);
}

// Hands each item element under the root to a callback; a later subject, link or date
// element of one item wins over an earlier one.
class SentItemsReader : public XmlVisitor {
public:
    explicit SentItemsReader(std::function<void(SentRecord&&)> take) : take_(std::move(take)) {}

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
            else if (path[2] == "identity") current_->identity = *firstChild;
        } else if (path.size() == 2 && current_) {
            take_(std::move(*current_));
            current_.reset();
        }
    }

private:
    std::function<void(SentRecord&&)> take_;
    std::optional<SentRecord> current_;
};

// Reads the file and hands over its records in file order. A walk that fails part-way
// may have handed over some: callers use them only when the result is Loaded.
SentItemsStore::LoadResult ReadEach(const std::string& path, const std::function<void(SentRecord&&)>& take) {
    SentItemsStore::LoadResult result;
    const StoreFileBytes file = ReadStoreFile(path);
    if (file.status == StoreFileBytes::Status::Missing) return result;
    result.status = SentItemsStore::LoadStatus::Unreadable;
    if (file.status == StoreFileBytes::Status::Unreadable) {
        result.error = file.error;
        return result;
    }
    SentItemsReader reader(take);
    // Earlier versions recorded texts whole, however long: the file is Quillo's own.
    const XmlWalkResult walk = WalkXml(file.bytes, reader, XmlTextLimit::Lifted);
    if (!walk.error.empty()) {
        result.error = path + ": " + walk.error;
        return result;
    }
    if (walk.root != kRoot) {
        result.error = kWrongRoot;
        return result;
    }
    result.status = SentItemsStore::LoadStatus::Loaded;
    return result;
}

constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n";

}  // namespace

std::string SentItemsStore::BoundedText(std::string_view text) {
    std::string stored = StoredText(text);
    if (stored.size() <= kMaxTextBytes) return stored;
    const std::string digest = TextDigest(stored);
    constexpr std::string_view kEllipsis = "\xE2\x80\xA6";  // …
    size_t cut = kMaxTextBytes - kEllipsis.size() - digest.size();
    // Cut before a character, never inside one.
    while (cut > 0 && (static_cast<unsigned char>(stored[cut]) & 0xC0) == 0x80) --cut;
    stored.resize(cut);
    stored += kEllipsis;
    stored += digest;
    return stored;
}

SentItemsStore::LoadResult SentItemsStore::ReadRecords(const std::string& path, std::vector<SentRecord>& records) {
    records.clear();
    LoadResult result = ReadEach(path, [&records](SentRecord&& record) { records.push_back(std::move(record)); });
    if (result.status != LoadStatus::Loaded) records.clear();
    return result;
}

void SentItemsStore::Add(const SentRecord& record) {
    const auto index = static_cast<std::uint32_t>(entries_.size());
    Entry entry;
    entry.fingerprint = Fingerprint(record);
    if (!record.identity.empty()) {
        byIdentity_.Insert(IdentityKey(record.identity)).first = index;
    } else {
        // Chains are built newest first and turned round once the file is read.
        RecordIndex::Slot& loose = loose_.Insert(LooseKey(record.subject, record.link));
        entry.nextLoose = loose.first;
        loose.first = index;
        RecordIndex::Slot& exact = exact_.Insert(ExactKey(record.subject, record.link, record.date));
        entry.nextExact = exact.first;
        exact.first = index;
    }
    entries_.push_back(entry);
}

void SentItemsStore::Clear() {
    path_.clear();
    entries_ = {};
    byIdentity_.Clear();
    loose_.Clear();
    exact_.Clear();
}

SentItemsStore::LoadResult SentItemsStore::Load(const std::string& path) {
    Clear();
    LoadResult result = ReadEach(path, [this](SentRecord&& record) { Add(record); });
    if (result.status != LoadStatus::Loaded) {
        Clear();
        return result;
    }
    // Each chain in file order, so the first record is taken first.
    auto turn = [this](RecordIndex& index, std::uint32_t Entry::*next) {
        index.ForEach([this, next](RecordIndex::Slot& slot) {
            std::uint32_t previous = kNone;
            for (std::uint32_t i = slot.first; i != kNone;) {
                const std::uint32_t following = entries_[i].*next;
                entries_[i].*next = previous;
                previous = i;
                i = following;
            }
            slot.first = previous;
        });
    };
    turn(loose_, &Entry::nextLoose);
    turn(exact_, &Entry::nextExact);
    entries_.shrink_to_fit();
    path_ = path;
    return result;
}

std::optional<std::size_t> SentItemsStore::MatchIdentity(std::string_view identity) {
    const RecordIndex::Slot* found = byIdentity_.Find(IdentityKey(identity));
    if (!found) return std::nullopt;
    entries_[found->first].matched = true;
    return found->first;
}

std::optional<std::size_t> SentItemsStore::TakeFirst(RecordIndex& chains, const Key& key, bool loose) {
    RecordIndex::Slot* chain = chains.Find(key);
    if (!chain) return std::nullopt;
    // Matched records are dropped from the front as they are met, so every record is
    // stepped over once at most, however many items share its texts.
    std::uint32_t& first = chain->first;
    while (first != kNone && entries_[first].matched)
        first = loose ? entries_[first].nextLoose : entries_[first].nextExact;
    if (first == kNone) {
        if (loose && chain->loosely != kNone) return chain->loosely;
        return std::nullopt;
    }
    entries_[first].matched = true;
    if (loose && chain->loosely == kNone) chain->loosely = first;
    return first;
}

std::optional<std::size_t> SentItemsStore::MatchLegacy(std::string_view subject, std::string_view link,
                                                       std::string_view date, bool compareDate) {
    if (compareDate) return TakeFirst(exact_, ExactKey(subject, link, date), false);
    return TakeFirst(loose_, LooseKey(subject, link), true);
}

bool SentItemsStore::Match(std::string_view subject, std::string_view link, std::string_view date,
                           bool compareDate) const {
    const RecordIndex& chains = compareDate ? exact_ : loose_;
    const RecordIndex::Slot* found = chains.Find(compareDate ? ExactKey(subject, link, date) : LooseKey(subject, link));
    if (!found) return false;
    for (std::uint32_t i = found->first; i != kNone;
         i = compareDate ? entries_[i].nextExact : entries_[i].nextLoose) {
        if (!entries_[i].matched) return true;
    }
    return false;
}

bool SentItemsStore::Compose(const std::vector<SentRecord>& fresh, std::chrono::sys_days today,
                             std::chrono::sys_days loadDay, std::string& file, std::string& error) const {
    const std::string opening = std::string(kDeclaration) + "<sent-items>\n\n";
    file = opening;
    for (const auto& record : fresh) AppendRecord(file, record);
    if (!path_.empty()) {
        // The loaded file again, for the texts of the records no item matched, in their
        // old order. When it is no longer the file that was loaded (another program
        // wrote it meanwhile), every record it holds is kept: better twice than lost.
        size_t position = 0;
        bool same = true;
        const LoadResult read = ReadEach(path_, [&](SentRecord&& record) {
            const size_t i = position++;
            same = same && i < entries_.size() && entries_[i].fingerprint == Fingerprint(record);
            if (same && entries_[i].matched) return;
            const std::chrono::sys_days seen = ParseDay(record.lastSeen).value_or(loadDay);
            if (today - seen > std::chrono::days(kKeepUnseenDays)) return;
            record.lastSeen = DayText(seen);
            AppendRecord(file, record);
        });
        if (read.status != LoadStatus::Loaded) {
            error = "cannot read " + path_ + " again: " + (read.error.empty() ? "it is gone" : read.error);
            return false;
        }
    }
    if (file.size() == opening.size()) {
        file = std::string(kDeclaration) + "<sent-items/>\n";
        return true;
    }
    file += "</sent-items>\n";
    return true;
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
    std::string out = kDeclaration;
    if (records.empty()) return out + "<" + kRoot + "/>\n";
    out += "<sent-items>\n\n";
    for (const auto& record : records) AppendRecord(out, record);
    out += "</sent-items>\n";
    return out;
}

bool SentItemsStore::SetAside(const std::string& path) {
    const std::string bad = path + ".bad";
    return std::rename(path.c_str(), bad.c_str()) == 0;
}
