#include "QtNotifier.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QObject>
#include <QPushButton>
#include <QThread>

#include <memory>

Notifier::Answer ShowQtMessageBox(const std::string& text, const std::string& title,
                                  Notifier::Icon icon, Notifier::Buttons buttons) {
    QString body = QString::fromStdString(text);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box;
    box.setObjectName(QStringLiteral("QuilloMessageBox"));
    box.setWindowTitle(QString::fromStdString(title));
    box.setText(body);
    box.setTextFormat(Qt::PlainText);
    box.setIcon(icon == Notifier::Icon::Error         ? QMessageBox::Critical
                : icon == Notifier::Icon::Exclamation ? QMessageBox::Warning
                                                      : QMessageBox::NoIcon);
    QAbstractButton* yes = nullptr;
    if (buttons == Notifier::Buttons::YesNo) {
        yes = box.addButton(QMessageBox::Yes);
        box.addButton(QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        // The close box and Escape answer No.
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.addButton(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
    }
    // Without an owner the box could open behind other windows and go unseen.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    if (buttons == Notifier::Buttons::Ok) return Notifier::Answer::Ok;
    return yes && box.clickedButton() == yes ? Notifier::Answer::Yes : Notifier::Answer::No;
}

QtNotifier::QtNotifier(QObject* gui) : gui_(gui) {}

Notifier::Answer QtNotifier::Show(const std::string& text, const std::string& title, Icon icon,
                                  Buttons buttons) {
    std::unique_lock lock(mutex_);
    // After Close `gui_` may be gone: it is not touched again.
    if (closed_) {
        lock.unlock();
        return fallback_.Show(text, title, icon, buttons);
    }
    // On the GUI thread itself the box is simply shown: waiting would stop the loop
    // that has to show it.
    if (QThread::currentThread() == gui_->thread()) {
        lock.unlock();
        return ShowQtMessageBox(text, title, icon, buttons);
    }

    struct Pending {
        bool done = false;
        Answer answer = Answer::No;
    };
    auto pending = std::make_shared<Pending>();
    // Posted under the lock, so Close cannot slip in between and leave `gui_` dangling.
    // A box still queued when `gui_` goes away is dropped with it; Close wakes us.
    QMetaObject::invokeMethod(
        gui_,
        [this, pending, text, title, icon, buttons] {
            Answer answer = ShowQtMessageBox(text, title, icon, buttons);
            std::lock_guard guard(mutex_);
            pending->answer = answer;
            pending->done = true;
            answered_.notify_all();
        },
        Qt::QueuedConnection);
    answered_.wait(lock, [&] { return pending->done || closed_; });
    if (pending->done) return pending->answer;
    return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}

void QtNotifier::Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    answered_.notify_all();
}
