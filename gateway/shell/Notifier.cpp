#include "Notifier.h"

#include <cstdio>

Notifier::Answer StderrNotifier::Show(const std::string& text, const std::string& title, Icon,
                                      Buttons buttons) {
    std::fprintf(stderr, "%s%s%s\n", title.c_str(), title.empty() ? "" : ": ", text.c_str());
    return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}
