#pragma once
// The walkers of the three feed dialects, shared by the feed parser.
// Each reads the element children of one node into the parser's records.

#include <libxml/tree.h>
#include <memory>

#include "content/RssChannel.h"

// RSS 0.9x/2.0 "channel" and the RSS 1.0 "channel" beside the items.
void ParseRssChannel(const xmlNode* channelNode, CRssChannel& channel);
// RSS "item" of every version.
std::unique_ptr<CRssItem> ParseRssItem(const xmlNode* itemNode);
// Date elements of every dialect; an empty value leaves the date alone.
// Plain date texts (RSS pubDate, lastBuildDate):
void ReadDateElement(const xmlNode* node, CDateTime& date);
// W3C date texts (dc:date, Atom updated and modified):
void ReadW3cDateElement(const xmlNode* node, CDateTime& date);

// Atom "entry".
std::unique_ptr<CRssItem> ParseAtomEntry(xmlDoc* doc, const xmlNode* entryNode);
// Atom "feed" with its entries.
void ParseAtomFeed(xmlDoc* doc, const xmlNode* feedNode, CRssChannel& channel);
