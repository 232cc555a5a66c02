#pragma once

#include <string>
#include <string_view>

// How the text of a feed element becomes the text of a message: a title as plain text,
// whatever form the document gave it in; a description as HTML when it holds markup.

// How a text construct (an Atom title, an RSS 1.0 title with a type) holds its text.
enum class TextType { Text, Html, Xhtml };

// From the construct's type attribute (nullptr when it has none) and, for Atom 0.3, its
// mode: "html" and "text/html" are HTML as escaped text, "xhtml" and
// "application/xhtml+xml" (and Atom 0.3 "text/html" in mode "xml") are markup
// inside the element; anything else is text.
TextType TextTypeOf(const std::string* type, const std::string* mode);

// The plain text of an HTML fragment on one line: tags, comments, scripts and styles
// removed, entities and character references decoded, each run of white space (and the
// break of a block element) one blank, and no blank at either end.
std::string PlainTextOfHtml(std::string_view html);

// Whether the text of an RSS description holds markup: a tag ("<p>", "</b>", "<br/>",
// "<!--"), or an entity or character reference ("&amp;", "&#233;"). Feeds write HTML
// descriptions entity-escaped as often as in CDATA; a text without either reads as
// plain text, line for line.
bool LooksLikeHtml(std::string_view text);
