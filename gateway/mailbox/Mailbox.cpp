#include "Mailbox.h"

#include <algorithm>
#include <set>
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
    for (const auto& part : parts_) next = part.messages->Number(next);
    // Clients key their "already downloaded" lists on the id, so two pending messages
    // must never share one; later ones get a short suffix.
    std::set<std::string> seen;
    for (const auto& message : Messages()) {
        std::string uid = CleanUid(message->GetUid());
        if (!seen.insert(uid).second) {
            for (int k = 2;; ++k) {
                std::string suffix = "-" + std::to_string(k);
                std::string candidate =
                    uid.substr(0, std::min(uid.size(), kMaxUidLength - suffix.size())) + suffix;
                if (seen.insert(candidate).second) {
                    uid = candidate;
                    break;
                }
            }
        }
        if (uid != message->GetUid()) message->SetUid(uid);
    }
}

int Mailbox::Count() const {
    std::size_t count = 0;
    for (const auto& part : parts_) count += part.messages->Pending().size();
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
    for (const auto& part : parts_) {
        const auto& pending = part.messages->Pending();
        messages.insert(messages.end(), pending.begin(), pending.end());
    }
    return messages;
}

MailDataPointer Mailbox::Find(int n) const {
    for (const auto& part : parts_) {
        if (auto message = part.messages->Find(n)) return message;
    }
    return nullptr;
}

bool Mailbox::Delete(int n) {
    for (const auto& part : parts_) {
        if (part.messages->Delete(n)) return true;
    }
    return false;
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
