#pragma once

// The folder of real feeds and OPML exports (CMake's QUILLO_CORPUS_DIR). A clone with
// nothing beside it has none: the tests that walk it skip, naming the folder.
#include <gtest/gtest.h>

#include <filesystem>

inline bool CorpusFolderPresent() { return std::filesystem::is_directory(QUILLO_CORPUS); }

#define QUILLO_SKIP_WITHOUT_CORPUS()                                                  \
    do {                                                                              \
        if (!CorpusFolderPresent())                                                   \
            GTEST_SKIP() << "corpus folder " QUILLO_CORPUS " is missing (configure " \
                            "with -DQUILLO_CORPUS_DIR=... to walk another)";          \
    } while (0)
