#include "OpmlWriter.h"

std::string BuildOpmlText(const OpmlHead&, const QTreeWidget*, std::time_t) { return {}; }
void WriteOutline(std::string&, const QTreeWidgetItem*) {}
OpmlSaveResult SaveOpmlFile(const std::string&, const OpmlHead&, const QTreeWidget*) { return {false, kSaveFailedMessage, "not built yet"}; }
bool ReplaceFileAtomically(const std::string&, const std::string&, std::string*) { return false; }
