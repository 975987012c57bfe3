#include "session/TreeLabels.h"

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

CEntryLabeler::CEntryLabeler()
{
    std::vector<FeedRecord> records;
    if (!CZelviaRssDB::Instance().ReadAllFeeds(records))
        return;
    m_bRead = true;
    m_stored.reserve(records.size());
    for (FeedRecord& record : records)
        m_stored.emplace(std::move(record.url), CStored{std::move(record.title), record.unreadCount, record.updateStatus});
}

CEntryLabeler::~CEntryLabeler()
{
    if (m_made)
        m_made->Commit();
}

const CEntryLabeler::CStored* CEntryLabeler::Find(const std::wstring& url) const
{
    const auto found = m_stored.find(url);
    return found != m_stored.end() ? &found->second : nullptr;
}

std::optional<CEntryLabel> CEntryLabeler::Insert(COutline& outline)
{
    if (!m_bRead || !outline.IsFeed() || outline.DisplayName().empty())
        return InsertEntryLabel(outline);
    const CStored* stored = Find(outline.xmlUrl);
    if (stored == nullptr) {
        // The records made for this pass land in one commit.
        if (!m_made)
            m_made.emplace(CZelviaRssDB::Instance());
        return InsertEntryLabel(outline);
    }
    FeedRecord record;
    record.title = stored->title;
    record.unreadCount = stored->unreadCount;
    record.updateStatus = stored->updateStatus;
    const CEntryLabel label = FeedLabel(record);
    outline.status = label.icon;
    return label;
}

std::optional<CEntryLabel> CEntryLabeler::Refreshed(COutline& outline, bool folderOpen)
{
    if (!m_bRead || !outline.IsFeed())
        return RefreshedLabel(outline, folderOpen);
    if (Find(outline.xmlUrl) == nullptr)
        return std::nullopt; // its entry stays as it is
    return Insert(outline);
}

void MakeEntryLabels(COutlineList& outlines)
{
    CEntryLabeler labels;
    std::vector<COutlineList*> pending{&outlines};
    while (!pending.empty()) {
        COutlineList* list = pending.back();
        pending.pop_back();
        for (auto& outline : *list) {
            labels.Insert(*outline);
            pending.push_back(&outline->children);
        }
    }
}
