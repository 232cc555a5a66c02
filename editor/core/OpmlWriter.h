#pragma once

#include "OpmlDocument.h"

#include <ctime>
#include <string>

inline constexpr const char* kSaveFailedMessage = "ファイルの保存に失敗しました。";

// The whole OPML text of a document: UTF-8, CR LF after every line, TAB indentation.
// now is the time written as dateModified (and as dateCreated when the head has none).
// top's children are the body's top level.
std::string BuildOpmlText(const OpmlHead& head, const OutlineNode& top, std::time_t now);

// The outline line(s) of one node and its descendants, at the node's depth.
void WriteOutline(std::string& out, const OutlineNode& node);

struct OpmlSaveResult {
    bool ok = false;
    std::string message;  // kSaveFailedMessage on failure, for the error box
    std::string detail;   // the system's reason, for logs and tests
};

// Builds the text, then replaces the file at path atomically: a temporary file
// beside it is written and flushed, then renamed over the target, so a reader (the
// gateway) never sees a partial feed list. On failure the old file is untouched.
OpmlSaveResult SaveOpmlFile(const std::string& path, const OpmlHead& head,
                            const OutlineNode& top);
inline OpmlSaveResult SaveOpmlFile(const std::string& path, const OpmlDocument& document) {
    return SaveOpmlFile(path, document.head, document.body);
}
