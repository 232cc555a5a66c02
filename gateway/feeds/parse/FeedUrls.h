#pragma once

#include <string>
#include <string_view>

// A reference resolved against a base URL (RFC 3986). An absolute reference, an empty
// base, or a reference that cannot be resolved comes back as written.
std::string ResolveUrl(const std::string& base, const std::string& reference);

// The HTML with the relative URLs of its href and src attributes resolved against the
// base. Every other byte stays as it is, so HTML without relative links is unchanged.
std::string ResolveHtmlLinks(const std::string& html, const std::string& base);
