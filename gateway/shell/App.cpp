#include "App.h"

#include <cstdio>

int RunQuillo(const std::string&) {
    std::fprintf(stderr, "Quillo: the POP3 service is not built yet.\n");
    return 0;
}
