// One large feed through the gateway: a generated 5,000-item, 6.7 MB RSS 2.0 document
// with Japanese text and CDATA bodies, kept as latest.xml, is parsed into messages when
// the first refresh after a start is answered with 304, and every message is composed,
// as storing them does. Counters: the document size and the peak memory the parse and
// composition add (VmHWM reset before each run).
#include "FeedDownload.h"
#include "GatewayContext.h"
#include "RssHandler.h"

#include "FeedParser.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr int kItems = 5000;
constexpr size_t kTargetBytes = 6700000;

std::string GenerateFeed() {
    const std::string sentence =
        "吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。"
        "何でも薄暗いじめじめした所でニャーニャー泣いていた事だけは記憶している。";
    std::string head =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>"
        "<title>青空文庫 新着作品</title><link>http://example.jp/</link>"
        "<description>ベンチマーク用のフィード</description>\n";
    // Each item's body is sized so that the whole document comes to the target size.
    const size_t perItem = (kTargetBytes - head.size()) / kItems;
    std::string feed = head;
    for (int i = 0; i < kItems; ++i) {
        std::string item = "<item><title>夏目漱石「吾輩は猫である」第" + std::to_string(i) +
                           "章</title><link>http://example.jp/item/" + std::to_string(i) +
                           "</link><pubDate>Tue, 08 Dec 2026 03:00:00 +0900</pubDate>"
                           "<description><![CDATA[<p>";
        const std::string tail = "</p>]]></description></item>\n";
        while (item.size() + tail.size() + sentence.size() <= perItem) item += sentence;
        while (item.size() + tail.size() < perItem) item += ' ';
        feed += item + tail;
    }
    feed += "</channel></rss>\n";
    return feed;
}

long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::string(field).size());
    }
    return 0;
}

void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void ParseAndComposeLargeFeed(benchmark::State& state) {
    char pattern[] = "/tmp/quillo-bench-feeds-XXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    GatewayContext context(PortableAppLayout(dir));
    const std::string url = "http://127.0.0.1/big.xml";
    const std::string folder = RssHandler(context, url, true, false).FeedFolder();
    std::system(("mkdir -p '" + folder + "'").c_str());
    const std::string feed = GenerateFeed();
    std::ofstream(folder + "latest.xml", std::ios::binary) << feed;

    long peakAddedKiB = 0;
    for (auto _ : state) {
        ResetPeak();
        const long before = StatusKiB("VmRSS:");
        {
            RssHandler handler(context, url, true, false);
            FeedTransferResult notModified;
            notModified.outcome = FeedTransferResult::Outcome::Replied;
            notModified.status = 304;
            handler.BeginDownload();
            handler.FinishDownload(notModified);
            const auto& pending = handler.GetMailbox()->Pending();
            if (pending.size() != static_cast<size_t>(kItems)) state.SkipWithError("wrong item count");
            long long size = 0;
            for (const auto& message : pending) size += static_cast<long long>(message->GetText().size());
            benchmark::DoNotOptimize(size);
            peakAddedKiB = std::max(peakAddedKiB, StatusKiB("VmHWM:") - before);
        }
    }
    state.counters["file_MB"] = static_cast<double>(feed.size()) / 1e6;
    state.counters["peak_added_MB"] = static_cast<double>(peakAddedKiB) * 1024 / 1e6;
    state.counters["peak_x_file"] = static_cast<double>(peakAddedKiB) * 1024 / static_cast<double>(feed.size());
    std::system(("rm -rf '" + dir + "'").c_str());
}
BENCHMARK(ParseAndComposeLargeFeed)->Unit(benchmark::kMillisecond)->Iterations(5);

// Documents under the 64 MiB body cap that are all markup and no item: 57 MB of empty
// elements, well-formed, then the same with a bare "&" in front and cut off, so every
// repair of the parser runs over it. Counter: the peak memory the parse adds, as a
// multiple of the document (the document itself is not counted).
std::string EmptyElements(bool broken) {
    const size_t target = 57u * 1000 * 1000;
    std::string feed = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>t &amp; a</title>";
    if (broken) feed.replace(feed.find("&amp;"), 5, "&");
    feed.reserve(target + 64);
    while (feed.size() < target) feed += "<a/>";
    if (!broken) feed += "</channel></rss>\n";
    return feed;
}

void ParseHugeDocumentOfEmptyElements(benchmark::State& state) {
    const std::string feed = EmptyElements(state.range(0) != 0);
    long peakAddedKiB = 0;
    for (auto _ : state) {
        ResetPeak();
        const long before = StatusKiB("VmRSS:");
        FeedParseResult result = ParseFeed(feed, FeedSource{"http://127.0.0.1/big.xml", ""});
        if (!result.ok || !result.feed.items.empty()) state.SkipWithError("unexpected parse result");
        benchmark::DoNotOptimize(result);
        peakAddedKiB = std::max(peakAddedKiB, StatusKiB("VmHWM:") - before);
    }
    state.counters["file_MB"] = static_cast<double>(feed.size()) / 1e6;
    state.counters["peak_x_file"] = static_cast<double>(peakAddedKiB) * 1024 / static_cast<double>(feed.size());
}
BENCHMARK(ParseHugeDocumentOfEmptyElements)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
