#include "App.h"

#include <string>

int main(int argc, char** argv) {
    // The command line is one text, split again at spaces by the gateway itself.
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    return RunQuillo(commandLine);
}
