// Commands over the feed and item databases of the current user's data
// folder: listing, clean-up, page state, and merging a feed document.
#include <cstdio>
#include <optional>
#include <memory>

#include "Commands.h"
#include "JsonOut.h"
#include "content/FeedParser.h"
#include "platform/Unicode.h"
#include "store/DataStorage.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "subscriptions/OpmlFile.h"
#include "update/FeedManager.h"
#include "update/FeedMerge.h"

namespace {

// The stored record of a feed URL, or nullopt after saying so on stderr.
bool ReadFeedByUrl(const std::wstring& url, FeedRecord& record, CEOID* pOid = nullptr)
{
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    const CEOID oid = feeds.FindFeedByUrl(url);
    if (!oid || !feeds.ReadFeed(record, oid)) {
        std::fprintf(stderr, "rssreader-tool: no stored feed has the URL %s\n", WideToUtf8(url).c_str());
        return false;
    }
    if (pOid)
        *pOid = oid;
    return true;
}

std::unique_ptr<COpmlDoc> LoadSubscriptions()
{
    auto doc = LoadOpmlFile(GetDataFolderFile(kSubscriptionFileName));
    if (!doc)
        std::fprintf(stderr, "rssreader-tool: The OPML file is incorrect.\n");
    return doc;
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

int CommandFeeds(const CArguments& args)
{
    if (!args.empty())
        return UsageError("feeds takes no arguments");
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    Json list = Json::array();
    if (feeds.SelectSortOrder(kFeedOrderByUrl) && feeds.FirstFeed()) {
        FeedRecord record;
        while (feeds.ReadFeed(record))
            list.push_back(FeedRecordToJson(record));
    }
    PrintJson(list);
    return kExitDone;
}

int CommandPages(const CArguments& args)
{
    if (args.size() != 1)
        return UsageError("pages takes a feed URL");
    FeedRecord feed;
    if (!ReadFeedByUrl(Utf8ToWide(args[0]), feed))
        return PrintNothing();
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    Json list = Json::array();
    if (items.SeekFeedPages(feed.feedId, true)) {
        PageRecord page;
        while (items.Read(page) && page.feedId == feed.feedId)
            list.push_back(PageRecordToJson(page));
    }
    PrintJson(list);
    return kExitDone;
}

int CommandCleanup(const CArguments& args)
{
    if (!args.empty())
        return UsageError("cleanup takes no arguments");
    // Without a readable tree every stored feed would look abandoned.
    const auto doc = LoadSubscriptions();
    if (!doc)
        return PrintNothing();
    CRssFeedManager manager;
    const int feedsRemoved = manager.CleanupDB(*doc);
    std::vector<CFeedCleanup> perFeed;
    const int deleted = manager.CleanupFeeds(doc->outlines, true, &perFeed);
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
    FeedRecord feed;
    if (!ReadFeedByUrl(Utf8ToWide(args[0]), feed))
        return PrintNothing();
    CRssItem page;
    page.link = Utf8ToWide(args[1]); // the key stands for the link (or the enclosure URL)
    page.feedId = feed.feedId;
    if (!CRssFeedManager().SetPageStatus(page, *state, feed)) {
        std::fprintf(stderr, "rssreader-tool: the feed has no page with the key %s\n", args[1].c_str());
        return PrintNothing();
    }
    PrintJson(FeedRecordToJson(feed));
    return kExitDone;
}

int CommandAddFeed(const CArguments& args)
{
    if (args.size() != 2 || args[0].empty())
        return UsageError("add-feed takes a feed URL and a title");
    const std::wstring url = Utf8ToWide(args[0]);
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    FeedRecord record;
    const CEOID existing = feeds.FindFeedByUrl(url);
    if (existing && feeds.ReadFeed(record, existing)) {
        PrintJson(FeedRecordToJson(record)); // a feed already stored keeps its record
        return kExitDone;
    }
    record = MakeNewFeedRecord(url, Utf8ToWide(args[1]), L"");
    if (!feeds.WriteFeed(record)) {
        std::fprintf(stderr, "rssreader-tool: Error in writing in the feed database.\n");
        return PrintNothing();
    }
    PrintJson(FeedRecordToJson(record));
    return kExitDone;
}

int CommandMerge(const CArguments& args)
{
    if (args.size() != 2)
        return UsageError("merge takes a feed URL and a feed document");
    const std::wstring url = Utf8ToWide(args[0]);
    FeedRecord record;
    if (!ReadFeedByUrl(url, record))
        return PrintNothing();
    record.updateCounter = 0;

    // The feed's outline in the tree names it; a feed outside the tree is
    // named by its record.
    const auto doc = LoadOpmlFile(GetDataFolderFile(kSubscriptionFileName));
    const COutline* found = doc ? FindFeedOutline(doc->outlines, url) : nullptr;
    COutline outline = found ? COutline(*found) : COutline();
    if (!found)
        outline.title = record.title;
    outline.xmlUrl = url;
    outline.kind = OutlineKindFeed;

    const auto channel = ParseFeedFile(Utf8ToWide(args[1]));
    const int written = channel ? MergeChannelPages(*channel, record.feedId) : 0;
    const CFeedMergeResult result = FinishFeedUpdate(outline, record, channel.get(), written);
    PrintJson({{"updated", channel != nullptr},
               {"newPages", result.newPages},
               {"deletedPages", result.deletedPages},
               {"feed", FeedRecordToJson(record)}});
    return kExitDone;
}
