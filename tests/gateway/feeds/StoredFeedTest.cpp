#include "StoredFeed.h"

#include "FeedDownload.h"
#include "GatewayContext.h"
#include "Notifier.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

class QuietNotifier : public Notifier {
public:
    Answer Show(const std::string&, const std::string&, Icon, Buttons) override { return Answer::No; }
};

const char kUrl[] = "http://127.0.0.1:9/feed.xml";

std::string Rss(int count) {
    std::string items;
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        items += "<item><title>item " + n + "</title><link>http://127.0.0.1/" + n +
                 "</link><description>text " + n + "</description></item>";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss version=\"2.0\"><channel><title>t</title>"
           "<link>http://127.0.0.1/</link>" + items + "</channel></rss>";
}

// A refresh's handler for one reply of the feed, as the refresh makes it.
RssHandlerPointer Downloaded(GatewayContext& context, const std::string& body) {
    auto handler = std::make_shared<RssHandler>(context, kUrl, true, false);
    FeedTransferResult result;
    result.outcome = FeedTransferResult::Outcome::Replied;
    result.status = 200;
    result.body = body;
    handler->BeginDownload();
    handler->FinishDownload(result);
    return handler;
}

std::set<std::string> Keys(const MessageStore& store) {
    std::set<std::string> keys;
    for (const auto& message : store.Messages()) keys.insert(message->GetFacts().key);
    return keys;
}

// A session that asks for the mailbox once `after` messages are composed, and in it
// deletes the first `deletes` messages and quits.
class SessionBetweenBatches : public StoringBreaks {
public:
    SessionBetweenBatches(StoredFeed& feed, int after, int deletes) : feed_(feed), after_(after), deletes_(deletes) {}
    bool SessionWaiting() override { return ++asked_ == after_; }
    bool LetSessionIn() override {
        Mailbox mailbox({feed_.Part()});
        offered = mailbox.Count();
        for (int n = 1; n <= deletes_; ++n) {
            deleted.insert(static_cast<const StoredMessage&>(*mailbox.Find(n)->message).GetFacts().key);
            EXPECT_TRUE(mailbox.Delete(n));
        }
        EXPECT_EQ(mailbox.Commit(), "");
        ++sessions;
        return true;
    }

    int offered = 0;
    int sessions = 0;
    std::set<std::string> deleted;

private:
    StoredFeed& feed_;
    int after_;
    int deletes_;
    int asked_ = 0;
};

TEST(StoredFeed, ASessionWaitingWhileAFeedIsStoredGetsTheBatchesSoFarAndTheRestFollowsOnce) {
    TempDir dir("quillo-stored-feed");
    GatewayContext context(PortableAppLayout(dir.Path()));
    context.UseNotifier(std::make_shared<QuietNotifier>());
    const int items = static_cast<int>(StoredFeed::kBatch) * 2 + 500;
    const std::string body = Rss(items);
    RssHandlerPointer handler = Downloaded(context, body);
    ASSERT_EQ(handler->GetMailbox()->Pending().size(), static_cast<std::size_t>(items));
    StoredFeed feed(context, handler->FeedFolder(), kUrl, Settings{});
    feed.Load();

    // Asked after every message composed but the last: the session comes in after the
    // first full batch and 200 more.
    const int composed = static_cast<int>(StoredFeed::kBatch) + 200;
    SessionBetweenBatches session(feed, composed, 10);
    feed.File(handler, &session);
    EXPECT_EQ(session.sessions, 1);
    EXPECT_EQ(session.offered, composed) << "the session sees what is stored by then, all of it";

    // The rest followed; nothing the session deleted came back, nothing is there twice.
    EXPECT_EQ(feed.Store().Messages().size(), static_cast<std::size_t>(items - 10));
    const std::set<std::string> keys = Keys(feed.Store());
    EXPECT_EQ(keys.size(), feed.Store().Messages().size());
    for (const auto& key : session.deleted) EXPECT_FALSE(keys.contains(key));

    // Read again as after a restart, and the same reply handled again: every message
    // there once, the deleted ones recorded as delivered.
    StoredFeed restarted(context, handler->FeedFolder(), kUrl, Settings{});
    restarted.Load();
    EXPECT_EQ(Keys(restarted.Store()), keys);
    RssHandlerPointer again = Downloaded(context, body);
    EXPECT_EQ(again->GetMailbox()->Deleted().size(), 10u);
    restarted.File(again);
    EXPECT_EQ(Keys(restarted.Store()), keys);
}

// A session of the feed's store: deletes the first `deletes` messages and quits.
void DeleteAndQuit(StoredFeed& feed, int deletes) {
    Mailbox mailbox({feed.Part()});
    for (int n = 1; n <= deletes; ++n) ASSERT_TRUE(mailbox.Delete(n));
    ASSERT_EQ(mailbox.Commit(), "");
}

TEST(StoredFeed, OnceFiledTheMessagesGoButTheNextQuitStillRecordsTheItemsDeliveredBefore) {
    TempDir dir("quillo-stored-feed");
    GatewayContext context(PortableAppLayout(dir.Path()));
    context.UseNotifier(std::make_shared<QuietNotifier>());
    const std::string body = Rss(5);
    RssHandlerPointer first = Downloaded(context, body);
    StoredFeed feed(context, first->FeedFolder(), kUrl, Settings{});
    feed.Load();
    feed.File(first);
    DeleteAndQuit(feed, 2);

    // The next refresh finds two items delivered and three stored; once filed, its
    // handler holds none of them as messages.
    RssHandlerPointer second = Downloaded(context, body);
    ASSERT_EQ(second->GetMailbox()->Deleted().size(), 2u);
    feed.File(second);
    EXPECT_TRUE(second->GetMailbox()->Pending().empty());
    EXPECT_TRUE(second->GetMailbox()->Deleted().empty());
    EXPECT_EQ(feed.Store().Messages().size(), 3u);

    // Its QUIT records the one deleted now and still the two delivered before.
    DeleteAndQuit(feed, 1);
    std::vector<SentRecord> records;
    SentItemsStore::ReadRecords(first->FeedFolder() + "sentitems.xml", records);
    EXPECT_EQ(records.size(), 3u);
    RssHandlerPointer third = Downloaded(context, body);
    EXPECT_EQ(third->GetMailbox()->Deleted().size(), 3u);
    EXPECT_EQ(third->GetMailbox()->Pending().size(), 2u);
}

}  // namespace
