#pragma once

#include <atomic>

// Flags shared by the main thread and the server thread. Each is written in one
// direction only (set or cleared, never toggled back).
extern std::atomic<bool> g_running;    // cleared by the exit command or QUIT in once mode
extern std::atomic<bool> g_once;       // set by "-once"
extern std::atomic<bool> g_feedError;  // set by any download or parse failure; never cleared
