#include "StoreTestSupport.h"

FeedRecord StoreFeed(const std::wstring& url, const std::wstring& title)
{
    FeedRecord record = MakeNewFeedRecord(url, title, L"");
    EXPECT_NE(CZelviaRssDB::Instance().WriteFeed(record), 0u);
    return record;
}

CEOID StorePage(std::uint32_t feedId, const std::wstring& key, const CDateTime& date, PageState state)
{
    PageRecord page;
    page.feedId = feedId;
    page.key = key;
    page.link = key;
    page.title = L"Title of " + key;
    page.state = state;
    page.date = date;
    const CEOID oid = CZelviaRssItemDB::Instance().WritePage(page);
    EXPECT_NE(oid, 0u);
    return oid;
}

FeedRecord StoredFeed(const std::wstring& url)
{
    FeedRecord record;
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    const CEOID oid = feeds.FindFeedByUrl(url);
    if (oid)
        feeds.ReadFeed(record, oid);
    return oid ? record : FeedRecord{};
}

std::vector<std::wstring> StoredKeys(std::uint32_t feedId, bool withDeleted)
{
    std::vector<PageRecord> pages;
    EXPECT_TRUE(CZelviaRssItemDB::Instance().ReadFeedPages(feedId, pages, withDeleted));
    std::vector<std::wstring> keys;
    for (const PageRecord& page : pages)
        keys.push_back(page.key);
    return keys;
}
