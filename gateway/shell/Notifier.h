#pragma once

#include <memory>
#include <string>

// Every message box of the server thread goes through the notifier of the gateway's
// context. Headless, the text goes to standard error and questions are answered No; the
// tray shell puts in one that shows real boxes on the GUI thread and waits for the answer.
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
