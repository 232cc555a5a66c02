#pragma once

// One Maildir: a folder with tmp/, new/ and cur/. A message is written and synced under
// tmp/, then renamed into new/ and new/ is synced, so a reader (Quillo's store, Dovecot,
// mutt) sees a whole message or none, after a crash or a full disk as well.
//
// Messages are named relative to the Maildir, "new/<file>" or "cur/<file>" (a reader
// such as Dovecot or mutt moves them to cur/ and adds flags after ':').
//
// The bytes are stored as given. Messages belong here with LF line ends, as every Linux
// Maildir writer keeps them (qmail, Dovecot, mutt, procmail, Python's mailbox): Dovecot
// sends them over IMAP and POP3 with CRLF and takes the CRLF size from the name's W=
// field, mutt and Python read them as they are, and a POP3 server turns LF into CRLF
// while it sends, in the same pass as the dot-stuffing, with W= as the octet count.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <time.h>
#include <vector>

#include "MaildirCalls.h"
#include "MaildirName.h"

struct MaildirMessage {
    std::string_view bytes;
    std::string key;  // empty, or an IsMaildirKey() text carried in the file name
};

struct MaildirDelivery {
    // "new/<file>" once the file is in new/, whether or not the folder sync that makes
    // it permanent succeeded; empty when nothing reached new/.
    std::string name;
    // Empty when the message is delivered and synced; otherwise what failed with the
    // system's reason ("cannot write tmp/...: No space left on device").
    std::string error;
};

struct MaildirEntry {
    std::string name;  // "new/<file>" or "cur/<file>"
    std::string path;
    std::uint64_t size = 0;
    timespec mtime{};
    MaildirName parsed;  // parsed.key is the key given at delivery
};

struct MaildirSkipped {
    std::string path;
    std::string reason;  // "not a regular file", "empty", "not a message name", ...
};

struct MaildirListing {
    std::vector<MaildirEntry> messages;  // in arrival order
    std::vector<MaildirSkipped> skipped;  // damaged or foreign entries, never messages
    std::string error;                    // set when new/ or cur/ could not be read at all

    // Key -> message name for the messages delivered with a key; when two carry the
    // same key, the earlier arrival.
    std::map<std::string, std::string> ByKey() const;
};

class Maildir {
public:
    // Files in tmp/ untouched this long are left from an interrupted delivery.
    static constexpr time_t kStaleTmpSeconds = 36 * 60 * 60;

    // Makes the folder and its tmp/, new/ and cur/ (mode 0700) where they are missing; the
    // folder's parent must exist.
    static std::optional<Maildir> Create(const std::string& path, std::string& error,
                                         const MaildirCalls& calls = SystemMaildirCalls());
    // An existing Maildir: fails when tmp/, new/ or cur/ is not a folder.
    static std::optional<Maildir> Open(const std::string& path, std::string& error,
                                       const MaildirCalls& calls = SystemMaildirCalls());

    // The Maildir++ subfolder <path>/<folderName> (a name from MaildirPlusPlusFolder),
    // made with its "maildirfolder" marker where missing.
    std::optional<Maildir> CreateSubfolder(const std::string& folderName, std::string& error) const;

    const std::string& Path() const { return path_; }

    // Delivers one message; name gets "new/<file>". An empty message is refused (a
    // zero-byte file is what a failed delivery of another program leaves).
    bool Deliver(std::string_view bytes, std::string_view key, std::string& name, std::string& error);

    // Delivers many messages with one sync of new/ at the end; one result per message,
    // in order. A message that fails leaves nothing behind, and the others go on.
    std::vector<MaildirDelivery> DeliverAll(const std::vector<MaildirMessage>& messages);

    // The messages in new/ and cur/; entries that are not regular files, empty,
    // unreadable or not named like a message are reported in `skipped`.
    MaildirListing List() const;

    bool Read(const std::string& name, std::string& bytes, std::string& error) const;

    // Unlinks the message and syncs its folder. A message already gone counts as removed.
    bool Remove(const std::string& name, std::string& error);
    // The same for many, with one sync per folder; one error text per name ("" = removed).
    std::vector<std::string> RemoveAll(const std::vector<std::string>& names);

    // Removes files in tmp/ not touched for kStaleTmpSeconds; returns how many. error
    // names the first one that could not be removed (the others are still tried).
    int CleanTmp(std::string& error);

private:
    Maildir(std::string path, const MaildirCalls& calls);

    // A message being delivered: its tmp/ file, open until synced.
    struct Pending {
        std::size_t index = 0;
        std::string file;
        int fd = -1;
    };

    std::string NextName(const MaildirMessage& message);
    // fsync of every file, several at a time; the error number of each (0 = synced).
    std::vector<int> SyncFiles(const std::vector<Pending>& files) const;
    bool SyncFolder(const std::string& folder, std::string& error) const;

    std::string path_;
    MaildirCalls calls_;
    std::string host_;
    long pid_ = 0;
    std::uint64_t deliveries_ = 0;  // the Q field: unique per delivery by this object
};
