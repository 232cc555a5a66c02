#pragma once

// A temporary application directory, and what feed tests read back from it: files,
// log entries without their time stamps, the boxes shown.

#include "FeedDownload.h"
#include "GatewayContext.h"
#include "RssHandler.h"
#include "Notifier.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace feedtest {

namespace fs = std::filesystem;

class RecordingNotifier : public Notifier {
public:
    Answer Show(const std::string& text, const std::string& title, Icon, Buttons) override {
        shown.push_back(title + "|" + text);
        return Answer::Ok;
    }
    std::vector<std::string> shown;
};

// The document arriving as the 200 reply of a feed's download, handled as a refresh
// handles it: sentitems.xml loaded, the body normalised, kept as latest.xml, parsed and
// its items filed. Only the transfer is left out.
inline void Receive(RssHandler& handler, const std::string& document, const std::string& contentType = "") {
    FeedTransferResult reply;
    reply.outcome = FeedTransferResult::Outcome::Replied;
    reply.status = 200;
    reply.body = document;
    reply.contentType = contentType;
    handler.BeginDownload();
    handler.FinishDownload(reply);
}

// What a refresh offers of the handler's feed, and what it recognised as delivered.
inline const std::vector<MailDataPointer>& Pending(const RssHandler& handler) { return handler.GetMailbox()->Pending(); }
inline const std::vector<MailDataPointer>& Delivered(const RssHandler& handler) {
    return handler.GetMailbox()->Deleted();
}

// The handler's sentitems.xml rewritten with `deleted`, as QUIT does it for one feed;
// false when the prepare or the install failed.
inline bool Record(RssHandler& handler, const std::vector<SentRecord>& deleted = {}) {
    if (!handler.PrepareSentItems(deleted).empty()) return false;
    return handler.InstallSentItems().empty();
}

// The records in a feed folder's sentitems.xml, texts included, in file order.
inline std::vector<SentRecord> RecordsIn(const std::string& folder) {
    std::vector<SentRecord> records;
    SentItemsStore::ReadRecords(folder + "sentitems.xml", records);
    return records;
}

// The records of a handler's messages, as QUIT makes them of those a session deleted.
inline std::vector<SentRecord> RecordsOf(const RssHandler& handler, const std::vector<MailDataPointer>& messages) {
    std::vector<SentRecord> records;
    for (const auto& m : messages)
        records.push_back({m->GetSubject(), m->GetLink(), m->GetDate(), "", handler.IdentityOf(*m)});
    return records;
}

using ::ReadFile;
using ::WriteFile;

class AppDirTest : public ::testing::Test {
protected:
    void SetUp() override { RestartContext(); }

    GatewayContext& Context() { return *context_; }
    // A new context, as at the next start of the gateway: the feed-error flag is clear.
    // Handlers made on the old one must be gone.
    void RestartContext() {
        context_ =
            std::make_unique<GatewayContext>(PortableAppLayout(dir_.string()));
        context_->UseNotifier(notifier_);
    }

    // log.txt with the "[YYYY/MM/DD hh:mm:ss] " stamps taken off each entry.
    std::vector<std::string> LogEntries() const {
        std::string log = ReadFile(dir_ / "log.txt");
        std::vector<std::string> entries;
        size_t pos = 0;
        while (pos < log.size()) {
            size_t next = log.find("\n\n[", pos);
            size_t end = next == std::string::npos ? log.size() : next + 2;
            std::string entry = log.substr(pos, end - pos);
            if (entry.size() >= 22 && entry[0] == '[') entry.erase(0, 22);
            entries.push_back(entry);
            pos = end;
        }
        return entries;
    }

    TempDir temp_{"quillo-feeds"};
    fs::path dir_ = temp_.Path();
    std::shared_ptr<RecordingNotifier> notifier_ = std::make_shared<RecordingNotifier>();
    // Every file of the gateway in the temporary directory, boxes recorded.
    std::unique_ptr<GatewayContext> context_;
};

}  // namespace feedtest
