#pragma once
// The pages an item list shows, and every rule of the two item lists that is
// a decision about pages rather than drawing: which pages a list reads, how
// it sorts and filters them, what the Date column says, which commands a
// page allows, where Previous and Next Feed lead, how a page's state
// changes, and which links may leave for the browser. The views draw what
// these say; tests reach them without a display.
//
// Threads: the GUI thread (or a test's), like the stores it reads.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "content/RssChannel.h"
#include "platform/Clock.h"
#include "resources/ResourceIds.h"
#include "store/FeedRecord.h"
#include "store/PageRecord.h"
#include "subscriptions/OpmlDoc.h"

// How a list sorts and filters. The list of one feed keeps them in the
// feed's record; the new-pages list keeps the sort in the options and its
// filter in memory only.
struct CPageListOptions {
    int filter = kFeedViewAll;      // kFeedView*
    int sortField = kFeedSortByDate; // kFeedSortBy*; 0: unsorted
    bool ascending = false;
};

// A feed list's options from its record: a sort field or order never set
// (0) is taken as by date, descending.
CPageListOptions ListOptionsOfFeed(const FeedRecord& feed);
// The new-pages list's, from NewItemSortType and NewItemSortOrder.
CPageListOptions ListOptionsOfNewPages();
// Stores a feed list's filter and sort in its record. The record is read
// afresh and its counters recounted in the same write, so a list open for a
// while never puts back counters an update has changed since; feed receives
// the written record. False when it could not be written.
bool SaveFeedListOptions(const std::wstring& url, const CPageListOptions& options, FeedRecord& feed);
// Stores the new-pages list's sort in the options and writes them.
void SaveNewPagesOptions(const CPageListOptions& options);

// The sort order of the lists: true when a comes before b. Titles compare
// without regard to case. By date, pages of equal dates come in descending
// title order (ascending lists; the reverse for descending ones), and a page
// whose date is not valid counts as older than every dated page, so that the
// order stays a strict weak ordering whatever the store holds.
bool PageComesBefore(const CRssItem& a, const CRssItem& b, int sortField, bool ascending);
// Case-insensitive three-way comparison of titles.
int CompareTitlesNoCase(const std::wstring& a, const std::wstring& b);

// The filter: 0 all, 1 unread only, 2 read (any state but unread), 3 dated
// today (local date). A deleted page never passes.
bool PassesFilter(const CRssItem& page, int filter, const CSystemTime& today);

// The Date column: empty for a page without a date (whole part below 1), the
// time of day for a date of today (the view words it in the user's locale),
// "%d/%m/%y" otherwise.
enum class EDateCell { Empty, TimeOfDay, Date };
struct CDateCell {
    EDateCell kind = EDateCell::Empty;
    std::wstring text; // "HH:MM" for a time of day, "dd/mm/yy" for a date
    CSystemTime time;  // the page's local time, for the locale's words
};
CDateCell DateCellOf(const CDateTime& date, const CSystemTime& today);

// The hint shown under "There are no items." in an empty list: "Check your
// filter menu" when the list holds pages (not deleted) that the filter
// hides, none otherwise.
UINT EmptyListHint(size_t pageCount, size_t rowCount);

// The page commands (Mark as Read, Mark as Unread, Delete Page) greyed for
// the selected page; all three when there is none.
std::vector<int> GreyedPageCommands(const CRssItem* selected);

// Menu commands and the filter and sort values they stand for.
int FilterCommand(int filter);
std::optional<int> FilterOfCommand(int command);

// Previous Feed (direction -1) and Next Feed (+1): the index of the nearest
// feed before or after current in the level's outlines (folders are passed
// over); nothing at the end of the level.
std::optional<size_t> SiblingFeed(const std::vector<COutline*>& level, size_t current, int direction);

// Changes a listed page's stored state through the feed manager, which
// recounts its feed; the page's state follows. False, changing nothing
// shown, when the page or its feed is no longer stored.
bool ChangePageState(CRssItem& page, PageState state, FeedRecord& feed);

// What opening a page opens: its link, else its enclosure's URL.
const std::wstring& PageTarget(const CRssItem& page);
// Links a feed may send to the browser: http, https and mailto. Anything
// else (file:, javascript:, custom schemes that start local programs) is
// refused.
bool IsBrowserTarget(const std::wstring& target);
// A mailto link without its attach and attachment fields, which some mail
// clients take as a local file to attach; any other link as it is.
std::wstring WithoutMailAttachments(const std::wstring& target);
// Hands an allowed link to the desktop's browser (a mailto link without
// attachments); a refused one is logged and goes nowhere. True when the
// opener was started.
bool OpenInBrowser(const std::wstring& target);

// Find: the stored pages whose title or text hold every word of the query
// (case and accents ignored, English word endings folded), newest first, at
// most limit of them, each with its feed's address and title. Pages of a
// feed that has no record (left for the next clean-up) are not listed.
// False when the store cannot be searched (GetLastError says why).
inline constexpr int kFindLimit = 200;
struct CFoundPage {
    PageRecord page;
    std::wstring feedUrl;
    std::wstring feedTitle;
};
bool FindStoredPages(const std::wstring& words, int limit, std::vector<CFoundPage>& found);

// The pages of one list, owned here and freed on reload or with the list.
class CPageList {
public:
    using CPages = std::vector<std::unique_ptr<CRssItem>>;

    // Every stored page of the feed with that url, deleted ones left out.
    // False, leaving the list empty, when the feed has no record.
    bool LoadFeed(const std::wstring& url, FeedRecord& feed);
    // The unread pages of all feeds dated after the cutoff, the newest count
    // of them.
    bool LoadNew(const FILETIME& cutoff, int count);
    // The pages FindStoredPages finds for the words.
    bool LoadFound(const std::wstring& words, int limit = kFindLimit);
    void Clear() { m_pages.clear(); }

    const CPages& Pages() const { return m_pages; }
    size_t Size() const { return m_pages.size(); }
    // The pages a filter can show: those not deleted while the list is open.
    size_t Undeleted() const;

    // Sorts the whole list and gives the pages that pass the filter, in order.
    std::vector<CRssItem*> Rows(const CPageListOptions& options, const CSystemTime& today);

private:
    void Append(const std::vector<PageRecord>& records);

    CPages m_pages;
};
