// Storing a refresh's worth of messages safely: each message synced, by one delivery at
// a time (a file sync and a folder sync per message) against one batch (file syncs
// grouped, one folder sync). Runs in the system's temporary folder, so the figures are
// those of its file system; disk_bytes is the space a message takes there.
#include "Maildir.h"

#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Message(int i) {
    std::string text = "From: Feed <feed@quillo.invalid>\nSubject: item " + std::to_string(i) + "\n\n";
    while (text.size() < 2048) text += "A line of a feed item's text, as composed for the store.\n";
    return text;
}

struct Scratch {
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "quillo-bench-maildir-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~Scratch() { fs::remove_all(path); }
    std::string path;
};

double DiskBytesPerMessage(const std::string& folder) {
    double blocks = 0;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        struct stat info {};
        if (stat(entry.path().c_str(), &info) == 0) blocks += static_cast<double>(info.st_blocks);
        ++files;
    }
    return files == 0 ? 0 : blocks * 512 / files;
}

void DeliverOneAtATime(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    std::vector<std::string> messages;
    for (int i = 0; i < count; ++i) messages.push_back(Message(i));
    double disk = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Scratch scratch;
        std::string error;
        auto maildir = Maildir::Create(scratch.path + "/Maildir", error);
        state.ResumeTiming();
        std::string name;
        for (const auto& message : messages) {
            if (!maildir->Deliver(message, "", name, error)) state.SkipWithError(error.c_str());
        }
        state.PauseTiming();
        disk = DiskBytesPerMessage(scratch.path + "/Maildir/new");
        state.ResumeTiming();
    }
    state.counters["messages_per_s"] = benchmark::Counter(static_cast<double>(count) * state.iterations(),
                                                          benchmark::Counter::kIsRate);
    state.counters["disk_bytes"] = disk;
}

void DeliverAsOneBatch(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) texts.push_back(Message(i));
    std::vector<MaildirMessage> messages;
    for (int i = 0; i < count; ++i) messages.push_back({texts[i], "k" + std::to_string(i)});
    double disk = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Scratch scratch;
        std::string error;
        auto maildir = Maildir::Create(scratch.path + "/Maildir", error);
        state.ResumeTiming();
        for (const auto& result : maildir->DeliverAll(messages)) {
            if (!result.error.empty()) state.SkipWithError(result.error.c_str());
        }
        state.PauseTiming();
        disk = DiskBytesPerMessage(scratch.path + "/Maildir/new");
        state.ResumeTiming();
    }
    state.counters["messages_per_s"] = benchmark::Counter(static_cast<double>(count) * state.iterations(),
                                                          benchmark::Counter::kIsRate);
    state.counters["disk_bytes"] = disk;
}

void ListAndReadAll(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    Scratch scratch;
    std::string error;
    auto maildir = Maildir::Create(scratch.path + "/Maildir", error);
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) texts.push_back(Message(i));
    std::vector<MaildirMessage> messages;
    for (int i = 0; i < count; ++i) messages.push_back({texts[i], "k" + std::to_string(i)});
    maildir->DeliverAll(messages);
    for (auto _ : state) {
        const auto listing = maildir->List();
        std::string bytes;
        for (const auto& entry : listing.messages) maildir->Read(entry.name, bytes, error);
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["messages_per_s"] = benchmark::Counter(static_cast<double>(count) * state.iterations(),
                                                          benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(DeliverOneAtATime)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(DeliverAsOneBatch)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(ListAndReadAll)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();
