#include "CommandLine.h"

#include "Trace.h"

#include <filesystem>

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

ProgramArguments ParseProgramArguments(const std::vector<std::string>& arguments) {
    ProgramArguments result;
    auto takeDir = [&result](const std::string& value) {
        if (value.empty()) {
            result.error = "--dir needs a directory";
            return;
        }
        std::error_code ignored;
        result.dir = std::filesystem::absolute(value, ignored).lexically_normal().string();
        if (result.dir->size() > 1 && result.dir->back() == '/') result.dir->pop_back();
    };
    for (size_t i = 0; i < arguments.size() && result.error.empty(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--dir") {
            if (i + 1 == arguments.size()) {
                result.error = "--dir needs a directory";
                break;
            }
            takeDir(arguments[++i]);
        } else if (argument == "--status") {
            result.status = true;
        } else if (argument.rfind("--dir=", 0) == 0) {
            takeDir(argument.substr(6));
        } else {
            if (!result.commandLine.empty()) result.commandLine += ' ';
            result.commandLine += argument;
        }
    }
    return result;
}
