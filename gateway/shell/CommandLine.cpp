#include "CommandLine.h"

#include "Trace.h"

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    Trace("lpsCmdLine: " + commandLine);
    std::vector<std::string> arguments;
    size_t pos = 0;
    while (pos < commandLine.size()) {
        size_t start = commandLine.find_first_not_of(' ', pos);
        if (start == std::string::npos) break;
        size_t end = commandLine.find(' ', start);
        if (end == std::string::npos) end = commandLine.size();
        arguments.push_back(commandLine.substr(start, end - start));
        pos = end;
    }
    for (size_t i = 0; i < arguments.size(); ++i)
        Trace("argArray[" + std::to_string(i) + "]: " + arguments[i]);
    return arguments;
}

bool HasOnceFlag(const std::vector<std::string>& arguments) {
    for (const auto& argument : arguments) {
        if (argument == "-once") return true;
    }
    return false;
}
