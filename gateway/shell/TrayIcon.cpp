#include "TrayIcon.h"

#include <QAction>
#include <QCursor>
#include <QIcon>
#include <QMenu>

// The pictures sit in a static library; without this the linker may drop them.
static void InitQuilloResources() { Q_INIT_RESOURCE(quillo); }

QIcon QuilloIcon() {
    InitQuilloResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/quillo/quillo-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/quillo/quillo-32.png"), QSize(32, 32));
    return icon;
}

namespace {
struct MenuItem {
    int id;  // 0: separator
    const char* text;
};

constexpr MenuItem kMenuItems[] = {
    {kCommandEditFeedList, "フィードリストを編集(&E)..."},
    {kCommandAbout, "バージョン情報(&A)..."},
    {0, nullptr},
    {kCommandExit, "終了(&X)"},
};
}  // namespace

TrayIcon::TrayIcon(QObject* parent)
    : QObject(parent), menu_(std::make_unique<QMenu>(QString::fromUtf8("ポップアップ"))) {
    menu_->setObjectName(QStringLiteral("TrayMenu"));
    for (const MenuItem& item : kMenuItems) {
        if (item.id == 0) {
            menu_->addSeparator();
            continue;
        }
        QAction* action = menu_->addAction(QString::fromUtf8(item.text));
        action->setData(item.id);
        action->setObjectName(QStringLiteral("TrayCommand%1").arg(item.id));
        const int id = item.id;
        // Queued, so the menu has closed before a command opens a box or ends the loop.
        connect(action, &QAction::triggered, this, [this, id] { emit Command(id); },
                Qt::QueuedConnection);
    }
    icon_ = new QSystemTrayIcon(QuilloIcon(), this);
    icon_->setToolTip(QString::fromLatin1(kToolTip));
    // No context menu is handed to the icon: the platform would then open it on its
    // own terms, and only pressing the right button may open it.
    connect(icon_, &QSystemTrayIcon::activated, this, &TrayIcon::OnActivated);
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::Show() { icon_->show(); }

void TrayIcon::Remove() {
    menu_->hide();
    icon_->hide();
}

bool TrayIcon::IsShown() const { return icon_->isVisible(); }

void TrayIcon::SetRefreshProgress(int done, int total) {
    if (total <= 0) {
        icon_->setToolTip(QString::fromLatin1(kToolTip));
        return;
    }
    icon_->setToolTip(QString::fromUtf8("Quillo - フィードを取得中 (%1/%2)").arg(done).arg(total));
}

QString TrayIcon::ToolTip() const { return icon_->toolTip(); }

QAction* TrayIcon::Action(int id) const {
    for (QAction* action : menu_->actions()) {
        if (!action->isSeparator() && action->data().toInt() == id) return action;
    }
    return nullptr;
}

void TrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    // Left clicks, double clicks and the middle button do nothing.
    if (reason != QSystemTrayIcon::Context) return;
    // The menu opens above the pointer, its bottom edge at the cursor.
    QPoint at = QCursor::pos();
    menu_->ensurePolished();
    menu_->popup(at - QPoint(0, menu_->sizeHint().height()));
    menu_->activateWindow();
}
