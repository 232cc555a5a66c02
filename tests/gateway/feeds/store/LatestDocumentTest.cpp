// latest.xml and its validators: what a reply leaves in the feed folder.
#include "LatestDocument.h"

#include "StoreTestFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace storetest;

class LatestDocumentFiles : public StoreDirTest {
protected:
    std::string Folder() const { return dir_.string() + "/"; }
    void WriteOld() const {
        Write("latest.xml", "old document");
        Write("lastmodified.txt", "old date");
        Write("etag.txt", "\"old\"");
    }
    // The three files as "document|last-modified|etag", "-" for one that is missing.
    std::string Files() const {
        std::string files;
        for (const char* name : {"latest.xml", "lastmodified.txt", "etag.txt"}) {
            if (!files.empty()) files += "|";
            files += fs::is_regular_file(dir_ / name) ? ReadFile(dir_ / name) : "-";
        }
        return files;
    }
};

TEST_F(LatestDocumentFiles, AReplyKeepsItsDocumentAndTheValidatorsItGives) {
    struct Case {
        std::string lastModified, etag, files;
    };
    const Case cases[] = {
        {"new date", "\"new\"", "new document|new date|\"new\""},
        // No Last-Modified keeps the old one: the server may still answer to it.
        {"", "\"new\"", "new document|old date|\"new\""},
        // The old ETag names the old document: it must not be sent back for the new one.
        {"new date", "", "new document|new date|-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files);
        WriteOld();
        std::string error;
        EXPECT_TRUE(LatestDocument(Folder()).Replace("new document", c.lastModified, c.etag, error)) << error;
        EXPECT_EQ(Files(), c.files);
        EXPECT_EQ(LatestDocument(Folder()).Read(), "new document");
    }
}

TEST_F(LatestDocumentFiles, ADocumentThatCannotBeKeptTakesItsValidatorsWithIt) {
    // Kept, they would be answered with 304 and the items of the reply never offered again.
    WriteOld();
    fs::remove(dir_ / "latest.xml");
    fs::create_directories(dir_ / "latest.xml" / "in-the-way");
    std::string error;
    EXPECT_FALSE(LatestDocument(Folder()).Replace("new document", "new date", "\"new\"", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Files(), "-|-|-");
}

TEST_F(LatestDocumentFiles, ForgettingRemovesTheDocumentAndItsValidators) {
    WriteOld();
    LatestDocument(Folder()).Forget();
    EXPECT_EQ(Files(), "-|-|-");
    EXPECT_EQ(LatestDocument(Folder()).Read(), std::nullopt);
}

}  // namespace
