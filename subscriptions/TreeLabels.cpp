#include "subscriptions/TreeLabels.h"

#include <unordered_map>
#include <vector>

#include "content/TextUtil.h"
#include "resources/ResourceModule.h"
#include "store/FeedDatabase.h"

namespace {

std::wstring FolderText(const COutline& outline)
{
    const std::wstring& name = outline.DisplayName();
    return name.empty() ? LoadResString(IDS_UNTITLED_FOLDER) : name;
}

// "%s" or "%s (%d)" from the record, and its icon.
CEntryLabel FeedLabel(const FeedRecord& record)
{
    CEntryLabel label;
    label.icon = kTreeIconRead;
    label.text = record.title;
    if (record.unreadCount >= 1) {
        label.text = FormatText(L"%s (%d)", record.title.c_str(), record.unreadCount);
        label.icon = kTreeIconUnread;
    }
    if (record.updateStatus == kFeedStatusFailed)
        label.icon = kTreeIconFailed;
    return label;
}

} // namespace

std::optional<CEntryLabel> InsertEntryLabel(COutline& outline)
{
    if (outline.kind == OutlineKindFolder)
        return CEntryLabel{FolderText(outline), kTreeIconFolderClosed};
    if (!outline.IsFeed())
        return CEntryLabel{LoadResString(IDS_NEW_FEED), kTreeIconFailed};
    const std::wstring& name = outline.DisplayName();
    if (name.empty())
        return std::nullopt;
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    FeedRecord record;
    CEntryLabel label;
    if (const CEOID oid = feeds.FindFeedByUrl(outline.xmlUrl); oid && feeds.ReadFeed(record, oid)) {
        label = FeedLabel(record);
    } else {
        // Another process may be making the same record at this moment: the
        // look-up is made again inside the write, and its record wins.
        record = MakeNewFeedRecord(outline.xmlUrl, name, outline.description);
        if (feeds.CreateFeedIfMissing(record))
            label = FeedLabel(record);
        else
            label = {name, kTreeIconFailed};
    }
    outline.status = label.icon;
    return label;
}

std::optional<CEntryLabel> RefreshedLabel(COutline& outline, bool folderOpen)
{
    if (outline.kind == OutlineKindFolder)
        return CEntryLabel{FolderText(outline), folderOpen ? kTreeIconFolderOpen : kTreeIconFolderClosed};
    if (!outline.IsFeed())
        return CEntryLabel{LoadResString(IDS_NEW_FEED), kTreeIconFailed};
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    const CEOID oid = feeds.FindFeedByUrl(outline.xmlUrl);
    if (!oid)
        return std::nullopt;
    FeedRecord record;
    CEntryLabel label = feeds.ReadFeed(record, oid) ? FeedLabel(record) : CEntryLabel{outline.title, kTreeIconRead};
    outline.status = label.icon;
    return label;
}

std::optional<CEntryLabel> ResultLabel(const CFeedUpdateResult& result, const std::wstring& shownText)
{
    if (result.outcome == CFeedOutcome::Updated && result.unreadCount >= 0) {
        // What the update wrote into the record: the feed's name as title.
        FeedRecord record;
        record.title = result.name.empty() ? std::wstring(kUntitledFeed) : result.name;
        record.unreadCount = result.unreadCount;
        record.updateStatus = kFeedStatusUpdated;
        return FeedLabel(record);
    }
    if (result.outcome == CFeedOutcome::Failed && result.iconStatus == kOutlineStatusFailed &&
        result.failure != CFeedFailure::Cancelled)
        return CEntryLabel{shownText, kTreeIconFailed};
    return std::nullopt;
}

namespace {

void CollectFeeds(COutlineList& outlines, std::vector<COutline*>& feeds)
{
    for (auto& outline : outlines) {
        if (outline->IsFeed() && !outline->DisplayName().empty())
            feeds.push_back(outline.get());
        CollectFeeds(outline->children, feeds);
    }
}

} // namespace

void MakeEntryLabels(COutlineList& outlines)
{
    std::vector<COutline*> feeds;
    CollectFeeds(outlines, feeds);
    if (feeds.empty())
        return;
    // The stored records are read in one walk and found by URL: a look-up
    // per feed costs a query each, and a tree of many feeds has many.
    std::vector<FeedRecord> stored;
    if (!CZelviaRssDB::Instance().ReadAllFeeds(stored)) {
        for (COutline* feed : feeds)
            InsertEntryLabel(*feed);
        return;
    }
    std::unordered_map<std::wstring, const FeedRecord*> byUrl;
    byUrl.reserve(stored.size());
    for (const FeedRecord& record : stored)
        byUrl.emplace(record.url, &record);
    std::vector<COutline*> missing;
    for (COutline* feed : feeds) {
        if (const auto found = byUrl.find(feed->xmlUrl); found != byUrl.end())
            feed->status = FeedLabel(*found->second).icon;
        else
            missing.push_back(feed);
    }
    if (missing.empty())
        return;
    // The records made land in one commit.
    CRecordDatabase::CWriteGroup group(CZelviaRssDB::Instance());
    for (COutline* feed : missing)
        InsertEntryLabel(*feed);
    group.Commit();
}
