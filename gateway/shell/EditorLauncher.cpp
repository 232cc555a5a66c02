#include "EditorLauncher.h"

#include "Notifier.h"
#include "QtNotifier.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

extern char** environ;

const char* const kMissingEditorText =
    "アプリケーションのディレクトリに、Corvane がありません。\r\n編集ツールを起動できません。";

bool SpawnDetached(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& directory) {
    // Everything the child needs is built before fork: after it, in a threaded
    // process, only async-signal-safe calls are allowed.
    std::vector<std::string> strings;
    strings.push_back(program);
    strings.insert(strings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    const char* path = program.c_str();
    const char* dir = directory.c_str();

    pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        setsid();
        if (chdir(dir) != 0) _exit(127);
        // The grandchild runs the program; its parent ends at once, so init adopts it.
        pid_t grandchild = fork();
        if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
        execve(path, argv.data(), environ);
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

EditorLaunch LaunchEditor(const GatewayContext& context) {
    // Installed, the editor is beside the gateway and the feed list in its settings folder.
    const std::string& directory = context.Layout().configDir;
    const std::string editor = context.ProgramFile("Corvane");
    const std::string feedList = context.ConfigFile("feedlist.xml");
    // The editor must be there and readable; feedlist.xml need not exist yet.
    std::FILE* file = std::fopen(editor.c_str(), "rb");
    if (!file) {
        ShowQtMessageBox(kMissingEditorText, "error", Notifier::Icon::Error, Notifier::Buttons::Ok);
        return EditorLaunch::Missing;
    }
    std::fclose(file);
    // A failure to start is not reported, as on the desktop.
    return SpawnDetached(editor, {feedList}, directory) ? EditorLaunch::Started
                                                        : EditorLaunch::Failed;
}
