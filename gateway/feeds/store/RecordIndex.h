#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// An open-addressing hash table from 128-bit record keys to record positions, for the
// delivered records of a feed: 24 bytes a slot and no allocation per key, so hundreds
// of thousands of records cost a few megabytes and one lookup each.
class RecordIndex {
public:
    static constexpr std::uint32_t kNone = UINT32_MAX;

    struct Key {
        std::uint64_t high = 0, low = 0;
        bool operator==(const Key&) const = default;
    };
    struct Slot {
        Key key;
        // The first record of the key's chain still to take (kNone: none left).
        std::uint32_t first = kVacant;
        // A record of the chain that an item took by subject and link alone.
        std::uint32_t loosely = kNone;
    };

    Slot* Find(const Key& key) {
        if (slots_.empty()) return nullptr;
        for (std::size_t i = Home(key);; i = (i + 1) & (slots_.size() - 1)) {
            if (slots_[i].first == kVacant) return nullptr;
            if (slots_[i].key == key) return &slots_[i];
        }
    }
    const Slot* Find(const Key& key) const { return const_cast<RecordIndex*>(this)->Find(key); }

    // The key's slot, made (with first kNone) when it has none yet. Valid until the
    // next Insert.
    Slot& Insert(const Key& key) {
        if ((used_ + 1) * 10 >= slots_.size() * 7) Grow();
        std::size_t i = Home(key);
        for (; slots_[i].first != kVacant; i = (i + 1) & (slots_.size() - 1)) {
            if (slots_[i].key == key) return slots_[i];
        }
        ++used_;
        slots_[i].key = key;
        slots_[i].first = kNone;
        return slots_[i];
    }

    template <typename Visit>
    void ForEach(Visit visit) {
        for (Slot& slot : slots_) {
            if (slot.first != kVacant) visit(slot);
        }
    }

    std::size_t HeldBytes() const { return slots_.capacity() * sizeof(Slot); }

    void Clear() {
        slots_ = {};
        used_ = 0;
    }

private:
    static constexpr std::uint32_t kVacant = UINT32_MAX - 1;

    // The keys are digests already: their low bits are as good as any hash of them.
    std::size_t Home(const Key& key) const { return static_cast<std::size_t>(key.low) & (slots_.size() - 1); }

    void Grow() {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(old.empty() ? 16 : old.size() * 2, Slot{});
        for (const Slot& slot : old) {
            if (slot.first == kVacant) continue;
            std::size_t i = Home(slot.key);
            while (slots_[i].first != kVacant) i = (i + 1) & (slots_.size() - 1);
            slots_[i] = slot;
        }
    }

    std::vector<Slot> slots_;
    std::size_t used_ = 0;
};
