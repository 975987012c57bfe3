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

// Extension elements that stand in for fields a feed leaves empty: Dublin
// Core's title, description, creator and date, Media RSS's description
// (also inside media:group) and iTunes' summary.
struct CExtensionTexts {
    std::wstring title;
    std::wstring description;
    std::wstring creator;
    CDateTime date;
    std::wstring mediaDescription;
    std::wstring itunesSummary;
};
// False when node is none of them.
bool ReadExtensionElement(const xmlNode* node, CExtensionTexts& texts);
// Fills what the item left empty: title, author, date, and the description
// from Dublin Core, else (when contentEmpty too) from Media RSS, else from
// iTunes.
void ApplyExtensionTexts(CExtensionTexts& texts, CRssItem& item, bool contentEmpty);
// An element set the date (to a value or to an invalid one).
bool IsDateSet(const CDateTime& date);

// Resolves the item's link and enclosure URL (each against the element that
// wrote it, which may be null) and sets its page key: the link, else the
// enclosure URL, else id (the guid or id text).
void ResolveItemLinks(CRssItem& item, const xmlNode* linkNode, const xmlNode* enclosureNode, std::wstring&& id);

// Leading decimal digits, as a 32-bit signed value (0 when there are none);
// a leading sign is honoured, overflow saturates.
std::int32_t ParseLength(const std::wstring& text);

// Atom "entry".
std::unique_ptr<CRssItem> ParseAtomEntry(xmlDoc* doc, const xmlNode* entryNode);
// Atom "feed" with its entries.
void ParseAtomFeed(xmlDoc* doc, const xmlNode* feedNode, CRssChannel& channel);
