#include "LoginThrottle.h"

#include <algorithm>

LoginThrottle::Clock::time_point LoginThrottle::Checked(const std::string& address, bool correct,
                                                        Clock::time_point now) {
    std::lock_guard lock(mutex_);
    auto found = records_.find(address);
    if (found != records_.end() && now - found->second.next > delays_.forgetAfter) {
        records_.erase(found);
        found = records_.end();
    }
    if (correct) {
        if (found == records_.end()) return now;
        const Clock::time_point answer = std::max(now, found->second.next);
        records_.erase(found);
        return answer;
    }
    if (found == records_.end()) {
        Prune(now);
        found = records_.emplace(address, Record{0, now}).first;
    }
    Record& record = found->second;
    ++record.failures;
    auto delay = delays_.first;
    for (int i = 1; i < record.failures && delay < delays_.longest; ++i) delay *= 2;
    record.next = std::max(now, record.next) + std::min(delay, delays_.longest);
    return record.next;
}

int LoginThrottle::Failures(const std::string& address) const {
    std::lock_guard lock(mutex_);
    const auto found = records_.find(address);
    return found == records_.end() ? 0 : found->second.failures;
}

void LoginThrottle::Prune(Clock::time_point now) {
    if (records_.size() < kMaxAddresses) return;
    std::erase_if(records_, [&](const auto& entry) { return now - entry.second.next > delays_.forgetAfter; });
    while (records_.size() >= kMaxAddresses) {
        const auto quietest = std::min_element(records_.begin(), records_.end(), [](const auto& a, const auto& b) {
            return a.second.next < b.second.next;
        });
        records_.erase(quietest);
    }
}
