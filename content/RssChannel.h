#pragma once
// What the feed parser makes of one feed document: the channel's header
// fields and its items in document order. CRssItem is also the in-memory page
// that the item lists show.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/DateTime.h"

struct CRssEnclosure {
    std::wstring url;
    std::wstring type;
    std::int32_t length = 0;
};

struct CRssItem {
    std::wstring title;
    // The <link> (RSS) or chosen link (Atom), resolved against xml:base and
    // the document's address; a permalink guid when the item has no link.
    std::wstring link;
    std::wstring description;    // at most kMaxDescriptionLength characters
    std::wstring content;        // Atom content, same limit
    std::wstring encodedContent; // content:encoded, whole
    std::wstring author;
    std::wstring category;
    CDateTime date;
    std::wstring sourceUrl;
    std::wstring sourceText;
    // The stored page's state and feed when the item stands for a stored
    // page in a list (a PageState of the store); 0 when parsed.
    std::uint32_t state = 0;
    std::uint32_t feedId = 0;
    CRssEnclosure enclosure;
    // The page key (store/PageRecord.h): the item's identity within its
    // feed. The parser takes the link the document writes, else the
    // enclosure URL, else the guid (RSS) or id (Atom) text: a permalink guid
    // that stands in for a missing link does not change the key an item
    // with an enclosure has. A stored page's list item carries its stored
    // key. Empty on an item made elsewhere: the link, else the enclosure
    // URL, then stands for it.
    std::wstring key;
    // The key as the document writes it, when resolving a relative link or
    // enclosure URL made the key differ: a page stored under it is this
    // item's page too.
    std::wstring writtenKey;
};

struct CRssChannel {
    std::wstring sourcePath;
    std::wstring title;
    std::wstring link;
    std::wstring description;
    std::wstring language;
    std::wstring copyright;
    std::wstring managingEditor;
    std::wstring webMaster;
    std::wstring category;
    std::wstring docs;
    std::wstring cloud;
    std::wstring ttl;
    CDateTime pubDate;
    CDateTime lastBuildDate;
    std::vector<std::unique_ptr<CRssItem>> items;
};

// Descriptions and Atom contents are cut to this many characters to bound
// the text held per item.
inline constexpr size_t kMaxDescriptionLength = 3072;

inline void CutToDescriptionLimit(std::wstring& text)
{
    if (text.size() > kMaxDescriptionLength)
        text.resize(kMaxDescriptionLength);
}
