#include "FeedMailbox.h"

#include <algorithm>

namespace {

auto ByNumber(int n) {
    return [n](const MailDataPointer& message) { return message->GetNumber() == n; };
}

}  // namespace

void FeedMailbox::AddPending(MailDataPointer message) { pending_.push_back(std::move(message)); }

void FeedMailbox::AddDelivered(MailDataPointer message) { deleted_.push_back(std::move(message)); }

int FeedMailbox::Number(int start) {
    for (const auto& message : pending_) message->SetNumber(start++);
    return start;
}

MailDataPointer FeedMailbox::Find(int n) const {
    auto it = std::find_if(pending_.begin(), pending_.end(), ByNumber(n));
    return it == pending_.end() ? nullptr : *it;
}

bool FeedMailbox::Delete(int n) {
    auto it = std::find_if(pending_.begin(), pending_.end(), ByNumber(n));
    if (it == pending_.end()) return false;
    deleted_.push_back(*it);
    pending_.erase(it);
    ++deletedInSession_;
    return true;
}

void FeedMailbox::Undelete() {
    auto firstOfSession = deleted_.end() - static_cast<std::ptrdiff_t>(deletedInSession_);
    pending_.insert(pending_.end(), firstOfSession, deleted_.end());
    deleted_.erase(firstOfSession, deleted_.end());
    deletedInSession_ = 0;
    std::stable_sort(pending_.begin(), pending_.end(),
                     [](const MailDataPointer& a, const MailDataPointer& b) {
                         return a->GetNumber() < b->GetNumber();
                     });
}
