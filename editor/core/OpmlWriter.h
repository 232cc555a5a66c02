#pragma once

#include "OpmlModel.h"

#include <ctime>
#include <string>

class QTreeWidget;
class QTreeWidgetItem;

inline constexpr const char* kSaveFailedMessage = "ファイルの保存に失敗しました。";

// The whole OPML text of a document: UTF-8, CR LF after every line, TAB indentation.
// now is the time written as dateModified (and as dateCreated when the head has none).
std::string BuildOpmlText(const OpmlHead& head, const QTreeWidget* tree, std::time_t now);

// The outline line(s) of one node and its descendants, at the node's depth.
void WriteOutline(std::string& out, const QTreeWidgetItem* node);

struct OpmlSaveResult {
    bool ok = false;
    std::string message;  // kSaveFailedMessage on failure, for the error box
    std::string detail;   // the system's reason, for logs and tests
};

// Builds the text, then replaces the file at path atomically: a temporary file
// beside it is written and flushed, then renamed over the target, so a reader (the
// gateway) never sees a partial feed list. On failure the old file is untouched.
OpmlSaveResult SaveOpmlFile(const std::string& path, const OpmlHead& head,
                            const QTreeWidget* tree);

// The same replacement for any bytes; used by the settings file too.
bool ReplaceFileAtomically(const std::string& path, const std::string& bytes,
                           std::string* error = nullptr);
