#include "RefreshProgress.h"

#include <mutex>

namespace {
std::mutex g_mutex;
RefreshProgressSink g_sink;
}  // namespace

void ReportRefreshProgress(int done, int total) {
    std::lock_guard lock(g_mutex);
    if (g_sink && total > 0) g_sink(done < 0 ? 0 : (done > total ? total : done), total);
}

void ReportRefreshFinished() {
    std::lock_guard lock(g_mutex);
    if (g_sink) g_sink(0, 0);
}

void InstallRefreshProgressSink(RefreshProgressSink sink) {
    std::lock_guard lock(g_mutex);
    g_sink = std::move(sink);
}
