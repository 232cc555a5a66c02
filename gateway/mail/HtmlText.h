#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// HTML read with libxml2's forgiving HTML parser, as a mail reader without a browser
// wants it. Bytes in, text out: no file, no network, nothing kept between calls.

// The URLs a rendering refers to as [1], [2], ...; one number per distinct URL.
class HtmlLinks {
public:
    // The number of the URL, adding it when it is new.
    int Number(const std::string& url);
    const std::vector<std::string>& Urls() const { return urls_; }
    // "[1] URL" lines, one per URL, after an empty line; "" without links.
    std::string ListText() const;

private:
    std::vector<std::string> urls_;
    // A piece may hold thousands of links: looking one up must not scan them all.
    std::unordered_map<std::string, int> numbers_;
};

// The text of one HTML piece: blocks as paragraphs with one empty line between them,
// br as a line break, list items as "* " or "1. ", pre as it stands, entities decoded,
// white space folded, script, style and comments dropped, images as "[image: alt]",
// links followed by their number in links. Lines end in LF and none is longer than
// kMaxTextLine octets. Invalid UTF-8 reads as U+FFFD.
std::string RenderHtmlText(std::string_view html, HtmlLinks& links);

// The text and, after it, the list of its links.
std::string HtmlToText(std::string_view html);

// Text as HTML content: & < > and quotes escaped, each line break a <br>.
std::string EscapeHtmlText(std::string_view text);

// Lines longer than max octets are broken at their last blank within the limit, or,
// without one, at the last character boundary; other lines stay as they are.
std::string BreakLongLines(std::string_view text, std::size_t max);

inline constexpr std::size_t kMaxTextLine = 998;
