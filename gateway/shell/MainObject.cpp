#include "MainObject.h"

#include "AboutBox.h"
#include "EditorLauncher.h"
#include "GatewayContext.h"
#include "QtNotifier.h"
#include "TrayIcon.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

MainObject::MainObject(GatewayContext& context, std::function<void()> exitCommand, QObject* parent)
    : QObject(parent),
      context_(context),
      exitCommand_(std::move(exitCommand)),
      tray_(std::make_unique<TrayIcon>()) {
    setObjectName(QStringLiteral("Quillo"));
    connect(tray_.get(), &TrayIcon::Command, this, &MainObject::OnCommand);

    notifier_ = std::make_shared<QtNotifier>(this);
    context_.UseNotifier(notifier_);
    context_.Progress().Listen([this](int done, int total) {
        QMetaObject::invokeMethod(
            this, [this, done, total] { tray_->SetRefreshProgress(done, total); },
            Qt::QueuedConnection);
    });

    // SIGINT and SIGTERM are blocked in every thread of the gateway and read here, so
    // they end the program through the exit command like the menu item.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    signalFd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd_ >= 0) {
        signalNotifier_ = new QSocketNotifier(signalFd_, QSocketNotifier::Read, this);
        connect(signalNotifier_, &QSocketNotifier::activated, this, &MainObject::OnExitSignal);
    }
}

MainObject::~MainObject() {
    context_.Progress().Listen({});
    // The notifier stays installed, closed: a late box of the server thread goes to
    // standard error instead of to an object that is gone.
    notifier_->Close();
    if (signalNotifier_) signalNotifier_->setEnabled(false);
    if (signalFd_ >= 0) close(signalFd_);
}

void MainObject::PostAddTrayIcon() {
    QMetaObject::invokeMethod(this, [this] { AddTrayIcon(); }, Qt::QueuedConnection);
}

void MainObject::PostClose() {
    QMetaObject::invokeMethod(this, [this] { Close(); }, Qt::QueuedConnection);
}

void MainObject::OnCommand(int id) {
    // A command still queued when the loop closed is dropped.
    if (closed_) return;
    switch (id) {
        case kCommandEditFeedList:
            LaunchEditor(context_);
            break;
        case kCommandAbout:
            ShowAboutBox();
            break;
        case kCommandExit:
            if (exitCommand_) exitCommand_();
            Close();
            break;
        default:
            break;
    }
}

void MainObject::AddTrayIcon() {
    // The server thread may ask after the exit command has already closed us.
    if (!closed_) tray_->Show();
}

void MainObject::Close() {
    if (closed_) return;
    closed_ = true;
    tray_->Remove();
    // A box the server thread is waiting for is answered No from here on.
    notifier_->Close();
    if (about_) about_->reject();
    // Ends the main loop and every box's loop nested in it.
    QCoreApplication::exit(0);
}

void MainObject::ShowAboutBox() {
    if (about_) {
        about_->raise();
        about_->activateWindow();
        return;
    }
    AboutBox box;
    about_ = &box;
    box.exec();
    about_ = nullptr;
}

AboutBox* MainObject::OpenAboutBox() const { return about_.data(); }

void MainObject::OnExitSignal() {
    signalfd_siginfo info{};
    while (read(signalFd_, &info, sizeof info) == sizeof info) {
    }
    if (exitCommand_) exitCommand_();
    Close();
}
