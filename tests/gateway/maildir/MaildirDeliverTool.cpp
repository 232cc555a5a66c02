// maildir_deliver MAILDIR [--utf8] [--folder NAMES] [--key KEY] FILE...
// Delivers each FILE into MAILDIR, or into the Maildir++ subfolder made from NAMES (folder
// names separated by tabs) given before it; --key sets the key of the next FILE; --utf8
// names subfolders in UTF-8 instead of modified UTF-7. Files that follow one --folder go
// in one batch. Prints "<folder>\t<name>" per message ("" for MAILDIR itself).
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "Maildir.h"
#include "MaildirFolderName.h"

namespace {

struct Batch {
    std::vector<std::string> names;  // folder names; empty for the Maildir itself
    std::vector<std::string> bytes;
    std::vector<std::string> keys;
};

std::vector<std::string> SplitTabs(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t tab; (tab = text.find('\t', start)) != std::string::npos; start = tab + 1)
        parts.push_back(text.substr(start, tab - start));
    parts.push_back(text.substr(start));
    return parts;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: maildir_deliver MAILDIR [--utf8] [--folder NAMES] [--key KEY] FILE...\n";
        return 2;
    }
    std::string error;
    auto root = Maildir::Create(argv[1], error);
    if (!root) {
        std::cerr << error << "\n";
        return 1;
    }
    auto encoding = FolderNameEncoding::ModifiedUtf7;
    std::vector<Batch> batches(1);
    std::string key;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--utf8") {
            encoding = FolderNameEncoding::Utf8;
        } else if (arg == "--folder" && i + 1 < argc) {
            batches.push_back({SplitTabs(argv[++i]), {}, {}});
        } else if (arg == "--key" && i + 1 < argc) {
            key = argv[++i];
        } else {
            std::ifstream file(arg, std::ios::binary);
            if (!file) {
                std::cerr << "cannot read " << arg << "\n";
                return 1;
            }
            batches.back().bytes.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
            batches.back().keys.push_back(key);
            key.clear();
        }
    }
    int status = 0;
    for (const Batch& batch : batches) {
        if (batch.bytes.empty() && !batch.names.empty()) continue;
        const std::string folderName = batch.names.empty() ? "" : MaildirPlusPlusFolder(batch.names, encoding);
        auto maildir = folderName.empty() ? root : root->CreateSubfolder(folderName, error);
        if (!maildir) {
            std::cerr << error << "\n";
            return 1;
        }
        std::vector<MaildirMessage> messages;
        for (std::size_t m = 0; m < batch.bytes.size(); ++m) messages.push_back({batch.bytes[m], batch.keys[m]});
        for (const auto& result : maildir->DeliverAll(messages)) {
            if (!result.error.empty()) {
                std::cerr << result.error << "\n";
                status = 1;
            } else {
                std::cout << folderName << "\t" << result.name << "\n";
            }
        }
    }
    return status;
}
