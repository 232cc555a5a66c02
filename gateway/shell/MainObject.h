#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class AboutBox;
class GatewayContext;
class QSocketNotifier;
class QtNotifier;
class TrayIcon;

// The hidden main object of the GUI thread: it receives what the hidden main window
// receives on the desktop -- the tray icon and its menu commands, the server
// thread's requests (add the icon, show a box, close) and the exit signals.
class MainObject : public QObject {
    Q_OBJECT
public:
    // `exitCommand` stops the server thread (running flag cleared, accept woken). The
    // object's boxes become the context's and it shows the context's refresh progress,
    // until it is gone; the context must outlive it.
    MainObject(GatewayContext& context, std::function<void()> exitCommand,
               QObject* parent = nullptr);
    ~MainObject() override;

    // Any thread: hand-overs to the GUI thread.
    void PostAddTrayIcon();
    void PostClose();

    // GUI thread.
    void OnCommand(int id);
    void AddTrayIcon();
    // Removes the tray icon and ends the event loop; later calls do nothing.
    void Close();
    void ShowAboutBox();
    bool IsClosed() const { return closed_; }

    TrayIcon& Tray() { return *tray_; }
    // The open about box, or null.
    AboutBox* OpenAboutBox() const;

private:
    void OnExitSignal();

    GatewayContext& context_;
    std::function<void()> exitCommand_;
    std::unique_ptr<TrayIcon> tray_;
    std::shared_ptr<QtNotifier> notifier_;
    QPointer<AboutBox> about_;
    int signalFd_ = -1;
    QSocketNotifier* signalNotifier_ = nullptr;
    bool closed_ = false;
};
