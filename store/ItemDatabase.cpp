#include "store/ItemDatabase.h"

#include <algorithm>

#include "content/TextUtil.h"
#include "platform/Debug.h"
#include "platform/PropertyTextIndex.h"

namespace {

// Property ids of the stored record, in the order they are written.
enum ItemProperty : WORD {
    kItemFeedId = 0,
    kItemReserved = 1,
    kItemState = 2,
    kItemKey = 3,
    kItemTitle = 4,
    kItemDescription = 5,
    kItemDate = 6,
    kItemEnclosureUrl = 7,
    kItemLink = 8,
    kItemEnclosureLength = 9,
};

CEDBASEINFOEX ItemDatabaseDefinition()
{
    CEDBASEINFOEX info;
    info.szDbaseName = kItemDatabaseName;
    info.dwDbaseType = 0;
    info.wNumSortOrder = 4;
    info.rgSortSpecs[kItemOrderByKey] = MakeSortOrder({{PROP_TAG(CEVT_LPWSTR, kItemKey), 0}});
    info.rgSortSpecs[kItemOrderByFeed] = MakeSortOrder(
        {{PROP_TAG(CEVT_R8, kItemFeedId), 0}, {PROP_TAG(CEVT_FILETIME, kItemDate), CEDB_SORT_DESCENDING}});
    info.rgSortSpecs[kItemOrderNewest] =
        MakeSortOrder({{PROP_TAG(CEVT_FILETIME, kItemDate), CEDB_SORT_DESCENDING}});
    info.rgSortSpecs[kItemOrderByFeedState] =
        MakeSortOrder({{PROP_TAG(CEVT_R8, kItemFeedId), 0}, {PROP_TAG(CEVT_UI2, kItemState), 0}});
    return info;
}

std::vector<CEPROPVAL> PropsOfPage(PageRecord& record)
{
    DateToFileTime(record.date, record.fileTime); // a date without a file time keeps the old one
    std::vector<CEPROPVAL> props;
    props.reserve(kItemPropertyCount);
    props.push_back(MakeIdSlotProp(kItemFeedId, record.feedId));
    props.push_back(MakeUI2Prop(kItemReserved, record.reserved));
    props.push_back(MakeUI2Prop(kItemState, record.state));
    props.push_back(MakeStringProp(kItemKey, record.key));
    props.push_back(MakeStringProp(kItemTitle, record.title));
    // Descriptions are kept to the length the parser keeps.
    props.push_back(MakeStringProp(kItemDescription, record.description.substr(0, kMaxDescriptionLength)));
    props.push_back(MakeFileTimeProp(kItemDate, record.fileTime));
    props.push_back(MakeStringProp(kItemEnclosureUrl, record.enclosureUrl));
    props.push_back(MakeStringProp(kItemLink, record.link));
    props.push_back(MakeUI4Prop(kItemEnclosureLength, record.enclosureLength));
    return props;
}

void FillPage(PageRecord& record, std::vector<CEPROPVAL>& props)
{
    record.feedId = IdFromSlot(props[kItemFeedId]);
    record.reserved = props[kItemReserved].val.uiVal;
    record.state = static_cast<PageState>(props[kItemState].val.uiVal);
    record.key = std::move(props[kItemKey].val.lpwstr);
    record.title = std::move(props[kItemTitle].val.lpwstr);
    record.description = std::move(props[kItemDescription].val.lpwstr);
    record.fileTime = props[kItemDate].val.filetime;
    record.date = DateFromFileTime(record.fileTime);
    record.enclosureUrl = std::move(props[kItemEnclosureUrl].val.lpwstr);
    record.link = std::move(props[kItemLink].val.lpwstr);
    record.enclosureLength = props[kItemEnclosureLength].val.ulVal;
}

CEPROPVAL FeedIdValue(std::uint32_t feedId) { return MakeIdSlotProp(kItemFeedId, feedId); }

bool AllFound(const std::vector<CEPROPVAL>& props)
{
    return std::none_of(props.begin(), props.end(),
                        [](const CEPROPVAL& prop) { return prop.wFlags & CEDB_PROPNOTFOUND; });
}

constexpr CEPROPID kKeyLookupProps[] = {PROP_TAG(CEVT_R8, kItemFeedId), PROP_TAG(CEVT_LPWSTR, kItemKey)};
constexpr CEPROPID kStateProps[] = {PROP_TAG(CEVT_R8, kItemFeedId), PROP_TAG(CEVT_UI2, kItemState),
                                    PROP_TAG(CEVT_FILETIME, kItemDate)};

// What the text index keeps of a page. A new version rebuilds every store's
// index: raise it whenever PageText changes what it gives for a page, also
// through StripMarkup or DecodeBasicEntities (a page's old words are taken
// out by computing them again).
constexpr int kPageTextVersion = 1;

const CEPROPVAL* FindProp(std::span<const CEPROPVAL> props, WORD id, WORD type)
{
    const auto found = std::find_if(props.begin(), props.end(),
                                    [&](const CEPROPVAL& prop) { return prop.propid == PROP_TAG(type, id); });
    return found != props.end() ? &*found : nullptr;
}

std::wstring PlainText(const std::wstring& text)
{
    std::wstring plain = StripMarkup(text);
    return DecodeBasicEntities(plain);
}

// A page's words: its title and its text without markup; it sorts by the
// day of its date (FindPages orders each day's pages to the second). Deleted
// pages keep no words.
std::optional<CRecordText> PageText(std::span<const CEPROPVAL> props)
{
    const CEPROPVAL* state = FindProp(props, kItemState, CEVT_UI2);
    const CEPROPVAL* title = FindProp(props, kItemTitle, CEVT_LPWSTR);
    const CEPROPVAL* description = FindProp(props, kItemDescription, CEVT_LPWSTR);
    const CEPROPVAL* date = FindProp(props, kItemDate, CEVT_FILETIME);
    if (state == nullptr || state->val.uiVal == PageStateDeleted)
        return std::nullopt;
    CRecordText text;
    text.title = title != nullptr ? PlainText(title->val.lpwstr) : std::wstring();
    text.body = description != nullptr ? PlainText(description->val.lpwstr) : std::wstring();
    if (Trim(text.title).empty() && Trim(text.body).empty())
        return std::nullopt;
    constexpr std::uint64_t kTicksPerDay = 864000000000;
    const std::uint64_t days = date != nullptr ? date->val.filetime.Ticks() / kTicksPerDay : 0;
    text.order = static_cast<std::int32_t>(std::min<std::uint64_t>(days, 0x7FFFFFFF));
    return text;
}

} // namespace

CZelviaRssItemDB::CZelviaRssItemDB() : CRecordDatabase(kItemVolumeName, ItemDatabaseDefinition(), kItemOrderByFeed)
{
    if (IsOpen())
        OnOpened();
}

void CZelviaRssItemDB::OnOpened()
{
    // Without the index the store works on; only a search fails.
    m_bTextIndexed = CeAttachTextIndex(&m_guidVolume, m_oidDB, kPageTextVersion, PageText);
    if (!m_bTextIndexed)
        DebugLogF("CZelviaRssItemDB", "no text index (%u)", GetLastError());
}

bool CZelviaRssItemDB::IndexQueuedPages(DWORD limit, DWORD& remaining)
{
    remaining = 0;
    if (!m_bTextIndexed && IsOpen())
        OnOpened();
    if (!m_bTextIndexed)
        return false;
    return CeIndexQueuedText(&m_guidVolume, m_oidDB, limit, remaining);
}

bool CZelviaRssItemDB::RebuildTextIndex()
{
    if (!m_bTextIndexed && IsOpen())
        OnOpened();
    return m_bTextIndexed && CeRebuildTextIndex(&m_guidVolume, m_oidDB);
}

bool CZelviaRssItemDB::FindPages(const std::wstring& words, int limit, std::vector<PageRecord>& pages)
{
    pages.clear();
    if (limit <= 0)
        return true;
    std::vector<CEOID> found;
    DWORD remaining = 0;
    bool searched = IndexQueuedPages(0, remaining) &&
                    CeFindText(&m_guidVolume, m_oidDB, words, static_cast<DWORD>(limit), found);
    // A damaged index was started afresh: built again, it answers.
    if (!searched && GetLastError() == ERROR_INVALID_DATA)
        searched = IndexQueuedPages(0, remaining) &&
                   CeFindText(&m_guidVolume, m_oidDB, words, static_cast<DWORD>(limit), found);
    if (!searched)
        return false;
    HCEDB read = OpenHandle(kItemOrderByFeed);
    if (!read)
        return false;
    // The index gives the newest days; their pages are put in order by date
    // and id (newer first) from their dates alone, then the first limit read.
    struct CHit {
        CEOID oid;
        std::uint64_t ticks;
    };
    std::vector<CHit> hits;
    std::vector<CEPROPVAL> props;
    bool ok = true;
    // Deleted since the search by another thread or process: left out.
    auto gone = [] { return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_NO_MORE_ITEMS; };
    for (const CEOID oid : found) {
        if (!CeSeekDatabaseEx(read, CEDB_SEEK_CEOID, oid) || !CeReadRecordPropsEx(read, kStateProps, props)) {
            ok = gone();
            if (!ok)
                break;
            continue;
        }
        if (AllFound(props) && props[1].val.uiVal != PageStateDeleted)
            hits.push_back({oid, props[2].val.filetime.Ticks()});
    }
    std::sort(hits.begin(), hits.end(),
              [](const CHit& a, const CHit& b) { return a.ticks != b.ticks ? a.ticks > b.ticks : a.oid > b.oid; });
    for (const CHit& hit : hits) {
        if (!ok || static_cast<int>(pages.size()) >= limit)
            break;
        if (!CeSeekDatabaseEx(read, CEDB_SEEK_CEOID, hit.oid) || !CeReadRecordPropsEx(read, props)) {
            ok = gone();
            continue;
        }
        if (props.size() < kItemPropertyCount)
            continue;
        PageRecord page;
        FillPage(page, props);
        pages.push_back(std::move(page));
    }
    const DWORD error = GetLastError();
    CloseHandle(read);
    SetLastError(error);
    return ok;
}

CZelviaRssItemDB::~CZelviaRssItemDB()
{
    if (m_hCountDB)
        CloseHandle(m_hCountDB);
}

CEOID CZelviaRssItemDB::SeekFeedPages(std::uint32_t feedId, bool first)
{
    if (first) {
        if (!SelectSortOrder(kItemOrderByFeed))
            return 0;
        if (feedId == 0)
            return SeekBeginning();
        return SeekFirstEqual(FeedIdValue(feedId));
    }
    return SeekNextEqual(FeedIdValue(feedId));
}

CEOID CZelviaRssItemDB::SeekNewest()
{
    return SelectSortOrder(kItemOrderNewest) ? SeekBeginning() : 0;
}

CEOID CZelviaRssItemDB::Read(PageRecord& record, CEOID oid)
{
    record = PageRecord{};
    std::vector<CEPROPVAL> props;
    const CEOID read = ReadProps(oid, props);
    if (read && props.size() >= kItemPropertyCount) {
        FillPage(record, props);
        return read;
    }
    if (read) {
        DebugLogF("CZelviaRssItemDB::Read", "Invalid Property Count [%d]", static_cast<int>(props.size()));
        return 0;
    }
    switch (GetLastError()) {
    case ERROR_NO_MORE_ITEMS:
        DebugLog("CZelviaRssItemDB::Read", "Read through all records in the database.");
        break;
    case ERROR_INSUFFICIENT_BUFFER:
        DebugLog("CZelviaRssItemDB::Read", "Re-allocation of database records failed.");
        break;
    default:
        DebugLog("CZelviaRssItemDB::Read", "Other errors.");
        break;
    }
    return 0;
}

CEOID CZelviaRssItemDB::ReadState(PageRecord& record, CEOID oid)
{
    record = PageRecord{};
    std::vector<CEPROPVAL> props;
    const CEOID read = ReadSomeProps(oid, kStateProps, props);
    if (!read || !AllFound(props))
        return 0;
    record.feedId = IdFromSlot(props[0]);
    record.state = static_cast<PageState>(props[1].val.uiVal);
    record.fileTime = props[2].val.filetime;
    record.date = DateFromFileTime(record.fileTime);
    return read;
}

CEOID CZelviaRssItemDB::FindPage(const std::wstring& key, std::uint32_t feedId)
{
    if (key.empty() || !SelectSortOrder(kItemOrderByKey))
        return 0;
    // A value seek does not depend on the position, so there is no need to
    // go to the beginning first.
    if (!SeekFirstEqual(MakeStringProp(kItemKey, key)))
        return 0;
    // The pages with this key lie together in order 0, one per feed that
    // has it; only their feed ids and keys are read.
    std::vector<CEPROPVAL> props;
    while (const CEOID oid = ReadSomeProps(0, kKeyLookupProps, props)) {
        if (!AllFound(props) || props[1].val.lpwstr != key)
            return 0;
        if (IdFromSlot(props[0]) == feedId)
            return oid;
    }
    return 0;
}

CEOID CZelviaRssItemDB::WritePage(PageRecord& record, CEOID oid)
{
    if (record.key.empty())
        return 0;
    if (oid == 0)
        oid = FindPage(record.key, record.feedId);
    return WriteProps(oid, PropsOfPage(record));
}

bool CZelviaRssItemDB::DeletePage(const std::wstring& key, std::uint32_t feedId)
{
    return Delete(FindPage(key, feedId));
}

int CZelviaRssItemDB::DeletePagesOfFeed(std::uint32_t feedId)
{
    if (!SelectSortOrder(kItemOrderByFeed))
        return 0;
    CWriteGroup group(*this);
    int deleted = 0;
    while (CEOID oid = SeekFirstEqual(FeedIdValue(feedId))) {
        if (!Delete(oid))
            break;
        ++deleted;
    }
    return group.Commit() ? deleted : 0;
}

bool CZelviaRssItemDB::DeleteFirstPageOfFeed(std::uint32_t feedId)
{
    return Delete(SeekFeedPages(feedId, true));
}

bool CZelviaRssItemDB::CountFeedPages(std::uint32_t feedId, int& pageCount, int& unreadCount, int* tombstoneCount)
{
    if (!m_hCountDB)
        m_hCountDB = OpenHandle(kItemOrderByFeedState);
    if (!m_hCountDB)
        return false;
    const CEPROPVAL all[] = {FeedIdValue(feedId)};
    const CEPROPVAL deleted[] = {FeedIdValue(feedId), MakeUI2Prop(kItemState, PageStateDeleted)};
    const CEPROPVAL unread[] = {FeedIdValue(feedId), MakeUI2Prop(kItemState, PageStateUnread)};
    DWORD total = 0, tombstones = 0, unreadPages = 0;
    if (!CeCountMatchingRecords(m_hCountDB, all, 1, total) || !CeCountMatchingRecords(m_hCountDB, deleted, 2, tombstones) ||
        !CeCountMatchingRecords(m_hCountDB, unread, 2, unreadPages))
        return false;
    pageCount = static_cast<int>(total - std::min(total, tombstones));
    unreadCount = static_cast<int>(unreadPages);
    if (tombstoneCount)
        *tombstoneCount = static_cast<int>(tombstones);
    return true;
}

bool CZelviaRssItemDB::CountFeedPages(const std::vector<std::uint32_t>& feedIds, std::vector<CPageCounts>& counts)
{
    counts.clear();
    if (!m_hCountDB)
        m_hCountDB = OpenHandle(kItemOrderByFeedState);
    if (!m_hCountDB)
        return false;
    std::vector<CEPROPVAL> feeds, states;
    for (std::uint32_t feedId : feedIds) {
        feeds.push_back(FeedIdValue(feedId));
        for (PageState state : {PageStateUnread, PageStateDeleted}) {
            states.push_back(FeedIdValue(feedId));
            states.push_back(MakeUI2Prop(kItemState, state));
        }
    }
    std::vector<DWORD> totals, byState;
    if (!CeCountMatchingRecordsMany(m_hCountDB, feeds, 1, totals) ||
        !CeCountMatchingRecordsMany(m_hCountDB, states, 2, byState))
        return false;
    counts.resize(feedIds.size());
    for (size_t at = 0; at < feedIds.size(); ++at) {
        const DWORD tombstones = byState[2 * at + 1];
        counts[at].pages = static_cast<int>(totals[at] - std::min(totals[at], tombstones));
        counts[at].unread = static_cast<int>(byState[2 * at]);
        counts[at].tombstones = static_cast<int>(tombstones);
    }
    return true;
}

bool CZelviaRssItemDB::CountFeedsWithPages(DWORD& count)
{
    if (!m_hCountDB)
        m_hCountDB = OpenHandle(kItemOrderByFeedState);
    return m_hCountDB && CeCountDistinctKeys(m_hCountDB, 1, count);
}

std::uint32_t CZelviaRssItemDB::NextFeedIdWithPages(std::uint32_t feedId)
{
    if (!SelectSortOrder(kItemOrderByFeed))
        return 0;
    const CEPROPVAL after = FeedIdValue(feedId);
    const CEOID oid = feedId == 0 ? SeekBeginning() : CeSeekDatabaseEx(m_hDB, CEDB_SEEK_VALUEGREATER, &after, 1);
    if (!oid)
        return 0;
    PageRecord page;
    return ReadState(page, oid) ? page.feedId : 0;
}

bool CZelviaRssItemDB::ReadFeedPages(std::uint32_t feedId, std::vector<PageRecord>& pages, bool withDeleted)
{
    pages.clear();
    HCEDB walk = OpenHandle(kItemOrderByFeed);
    if (!walk)
        return false;
    const CEPROPVAL feed = FeedIdValue(feedId);
    bool ok = true;
    if (CeSeekDatabaseEx(walk, CEDB_SEEK_VALUEFIRSTEQUAL, &feed, 1)) {
        std::vector<CEPROPVAL> props;
        for (;;) {
            if (!CeReadRecordPropsEx(walk, props)) {
                ok = GetLastError() == ERROR_NO_MORE_ITEMS;
                break;
            }
            if (props.size() < kItemPropertyCount)
                continue; // a damaged record is skipped, as a walk skips it
            PageRecord page;
            FillPage(page, props);
            if (page.feedId != feedId)
                break;
            if (withDeleted || page.state != PageStateDeleted)
                pages.push_back(std::move(page));
        }
    } else {
        ok = GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    const DWORD error = GetLastError();
    CloseHandle(walk);
    SetLastError(error);
    return ok;
}

bool CZelviaRssItemDB::ReadNewPages(const FILETIME& cutoff, int count, std::vector<PageRecord>& pages)
{
    pages.clear();
    HCEDB walk = OpenHandle(kItemOrderNewest);
    if (!walk)
        return false;
    bool ok = true;
    if (CeSeekDatabaseEx(walk, CEDB_SEEK_BEGINNING, 0)) {
        std::vector<CEPROPVAL> props;
        while (static_cast<int>(pages.size()) < count) {
            if (!CeReadRecordPropsEx(walk, props)) {
                ok = GetLastError() == ERROR_NO_MORE_ITEMS;
                break;
            }
            if (props.size() < kItemPropertyCount)
                continue;
            PageRecord page;
            FillPage(page, props);
            if (page.state != PageStateUnread)
                continue;
            if (page.fileTime.Ticks() <= cutoff.Ticks())
                break; // newest first: the rest is older still
            pages.push_back(std::move(page));
        }
    } else {
        ok = GetLastError() == ERROR_NO_MORE_ITEMS;
    }
    const DWORD error = GetLastError();
    CloseHandle(walk);
    SetLastError(error);
    return ok;
}
