#pragma once

#include <functional>

// How far the running refresh has got, for the tray icon's tool tip. Safe from any
// thread; without a tray (headless) nothing listens and the calls cost nothing.
//
// The refresh calls ReportRefreshProgress(0, N) before its first download, again with
// the number of feeds done as each one finishes, and ReportRefreshFinished at the end
// (also when it stops early).
void ReportRefreshProgress(int done, int total);
void ReportRefreshFinished();

// The tray shell listens here. `total` is 0 once the refresh has finished. The sink is
// called on the reporting thread and must hand the value over itself. An empty
// function removes the listener.
using RefreshProgressSink = std::function<void(int done, int total)>;
void InstallRefreshProgressSink(RefreshProgressSink sink);
