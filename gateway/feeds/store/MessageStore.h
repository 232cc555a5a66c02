#pragma once

#include "BatchedSyncCalls.h"
#include "Maildir.h"
#include "MailboxMessage.h"
#include "SentItemsStore.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// One stored message: an item turned into its final text once, kept until it is
// delivered. What the mailbox, UIDL and the record at QUIT need is known without
// reading the file.
class StoredMessage : public MailboxMessage {
public:
    struct Facts {
        std::string key;  // the item's identity (see ItemKey)
        std::string uid;
        std::string feedUrl;
        SentRecord record;  // subject, link and date as sentitems.xml records them
        bool compareDate = false;
    };
    // A message in a file of the store: its text starts at textOffset. arrived: when it
    // was stored, in seconds since the epoch.
    StoredMessage(Facts facts, std::uint64_t size, std::uint64_t dotLines, std::string name, std::string path,
                  std::uint64_t textOffset, std::int64_t arrived);
    // A message that could not be stored, held in memory.
    StoredMessage(Facts facts, std::shared_ptr<const std::string> text, std::int64_t arrived);

    const Facts& GetFacts() const { return facts_; }
    std::int64_t Arrived() const { return arrived_; }
    // "new/<file>" in the store; empty for a message held in memory.
    const std::string& Name() const { return name_; }
    bool ReadText(std::string& text, std::string& error) const override;

private:
    Facts facts_;
    std::string name_;
    std::string path_;
    std::uint64_t textOffset_ = 0;
    std::shared_ptr<const std::string> held_;
    std::int64_t arrived_ = 0;
};

using StoredMessagePointer = std::shared_ptr<const StoredMessage>;

// A feed's store: the Maildir "mail" inside its feed folder. Each file is the message
// text after one first line, "X-Quillo-Record: ...", that carries the facts; the file
// appears whole in new/ or not at all (Maildir delivery), so a message and its facts are
// never apart. The index in memory is read once, at Load; every later change goes
// through this object.
class MessageStore {
public:
    // feedFolder ends in "/".
    explicit MessageStore(std::string feedFolder, const MaildirCalls& calls = BatchedSyncCalls());

    // Reads the index from the files; a message `delivered` says is recorded is removed
    // (a crash between the record at QUIT and the removal). Returns one line per file
    // skipped or removed with a problem (damaged, foreign, empty, unreadable).
    std::vector<std::string> Load(const std::function<bool(const StoredMessage&)>& delivered);

    bool Contains(const std::string& key) const { return byKey_.contains(key); }
    // The message stored under key, or null.
    StoredMessagePointer Find(const std::string& key) const {
        auto found = byKey_.find(key);
        return found == byKey_.end() ? nullptr : found->second;
    }
    // The messages in the order they arrived.
    const std::vector<StoredMessagePointer>& Messages() const { return messages_; }
    // The feed URL the store's messages were made for, "" when it holds none.
    std::string FeedUrl() const;

    struct NewMessage {
        StoredMessage::Facts facts;
        std::shared_ptr<const std::string> text;
    };
    // Stores the messages in one batch (each file synced, then one sync of new/); one
    // whose identity is stored already, or given twice, is left out.
    // Those that cannot be stored are held in memory and offered all the same; the
    // returned text says why ("" when every one is stored).
    std::string Add(std::vector<NewMessage> batch);
    // Removes the messages (delivered); "" or the first reason one could not go. A
    // message that could not go leaves the index all the same: it is recorded as
    // delivered, and the next Load removes it.
    std::string Remove(const std::vector<StoredMessagePointer>& messages);

    // The messages stored before `before` (seconds since the epoch), oldest first.
    std::vector<StoredMessagePointer> StoredBefore(std::int64_t before) const;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    MaildirCalls calls_;
    std::optional<Maildir> maildir_;
    std::vector<StoredMessagePointer> messages_;
    std::unordered_map<std::string, StoredMessagePointer> byKey_;
};

// The first line of a stored file for these facts, and back (nullopt: not one of ours).
std::string StoredRecordLine(const StoredMessage::Facts& facts, std::uint64_t dotLines);
std::optional<StoredMessage::Facts> ParseStoredRecordLine(std::string_view line, std::uint64_t& dotLines);
