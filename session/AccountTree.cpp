// The sync account's folder: every change the account makes to the tree.
// The folder is a top-level folder named after the account; the server's
// categories are folders inside it, and its feeds sit in their category's
// folder (or in the account's folder, uncategorised). What the server has
// decides what the folder holds: a sync stores the server's tree, and
// BringAccountInStep makes the folder say the same.
#include <algorithm>
#include <map>

#include "platform/Clock.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "store/SyncStore.h"
#include "session/ReaderSession.h"
#include "update/SyncAccount.h"

namespace {

// After a failed try, marks wait this long before the next.
constexpr std::uint32_t kMarksRetryMs = 60000;

// The tree of the folder as text, to tell whether bringing it in step
// changed anything.
void Describe(const COutlineList& outlines, std::wstring& text)
{
    for (const auto& outline : outlines) {
        text += outline->IsFeed() ? L"F" : L"D";
        text += outline->title + L"\x1f" + outline->xmlUrl + L"\x1e";
        Describe(outline->children, text);
        text += L"\x1d";
    }
}

// Takes every feed and folder out of the list, feeds by URL, folders by
// title (their feeds taken out of them first).
void TakeApart(COutlineList& list, std::map<std::wstring, std::unique_ptr<COutline>>& feeds,
               std::map<std::wstring, std::unique_ptr<COutline>>& folders)
{
    for (auto& outline : list) {
        TakeApart(outline->children, feeds, folders);
        outline->children.clear();
        if (outline->IsFeed())
            feeds.emplace(outline->xmlUrl, std::move(outline));
        else
            folders.emplace(outline->title, std::move(outline));
    }
    list.clear();
}

std::unique_ptr<COutline> TakeFeed(std::map<std::wstring, std::unique_ptr<COutline>>& feeds,
                                   const CSyncTreeEntry& entry)
{
    std::unique_ptr<COutline> feed;
    if (const auto found = feeds.find(entry.url); found != feeds.end()) {
        feed = std::move(found->second);
        feeds.erase(found);
    } else {
        feed = std::make_unique<COutline>();
        feed->xmlUrl = entry.url;
        feed->kind = OutlineKindFeed;
        feed->type = L"rss";
    }
    if (!entry.title.empty())
        feed->title = entry.title;
    else if (feed->title.empty())
        feed->title = entry.url;
    return feed;
}

} // namespace

COutline* CReaderSession::AccountFolder() const
{
    const std::optional<CSyncAccount> account = LoadSyncAccount();
    if (!account)
        return nullptr;
    for (const auto& outline : m_pDoc->outlines) {
        if (IsAccountFolderOf(*outline, *account))
            return outline.get();
    }
    return nullptr;
}

bool CReaderSession::IsInAccountFolder(const COutline* outline) const
{
    if (outline == nullptr)
        return false;
    const COutline* top = outline;
    while (const COutline* parent = ParentOf(*top))
        top = parent;
    return IsAccountFolder(*top);
}

void CReaderSession::RemoveAccountFeeds(COutline& outline)
{
    for (auto& child : outline.children)
        RemoveAccountFeeds(*child);
    if (!outline.IsFeed())
        return;
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    FeedRecord record;
    if (const CEOID oid = feeds.FindFeedByUrl(outline.xmlUrl); oid && feeds.ReadFeed(record, oid))
        CSyncStore().DeleteArticlesOfFeed(record.feedId);
}

CTreeChange CReaderSession::BringAccountInStep()
{
    // Under the subscription lock, on the tree as the file now holds it.
    CTreeChange change;
    const CTreeEdit edit = EditTree({}, [&](bool) { return ApplyAccountTree(change); });
    NoteEdit(edit, change);
    return change;
}

bool CReaderSession::ApplyAccountTree(CTreeChange& change)
{
    const std::optional<CSyncAccount> account = LoadSyncAccount();
    CSyncStore store;
    CSyncState state;
    store.ReadState(state);
    bool changed = false;

    // The folder of an account that is gone, or of another one, goes with
    // its feeds and their pages.
    for (size_t index = 0; index < m_pDoc->outlines.size();) {
        COutline& top = *m_pDoc->outlines[index];
        if (!IsAccountFolder(top) || (account && IsAccountFolderOf(top, *account))) {
            ++index;
            continue;
        }
        RemoveAccountFeeds(top);
        DeleteSubtree(top);
        m_pDoc->outlines.erase(m_pDoc->outlines.begin() + static_cast<std::ptrdiff_t>(index));
        changed = true;
    }
    // What was kept of another account's sync (its marks too: they were for
    // another server) is of no use now.
    if (!state.account.empty() && (!account || state.account != account->Identity())) {
        store.Clear();
        state = {};
    }

    std::vector<CSyncTreeEntry> tree;
    if (account && !state.account.empty() && store.ReadTree(tree)) {
        COutline* folder = AccountFolder();
        const std::wstring before = [&] {
            std::wstring text;
            if (folder != nullptr)
                Describe(folder->children, text);
            return text;
        }();
        if (folder == nullptr) {
            auto made = std::make_unique<COutline>();
            made->title = account->FolderName();
            made->kind = OutlineKindFolder;
            made->type = kAccountFolderType;
            made->url = account->server;
            folder = made.get();
            m_pDoc->outlines.push_back(std::move(made));
            change.expand = folder; // a folder new here opens, as the top level does at start-up
            changed = true;
        }
        std::map<std::wstring, std::unique_ptr<COutline>> feeds;
        std::map<std::wstring, std::unique_ptr<COutline>> folders;
        TakeApart(folder->children, feeds, folders);
        std::map<std::uint32_t, COutline*> categories;
        for (const CSyncTreeEntry& entry : tree) {
            if (entry.kind != CSyncTreeEntry::Category)
                continue;
            std::unique_ptr<COutline> category;
            if (const auto found = folders.find(entry.title); found != folders.end()) {
                category = std::move(found->second);
                folders.erase(found);
            } else {
                category = std::make_unique<COutline>();
                category->title = entry.title;
                category->kind = OutlineKindFolder;
            }
            categories[entry.serverId] = category.get();
            folder->children.push_back(std::move(category));
        }
        for (const CSyncTreeEntry& entry : tree) {
            if (entry.kind != CSyncTreeEntry::Feed)
                continue;
            const auto category = categories.find(entry.categoryId);
            COutlineList& into = category != categories.end() ? category->second->children : folder->children;
            into.push_back(TakeFeed(feeds, entry));
        }
        // Feeds the server no longer has go, with their pages, as a delete
        // takes them.
        for (auto& [url, feed] : feeds) {
            RemoveAccountFeeds(*feed);
            DeleteSubtree(*feed);
        }
        MakeEntryLabels(folder->children);
        std::wstring after;
        Describe(folder->children, after);
        changed = changed || before != after;
    }

    if (changed) {
        change.structureChanged = true;
        change.changedParent = nullptr;
    }
    return changed;
}

int CReaderSession::AccountCategoryOf(const COutline* target) const
{
    if (target == nullptr || !IsInAccountFolder(target))
        return 0;
    const COutline* folder = target->IsFeed() ? ParentOf(*target) : target;
    if (folder == nullptr || IsAccountFolder(*folder))
        return 0;
    std::vector<CSyncTreeEntry> tree;
    CSyncStore().ReadTree(tree);
    for (const CSyncTreeEntry& entry : tree) {
        if (entry.kind == CSyncTreeEntry::Category && entry.title == folder->title)
            return static_cast<int>(entry.serverId);
    }
    return 0;
}

int CReaderSession::AccountFeedIdOf(const COutline& feed) const
{
    std::vector<CSyncTreeEntry> tree;
    CSyncStore().ReadTree(tree);
    for (const CSyncTreeEntry& entry : tree) {
        if (entry.kind == CSyncTreeEntry::Feed && entry.url == feed.xmlUrl)
            return static_cast<int>(entry.serverId);
    }
    return 0;
}

// The feed joins the server's tree as the next sync will store it, so that
// bringing the folder in step before that sync does not drop it.
COutline* CReaderSession::AddAccountFeed(const CServerFeed& feed)
{
    CSyncStore store;
    std::vector<CSyncTreeEntry> tree;
    store.ReadTree(tree);
    const bool known = std::any_of(tree.begin(), tree.end(), [&](const CSyncTreeEntry& entry) {
        return entry.kind == CSyncTreeEntry::Feed && entry.url == feed.url;
    });
    if (!known) {
        tree.push_back({CSyncTreeEntry::Feed, static_cast<std::uint32_t>(feed.id), feed.title, feed.url,
                        static_cast<std::uint32_t>(std::max(0, feed.categoryId))});
        store.WriteTree(tree);
    }
    COutline* folder = AccountFolder();
    std::vector<COutline*> walk;
    if (folder != nullptr)
        walk.push_back(folder);
    while (!walk.empty()) {
        COutline* at = walk.back();
        walk.pop_back();
        if (at->IsFeed() && at->xmlUrl == feed.url)
            return at;
        for (auto& child : at->children)
            walk.push_back(child.get());
    }
    return nullptr;
}

CTreeChange CReaderSession::AddAccountFeeds(const std::vector<CSubscribeOutcome>& outcomes, bool import)
{
    std::vector<const CServerFeed*> taken;
    std::vector<CViewMessage> messages;
    int added = 0;
    for (const CSubscribeOutcome& outcome : outcomes) {
        if (outcome.feed)
            taken.push_back(&*outcome.feed);
        const bool isAdded = outcome.answer && outcome.answer->code == CSubscribeCode::Added;
        const bool isKnown = outcome.answer && outcome.answer->code == CSubscribeCode::AlreadySubscribed;
        added += isAdded ? 1 : 0;
        // An import names what failed; what the server had already is no news.
        if (!import || !(isAdded || isKnown))
            messages.push_back(SubscribeMessage(outcome));
    }
    for (const CServerFeed* feed : taken)
        AddAccountFeed(*feed);
    CTreeChange change = BringAccountInStep();
    change.expand = AccountFolder();
    for (const CServerFeed* feed : taken) {
        if (COutline* outline = AddAccountFeed(*feed))
            change.select = outline;
    }
    if (import)
        messages.push_back(added > 0 ? CViewMessage{IDS_FEEDS_ADDED, {std::to_wstring(added)}, MB_ICONASTERISK}
                                     : CViewMessage{IDS_ALL_FEEDS_ALREADY_ADDED, {}, MB_ICONASTERISK});
    change.messages.insert(change.messages.begin(), messages.begin(), messages.end());
    return change;
}

CTreeChange CReaderSession::RemoveAccountFeed(COutline* feed)
{
    if (feed == nullptr || !feed->IsFeed())
        return {};
    CSyncStore store;
    std::vector<CSyncTreeEntry> tree;
    store.ReadTree(tree);
    const auto gone = std::remove_if(tree.begin(), tree.end(), [&](const CSyncTreeEntry& entry) {
        return entry.kind == CSyncTreeEntry::Feed && entry.url == feed->xmlUrl;
    });
    if (gone != tree.end()) {
        tree.erase(gone, tree.end());
        store.WriteTree(tree);
    }
    RemoveAccountFeeds(*feed);
    return Delete(feed);
}

void CReaderSession::SendWaitingMarks()
{
    if (IsUpdateLocked())
        return;
    CMarkSendResult sent;
    if (m_markSender.Finish(&sent) && sent.error)
        m_dwMarksRetryAt = GetTickCount() + kMarksRetryMs;
    const bool waitForRetry = m_dwMarksRetryAt != 0 && static_cast<std::int32_t>(GetTickCount() - m_dwMarksRetryAt) < 0;
    int queued = 0;
    if (m_markSender.IsRunning() || waitForRetry || !CSyncStore().CountQueue(queued) || queued == 0)
        return;
    m_dwMarksRetryAt = 0;
    if (const std::optional<CSyncAccount> account = LoadSyncAccount())
        m_markSender.Start(*account);
}
