#include "FeedReportFiling.h"

#include "AtomicFile.h"
#include "FeedFolder.h"
#include "GatewayContext.h"
#include "MailData.h"
#include "Maildir.h"
#include "Settings.h"
#include "StoreXml.h"

#include <cstdio>

namespace {

constexpr char kSubject[] = "Quillo: feed report";

// A path as a file: URL, every byte but unreserved ones and "/" percent-encoded.
std::string FileUrl(std::string_view path) {
    std::string url = "file://";
    for (unsigned char c : path) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            url += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            url += escaped;
        }
    }
    return url;
}

// "20261209130000": the uid and Message-ID of a report, one a day at most.
std::string Digits(FetchState::Time time) {
    std::string digits;
    for (char c : FetchTimeText(time)) {
        if (c >= '0' && c <= '9') digits += c;
    }
    return digits;
}

FeedReportState ReadReportState(const GatewayContext& context) {
    const std::string path = context.StateFile(kFeedReportStateFile);
    const StoreFileBytes file = ReadStoreFile(path);
    if (file.status == StoreFileBytes::Status::Missing) return {};
    std::optional<FeedReportState> state;
    if (file.status == StoreFileBytes::Status::Read) state = ParseFeedReportState(file.bytes);
    if (state) return *state;
    // Starting afresh costs at most one report more.
    context.Log(std::string(kFeedReportStateFile) + "を読み込めません。新しく始めます。\n" +
                (file.error.empty() ? std::string("not a feed report state file") : file.error) + "\n\n");
    return {};
}

// Into the Maildir of the settings; false with the reason.
bool DeliverToMaildir(const std::string& path, const std::string& text, std::string& error) {
    std::optional<Maildir> maildir = Maildir::Create(path, error);
    if (!maildir) return false;
    // A Maildir on Linux holds LF lines.
    std::string lf;
    lf.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        lf += text[i];
    }
    std::string name;
    return maildir->Deliver(lf, "", name, error);
}

}  // namespace

MessageStore::NewMessage ComposeFeedReport(const std::vector<FeedReportEntry>& entries, FetchState::Time now,
                                           MailCharset charset, std::string_view logPath) {
    const std::time_t seconds = static_cast<std::time_t>(now.time_since_epoch().count());
    MailData mail(false, charset, seconds);
    mail.SetSender("Quillo");
    mail.SetSenderAddress("feed-report@quillo.invalid");
    mail.SetSubject(kSubject);
    mail.SetUid(Digits(now));
    mail.SetLink(FileUrl(logPath));
    mail.AddBody(FeedReportText(entries), false);

    StoredMessage::Facts facts;
    facts.key = "feed-report-" + Digits(now);
    facts.uid = "feedreport" + Digits(now);
    facts.feedUrl = kFeedReportUrl;
    facts.record = {mail.GetSubject(), mail.GetLink(), mail.GetDate(), "", facts.key};
    // Every report has the same subject and link; its date tells it apart.
    facts.compareDate = true;
    return {std::move(facts), std::make_shared<const std::string>(mail.GetText())};
}

std::string FileDueFeedReport(const GatewayContext& context, const Settings& settings,
                              const std::vector<ListedFeedFolder>& feeds, FetchState::Time now) {
    std::vector<ReportedFeed> reported;
    reported.reserve(feeds.size());
    for (const ListedFeedFolder& feed : feeds) reported.push_back({feed.url, ReadFetchState(feed.folder).state});
    const FeedReportState last = ReadReportState(context);
    FeedReportPlan plan = PlanFeedReport(reported, last, now);

    std::string storeFolder;
    if (!plan.entries.empty()) {
        MessageStore::NewMessage message =
            ComposeFeedReport(plan.entries, now, settings.mailCharset, context.StateFile("log.txt"));
        std::string error;
        if (!settings.maildir.empty()) {
            if (!DeliverToMaildir(settings.maildir, *message.text, error)) {
                context.Log("フィードの報告をMaildirに配信できませんでした。次の更新でもう一度試します。\n" + error + "\n\n");
                return "";
            }
        } else {
            const std::string folder = JoinPath(context.Layout().stateDir, std::string("data/") + kFeedReportFolderName + "/");
            MessageStore store(folder);
            MakeSureDirectoryPathExists(folder);
            store.Load([](const StoredMessage&) { return false; });
            error = store.Add({std::move(message)});
            // A message this store could only hold in memory goes with it: the next refresh
            // tries again.
            if (!error.empty()) {
                context.Log("フィードの報告を保存できませんでした。次の更新でもう一度試します。\n" + error + "\n\n");
                return "";
            }
            storeFolder = folder;
        }
    }
    if (plan.next != last) {
        std::string error;
        if (!ReplaceFileAtomically(context.StateFile(kFeedReportStateFile), SerialiseFeedReportState(plan.next), error))
            context.Log(std::string(kFeedReportStateFile) + "を保存できませんでした。\n" + error + "\n\n");
    }
    return storeFolder;
}
