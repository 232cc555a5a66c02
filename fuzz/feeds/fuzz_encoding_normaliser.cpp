// Any bytes behind a declared Japanese encoding: the rewrite must equal one conversion
// of the whole text, and never crash.
#include "EncodingNormaliser.h"
#include "KanjiConverter.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    struct Encoding {
        const char* name;
        const char* options;
    };
    static const Encoding kEncodings[] = {
        {"EUC-JP", "-Ew"}, {"SHIFT-JIS", "-Sw"}, {"ISO-2022-JP", "-Jw"}};
    const Encoding& encoding = kEncodings[size ? data[0] % 3 : 0];
    if (size) {
        ++data;
        --size;
    }
    const std::string head = std::string("<?xml version=\"1.0\" encoding=\"") + encoding.name + "\"?>\n";
    const std::string rest(reinterpret_cast<const char*>(data), size);
    const auto result = NormaliseEncoding(head + rest, encoding.name, encoding.options);
    if (!result) std::abort();
    KanjiStream whole(encoding.options);
    std::string expected = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" + whole.Convert(rest);
    expected += whole.Finish();
    if (*result != expected) std::abort();
    return 0;
}
