#include "session/PageList.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <map>

#include "content/DateText.h"
#include "content/TextUtil.h"
#include "platform/Debug.h"
#include "platform/Shell.h"
#include "platform/Unicode.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "update/FeedManager.h"
#include "update/Setting.h"

CPageListOptions ListOptionsOfFeed(const FeedRecord& feed)
{
    CPageListOptions options;
    options.filter = feed.viewFilter;
    options.sortField = feed.sortField == 0 ? kFeedSortByDate : feed.sortField;
    const int order = feed.sortOrder == 0 ? kFeedSortDescending : feed.sortOrder;
    options.ascending = order == kFeedSortAscending;
    return options;
}

CPageListOptions ListOptionsOfNewPages()
{
    const CSetting& setting = CSetting::Instance();
    CPageListOptions options;
    options.filter = kFeedViewAll;
    options.sortField = static_cast<int>(setting.GetNewItemSortType());
    options.ascending = setting.GetNewItemSortOrder() == CSetting::kSortAscending;
    return options;
}

bool SaveFeedListOptions(const std::wstring& url, const CPageListOptions& options, FeedRecord& feed)
{
    return CRssFeedManager::WriteFeedCounted(url, feed, [&options](FeedRecord& fresh) {
        fresh.viewFilter = options.filter;
        fresh.sortField = options.sortField;
        fresh.sortOrder = options.ascending ? kFeedSortAscending : kFeedSortDescending;
    });
}

void SaveNewPagesOptions(const CPageListOptions& options)
{
    CSetting& setting = CSetting::Instance();
    setting.SetNewItemSortType(static_cast<DWORD>(options.sortField));
    setting.SetNewItemSortOrder(options.ascending ? CSetting::kSortAscending : CSetting::kSortDescending);
    // Written now rather than at shutdown: a reader that is killed keeps
    // the user's choice.
    setting.Write();
}

int CompareTitlesNoCase(const std::wstring& a, const std::wstring& b)
{
    const size_t length = std::min(a.size(), b.size());
    for (size_t i = 0; i < length; ++i) {
        const wint_t left = std::towlower(static_cast<wint_t>(a[i]));
        const wint_t right = std::towlower(static_cast<wint_t>(b[i]));
        if (left != right)
            return left < right ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

namespace {

bool ComesBeforeAscending(const CRssItem& a, const CRssItem& b, int sortField)
{
    if (sortField == kFeedSortByTitle)
        return CompareTitlesNoCase(a.title, b.title) < 0;
    if (sortField != kFeedSortByDate)
        return false;
    // Undated pages (null or invalid) are equal among themselves and older
    // than any dated page: a comparator that called them neither earlier nor
    // later than dated pages would break the sort's ordering rules.
    const bool aDated = a.date.IsValid();
    const bool bDated = b.date.IsValid();
    if (aDated != bDated)
        return bDated;
    if (!aDated || a.date == b.date)
        return CompareTitlesNoCase(a.title, b.title) > 0;
    return a.date < b.date;
}

bool IsSameLocalDay(const CSystemTime& a, const CSystemTime& b)
{
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay;
}

} // namespace

bool PageComesBefore(const CRssItem& a, const CRssItem& b, int sortField, bool ascending)
{
    return ascending ? ComesBeforeAscending(a, b, sortField) : ComesBeforeAscending(b, a, sortField);
}

bool PassesFilter(const CRssItem& page, int filter, const CSystemTime& today)
{
    if (page.state == PageStateDeleted)
        return false;
    switch (filter) {
    case kFeedViewUnread:
        return page.state == PageStateUnread;
    case kFeedViewRead:
        return page.state != PageStateUnread;
    case kFeedViewToday: {
        CSystemTime time;
        return page.date.m_dt != 0 && page.date.GetAsSystemTime(time) && IsSameLocalDay(time, today);
    }
    default:
        return true;
    }
}

CDateCell DateCellOf(const CDateTime& date, const CSystemTime& today)
{
    CDateCell cell;
    if (!date.IsValid() || date.m_dt < 1.0 || !date.GetAsSystemTime(cell.time))
        return cell;
    if (IsSameLocalDay(cell.time, today)) {
        cell.kind = EDateCell::TimeOfDay;
        cell.text = FormatSystemTime(cell.time, L"%H:%M");
    } else {
        cell.kind = EDateCell::Date;
        cell.text = FormatSystemTime(cell.time, kListDateFormat);
    }
    return cell;
}

UINT EmptyListHint(size_t pageCount, size_t rowCount) { return pageCount > 0 && rowCount == 0 ? IDS_CHECK_FILTER : 0; }

std::vector<int> GreyedPageCommands(const CRssItem* selected)
{
    if (selected == nullptr)
        return {ID_PAGE_MARK_UNREAD, ID_PAGE_MARK_READ, ID_DELETE_PAGE};
    if (selected->state == PageStateRead)
        return {ID_PAGE_MARK_READ};
    if (selected->state == PageStateDeleted)
        return {ID_DELETE_PAGE};
    return {ID_PAGE_MARK_UNREAD};
}

int FilterCommand(int filter)
{
    switch (filter) {
    case kFeedViewUnread:
        return ID_FILTER_UNREAD;
    case kFeedViewRead:
        return ID_FILTER_READ;
    case kFeedViewToday:
        return ID_FILTER_TODAY;
    default:
        return ID_FILTER_ALL;
    }
}

std::optional<int> FilterOfCommand(int command)
{
    switch (command) {
    case ID_FILTER_ALL:
        return kFeedViewAll;
    case ID_FILTER_UNREAD:
        return kFeedViewUnread;
    case ID_FILTER_READ:
        return kFeedViewRead;
    case ID_FILTER_TODAY:
        return kFeedViewToday;
    default:
        return std::nullopt;
    }
}

std::optional<size_t> SiblingFeed(const std::vector<COutline*>& level, size_t current, int direction)
{
    if (current >= level.size() || direction == 0)
        return std::nullopt;
    for (size_t index = current; direction < 0 ? index > 0 : index + 1 < level.size();) {
        index = direction < 0 ? index - 1 : index + 1;
        if (level[index] != nullptr && level[index]->IsFeed())
            return index;
    }
    return std::nullopt;
}

bool ChangePageState(CRssItem& page, PageState state, FeedRecord& feed)
{
    const std::uint32_t before = page.state;
    if (CRssFeedManager().SetPageStatus(page, state, feed))
        return true;
    page.state = before;
    return false;
}

const std::wstring& PageTarget(const CRssItem& page) { return PageKeyOf(page.link, page.enclosure.url); }

bool IsBrowserTarget(const std::wstring& target)
{
    const std::wstring trimmed = Trim(target);
    const size_t colon = trimmed.find(L':');
    if (colon == std::wstring::npos)
        return false;
    const std::wstring_view scheme(trimmed.data(), colon);
    if (EqualsNoCase(scheme, L"mailto"))
        return colon + 1 < trimmed.size();
    // A web link names a host: "http:foo" or "http:///etc/passwd" is not one.
    if (!EqualsNoCase(scheme, L"http") && !EqualsNoCase(scheme, L"https"))
        return false;
    const std::wstring_view rest = std::wstring_view(trimmed).substr(colon + 1);
    return rest.size() > 2 && rest.substr(0, 2) == L"//" && rest[2] != L'/';
}

namespace {

// A mailto field's name as a mail client reads it: escapes decoded, in
// lower case.
std::wstring MailFieldName(std::wstring_view field)
{
    std::wstring name;
    for (size_t i = 0; i < field.size() && field[i] != L'='; ++i) {
        wchar_t c = field[i];
        if (c == L'%' && i + 2 < field.size() && std::iswxdigit(field[i + 1]) && std::iswxdigit(field[i + 2])) {
            c = static_cast<wchar_t>(std::wcstol(std::wstring(field.substr(i + 1, 2)).c_str(), nullptr, 16));
            i += 2;
        }
        name += static_cast<wchar_t>(std::towlower(c));
    }
    return name;
}

} // namespace

std::wstring WithoutMailAttachments(const std::wstring& target)
{
    const size_t colon = target.find(L':');
    const size_t query = target.find(L'?');
    if (colon == std::wstring::npos || query == std::wstring::npos ||
        !EqualsNoCase(std::wstring_view(target.data(), colon), L"mailto"))
        return target;
    std::wstring kept = target.substr(0, query);
    bool first = true;
    for (size_t start = query + 1; start <= target.size();) {
        size_t end = target.find(L'&', start);
        if (end == std::wstring::npos)
            end = target.size();
        const std::wstring_view field(target.data() + start, end - start);
        const std::wstring name = MailFieldName(field);
        if (!field.empty() && name != L"attach" && name != L"attachment") {
            kept += first ? L'?' : L'&';
            kept += field;
            first = false;
        }
        start = end + 1;
    }
    return kept;
}

bool OpenInBrowser(const std::wstring& target)
{
    if (!IsBrowserTarget(target)) {
        DebugLogF("OpenInBrowser", "refused to open %s", WideToUtf8(target).c_str());
        return false;
    }
    return ShellExecuteOpen(WithoutMailAttachments(Trim(target)));
}

bool FindStoredPages(const std::wstring& words, int limit, std::vector<CFoundPage>& found)
{
    found.clear();
    std::vector<PageRecord> pages;
    if (!CZelviaRssItemDB::Instance().FindPages(words, limit, pages))
        return false;
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    std::map<std::uint32_t, std::optional<FeedRecord>> known;
    for (PageRecord& page : pages) {
        auto [at, added] = known.try_emplace(page.feedId);
        if (added) {
            FeedRecord record;
            if (const CEOID oid = feeds.FindFeedById(page.feedId); oid && feeds.ReadFeed(record, oid))
                at->second = std::move(record);
        }
        if (at->second)
            found.push_back({std::move(page), at->second->url, at->second->title});
    }
    return true;
}

void CPageList::Append(const std::vector<PageRecord>& records)
{
    m_pages.reserve(m_pages.size() + records.size());
    for (const PageRecord& record : records) {
        if (record.state == PageStateDeleted)
            continue;
        auto page = std::make_unique<CRssItem>();
        page->date = record.date;
        page->title = StripMarkup(record.title);
        page->link = record.link;
        page->enclosure.url = record.enclosureUrl;
        page->key = record.key;
        page->description = record.description;
        page->state = record.state;
        page->feedId = record.feedId;
        m_pages.push_back(std::move(page));
    }
}

bool CPageList::LoadFeed(const std::wstring& url, FeedRecord& feed)
{
    m_pages.clear();
    feed = FeedRecord();
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    const CEOID oid = feeds.FindFeedByUrl(url);
    if (!oid || !feeds.ReadFeed(feed, oid)) {
        feed = FeedRecord();
        return false;
    }
    std::vector<PageRecord> records;
    const bool read = CZelviaRssItemDB::Instance().ReadFeedPages(feed.feedId, records);
    Append(records);
    return read;
}

bool CPageList::LoadNew(const FILETIME& cutoff, int count)
{
    m_pages.clear();
    std::vector<PageRecord> records;
    const bool read = CZelviaRssItemDB::Instance().ReadNewPages(cutoff, count, records);
    Append(records);
    return read;
}

size_t CPageList::Undeleted() const
{
    return static_cast<size_t>(std::count_if(m_pages.begin(), m_pages.end(), [](const std::unique_ptr<CRssItem>& page) {
        return page->state != PageStateDeleted;
    }));
}

bool CPageList::LoadFound(const std::wstring& words, int limit)
{
    m_pages.clear();
    std::vector<CFoundPage> found;
    const bool read = FindStoredPages(words, limit, found);
    std::vector<PageRecord> records;
    records.reserve(found.size());
    for (CFoundPage& hit : found)
        records.push_back(std::move(hit.page));
    Append(records);
    return read;
}

std::vector<CRssItem*> CPageList::Rows(const CPageListOptions& options, const CSystemTime& today)
{
    std::sort(m_pages.begin(), m_pages.end(), [&options](const auto& a, const auto& b) {
        return PageComesBefore(*a, *b, options.sortField, options.ascending);
    });
    std::vector<CRssItem*> rows;
    rows.reserve(m_pages.size());
    for (const auto& page : m_pages) {
        if (PassesFilter(*page, options.filter, today))
            rows.push_back(page.get());
    }
    return rows;
}
