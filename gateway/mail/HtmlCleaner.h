#pragma once

#include <string>
#include <string_view>

// The HTML part of a message holds only what a mail reader can show without running
// anything or reaching out on its own: an allowlist, as DOMPurify, bleach and ammonia
// clean by default. Bytes in, HTML out; nothing is kept between calls.
//
// Kept: text structure, lists, tables, links, images, pre and code, headings and
// quotes, each with the few attributes it needs (href and src only as http, https or
// mailto URLs, see SafeLinkUrl). Dropped with their content: what is active or not
// shown (script, style, template, SVG, MathML, frames, objects, form controls, media,
// noscript...). Any other element is unwrapped: its content stays, its tags and
// attributes go. No style, no class, no event attribute, no comment survives. The
// result is the content of the body, in UTF-8, written afresh from the parsed tree, so
// what the reader parses is exactly what was checked.
std::string CleanHtml(std::string_view html);

// "link: " and the URL for the top of the HTML part, escaped for HTML: an anchor to the
// URL as SafeLinkUrl reads it, or the text alone when it is no http, https or mailto URL.
std::string HtmlLinkLine(std::string_view url);
