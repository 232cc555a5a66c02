// First cut: plain iconv conversion. Replaced by the full converter.
#include "KanjiConverter.h"

#include <iconv.h>

#include <cerrno>

namespace {

std::string g_options = "-Wj";

const char* CharsetOf(char letter) {
    switch (letter) {
        case 'S': return "CP932";
        case 'E': return "EUC-JP";
        case 'J': case 'j': case 'M': return "ISO-2022-JP";
        default: return "UTF-8";
    }
}

std::string Iconv(std::string_view input, const char* from, const char* to) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(input);
    std::string out;
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* o = buffer;
        size_t oLeft = sizeof buffer;
        size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buffer, o - buffer);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            ++in;
            --inLeft;
            out += '?';
        }
    }
    char* o = buffer;
    size_t oLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &o, &oLeft);
    out.append(buffer, o - buffer);
    iconv_close(cd);
    return out;
}

std::string Convert(std::string_view options, std::string_view input) {
    if (options.size() < 3) return std::string(input);
    return Iconv(input, CharsetOf(options[1]), CharsetOf(options[2]));
}

}  // namespace

void SetConverterOptions(std::string_view options) { g_options = options; }

std::string ConvertText(std::string_view input) { return Convert(g_options, input); }

struct KanjiStream::State {
    std::string options;
};

KanjiStream::KanjiStream(std::string_view options) : state_(new State{std::string(options)}) {}
KanjiStream::~KanjiStream() = default;

std::string KanjiStream::Convert(std::string_view piece) { return ::Convert(state_->options, piece); }
std::string KanjiStream::Finish() { return {}; }
