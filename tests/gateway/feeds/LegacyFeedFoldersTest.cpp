// Feed folders written by earlier versions (tests/data/legacy, see its README.txt): the
// feeds they were made from, parsed again, offer none of the items recorded, and each
// item keeps the UIDL Quillo 1.3 gave it, so that clients that leave mail on the
// server do not fetch it twice.
#include "FeedTestSupport.h"
#include "RssHandler.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

namespace {

using namespace feedtest;

const fs::path kLegacy = fs::path(QUILLO_TEST_DATA) / "legacy";

struct LegacySet {
    fs::path folder;
    std::string urlBase;                      // the feeds' URLs when the folders were made
    std::map<std::string, std::string> uids;  // by link; none for the Xerces-based version
};

// uids.txt: "port<TAB>N", then "feed<TAB>link<TAB>uid" per message.
LegacySet Quillo13() {
    LegacySet set{kLegacy / "v1.3", "", {}};
    std::istringstream lines(ReadFile(set.folder / "uids.txt"));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t tab = line.find('\t');
        const std::size_t last = line.rfind('\t');
        if (line.compare(0, tab, "port") == 0) {
            set.urlBase = "http://127.0.0.1:" + line.substr(tab + 1) + "/";
        } else {
            set.uids[line.substr(tab + 1, last - tab - 1)] = line.substr(last + 1);
        }
    }
    return set;
}

class LegacyFeedFolders : public AppDirTest {};

TEST_F(LegacyFeedFolders, RecordedItemsAreNotOfferedAgainAndKeepTheirIds) {
    const LegacySet quillo13 = Quillo13();
    ASSERT_FALSE(quillo13.urlBase.empty());
    for (const LegacySet& set : {LegacySet{kLegacy, "http://127.0.0.1:9/xerces/", {}}, quillo13}) {
        std::size_t items = 0;
        for (const auto& entry : fs::directory_iterator(set.folder / "feeds")) {
            const std::string name = entry.path().filename().string();
            SCOPED_TRACE(set.folder.filename().string() + "/" + name);
            const std::string url = set.urlBase + name;
            auto handler = std::make_shared<RssHandler>(Context(), url, true, false);
            fs::create_directories(handler->FeedFolder());
            fs::copy_file(set.folder / "data" / name / "sentitems.xml", fs::path(handler->FeedFolder()) / "sentitems.xml");
            Receive(*handler, ReadFile(entry.path()));
            for (const auto& message : Pending(*handler)) {
                ADD_FAILURE() << "offered again: " << message->GetSubject();
            }
            EXPECT_EQ(Delivered(*handler).size(), RecordsIn(handler->FeedFolder()).size());
            for (const auto& message : Delivered(*handler)) {
                if (set.uids.empty()) continue;
                ASSERT_EQ(set.uids.count(message->GetLink()), 1u) << message->GetLink();
                EXPECT_EQ(message->GetUid(), set.uids.at(message->GetLink())) << message->GetSubject();
                ++items;
            }
        }
        if (!set.uids.empty()) {
            EXPECT_EQ(items, set.uids.size());
        }
    }
}

}  // namespace
