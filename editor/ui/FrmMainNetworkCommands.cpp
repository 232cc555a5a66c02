// The window's network commands: open or add OPML from a URL or a Bulkfeeds search,
// add an item from a page (its feed link or the discovery service), update an item
// from its feed, and check a feed's status.
#include "UnitFrmMain.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "FeedFinder.h"
#include "FrmMainSupport.h"
#include "OpmlTreeModel.h"
#include "TrvOpml.h"
#include "UnitFrmAddItemFromUrl.h"
#include "UnitFrmAppointOpmlUrl.h"
#include "UnitFrmDialogs.h"
#include "UnitFrmOption.h"
#include "UnitFrmSearchBulkfeeds.h"
#include "jconvert.h"

using namespace frmmain;

namespace {

const char* const kConnectFailed = "インターネット接続に失敗しました。\n";
const char* const kSearchingText = "検索中...";

}  // namespace

void TFrmMain::ShowConnectFailure(const QString& url) {
    ShowMessageBox(QString::fromUtf8(kConnectFailed) + url, kErrorOk);
}

QString TFrmMain::SearchUrl(const QString& text, int field) const {
    return Q(BulkfeedsSearchUrl(settings_.bulkfeedsHost, S(text), field));
}

QString TFrmMain::DiscoverUrl(const QString& pageUrl) const {
    return Q(BulkfeedsDiscoverUrl(settings_.bulkfeedsHost, settings_.apiKey, S(pageUrl)));
}

void TFrmMain::OpenFromUrl(const QString& url, const QString& placeholder) {
    ClearNodeFields();
    ClearTree();
    model_->AddNode(model_->Top(), S(placeholder), TOutlineData{});
    modified_ = true;
    // The placeholder must be seen while the request runs.
    TrvOpml->repaint();
    BeginUpdate();
    documentFileName_ = QStringLiteral("feeds.opml");
    StatusText->setText(url);
    const HttpResult result = http_.Get(S(url));
    ClearTree();
    if (!result.ok) {
        EndUpdate();
        ShowConnectFailure(url);
        StatusText->setText(QString());
        modified_ = false;
        return;
    }
    model_->ScanBuffer(std::string_view(result.body.constData(), static_cast<size_t>(result.body.size())));
    EndUpdate();
    ShowScanOutcome(true, false);
}

void TFrmMain::AddFromUrl(const QString& url) {
    StatusText->setText(url);
    const HttpResult result = http_.Get(S(url));
    if (!result.ok) {
        ShowConnectFailure(url);
        return;
    }
    const int before = model_->NodeCount();
    BeginUpdate();
    model_->ScanBuffer(std::string_view(result.body.constData(), static_cast<size_t>(result.body.size())));
    EndUpdate();
    if (model_->NodeCount() > before) modified_ = true;
    ShowScanOutcome(false, true);
    if (const OutlineNode* node = SelectedNode()) {
        TrvOpml->scrollTo(model_->IndexOf(node), QAbstractItemView::PositionAtTop);
    }
}

// The address of an OPML document, or of a Bulkfeeds search; empty when the
// dialog was cancelled or left blank.
QString TFrmMain::AskUrl(bool search, const QString& title) {
    if (!search) {
        FrmAppointOpmlUrl->setWindowTitle(title);
        if (dialogs_.ExecDialog(FrmAppointOpmlUrl) != QDialog::Accepted) return QString();
        return FrmAppointOpmlUrl->EdtOpmlUrl->text();
    }
    FrmSearchBulkfeeds->setWindowTitle(title);
    if (dialogs_.ExecDialog(FrmSearchBulkfeeds) != QDialog::Accepted) return QString();
    const QString text = FrmSearchBulkfeeds->EdtSearchString->text();
    if (text.isEmpty()) return QString();
    return SearchUrl(text, FrmSearchBulkfeeds->CbxSearchType->currentIndex());
}

void TFrmMain::ActOpenFromUrlExecute(bool search) {
    const QString url = AskUrl(search, search ? QStringLiteral("Bulkfeedsの検索結果を開く...")
                                              : QStringLiteral("URLからOPMLファイルを開く..."));
    if (!url.isEmpty()) OpenFromUrl(url, search ? QString::fromUtf8(kSearchingText) : QStringLiteral("接続中..."));
}

void TFrmMain::ActAddFromUrlExecute(bool search) {
    const QString url = AskUrl(search, search ? QStringLiteral("Bulkfeedsの検索結果を追加...")
                                              : QStringLiteral("URLからOPMLファイルを開く..."));
    if (!url.isEmpty()) AddFromUrl(url);
}

bool TFrmMain::FetchFeedInfo(const std::string& url) {
    const HttpResult result = http_.Get(url);
    if (!result.ok) {
        ShowConnectFailure(Q(url));
        return false;
    }
    // A feed adds no nodes, so the scan runs without an update bracket.
    model_->ScanBuffer(std::string_view(result.body.constData(), static_cast<size_t>(result.body.size())));
    return true;
}

std::string TFrmMain::DiscoverFeed(const std::string& pageUrl) {
    const QString discoverUrl = DiscoverUrl(Q(pageUrl));
    const HttpResult result = http_.Get(S(discoverUrl));
    if (!result.ok) {
        ShowConnectFailure(discoverUrl);
        return {};
    }
    return ParseDiscoverAnswer(Utf8ToLocal(result.body.toStdString()));
}

void TFrmMain::ActAddItemFromUrlExecute() {
    FlushSelectionChange();
    if (dialogs_.ExecDialog(FrmAddItemFromUrl) != QDialog::Accepted) return;
    const std::string pageUrl = S(FrmAddItemFromUrl->EdtUrl->text());
    if (pageUrl.empty()) return;

    OutlineNode& node = PlaceNewNode(kSearchingText, TOutlineData{"http://", "", pageUrl});
    TrvOpml->repaint();

    // The page's own feed link comes first; the discovery service, which needs
    // a key and may be gone, only when the page names no feed.
    bool pageFetched = false;
    std::string feedUrl = FindFeedOfPage(http_, pageUrl, &pageFetched);
    if (feedUrl.empty()) {
        if (!pageFetched) ShowConnectFailure(Q(pageUrl));
        if (settings_.apiKey.empty() && pageFetched) {
            ShowMessageBox(QStringLiteral("BulkfeedsのAPI Keyが未設定です。"), kErrorOk);
            FrmOption->ShowBulkfeedsPage();
            ActCallOptionDlgExecute();
        }
        if (!settings_.apiKey.empty()) {
            feedUrl = DiscoverFeed(pageUrl);
            if (feedUrl.empty()) ShowMessageBox(QStringLiteral("RSSのURLを取得できませんでした。"), kErrorOk);
        }
    }

    SelectNode(&node);
    // The feed's missing elements keep what the boxes hold: no placeholder.
    EdtRssTitle->setText(QString::fromUtf8(kNewItemText));
    if (!feedUrl.empty()) {
        if (!FetchFeedInfo(feedUrl)) {
            EdtRssUrl->setText(Q(feedUrl));
        } else {
            SetNodeBoxesFromChannel(feedUrl);
        }
    }
    FocusTitleBox();
}

void TFrmMain::ActUpdateFromRssExecute() {
    // The boxes must show this node before the feed's missing elements fall
    // back on them, and no delayed refill may run while the request does.
    FlushSelectionChange();
    OutlineNode* node = SelectedNode();
    if (node == nullptr || !node->data) return;
    const std::string xmlUrl = node->data->xmlUrl;
    if (xmlUrl.empty()) return;
    if (settings_.confirmOnUpdateFromRss) {
        const QString question = QStringLiteral(
            "アイテムを更新しますか?\n現在のタイトルや概要は失われ、RSSに記述されている内容に更新されます。");
        if (ShowMessageBox(question, kQuestionYesNo) != QMessageBox::Yes) return;
    }
    // The progress text is shown in the tree only, never stored as a title.
    const std::string oldText = node->text;
    model_->SetText(*node, "更新中...");
    TrvOpml->repaint();
    const bool fetched = FetchFeedInfo(xmlUrl);
    model_->SetText(*node, oldText);
    // A failed request leaves the item as it was.
    if (fetched) SetNodeBoxesFromChannel(xmlUrl);
}

void TFrmMain::ActCheckStatusExecute() {
    FlushSelectionChange();
    const OutlineNode* node = SelectedNode();
    if (node == nullptr || !node->data || node->data->xmlUrl.empty()) return;
    const HttpResult result = http_.Head(node->data->xmlUrl);
    if (!result.ok) {
        ShowMessageBox(Q(result.errorMessage), kErrorOk);
        return;
    }
    if (result.status == 200) ShowMessageBox(QStringLiteral("HTTP 1.1 200 OK."), kInformationOk);
}
