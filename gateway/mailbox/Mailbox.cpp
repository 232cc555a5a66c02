#include "Mailbox.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

std::string CleanUid(std::string uid) {
    for (char& c : uid) {
        if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E) c = '_';
    }
    if (uid.size() > kMaxUidLength) uid.resize(kMaxUidLength);
    if (uid.empty()) uid = "_";
    return uid;
}

Mailbox::Mailbox(std::vector<Part> parts) : parts_(std::move(parts)) {
    // Clients key their "already downloaded" lists on the id, so two messages must never
    // share one; later ones get a short suffix.
    std::unordered_set<std::string> seen;
    // For each repeated id, the last suffix it took: every one before it is taken, so
    // the search goes on from there (20,000 messages of one id cost no 200 million tries).
    std::unordered_map<std::string, int> lastSuffix;
    for (std::size_t p = 0; p < parts_.size(); ++p) {
        for (const auto& message : parts_[p].messages) {
            std::string uid = CleanUid(message->Uid());
            if (!seen.insert(uid).second) {
                int& last = lastSuffix.try_emplace(uid, 1).first->second;
                for (int k = last + 1;; ++k) {
                    std::string suffix = "-" + std::to_string(k);
                    std::string candidate = uid.substr(0, std::min(uid.size(), kMaxUidLength - suffix.size())) + suffix;
                    if (seen.insert(candidate).second) {
                        last = k;
                        uid = candidate;
                        break;
                    }
                }
            }
            entries_.push_back({message, std::move(uid), p, false});
        }
    }
    count_ = static_cast<int>(entries_.size());
}

const Mailbox::Entry* Mailbox::Find(int n) const {
    if (n < 1 || static_cast<std::size_t>(n) > entries_.size()) return nullptr;
    const Entry& entry = entries_[static_cast<std::size_t>(n) - 1];
    return entry.deleted ? nullptr : &entry;
}

bool Mailbox::Delete(int n) {
    if (!Find(n)) return false;
    entries_[static_cast<std::size_t>(n) - 1].deleted = true;
    --count_;
    return true;
}

void Mailbox::Reset() {
    for (auto& entry : entries_) {
        if (entry.deleted && entry.part != kRecorded) {
            entry.deleted = false;
            ++count_;
        }
    }
}

Mailbox::MessageList Mailbox::DeletedOf(std::size_t part) const {
    MessageList deleted;
    for (const auto& entry : entries_) {
        if (entry.deleted && entry.part == part) deleted.push_back(entry.message);
    }
    return deleted;
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
    std::vector<std::size_t> prepared;
    std::vector<MessageList> deleted(parts_.size());
    for (std::size_t p = 0; p < parts_.size(); ++p) deleted[p] = DeletedOf(p);
    for (std::size_t p = 0; p < parts_.size(); ++p) {
        const Part& part = parts_[p];
        if (!part.prepare) continue;
        const std::string reason = part.prepare(deleted[p]);
        if (!reason.empty()) {
            if (part.discard) part.discard();
            for (std::size_t done : prepared) {
                if (parts_[done].discard) parts_[done].discard();
            }
            return OneLine(reason);
        }
        prepared.push_back(p);
    }
    std::string failure;
    for (std::size_t p : prepared) {
        const Part& part = parts_[p];
        const std::string reason = part.install ? part.install() : "";
        if (reason.empty()) {
            if (part.delivered) part.delivered(deleted[p]);
            // Recorded: a reset after a failure elsewhere no longer brings these back.
            for (auto& entry : entries_) {
                if (entry.part == p && entry.deleted) entry.part = kRecorded;
            }
        } else {
            if (part.discard) part.discard();
            if (failure.empty()) failure = OneLine(reason);
        }
    }
    return failure;
}
