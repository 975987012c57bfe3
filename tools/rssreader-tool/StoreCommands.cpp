// Commands over the feed and item databases of the current user's data
// folder: listing, clean-up, page state, and merging a feed document.
#include <cstdio>
#include <optional>
#include <memory>

#include "Commands.h"
#include "JsonOut.h"
#include "content/FeedParser.h"
#include "platform/Unicode.h"
#include "resources/ResourceModule.h"
#include "store/DataStorage.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "subscriptions/OpmlFile.h"
#include "subscriptions/SubscriptionFile.h"
#include "update/FeedManager.h"
#include "update/FeedMerge.h"
#include "update/Setting.h"

namespace {

// A lookup that found nothing, as against one that failed.
bool NotFound(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_ITEMS; }

// The stored record of a feed URL; otherwise says on stderr why there is
// none and gives the exit code.
std::optional<int> ReadFeedByUrl(const std::wstring& url, FeedRecord& record)
{
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    const CEOID oid = feeds.FindFeedByUrl(url);
    if (oid && feeds.ReadFeed(record, oid))
        return std::nullopt;
    if (!NotFound(GetLastError()))
        return StoreError("cannot read the feed database: " + WideToUtf8(DescribeStoreError(GetLastError())));
    std::fprintf(stderr, "rssreader-tool: no stored feed has the URL %s\n", WideToUtf8(url).c_str());
    return PrintNothing();
}

const COutline* FindFeedOutline(const COutlineList& outlines, const std::wstring& url)
{
    for (const auto& outline : outlines) {
        if (outline->xmlUrl == url)
            return outline.get();
        if (const COutline* found = FindFeedOutline(outline->children, url))
            return found;
    }
    return nullptr;
}

std::optional<PageState> ParsePageState(const std::string& text)
{
    if (text == "read")
        return PageStateRead;
    if (text == "unread")
        return PageStateUnread;
    if (text == "delete")
        return PageStateDeleted;
    return std::nullopt;
}

} // namespace

int StoreError(const std::string& message)
{
    std::fprintf(stderr, "rssreader-tool: %s\n", message.c_str());
    return kExitStore;
}

bool StoreIsOpen()
{
    const CRecordDatabase* databases[] = {&CZelviaRssDB::Instance(), &CZelviaRssItemDB::Instance()};
    for (const CRecordDatabase* database : databases) {
        if (!database->IsOpen()) {
            std::fprintf(stderr, "rssreader-tool: cannot open %s: %s\n", WideToUtf8(database->GetVolumePath()).c_str(),
                         WideToUtf8(DescribeStoreError(database->GetOpenError())).c_str());
            return false;
        }
    }
    return true;
}

int CommandFeeds(const CArguments& args)
{
    if (!args.empty())
        return UsageError("feeds takes no arguments");
    if (!StoreIsOpen())
        return kExitStore;
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    Json list = Json::array();
    if (feeds.SelectSortOrder(kFeedOrderByUrl) && feeds.FirstFeed()) {
        FeedRecord record;
        while (feeds.ReadFeed(record))
            list.push_back(FeedRecordToJson(record));
    }
    if (!NotFound(GetLastError()))
        return StoreError("cannot read the feed database: " + WideToUtf8(DescribeStoreError(GetLastError())));
    PrintJson(list);
    return kExitDone;
}

int CommandPages(const CArguments& args)
{
    if (args.size() != 1)
        return UsageError("pages takes a feed URL");
    if (!StoreIsOpen())
        return kExitStore;
    FeedRecord feed;
    if (const auto exit = ReadFeedByUrl(Utf8ToWide(args[0]), feed))
        return *exit;
    std::vector<PageRecord> pages;
    if (!CZelviaRssItemDB::Instance().ReadFeedPages(feed.feedId, pages))
        return StoreError("cannot read the item database: " + WideToUtf8(DescribeStoreError(GetLastError())));
    Json list = Json::array();
    for (const PageRecord& page : pages)
        list.push_back(PageRecordToJson(page));
    PrintJson(list);
    return kExitDone;
}

int CommandCleanup(const CArguments& args)
{
    if (!args.empty())
        return UsageError("cleanup takes no arguments");
    if (!StoreIsOpen())
        return kExitStore;
    // The tree as the file holds it while no other process changes it:
    // without the whole tree every feed it lacks would look abandoned.
    const std::wstring path = GetDataFolderFile(kSubscriptionFileName);
    CRssFeedManager manager;
    CLoadedSubscriptions loaded;
    int feedsRemoved = 0;
    {
        CSubscriptionLock lock(path);
        if (!lock.IsHeld())
            return StoreError(WideToUtf8(LoadResString(IDS_SUBSCRIPTIONS_BUSY)));
        loaded = LoadSubscriptionFile(path);
        PrintMessages(loaded.messages);
        if (loaded.complete)
            feedsRemoved = manager.CleanupDB(*loaded.doc);
    }
    std::vector<CFeedCleanup> perFeed;
    const int deleted = manager.CleanupFeeds(loaded.doc->outlines, true, &perFeed);
    Json feeds = Json::array();
    for (const CFeedCleanup& feed : perFeed)
        feeds.push_back({{"url", ToUtf8(feed.url)}, {"title", ToUtf8(feed.title)}, {"deleted", feed.deleted}});
    PrintJson({{"feedsRemoved", feedsRemoved}, {"pagesDeleted", deleted}, {"feeds", std::move(feeds)}});
    return kExitDone;
}

int CommandMark(const CArguments& args)
{
    const auto state = args.size() == 3 ? ParsePageState(args[2]) : std::nullopt;
    if (!state)
        return UsageError("mark takes a feed URL, a page key and read|unread|delete");
    if (!StoreIsOpen())
        return kExitStore;
    FeedRecord feed;
    if (const auto exit = ReadFeedByUrl(Utf8ToWide(args[0]), feed))
        return *exit;
    CRssItem page;
    page.link = Utf8ToWide(args[1]); // the key stands for the link (or the enclosure URL)
    page.feedId = feed.feedId;
    PageRecord stored;
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    const CEOID pageOid = items.FindPage(page.link, feed.feedId);
    if (!pageOid && !NotFound(GetLastError()))
        return StoreError("cannot read the item database: " + WideToUtf8(DescribeStoreError(GetLastError())));
    if (!pageOid || (items.Read(stored, pageOid) && stored.state == PageStateDeleted)) {
        std::fprintf(stderr, "rssreader-tool: the feed has no page with the key %s\n", args[1].c_str());
        return PrintNothing();
    }
    if (!CRssFeedManager().SetPageStatus(page, *state, feed))
        return StoreError("cannot change the page: " + WideToUtf8(DescribeStoreError(GetLastError())));
    Json json = FeedRecordToJson(feed);
    if (Json sync = SendQueuedMarks(); !sync.is_null())
        json["sync"] = std::move(sync);
    PrintJson(json);
    return kExitDone;
}

int CommandStoreFeed(const CArguments& args)
{
    if (args.size() != 2 || args[0].empty())
        return UsageError("store-feed takes a feed URL and a title");
    if (!StoreIsOpen())
        return kExitStore;
    const std::wstring url = Utf8ToWide(args[0]);
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    FeedRecord record;
    const CEOID existing = feeds.FindFeedByUrl(url);
    if (existing && feeds.ReadFeed(record, existing)) {
        PrintJson(FeedRecordToJson(record)); // a feed already stored keeps its record
        return kExitDone;
    }
    record = MakeNewFeedRecord(url, Utf8ToWide(args[1]), L"");
    if (!feeds.WriteFeed(record))
        return StoreError("Error in writing in the feed database. (" + WideToUtf8(DescribeStoreError(GetLastError())) + ")");
    PrintJson(FeedRecordToJson(record));
    return kExitDone;
}

int CommandMerge(const CArguments& args)
{
    if (args.size() != 2)
        return UsageError("merge takes a feed URL and a feed document");
    // A document that is not there is no failed update of the feed.
    if (!CheckInputFile(args[1]))
        return PrintNothing();
    if (!StoreIsOpen())
        return kExitStore;
    const std::wstring url = Utf8ToWide(args[0]);
    FeedRecord record;
    if (const auto exit = ReadFeedByUrl(url, record))
        return *exit;

    // The feed's outline in the tree names it; a feed outside the tree is
    // named by its record.
    const auto doc = LoadOpmlFile(GetDataFolderFile(kSubscriptionFileName));
    const COutline* found = doc ? FindFeedOutline(doc->outlines, url) : nullptr;
    COutline outline = found ? COutline(*found) : COutline();
    if (!found)
        outline.title = record.title;
    outline.xmlUrl = url;
    outline.kind = OutlineKindFeed;

    const int pageLimit = CSetting::Instance().GetPageLimit();
    const auto channel = ParseFeedFile(Utf8ToWide(args[1]), static_cast<size_t>(pageLimit), url);
    if (!channel)
        std::fprintf(stderr, "rssreader-tool: %s holds no feed the reader can read\n", args[1].c_str());
    const CPageMergeResult merged = channel ? MergeChannelPages(*channel, record.feedId, pageLimit) : CPageMergeResult{};
    if (!merged.stored)
        return StoreError("the pages could not be stored: " + WideToUtf8(DescribeStoreError(merged.error)));
    const CFeedMergeResult result = FinishFeedUpdate(outline, record, channel.get(), merged.written);
    if (channel && !result.recordWritten)
        return StoreError("the feed record could not be written: " + WideToUtf8(DescribeStoreError(result.error)));
    PrintJson({{"updated", channel != nullptr},
               {"newPages", result.newPages},
               {"deletedPages", result.deletedPages},
               {"feed", FeedRecordToJson(record)}});
    return kExitDone;
}
