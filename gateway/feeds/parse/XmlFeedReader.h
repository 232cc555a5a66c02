#pragma once

#include "FeedParser.h"
#include "XmlEvents.h"

#include <string>
#include <string_view>

// One pass over an XML feed document: RSS 1.0 and 0.90, RSS 0.9x/2.0, Atom 0.3 and
// 1.0. Elements are matched by namespace URI and local name, so any prefix works;
// RSS 0.9x/2.0 has no namespace. Items are kept as they complete, so a document cut
// off part-way still gives the items before the break.
struct XmlFeedReadResult {
    XmlParseOutcome parse;
    Feed feed;
    bool rootRecognised = false;  // rss with version, an Atom feed or rdf:RDF
    bool channelFound = false;    // an RSS channel, or the Atom feed element
};

XmlFeedReadResult ReadXmlFeed(std::string_view bytes, const std::string& documentUrl, bool recover);
