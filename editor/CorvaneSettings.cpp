#include "CorvaneSettings.h"

std::string SettingsFilePath() { return "Corvane.ini"; }
void SetSettingsDirectoryForTesting(const std::string&) {}
CorvaneSettings LoadSettings() { return {}; }
CorvaneSettings LoadSettings(const std::string&) { return {}; }
bool SaveSettings(const CorvaneSettings&) { return false; }
bool SaveSettings(const CorvaneSettings&, const std::string&) { return false; }
