#pragma once
// One stored page: an item of a feed as the item database keeps it.
#include <cstdint>
#include <string>

#include "content/RssChannel.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"

// Stored state of a page. A page in state 4 is one the user deleted: its
// record stays so that the update does not bring it back, and it is shown
// and counted nowhere.
enum PageState : std::uint32_t {
    PageStateUnread = 0,
    PageStateRead = 1,
    PageStateDeleted = 4,
};

struct PageRecord {
    std::uint32_t feedId = 0;
    std::uint16_t reserved = 0; // written 0 at creation, carried unchanged
    std::wstring key;           // the page key: link, else enclosure URL, else guid or id
    PageState state = PageStateUnread;
    std::wstring enclosureUrl;
    std::wstring title;
    std::wstring description;
    std::wstring link;
    CDateTime date;
    FILETIME fileTime; // the stored form of date
    std::uint32_t enclosureLength = 0;
};

// The identity of an item within its feed: its link, or its enclosure URL
// when it has no link. Empty when it has neither.
inline const std::wstring& PageKeyOf(const std::wstring& link, const std::wstring& enclosureUrl)
{
    return link.empty() ? enclosureUrl : link;
}
// The key the item carries (the parser's, or a stored page's), else as
// above. Empty only for an item with no link, enclosure, guid or id, which
// is not kept.
inline const std::wstring& PageKeyOf(const CRssItem& item)
{
    return item.key.empty() ? PageKeyOf(item.link, item.enclosure.url) : item.key;
}
