#include "XmlScanner.h"

namespace {
const std::string kEmpty;
}

void XmlAttributes::Add(std::string name, std::string value) {
    items_.emplace_back(std::move(name), std::move(value));
}

const std::string& XmlAttributes::Value(std::string_view name) const {
    for (const auto& item : items_) {
        if (item.first == name) return item.second;
    }
    return kEmpty;
}

bool XmlAttributes::Has(std::string_view name) const {
    for (const auto& item : items_) {
        if (item.first == name) return true;
    }
    return false;
}

XmlScanner::XmlScanner(XmlScannerHandler& handler) : handler_(handler) {}

XmlScanResult XmlScanner::ScanFile(const std::string&) { return {false, "not built yet", 0, 0}; }

XmlScanResult XmlScanner::ScanBuffer(std::string_view) { return {false, "not built yet", 0, 0}; }
