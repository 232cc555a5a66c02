// Real Japanese feeds from the shared corpus, converted whole and piece by piece,
// and compared with the system's own iconv converters.
#include "KanjiConverter.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// The whole text through iconv, or nothing when iconv rejects any of it.
bool IconvToUtf8(const char* from, const std::string& input, std::string& out) {
    iconv_t cd = iconv_open("UTF-8", from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.assign(input.size() * 3 + 16, '\0');
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char* o = out.data();
    size_t oLeft = out.size();
    const bool ok = iconv(cd, &in, &inLeft, &o, &oLeft) != static_cast<size_t>(-1) &&
                    iconv(cd, nullptr, nullptr, &o, &oLeft) != static_cast<size_t>(-1);
    out.resize(out.size() - oLeft);
    iconv_close(cd);
    return ok;
}

// The JIS and Windows forms of the few characters the two map differently.
std::string WindowsForms(std::string text) {
    const std::pair<const char*, const char*> forms[] = {
        {"〜", "～"}, {"‖", "∥"}, {"−", "－"}, {"¢", "￠"}, {"£", "￡"}, {"¬", "￢"}, {"—", "―"},
    };
    for (auto [jis, windows] : forms) {
        for (std::size_t at = 0; (at = text.find(jis, at)) != std::string::npos;) {
            text.replace(at, std::string_view(jis).size(), windows);
        }
    }
    return text;
}

struct Folder {
    const char* folder;
    const char* options;
    const char* iconvName;
};

TEST(KanjiCorpus, RealFeedsConvertLikeTheSystemConvertersInAnyPieces) {
    const Folder folders[] = {
        {"CP932", "-Sw", "CP932"},
        {"SHIFT_JIS", "-Sw", "CP932"},
        {"EUC-JP", "-Ew", "EUC-JP-MS"},
        {"iso-2022-jp", "-Jw", "ISO-2022-JP"},
    };
    int compared = 0;
    int files = 0;
    for (const Folder& f : folders) {
        const std::filesystem::path dir = std::filesystem::path(QUILLO_CORPUS) / "chardet/tests" / f.folder;
        if (!std::filesystem::is_directory(dir)) continue;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            const std::string input = ReadFile(entry.path());
            ++files;
            const std::string whole = ConvertTextWith(f.options, input);
            // Valid UTF-8 whatever came in.
            EXPECT_EQ(ConvertTextWith("-Ww", whole), whole) << entry.path();

            for (std::size_t pieceSize : {1998u, 7u}) {
                KanjiStream stream(f.options);
                std::string pieces;
                for (std::size_t at = 0; at < input.size(); at += pieceSize) {
                    pieces += stream.Convert(std::string_view(input).substr(at, pieceSize));
                }
                pieces += stream.Finish();
                EXPECT_EQ(pieces, whole) << entry.path() << " in pieces of " << pieceSize;
            }

            std::string reference;
            if (IconvToUtf8(f.iconvName, input, reference)) {
                ++compared;
                EXPECT_EQ(WindowsForms(whole), WindowsForms(reference)) << entry.path();
            } else {
                EXPECT_NE(whole.find("\xef\xbf\xbd"), std::string::npos) << entry.path();
            }
        }
    }
    if (files == 0) GTEST_SKIP() << "corpus not found at " << QUILLO_CORPUS;
    EXPECT_GT(compared, files / 2);
}

}  // namespace
