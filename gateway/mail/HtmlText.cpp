#include "HtmlText.h"

#include "TextUtil.h"

std::string ReduceHtmlToText(std::string_view html) {
    std::string out;
    out.reserve(html.size());
    std::size_t pos = 0;
    while (true) {
        const std::size_t lt = html.find('<', pos);
        if (lt == std::string_view::npos) break;
        // A ">" before the "<" is plain text ("a > b<br>"); the tag ends at the
        // first ">" after its "<".
        const std::size_t gt = html.find('>', lt + 1);
        if (gt == std::string_view::npos) break;
        out.append(html.substr(pos, lt - pos));
        const std::string tag = ToLowerCopy(html.substr(lt + 1, gt - lt - 1));
        if (tag == "br" || tag == "br/" || tag == "p" || tag.starts_with('h')) out += "\r\n";
        pos = gt + 1;
    }
    out.append(html.substr(pos));
    return out;
}
