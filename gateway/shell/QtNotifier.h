#pragma once

#include "Notifier.h"

#include <condition_variable>
#include <mutex>

class QObject;

// Shows a modal message box without owner on the calling (GUI) thread and returns the
// answer. Texts keep their CR LF line ends in the code; the box shows plain lines.
Notifier::Answer ShowQtMessageBox(const std::string& text, const std::string& title,
                                  Notifier::Icon icon, Notifier::Buttons buttons);

// The server thread's message boxes as real boxes on the GUI thread. Show hands the
// box to the GUI thread and waits for the answer, so the server thread stops exactly
// as long as the user takes. Once the GUI is closing, boxes go to standard error and
// questions are answered No, and a waiting Show returns No at once.
class QtNotifier : public Notifier {
public:
    // `gui` lives on the GUI thread and outlives every Show posted before Close.
    explicit QtNotifier(QObject* gui);

    Answer Show(const std::string& text, const std::string& title, Icon icon,
                Buttons buttons) override;
    bool ShowsBoxes() const override { return true; }

    // Called on the GUI thread before `gui` goes away.
    void Close();

private:
    QObject* gui_;
    std::mutex mutex_;
    std::condition_variable answered_;
    bool closed_ = false;
    StderrNotifier fallback_;
};
