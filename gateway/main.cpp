#include "App.h"
#include "AppDirectory.h"
#include "CommandLine.h"
#include "StatusCommand.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const ProgramArguments arguments = ParseProgramArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!arguments.error.empty()) {
        std::fprintf(stderr, "Quillo: %s\nusage: Quillo [--dir DIR] [-once] [--status]\n", arguments.error.c_str());
        return 2;
    }
    const AppLayout layout = ResolveAppLayout(arguments.dir);
    if (arguments.status) {
        // Before PrepareAppLayout: the status only reads, it makes no folder or file.
        std::string out;
        std::string error;
        const int code = PrintFeedStatus(layout, out, error);
        std::fwrite(out.data(), 1, out.size(), stdout);
        if (code != 0) std::fprintf(stderr, "Quillo: %s\n", error.c_str());
        return code;
    }
    std::string error;
    if (!PrepareAppLayout(layout, error)) {
        std::fprintf(stderr, "Quillo: %s\n", error.c_str());
        return 1;
    }
    return RunQuillo(layout, arguments.commandLine);
}
