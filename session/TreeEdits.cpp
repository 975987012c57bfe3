// The edits of the tree: adding feeds and folders, renaming, deleting,
// marking, and the properties of a feed.
#include <algorithm>

#include "platform/VariantDate.h"
#include "resources/ResourceModule.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "store/SyncStore.h"
#include "session/ReaderSession.h"
#include "update/FeedManager.h"

COutline* CReaderSession::AddOutline(std::unique_ptr<COutline> outline, COutline* target, COutline* selected)
{
    if (!outline || outline->DisplayName().empty())
        return nullptr;
    // A feed takes its folder's place as the target.
    COutline* parent = target;
    if (parent != nullptr && parent->kind != OutlineKindFolder)
        parent = ParentOf(*parent);
    COutlineList& list = ListOf(parent);
    auto anchor = std::find_if(list.begin(), list.end(), [&](const auto& child) { return child.get() == selected; });
    // Directly after the selected outline when it is in the list, else at the end.
    auto place = anchor == list.end() ? list.end() : anchor + 1;
    COutline* added = outline.get();
    added->kind = added->xmlUrl.empty() ? OutlineKindFolder : OutlineKindFeed;
    list.insert(place, std::move(outline));
    // The entries the view makes for it (and its children) make the feeds'
    // records.
    InsertEntryLabel(*added);
    MakeEntryLabels(added->children);
    return added;
}

namespace {

bool TreeHasFeed(const COutlineList& outlines, const std::wstring& url)
{
    for (const auto& outline : outlines) {
        if (outline->xmlUrl == url || TreeHasFeed(outline->children, url))
            return true;
    }
    return false;
}

} // namespace

CTreeChange CReaderSession::AddFeed(std::unique_ptr<COutline> feed, bool atRoot, COutline* selected)
{
    CTreeChange change;
    COutline* added = nullptr;
    const CTreeEdit edit = EditTree({&selected}, [&](bool reloaded) {
        // Another process may have subscribed to it since the dialog looked.
        if (reloaded && feed && TreeHasFeed(m_pDoc->outlines, feed->xmlUrl)) {
            change.messages.push_back({IDS_FEED_EXISTS, {}, MB_ICONHAND});
            return false;
        }
        COutline* target = atRoot ? nullptr : selected;
        added = AddOutline(std::move(feed), target, selected);
        // The target opens; at the top level, the first entry does.
        change.expand = target != nullptr ? target : (m_pDoc->outlines.empty() ? nullptr : m_pDoc->outlines.front().get());
        return true;
    });
    change.structureChanged = added != nullptr;
    change.changedParent = added != nullptr ? ParentOf(*added) : nullptr;
    change.select = added;
    NoteEdit(edit, change);
    return change;
}

CTreeChange CReaderSession::AddFolder(const std::wstring& name, bool atRoot, COutline* selected)
{
    CTreeChange change;
    COutline* added = nullptr;
    const CTreeEdit edit = EditTree({&selected}, [&](bool) {
        auto folder = std::make_unique<COutline>();
        folder->title = name;
        folder->kind = OutlineKindFolder;
        added = AddOutline(std::move(folder), atRoot ? nullptr : selected, selected);
        return true;
    });
    change.structureChanged = added != nullptr;
    change.changedParent = added != nullptr ? ParentOf(*added) : nullptr;
    change.select = added;
    NoteEdit(edit, change);
    return change;
}

bool CReaderSession::PrepareRename(COutline& outline, CViewMessage& failure)
{
    if (!outline.IsFeed())
        return true;
    FeedRecord record = MakeNewFeedRecord(outline.xmlUrl, outline.DisplayName(), outline.description);
    if (CZelviaRssDB::Instance().CreateFeedIfMissing(record))
        return true;
    failure = {IDS_FEED_DB_WRITE_ERROR, {}, MB_ICONHAND};
    return false;
}

CTreeChange CReaderSession::Rename(COutline& outline, const std::wstring& name)
{
    CTreeChange change;
    if (!UpdateLock())
        return change;
    COutline* renamed = &outline;
    const CTreeEdit edit = EditTree({&renamed}, [&](bool) {
        if (renamed == nullptr)
            return false; // gone from the file meanwhile
        renamed->title = name;
        renamed->text = name;
        if (!renamed->IsFeed())
            return true;
        CZelviaRssDB& feeds = CZelviaRssDB::Instance();
        FeedRecord record;
        const CEOID oid = feeds.FindFeedByUrl(renamed->xmlUrl);
        // A feed without a record is renamed in the tree only, and not saved.
        if (!oid || !feeds.ReadFeed(record, oid))
            return false;
        record.title = name;
        if (!feeds.WriteFeed(record, oid))
            change.messages.push_back({IDS_FEED_DB_WRITE_ERROR, {}, MB_ICONHAND});
        return true;
    });
    change.select = renamed;
    NoteEdit(edit, change);
    UpdateUnlock();
    return change;
}

CViewMessage CReaderSession::DeleteQuestion(const COutline& outline) const
{
    const UINT text = outline.kind == OutlineKindFolder ? IDS_CONFIRM_DELETE_FOLDER : IDS_CONFIRM_DELETE_FEED;
    return {text, {outline.DisplayName()}, MB_YESNO | MB_ICONQUESTION};
}

void CReaderSession::DeleteSubtree(COutline& outline)
{
    for (auto& child : outline.children)
        DeleteSubtree(*child);
    if (outline.xmlUrl.empty())
        return; // a folder touches no record
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    FeedRecord record;
    if (const CEOID oid = feeds.FindFeedByUrl(outline.xmlUrl); oid && feeds.ReadFeed(record, oid))
        CZelviaRssItemDB::Instance().DeletePagesOfFeed(record.feedId);
    feeds.DeleteFeed(outline.xmlUrl);
}

CTreeChange CReaderSession::Delete(COutline* outline)
{
    CTreeChange change;
    const CTreeEdit edit = EditTree({&outline}, [&](bool) {
        // With nothing selected (or the selection gone from the file
        // meanwhile) the tree is saved as it is.
        if (outline != nullptr) {
            DeleteSubtree(*outline);
            COutline* parent = ParentOf(*outline);
            size_t index = 0;
            Detach(*outline, parent, index); // freed here, with its subtree
            change.structureChanged = true;
            change.changedParent = parent;
            // The selection moves to a neighbour: the next entry, else the
            // previous one, else the folder that held it.
            const COutlineList& level = ListOf(parent);
            change.select = index < level.size() ? level[index].get() : index > 0 ? level[index - 1].get() : parent;
        }
        return true;
    });
    NoteEdit(edit, change);
    return change;
}

void CReaderSession::MarkFeed(const COutline& outline, bool read)
{
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    FeedRecord record;
    const CEOID oid = feeds.FindFeedByUrl(outline.xmlUrl);
    if (!oid || !feeds.ReadFeed(record, oid))
        return; // a feed without a record is skipped
    const PageState state = read ? PageStateRead : PageStateUnread;
    std::vector<PageRecord> pages;
    items.ReadFeedPages(record.feedId, pages);
    {
        // One transaction for the feed: marked whole or not at all, the
        // marks for the sync account's server queued with it.
        CRecordDatabase::CWriteGroup group(items);
        CSyncStore marks;
        const std::uint64_t now = SyncNow();
        for (PageRecord& page : pages) {
            if (page.state == state)
                continue;
            page.state = state;
            items.WritePage(page);
            marks.QueueMarkOfPage(record.feedId, page.key, !read, now);
        }
        group.Commit();
    }
    // The counters come from the pages as they now are.
    CRssFeedManager::WriteFeedCounted(outline.xmlUrl, record, [](FeedRecord& fresh) { fresh.updateCounter = 0; });
}

CTreeChange CReaderSession::MarkSubtree(COutline& outline, bool read)
{
    CTreeChange change;
    if (outline.IsFeed())
        MarkFeed(outline, read);
    for (auto& child : outline.children)
        MarkSubtree(*child, read);
    change.select = &outline;
    return change;
}

std::vector<CPropertyRow> CReaderSession::Properties(COutline& outline)
{
    std::wstring lastUpdate;
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    FeedRecord record;
    if (const CEOID oid = feeds.FindFeedByUrl(outline.xmlUrl); oid && feeds.ReadFeed(record, oid)) {
        if (!record.title.empty())
            outline.title = record.title;
        if (!record.description.empty())
            outline.description = record.description;
        if (record.lastDate.GetDays() == 0)
            lastUpdate = LoadResString(IDS_NOT_YET);
        else if (!record.lastDate.IsValid())
            lastUpdate = LoadResString(IDS_INVALID_DATETIME);
        else
            lastUpdate = VarBstrFromDate(record.lastDate);
    }
    return {{IDS_FEED_TITLE, outline.title},
            {IDS_FEED_URL, outline.xmlUrl},
            {IDS_HOME_PAGE_URL, outline.htmlUrl},
            {IDS_LAST_UPDATE, lastUpdate},
            {IDS_DESCRIPTION, outline.description}};
}
