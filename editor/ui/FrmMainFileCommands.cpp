// The window's file commands: open, add and save OPML files, files dropped on the
// window or the tree, and the files named on the command line.
#include "UnitFrmMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>

#include "FrmMainSupport.h"
#include "OpmlTreeModel.h"
#include "OpmlWriter.h"
#include "TrvOpml.h"
#include "UnitFrmDialogs.h"

using namespace frmmain;

namespace {

const char* const kOpmlFilter = "OPMLファイル (*.opml *.xml);;すべてのファイル (*)";

// A bare name is kept beside the program, never in the working directory.
QString ResolveDocumentPath(const QString& name) {
    if (QDir::isAbsolutePath(name)) return name;
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

}  // namespace

// After a scan: on success the tree is shown from its first node (and, when the
// scan replaced the document, its head becomes the document's); on failure the
// reason is shown and the document commands are off.
void TFrmMain::ShowScanOutcome(bool takeHead, bool canSave) {
    const OpmlScanOutcome outcome = model_->Reader().Outcome();
    if (outcome == OpmlScanOutcome::Success) {
        ExpandAndSelectFirst();
        if (takeHead) model_->SetHead(model_->Reader().ScratchHead());
        SetDocumentActions(true, canSave, true);
    } else {
        ShowMessageBox(Q(OutcomeMessage(outcome)), kErrorOk);
        SetDocumentActions(false, false, false);
    }
    TrvOpml->setFocus();
}

void TFrmMain::ActOpenOpmlFileExecute() {
    const QString path = dialogs_.GetOpenFileName(this, QStringLiteral("OPMLを開く..."),
                                                  QString::fromUtf8(kOpmlFilter));
    if (path.isEmpty()) return;
    ClearNodeFields();
    ClearTree();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    documentFileName_ = path;
    StatusText->setText(path);
    BeginUpdate();
    model_->ScanFile(S(path));
    EndUpdate();
    ShowScanOutcome(true, true);
    modified_ = false;
}

void TFrmMain::ActAddOpmlFileExecute() {
    const QString path = dialogs_.GetOpenFileName(this, QStringLiteral("OPMLを追加..."),
                                                  QString::fromUtf8(kOpmlFilter));
    if (path.isEmpty()) return;
    StatusText->setText(path);
    const int before = model_->NodeCount();
    BeginUpdate();
    model_->ScanFile(S(path));
    EndUpdate();
    if (model_->NodeCount() > before) modified_ = true;
    ShowScanOutcome(false, true);
}

bool TFrmMain::SaveTo(const QString& path) {
    const OpmlSaveResult result = SaveOpmlFile(S(ResolveDocumentPath(path)), model_->Document());
    if (!result.ok) {
        ShowMessageBox(Q(result.message.empty() ? std::string(kSaveFailedMessage) : result.message), kErrorOk);
        return false;
    }
    modified_ = false;
    return true;
}

void TFrmMain::ActSaveAsOpmlFileExecute() {
    const QString preset = documentFileName_.isEmpty() ? QStringLiteral("feeds.opml")
                                                       : QFileInfo(documentFileName_).fileName();
    saveCancelled_ = false;
    const QString path =
        dialogs_.GetSaveFileName(this, QStringLiteral("名前を付けて保存..."), preset,
                                 QString::fromUtf8(kOpmlFilter), QStringLiteral("opml"));
    if (path.isEmpty()) {
        saveCancelled_ = true;
        return;
    }
    if (SaveTo(path)) StatusText->setText(path);
}

void TFrmMain::DropFiles(const QStringList& paths) {
    const int before = model_->NodeCount();
    BeginUpdate();
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isFile() && info.isReadable()) model_->ScanFile(S(path));
    }
    EndUpdate();
    if (model_->NodeCount() > before) {
        modified_ = true;
        ExpandAndSelectFirst();
        SetDocumentActions(true, true, true);
        TrvOpml->setFocus();
    }
}

void TFrmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
    else event->ignore();
}

void TFrmMain::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    DropFiles(LocalFiles(event->mimeData()));
    event->acceptProposedAction();
}

// Every readable file is merged; the first names the document.
void TFrmMain::LoadCommandLine(const QStringList& arguments) {
    BeginUpdate();
    bool first = true;
    for (const QString& argument : arguments) {
        const QFileInfo info(argument);
        if (info.isFile() && info.isReadable()) {
            const int before = model_->NodeCount();
            model_->ScanFile(S(argument));
            if (first) {
                documentFileName_ = info.absoluteFilePath();
                modified_ = false;
            } else if (model_->NodeCount() > before) {
                modified_ = true;
            }
        }
        first = false;
    }
    EndUpdate();
    if (model_->NodeCount() > 0) {
        ExpandAndSelectFirst();
        SetDocumentActions(true, true, true);
    }
}
