// The handler's part of the POP3 mailbox.
#include "RssHandler.h"

#include <algorithm>

namespace {
MailDataPointer FindPending(const std::vector<MailDataPointer>& pending, int n) {
    for (const auto& message : pending) {
        if (message->GetNumber() == n) return message;
    }
    return nullptr;
}
}  // namespace

int RssHandler::NumberMessages(int start) {
    for (const auto& message : pending_) message->SetNumber(start++);
    return start;
}

int RssHandler::GetMessageCount() const { return static_cast<int>(pending_.size()); }

long long RssHandler::GetTotalSize() const {
    long long total = 0;
    for (const auto& message : pending_) total += message->GetSize();
    return total;
}

bool RssHandler::HasMessage(int n) const { return FindPending(pending_, n) != nullptr; }

int RssHandler::GetMessageSize(int n) const {
    auto message = FindPending(pending_, n);
    return message ? message->GetSize() : 0;
}

std::string RssHandler::GetMessageText(int n) const {
    auto message = FindPending(pending_, n);
    return message ? message->GetText() : std::string();
}

void RssHandler::DeleteMessage(int n) {
    auto it = std::find_if(pending_.begin(), pending_.end(),
                           [n](const MailDataPointer& m) { return m->GetNumber() == n; });
    if (it == pending_.end()) return;
    deleted_.push_back(*it);
    pending_.erase(it);
    ++deletedInSession_;
}

void RssHandler::UndeleteMessages() {
    auto firstOfSession = deleted_.end() - static_cast<std::ptrdiff_t>(deletedInSession_);
    pending_.insert(pending_.end(), firstOfSession, deleted_.end());
    deleted_.erase(firstOfSession, deleted_.end());
    deletedInSession_ = 0;
    std::stable_sort(pending_.begin(), pending_.end(),
                     [](const MailDataPointer& a, const MailDataPointer& b) {
                         return a->GetNumber() < b->GetNumber();
                     });
}
