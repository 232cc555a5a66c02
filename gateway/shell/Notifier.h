#pragma once

#include <memory>
#include <string>

// Every message box of the server thread goes through the notifier. Headless, the text
// goes to standard error and questions are answered No; the tray shell installs one
// that shows real boxes on the GUI thread and waits for the answer.
class Notifier {
public:
    enum class Icon { Error, Exclamation, None };
    enum class Buttons { Ok, YesNo };
    enum class Answer { Ok, Yes, No };

    virtual ~Notifier() = default;
    virtual Answer Show(const std::string& text, const std::string& title, Icon icon,
                        Buttons buttons) = 0;
    // Whether Show puts a box on a screen (false: the text goes to standard error).
    virtual bool ShowsBoxes() const { return false; }
};

class StderrNotifier : public Notifier {
public:
    Answer Show(const std::string& text, const std::string& title, Icon icon,
                Buttons buttons) override;
};

// The process-wide notifier (a StderrNotifier until another is installed).
Notifier& CurrentNotifier();
void InstallNotifier(std::shared_ptr<Notifier> notifier);

// Shorthand for the common box: title "error", error icon, OK.
void ShowErrorBox(const std::string& text);

// A failure that ends the gateway: always on standard error (a service's journal keeps
// it), and also in an error box when showBox is set and the notifier shows boxes.
void ReportFatalError(const std::string& text, bool showBox);
