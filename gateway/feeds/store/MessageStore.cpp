#include "MessageStore.h"

#include "MailData.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace {

constexpr std::string_view kRecordField = "X-Quillo-Record: 1";
// A record line is never longer: the texts it carries are bounded by the feed's items,
// and a longer first line is not one of ours.
constexpr std::size_t kMaxRecordLine = 1 << 20;

// Bytes outside printable ASCII, space and "%" as %XX, so a field is one token.
std::string Escape(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c <= 0x20 || c >= 0x7F || c == '%') {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::string Reason(int error) { return std::strerror(error); }

// The first line of a file, up to kMaxRecordLine bytes.
bool ReadFirstLine(const std::string& path, std::string& line, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        error = "cannot open: " + Reason(errno);
        return false;
    }
    line.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = "cannot read: " + Reason(errno);
            ::close(fd);
            return false;
        }
        const std::string_view chunk(buffer, static_cast<std::size_t>(n));
        const std::size_t eol = chunk.find('\n');
        line.append(chunk.substr(0, eol == std::string_view::npos ? chunk.size() : eol + 1));
        if (eol != std::string_view::npos || n == 0 || line.size() > kMaxRecordLine) break;
    }
    ::close(fd);
    return true;
}

}  // namespace

std::string StoredRecordLine(const StoredMessage::Facts& facts, std::uint64_t dotLines) {
    std::string line(kRecordField);
    line += " k=" + Escape(facts.key);
    line += " u=" + Escape(facts.uid);
    line += " w=" + std::string(facts.compareDate ? "1" : "0");
    line += " n=" + std::to_string(dotLines);
    line += " f=" + Escape(facts.feedUrl);
    line += " s=" + Escape(facts.record.subject);
    line += " l=" + Escape(facts.record.link);
    line += " d=" + Escape(facts.record.date);
    return line + "\r\n";
}

std::optional<StoredMessage::Facts> ParseStoredRecordLine(std::string_view line, std::uint64_t& dotLines) {
    if (!line.starts_with(kRecordField) || !line.ends_with("\r\n")) return std::nullopt;
    line.remove_prefix(kRecordField.size());
    line.remove_suffix(2);
    StoredMessage::Facts facts;
    unsigned seen = 0;
    while (!line.empty()) {
        if (line.front() != ' ') return std::nullopt;
        line.remove_prefix(1);
        const std::size_t end = std::min(line.find(' '), line.size());
        const std::string_view field = line.substr(0, end);
        line.remove_prefix(end);
        if (field.size() < 2 || field[1] != '=') return std::nullopt;
        const std::optional<std::string> value = Unescape(field.substr(2));
        if (!value) return std::nullopt;
        switch (field[0]) {
            case 'k': facts.key = *value; seen |= 1; break;
            case 'u': facts.uid = *value; seen |= 2; break;
            case 'w': facts.compareDate = *value == "1"; seen |= 4; break;
            case 'n': {
                if (value->empty() || value->find_first_not_of("0123456789") != std::string::npos ||
                    value->size() > 18)
                    return std::nullopt;
                dotLines = std::stoull(*value);
                seen |= 8;
                break;
            }
            case 'f': facts.feedUrl = *value; break;
            case 's': facts.record.subject = *value; break;
            case 'l': facts.record.link = *value; break;
            case 'd': facts.record.date = *value; break;
            default: break;  // a later version's field
        }
    }
    if (seen != 15 || facts.key.empty()) return std::nullopt;
    // A record made of a stored message carries its identity.
    facts.record.identity = facts.key;
    return facts;
}

StoredMessage::StoredMessage(Facts facts, std::uint64_t size, std::uint64_t dotLines, std::string name,
                             std::string path, std::uint64_t textOffset, std::int64_t arrived)
    : MailboxMessage(facts.uid, size, dotLines),
      facts_(std::move(facts)),
      name_(std::move(name)),
      path_(std::move(path)),
      textOffset_(textOffset),
      arrived_(arrived) {}

StoredMessage::StoredMessage(Facts facts, std::shared_ptr<const std::string> text, std::int64_t arrived)
    : MailboxMessage(facts.uid, text->size(), LinesBeginningWithDot(*text)),
      facts_(std::move(facts)),
      held_(std::move(text)),
      arrived_(arrived) {}

bool StoredMessage::ReadText(std::string& text, std::string& error) const {
    if (held_) {
        text = *held_;
        return true;
    }
    text.clear();
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        error = "cannot open " + name_ + ": " + Reason(errno);
        return false;
    }
    text.resize(Size());
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::pread(fd, text.data() + done, text.size() - done,
                                  static_cast<off_t>(textOffset_ + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const int readError = errno;
    ::close(fd);
    if (done != text.size()) {
        error = "cannot read " + name_ + ": " + (done < text.size() ? std::string("file shorter than stored") : Reason(readError));
        text.clear();
        return false;
    }
    return true;
}

MessageStore::MessageStore(std::string feedFolder, const MaildirCalls& calls)
    : path_(std::move(feedFolder) + "mail"), calls_(calls) {}

std::string MessageStore::FeedUrl() const {
    return messages_.empty() ? std::string() : messages_.front()->GetFacts().feedUrl;
}

std::vector<std::string> MessageStore::Load(const std::function<bool(const StoredMessage&)>& delivered) {
    std::vector<std::string> problems;
    messages_.clear();
    byKey_.clear();
    std::string error;
    maildir_ = Maildir::Open(path_, error, calls_);
    if (!maildir_) {
        struct stat info {};
        // No store yet is the normal case for a new feed, or a folder an earlier
        // version wrote.
        if (stat(path_.c_str(), &info) == 0) problems.push_back(error);
        return problems;
    }
    std::string tmpError;
    maildir_->CleanTmp(tmpError);
    const MaildirListing listing = maildir_->List();
    if (!listing.error.empty()) problems.push_back(listing.error);
    for (const auto& skipped : listing.skipped) problems.push_back(skipped.path + ": " + skipped.reason);
    std::vector<std::string> recorded;
    for (const MaildirEntry& entry : listing.messages) {
        std::string line;
        if (!ReadFirstLine(entry.path, line, error)) {
            problems.push_back(entry.path + ": " + error);
            continue;
        }
        std::uint64_t dotLines = 0;
        std::optional<StoredMessage::Facts> facts = ParseStoredRecordLine(line, dotLines);
        if (!facts || line.size() >= entry.size) {
            problems.push_back(entry.path + ": not a stored message");
            continue;
        }
        auto message = std::make_shared<const StoredMessage>(std::move(*facts), entry.size - line.size(), dotLines,
                                                              entry.name, entry.path, line.size(),
                                                              static_cast<std::int64_t>(entry.parsed.seconds));
        if (delivered && delivered(*message)) {
            recorded.push_back(entry.name);
            continue;
        }
        // Two files of one item (a copy made by hand): the earlier one stands.
        if (!byKey_.emplace(message->GetFacts().key, message).second) continue;
        messages_.push_back(std::move(message));
    }
    if (!recorded.empty()) {
        const std::vector<std::string> errors = maildir_->RemoveAll(recorded);
        for (const auto& text : errors) {
            if (!text.empty()) problems.push_back(text);
        }
    }
    return problems;
}

std::string MessageStore::Add(std::vector<NewMessage> batch) {
    // One file per identity: a second message of an identity is never written, or the
    // removal of the first would leave the second to come back.
    std::unordered_set<std::string> keys;
    std::vector<NewMessage> messages;
    messages.reserve(batch.size());
    for (auto& message : batch) {
        if (!byKey_.contains(message.facts.key) && keys.insert(message.facts.key).second)
            messages.push_back(std::move(message));
    }
    if (messages.empty()) return "";
    std::string error;
    if (!maildir_) maildir_ = Maildir::Create(path_, error, calls_);
    std::vector<std::string> files;
    files.reserve(messages.size());
    std::vector<std::uint64_t> dots;
    dots.reserve(messages.size());
    for (const auto& message : messages) {
        dots.push_back(LinesBeginningWithDot(*message.text));
        std::string file = StoredRecordLine(message.facts, dots.back());
        file += *message.text;
        files.push_back(std::move(file));
    }
    std::vector<MaildirDelivery> results(messages.size());
    if (maildir_) {
        std::vector<MaildirMessage> batch;
        batch.reserve(messages.size());
        for (std::size_t i = 0; i < messages.size(); ++i) batch.push_back({files[i], ""});
        results = maildir_->DeliverAll(batch);
    } else {
        for (auto& result : results) result.error = error;
    }
    std::string failure;
    const std::int64_t now = calls_.now().tv_sec;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        NewMessage& message = messages[i];
        StoredMessagePointer stored;
        if (!results[i].name.empty()) {
            const std::uint64_t offset = files[i].size() - message.text->size();
            stored = std::make_shared<const StoredMessage>(std::move(message.facts), message.text->size(), dots[i],
                                                           results[i].name, path_ + "/" + results[i].name, offset,
                                                           now);
        } else {
            stored = std::make_shared<const StoredMessage>(std::move(message.facts), std::move(message.text), now);
        }
        if (!results[i].error.empty() && failure.empty()) failure = results[i].error;
        byKey_.emplace(stored->GetFacts().key, stored);
        messages_.push_back(std::move(stored));
    }
    return failure;
}

std::string MessageStore::Remove(const std::vector<StoredMessagePointer>& messages) {
    std::unordered_set<const StoredMessage*> gone;
    std::vector<std::string> names;
    for (const auto& message : messages) {
        gone.insert(message.get());
        byKey_.erase(message->GetFacts().key);
        if (!message->Name().empty()) names.push_back(message->Name());
    }
    std::erase_if(messages_, [&gone](const StoredMessagePointer& m) { return gone.contains(m.get()); });
    if (names.empty() || !maildir_) return "";
    for (const auto& error : maildir_->RemoveAll(names)) {
        if (!error.empty()) return error;
    }
    return "";
}

std::vector<StoredMessagePointer> MessageStore::StoredBefore(std::int64_t before) const {
    std::vector<StoredMessagePointer> old;
    for (const auto& message : messages_) {
        if (message->Arrived() < before) old.push_back(message);
    }
    return old;
}
