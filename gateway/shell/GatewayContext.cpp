#include "GatewayContext.h"

#include "Log.h"

#include <cstdio>

GatewayContext::GatewayContext(AppLayout layout, bool once)
    : layout_(std::move(layout)), once_(once), notifier_(std::make_shared<StderrNotifier>()) {}

std::string GatewayContext::ConfigFile(std::string_view name) const {
    return JoinPath(layout_.configDir, name);
}

std::string GatewayContext::StateFile(std::string_view name) const {
    return JoinPath(layout_.stateDir, name);
}

std::string GatewayContext::ProgramFile(std::string_view name) const {
    return JoinPath(layout_.programDir, name);
}

void GatewayContext::Log(std::string_view text) const { AppendLog(StateFile("log.txt"), text); }

void GatewayContext::OpenLog() const { OpenLogFile(StateFile("log.txt")); }

std::shared_ptr<Notifier> GatewayContext::Boxes() const {
    std::lock_guard lock(notifierMutex_);
    return notifier_;
}

void GatewayContext::UseNotifier(std::shared_ptr<Notifier> notifier) {
    std::lock_guard lock(notifierMutex_);
    notifier_ = notifier ? std::move(notifier) : std::make_shared<StderrNotifier>();
}

void GatewayContext::ShowErrorBox(const std::string& text) const {
    Boxes()->Show(text, "error", Notifier::Icon::Error, Notifier::Buttons::Ok);
}

void GatewayContext::ReportFatalError(const std::string& text, bool showBox) const {
    std::fprintf(stderr, "Quillo: %s\n", text.c_str());
    const std::shared_ptr<Notifier> boxes = Boxes();
    if (showBox && boxes->ShowsBoxes())
        boxes->Show(text, "error", Notifier::Icon::Error, Notifier::Buttons::Ok);
}
