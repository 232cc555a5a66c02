#include "Trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool TraceEnabled() {
    static const bool enabled = [] {
        const char* v = std::getenv("QUILLO_TRACE");
        return v && std::strcmp(v, "1") == 0;
    }();
    return enabled;
}

void Trace(std::string_view line) {
    if (!TraceEnabled()) return;
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}
