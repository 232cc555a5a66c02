// Composing a refresh's worth of messages: 10,000 items with 2 KB Japanese bodies,
// each converted and composed once, as STAT and LIST make them.
#include "KanjiConverter.h"
#include "MailData.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

constexpr int kMessages = 10000;

std::string JapaneseBody() {
    const std::string paragraph =
        "吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。"
        "何でも薄暗いじめじめした所でニャーニャー泣いていた事だけは記憶している。\n"
        "<p>See http://example.jp/neko for ①, ㈱ and ﾊﾟｿｺﾝ.</p>\n";
    std::string body;
    while (body.size() < 2048) body += paragraph;
    return body;
}

void ComposeMessages(benchmark::State& state) {
    const std::string body = JapaneseBody();
    const bool html = state.range(0) != 0;
    std::size_t bytesIn = 0;
    for (auto _ : state) {
        std::size_t total = 0;
        for (int i = 0; i < kMessages; ++i) {
            MailData mail(html);
            mail.SetSender("青空文庫の新着情報");
            mail.SetUid("12345678901234567890123456789012345678901234567890");
            mail.SetSubject("夏目漱石「吾輩は猫である」第" + std::to_string(i) + "章が公開されました");
            mail.SetLink("http://example.jp/item/" + std::to_string(i));
            mail.ParseW3cDate("2005-06-01T12:34:56+09:00");
            mail.AddBody(body, true);
            total += mail.GetText().size();
        }
        benchmark::DoNotOptimize(total);
        bytesIn += kMessages * body.size();
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytesIn));
    state.counters["messages/s"] =
        benchmark::Counter(static_cast<double>(kMessages) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(ComposeMessages)->Arg(0)->Arg(1)->ArgName("html")->Unit(benchmark::kMillisecond);

void ConvertBodyToIso2022Jp(benchmark::State& state) {
    const std::string body = JapaneseBody();
    for (auto _ : state) benchmark::DoNotOptimize(ConvertTextWith("-Wj", body));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(ConvertBodyToIso2022Jp);

}  // namespace
