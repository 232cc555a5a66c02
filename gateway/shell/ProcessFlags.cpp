#include "ProcessFlags.h"

std::atomic<bool> g_running{true};
std::atomic<bool> g_once{false};
std::atomic<bool> g_feedError{false};
