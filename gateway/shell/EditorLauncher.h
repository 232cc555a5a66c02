#pragma once

#include "GatewayContext.h"

#include <string>
#include <vector>

// The feed-list editor beside the gateway, started on feedlist.xml.
enum class EditorLaunch { Started, Missing, Failed };

// The text of the box shown when the editor is not in the application directory.
extern const char* const kMissingEditorText;

// Starts "Corvane" from the context's program folder with the full path of feedlist.xml
// as its one argument and the application directory as its working directory, and
// does not wait for it. A missing editor is reported with a box on the GUI thread
// (whatever the settings say) and nothing is started.
EditorLaunch LaunchEditor(const GatewayContext& context);

// Starts `program` with `arguments` in `directory`, detached: the child is not ours to
// wait for, leaves no zombie behind and gets the default signal mask and handlers
// back (the gateway blocks SIGINT and SIGTERM in every thread). False when no process
// could be created.
bool SpawnDetached(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& directory);
