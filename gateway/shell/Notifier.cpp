#include "Notifier.h"

#include <cstdio>

Notifier::Answer StderrNotifier::Show(const std::string& text, const std::string& title, Icon,
                                      Buttons buttons) {
    std::fprintf(stderr, "%s%s%s\n", title.c_str(), title.empty() ? "" : ": ", text.c_str());
    return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}

void ShowErrorBox(Notifier& notifier, const std::string& text) {
    notifier.Show(text, "error", Notifier::Icon::Error, Notifier::Buttons::Ok);
}

void ReportFatalError(Notifier& notifier, const std::string& text, bool showBox) {
    std::fprintf(stderr, "Quillo: %s\n", text.c_str());
    if (showBox && notifier.ShowsBoxes())
        notifier.Show(text, "error", Notifier::Icon::Error, Notifier::Buttons::Ok);
}
