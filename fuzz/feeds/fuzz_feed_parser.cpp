// Any bytes as a feed document, and as a sentitems.xml, through the real parse and
// filing path of one handler: it must never crash, hang or leak.
#include "GatewayContext.h"
#include "RssHandler.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

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
        RssHandler handler(Context(), "http://127.0.0.1/fuzz", true, false);
        std::system(("mkdir -p '" + handler.FeedFolder() + "'").c_str());
        return handler.FeedFolder();
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
    // The first byte says where the document goes: the feed, the store, or both.
    const uint8_t mode = size ? data[0] % 3 : 0;
    if (size) {
        ++data;
        --size;
    }
    // Parse failures are logged: keep the log from growing over a long run.
    std::remove(Context().StateFile("log.txt").c_str());
    std::remove((folder + "sentitems.xml").c_str());
    std::remove((folder + "sentitems.xml.bad").c_str());
    Write(folder + "latest.xml", data, size);
    if (mode >= 1) Write(folder + "sentitems.xml", data, size);
    RssHandler handler(Context(), "http://127.0.0.1/fuzz", true, mode == 2);
    handler.LoadSentItems();
    handler.ConvertFromEucJp();
    handler.ConvertFromShiftJis();
    handler.ConvertFromIso2022Jp();
    handler.Parse();
    for (const auto& message : handler.Pending()) {
        const std::string& text = message->GetText();
        for (unsigned char c : text) {
            if (c >= 0x80) std::abort();  // mail text leaves the gateway 7-bit
        }
    }
    if (mode == 1 && !handler.Pending().empty()) {
        // The first message delivered in a session, as QUIT records it.
        const MailData& first = *handler.Pending()[0];
        handler.SaveSentItems({{first.GetSubject(), first.GetLink(), first.GetDate()}});
        RssHandler again(Context(), "http://127.0.0.1/fuzz", true, false);
        again.LoadSentItems();
        // A record written is a record read back, whatever its text.
        if (again.SentItems().size() != handler.Deleted().size() + 1) std::abort();
    }
    return 0;
}
