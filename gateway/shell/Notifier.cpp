#include "Notifier.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex g_mutex;
std::shared_ptr<Notifier> g_notifier;
}  // namespace

Notifier::Answer StderrNotifier::Show(const std::string& text, const std::string& title, Icon,
                                      Buttons buttons) {
    std::fprintf(stderr, "%s%s%s\n", title.c_str(), title.empty() ? "" : ": ", text.c_str());
    return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}

Notifier& CurrentNotifier() {
    std::lock_guard lock(g_mutex);
    if (!g_notifier) g_notifier = std::make_shared<StderrNotifier>();
    return *g_notifier;
}

void InstallNotifier(std::shared_ptr<Notifier> notifier) {
    std::lock_guard lock(g_mutex);
    g_notifier = std::move(notifier);
}

void ShowErrorBox(const std::string& text) {
    CurrentNotifier().Show(text, "error", Notifier::Icon::Error, Notifier::Buttons::Ok);
}

void ReportFatalError(const std::string& text, bool showBox) {
    std::fprintf(stderr, "Quillo: %s\n", text.c_str());
    Notifier& notifier = CurrentNotifier();
    if (showBox && notifier.ShowsBoxes())
        notifier.Show(text, "error", Notifier::Icon::Error, Notifier::Buttons::Ok);
}
