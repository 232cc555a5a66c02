#include "Mailbox.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <string_view>

std::string CleanUid(std::string uid) {
    for (char& c : uid) {
        if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E) c = '_';
    }
    if (uid.size() > kMaxUidLength) uid.resize(kMaxUidLength);
    if (uid.empty()) uid = "_";
    return uid;
}

long long MessageOctets(MailData& message) {
    // GetText holds the message as sent, terminating line included.
    const std::string& text = message.GetText();
    constexpr std::string_view kEnd = ".\r\n";
    const bool terminated = text.size() >= kEnd.size() && text.compare(text.size() - kEnd.size(), kEnd.size(), kEnd) == 0;
    return static_cast<long long>(text.size() - (terminated ? kEnd.size() : 0));
}

Mailbox::Mailbox(std::vector<Part> parts) : parts_(std::move(parts)) {
    int next = 1;
    starts_.reserve(parts_.size());
    for (const auto& part : parts_) {
        starts_.push_back(next);
        next = part.messages->Number(next);
    }
    // Clients key their "already downloaded" lists on the id, so two pending messages
    // must never share one; later ones get a short suffix, the first free of -2, -3...
    // Each id remembers the last suffix it handed out, so even thousands of messages
    // with one id cost one set lookup each.
    std::unordered_set<std::string> seen;
    std::unordered_map<std::string, int> lastSuffix;
    const std::vector<MailDataPointer> messages = Messages();
    seen.reserve(messages.size());
    for (const auto& message : messages) {
        std::string uid = CleanUid(message->GetUid());
        if (!seen.insert(uid).second) {
            int& k = lastSuffix.try_emplace(uid, 1).first->second;
            for (++k;; ++k) {
                std::string suffix = "-" + std::to_string(k);
                std::string candidate = uid.substr(0, std::min(uid.size(), kMaxUidLength - suffix.size())) + suffix;
                if (seen.insert(candidate).second) {
                    uid = std::move(candidate);
                    break;
                }
            }
        }
        if (uid != message->GetUid()) message->SetUid(uid);
    }
}

int Mailbox::Count() const {
    std::size_t count = 0;
    for (const auto& part : parts_) count += part.messages->PendingCount();
    return static_cast<int>(count);
}

long long Mailbox::TotalSize() const {
    long long total = 0;
    for (const auto& part : parts_) {
        for (const auto& message : part.messages->Pending()) total += MessageOctets(*message);
    }
    return total;
}

std::vector<MailDataPointer> Mailbox::Messages() const {
    std::vector<MailDataPointer> messages;
    messages.reserve(static_cast<std::size_t>(Count()));
    for (const auto& part : parts_) {
        const auto pending = part.messages->Pending();
        messages.insert(messages.end(), pending.begin(), pending.end());
    }
    return messages;
}

const Mailbox::Part* Mailbox::PartOf(int n) const {
    // The last part that starts at or before n; numbers never change after forming.
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), n);
    if (after == starts_.begin()) return nullptr;
    return &parts_[static_cast<std::size_t>(after - starts_.begin() - 1)];
}

MailDataPointer Mailbox::Find(int n) const {
    const Part* part = PartOf(n);
    return part ? part->messages->Find(n) : nullptr;
}

bool Mailbox::Delete(int n) {
    const Part* part = PartOf(n);
    return part && part->messages->Delete(n);
}

void Mailbox::Reset() {
    for (const auto& part : parts_) part.messages->Undelete();
}

void Mailbox::KeepDeletions() {
    for (const auto& part : parts_) part.messages->KeepDeletions();
}

namespace {

// A reason goes into a POP3 reply line.
std::string OneLine(std::string reason) {
    for (char& c : reason) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return reason;
}

}  // namespace

std::string Mailbox::Commit() {
    std::vector<const Part*> prepared;
    for (const auto& part : parts_) {
        if (!part.prepare) continue;
        const std::string reason = part.prepare();
        if (!reason.empty()) {
            if (part.discard) part.discard();
            for (const Part* done : prepared) {
                if (done->discard) done->discard();
            }
            return OneLine(reason);
        }
        prepared.push_back(&part);
    }
    std::string failure;
    for (const Part* part : prepared) {
        const std::string reason = part->install ? part->install() : "";
        if (reason.empty()) {
            part->messages->KeepDeletions();
        } else {
            if (part->discard) part->discard();
            if (failure.empty()) failure = OneLine(reason);
        }
    }
    return failure;
}
