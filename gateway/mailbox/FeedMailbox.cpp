#include "FeedMailbox.h"

void FeedMailbox::AddPending(MailDataPointer message) {
    pending_.push_back(message);
    offered_.push_back(std::move(message));
    gone_.push_back(false);
    ++pendingCount_;
}

void FeedMailbox::AddDelivered(MailDataPointer message) { deleted_.push_back(std::move(message)); }

int FeedMailbox::Number(int start) {
    first_ = start;
    numbered_.clear();
    numbered_.reserve(pendingCount_);
    for (std::size_t i = 0; i < offered_.size(); ++i) {
        if (gone_[i]) continue;
        offered_[i]->SetNumber(start++);
        numbered_.push_back(static_cast<std::uint32_t>(i));
    }
    return start;
}

MailDataPointer FeedMailbox::Find(int n) const {
    if (n < first_ || static_cast<std::size_t>(n - first_) >= numbered_.size()) return nullptr;
    const std::uint32_t position = numbered_[static_cast<std::size_t>(n - first_)];
    return gone_[position] ? nullptr : offered_[position];
}

bool FeedMailbox::Delete(int n) {
    if (!Find(n)) return false;
    const std::uint32_t position = numbered_[static_cast<std::size_t>(n - first_)];
    gone_[position] = true;
    --pendingCount_;
    deleted_.push_back(offered_[position]);
    deletedInSession_.push_back(position);
    pendingStale_ = true;
    return true;
}

void FeedMailbox::Undelete() {
    for (std::uint32_t position : deletedInSession_) gone_[position] = false;
    pendingCount_ += deletedInSession_.size();
    deleted_.resize(deleted_.size() - deletedInSession_.size());
    deletedInSession_.clear();
    pendingStale_ = true;
}

const std::vector<MailDataPointer>& FeedMailbox::Pending() const {
    if (!pendingStale_) return pending_;
    pending_.clear();
    pending_.reserve(pendingCount_);
    for (std::size_t i = 0; i < offered_.size(); ++i) {
        if (!gone_[i]) pending_.push_back(offered_[i]);
    }
    pendingStale_ = false;
    return pending_;
}
