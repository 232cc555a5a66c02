#pragma once

#include <string>
#include <string_view>

// Reduces an HTML piece to plain text for a plain-text mail: tags are removed, and
// <br>, <br/>, <p> and every tag whose name begins with h (h1-h6, hr, head, html)
// become CR LF. Entities are left as they are.
std::string ReduceHtmlToText(std::string_view html);
