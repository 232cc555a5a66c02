// Any bytes as a feed document, and as a sentitems.xml, through what a refresh does with
// a reply and what QUIT does with the records: normalised, parsed, its items filed as
// messages against the records, the first one recorded as delivered. It must never
// crash, hang or leak.
#include "DeliveryRecords.h"
#include "EncodingNormaliser.h"
#include "FeedFolder.h"
#include "FeedParser.h"
#include "GatewayContext.h"
#include "ItemFiler.h"
#include "MailHeaders.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char kUrl[] = "http://127.0.0.1/fuzz";

// libFuzzer calls the entry point again and again: the one temporary directory and
// the context on it are made at the first call and kept for the run.
GatewayContext& Context() {
    static const std::string dir = [] {
        char pattern[] = "/tmp/quillo-fuzz-parser-XXXXXX";
        return std::string(::mkdtemp(pattern));
    }();
    static GatewayContext context(PortableAppLayout(dir));
    return context;
}

const std::string& Folder() {
    static const std::string folder = [] {
        const std::string path = GetFeedFolderPath(Context().Layout().stateDir, kUrl);
        MakeSureDirectoryPathExists(path);
        return path;
    }();
    return folder;
}

void Write(const std::string& path, const uint8_t* data, size_t size) {
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& folder = Folder();
    // The first byte says where the document goes: the feed, the records, or both.
    const uint8_t mode = size ? data[0] % 3 : 0;
    if (size) {
        ++data;
        --size;
    }
    // Failures are logged: keep the log from growing over a long run.
    std::remove(Context().StateFile("log.txt").c_str());
    std::remove((folder + "sentitems.xml").c_str());
    std::remove((folder + "sentitems.xml.bad").c_str());
    if (mode >= 1) Write(folder + "sentitems.xml", data, size);
    DeliveryRecords records(Context(), kUrl, SystemToday);
    records.UseFolder(folder);
    records.Load();

    std::string document(reinterpret_cast<const char*>(data), size);
    if (auto converted = NormaliseJapaneseEncoding(document)) document = std::move(*converted);
    const FeedParseResult parsed = ParseFeed(document, FeedSource{kUrl, ""});
    if (!parsed.ok) return 0;
    ItemMessageForm form;
    form.feedUrl = kUrl;
    form.senderAddress = FeedSenderAddress(GetFeedFolderName(kUrl));
    form.enableHtml = mode == 2;
    const FiledItems filed = ItemFiler(form).File(parsed.feed, records.Loaded());
    for (const auto& message : filed.pending) {
        for (unsigned char c : message->GetText()) {
            if (c >= 0x80) std::abort();  // mail text leaves the gateway 7-bit
        }
    }
    if (mode == 1 && !filed.pending.empty()) {
        // The first message delivered in a session, as QUIT records it.
        auto recordOf = [&filed](const MailData& m) {
            return SentRecord{m.GetSubject(), m.GetLink(), m.GetDate(), "", filed.identities.at(&m)};
        };
        std::vector<SentRecord> recognised;
        for (const auto& message : filed.delivered) recognised.push_back(recordOf(*message));
        if (records.Prepare(recognised, {recordOf(*filed.pending[0])}).empty()) records.Install();
        DeliveryRecords again(Context(), kUrl, SystemToday);
        again.UseFolder(folder);
        again.Load();
        // A record written is a record read back, whatever its text.
        if (again.Loaded().Size() != filed.delivered.size() + 1) std::abort();
    }
    return 0;
}
