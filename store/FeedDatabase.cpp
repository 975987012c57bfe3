#include "store/FeedDatabase.h"

namespace {

enum FeedProperty : WORD {
    kFeedUrl = 0,
    kFeedPageCount = 1,
    kFeedUnreadCount = 2,
    kFeedUpdateCounter = 3,
    kFeedId = 4,
    kFeedTitle = 5,
    kFeedSortField = 6,
    kFeedSortOrder = 7,
    kFeedViewFilter = 8,
    kFeedUpdateStatus = 9,
    kFeedDescription = 10,
    kFeedLastDate = 11,
};

CEDBASEINFOEX FeedDatabaseDefinition()
{
    CEDBASEINFOEX info;
    info.szDbaseName = kFeedDatabaseName;
    info.dwDbaseType = 0;
    info.wNumSortOrder = 2;
    info.rgSortSpecs[kFeedOrderByUrl] = MakeSortOrder({{PROP_TAG(CEVT_LPWSTR, kFeedUrl), 0}});
    info.rgSortSpecs[kFeedOrderById] = MakeSortOrder({{PROP_TAG(CEVT_R8, kFeedId), 0}});
    return info;
}

std::vector<CEPROPVAL> PropsOfFeed(FeedRecord& record)
{
    DateToFileTime(record.lastDate, record.fileTime);
    std::vector<CEPROPVAL> props;
    props.reserve(kFeedPropertyCount);
    props.push_back(MakeStringProp(kFeedUrl, record.url));
    props.push_back(MakeUI2Prop(kFeedPageCount, record.pageCount));
    props.push_back(MakeUI2Prop(kFeedUnreadCount, record.unreadCount));
    props.push_back(MakeUI2Prop(kFeedUpdateCounter, record.updateCounter));
    props.push_back(MakeIdSlotProp(kFeedId, record.feedId));
    props.push_back(MakeStringProp(kFeedTitle, record.title));
    props.push_back(MakeUI2Prop(kFeedSortField, record.sortField));
    props.push_back(MakeUI2Prop(kFeedSortOrder, record.sortOrder));
    props.push_back(MakeUI2Prop(kFeedViewFilter, record.viewFilter));
    props.push_back(MakeUI2Prop(kFeedUpdateStatus, record.updateStatus));
    props.push_back(MakeStringProp(kFeedDescription, record.description));
    props.push_back(MakeFileTimeProp(kFeedLastDate, record.fileTime));
    return props;
}

void FillFeed(FeedRecord& record, std::vector<CEPROPVAL>& props)
{
    record.url = std::move(props[kFeedUrl].val.lpwstr);
    record.pageCount = props[kFeedPageCount].val.uiVal;
    record.unreadCount = props[kFeedUnreadCount].val.uiVal;
    record.updateCounter = props[kFeedUpdateCounter].val.uiVal;
    record.feedId = IdFromSlot(props[kFeedId]);
    record.title = std::move(props[kFeedTitle].val.lpwstr);
    record.sortField = props[kFeedSortField].val.uiVal;
    record.sortOrder = props[kFeedSortOrder].val.uiVal;
    record.viewFilter = props[kFeedViewFilter].val.uiVal;
    record.updateStatus = props[kFeedUpdateStatus].val.uiVal;
    record.description = std::move(props[kFeedDescription].val.lpwstr);
    record.fileTime = props[kFeedLastDate].val.filetime;
    record.lastDate = DateFromFileTime(record.fileTime);
}

} // namespace

CZelviaRssDB::CZelviaRssDB() : CRecordDatabase(kFeedVolumeName, FeedDatabaseDefinition(), kFeedOrderByUrl) {}

bool CZelviaRssDB::ReadAllFeeds(std::vector<FeedRecord>& feeds)
{
    feeds.clear();
    if (!SelectSortOrder(kFeedOrderByUrl))
        return false;
    FirstFeed();
    for (FeedRecord record; ReadFeed(record);)
        feeds.push_back(std::move(record));
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_ITEMS;
}

CEOID CZelviaRssDB::FindFeedByUrl(const std::wstring& url, bool first)
{
    if (url.empty())
        return 0;
    if (first && !SelectSortOrder(kFeedOrderByUrl))
        return 0;
    return SeekFirstEqual(MakeStringProp(kFeedUrl, url));
}

CEOID CZelviaRssDB::FindFeedById(std::uint32_t feedId, bool first)
{
    if (first) {
        if (!SelectSortOrder(kFeedOrderById))
            return 0;
        if (feedId == 0)
            return SeekBeginning();
    }
    return SeekFirstEqual(MakeIdSlotProp(kFeedId, feedId));
}

CFeedLookup CZelviaRssDB::LookUpFeed(const std::wstring& url)
{
    CFeedLookup found;
    const CEOID oid = FindFeedByUrl(url);
    if (oid && ReadFeed(found.record, oid)) {
        found.oid = oid;
        return found;
    }
    found.error = IsOpen() ? GetLastError() : GetOpenError();
    return found;
}

CEOID CZelviaRssDB::ReadFeed(FeedRecord& record, CEOID oid)
{
    record = FeedRecord{};
    record.feedId = GetTickCount();
    std::vector<CEPROPVAL> props;
    const CEOID read = ReadProps(oid, props);
    if (!read || props.size() < kFeedPropertyCount)
        return 0;
    FillFeed(record, props);
    return read;
}

bool CZelviaRssDB::IsFeedIdTaken(std::uint32_t feedId)
{
    const WORD order = GetSortOrder();
    const bool taken = FindFeedById(feedId) != 0;
    SelectSortOrder(order);
    return taken;
}

std::uint32_t CZelviaRssDB::NewFeedId()
{
    std::uint32_t feedId = GetTickCount();
    while (feedId == 0 || IsFeedIdTaken(feedId))
        ++feedId;
    return feedId;
}

CEOID CZelviaRssDB::WriteFeed(FeedRecord& record, CEOID oid)
{
    if (record.url.empty() || !IsOpen())
        return 0;
    if (oid != 0)
        return WriteProps(oid, PropsOfFeed(record));
    CWriteGroup group(*this);
    oid = FindFeedByUrl(record.url);
    if (oid == 0 && (record.feedId == 0 || IsFeedIdTaken(record.feedId)))
        record.feedId = NewFeedId();
    const CEOID written = WriteProps(oid, PropsOfFeed(record));
    return group.Commit() ? written : 0;
}

CEOID CZelviaRssDB::CreateFeedIfMissing(FeedRecord& record, bool* pCreated)
{
    if (pCreated)
        *pCreated = false;
    if (record.url.empty() || !IsOpen())
        return 0;
    CWriteGroup group(*this);
    if (const CEOID oid = FindFeedByUrl(record.url)) {
        FeedRecord stored;
        return ReadFeed(stored, oid) && group.Commit() ? (record = std::move(stored), oid) : 0;
    }
    if (record.feedId == 0 || IsFeedIdTaken(record.feedId))
        record.feedId = NewFeedId();
    const CEOID written = WriteProps(0, PropsOfFeed(record));
    if (!written || !group.Commit())
        return 0;
    if (pCreated)
        *pCreated = true;
    return written;
}

bool CZelviaRssDB::UpdateFeed(FeedRecord& record)
{
    const CEOID oid = FindFeedByUrl(record.url);
    return oid != 0 && WriteFeed(record, oid) != 0;
}

bool CZelviaRssDB::DeleteFeed(const std::wstring& url)
{
    const bool deleted = Delete(FindFeedByUrl(url));
    if (deleted)
        WriteValidators(url, 0, {});
    return deleted;
}

FeedRecord MakeNewFeedRecord(const std::wstring& url, const std::wstring& title, const std::wstring& description)
{
    FeedRecord record;
    record.url = url;
    record.title = title;
    record.description = description;
    record.sortField = kFeedSortByDate;
    record.sortOrder = 0;
    record.viewFilter = kFeedViewAll;
    record.updateStatus = kFeedStatusCreated;
    record.feedId = CZelviaRssDB::Instance().NewFeedId();
    return record;
}
