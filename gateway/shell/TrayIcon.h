#pragma once

#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

#include <memory>

class QAction;
class QIcon;
class QMenu;

// The tray menu's commands, by the ids the hidden main object dispatches on.
enum TrayCommand : int {
    kCommandEditFeedList = 200,
    kCommandAbout = 201,
    kCommandExit = 202,
};

// The program's own icon (16 x 16, with a 32 x 32 picture for scaled screens).
QIcon QuilloIcon();

// The icon in the notification area and its menu. Lives on the GUI thread.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kToolTip = "Quillo";

    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;

    void Show();
    // Takes the icon out of the notification area; harmless when never shown.
    void Remove();
    bool IsShown() const;

    // "Quillo - フィードを取得中 (n/N)" while a refresh runs; total 0 restores "Quillo".
    void SetRefreshProgress(int done, int total);
    QString ToolTip() const;

    QMenu& Menu() { return *menu_; }
    QSystemTrayIcon& Icon() { return *icon_; }
    // The menu item that sends `id`, or null.
    QAction* Action(int id) const;

signals:
    // A menu item was chosen.
    void Command(int id);

private:
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

    std::unique_ptr<QMenu> menu_;
    QSystemTrayIcon* icon_ = nullptr;
};
