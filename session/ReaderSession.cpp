#include "session/ReaderSession.h"

#include <libxml/parser.h>

#include <functional>
#include <unordered_set>

#include "platform/Debug.h"
#include "platform/SpecialFolders.h"
#include "resources/ResourceModule.h"
#include "store/DataStorage.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "subscriptions/OpmlFile.h"
#include "subscriptions/SubscriptionFile.h"
#include "update/ConnectionManager.h"
#include "update/FeedManager.h"
#include "update/FeedSearch.h"
#include "update/Leftovers.h"
#include "update/Setting.h"

CReaderSession::~CReaderSession()
{
    if (m_bInitialised && !m_bShutDown)
        Shutdown();
}

CReaderSession::CStartUp CReaderSession::Start()
{
    DebugLog("CChannelTreeView::InitChannel", "Start >>");
    m_bInitialised = false;
    CStartUp startUp;
    // The documents folder is where import and export start.
    std::wstring documents;
    SHGetSpecialFolderPath(CSIDL_PERSONAL, documents);
    CreateFolderPath(JoinPath(documents, L"RSS Reader"));
    CreateFolderPath(GetDataFolder());
    RemoveLeftoverFiles();

    CRssFeedManager manager;
    {
        // The seed, the load (and a repair), the records and the removal of
        // feeds that left the tree, as one step of the writers of the file.
        m_strSubscriptionPath = GetDataFolderFile(kSubscriptionFileName);
        CSubscriptionLock lock(m_strSubscriptionPath);
        m_strSubscriptionPath = PrepareDataFolder();
        // The online search's keyword file, when the user has none.
        InstallKeywordFile();
        CRecordDatabase* databases[] = {&CZelviaRssDB::Instance(), &CZelviaRssItemDB::Instance()};
        for (CRecordDatabase* database : databases) {
            if (!database->IsOpen())
                startUp.storeMessages.push_back(
                    {IDS_STORE_NOT_OPENED, {DescribeStoreError(database->GetOpenError())}, MB_ICONHAND});
        }

        CLoadedSubscriptions loaded = LoadSubscriptionFile(m_strSubscriptionPath);
        m_pDoc = std::move(loaded.doc);
        m_fileStamp = loaded.stamp;
        // Without the lock another writer may be half-way through: nothing
        // is pruned against what this start read.
        m_bTreeComplete = loaded.complete && lock.IsHeld();
        startUp.treeDamaged = loaded.damaged;
        startUp.treeMessages = std::move(loaded.messages);
        MakeEntryLabels(m_pDoc->outlines);
        if (m_bTreeComplete)
            manager.CleanupDB(*m_pDoc);
    }
    // An account removed or changed while the reader was closed takes its
    // folder with it.
    if (m_bTreeComplete)
        BringAccountInStep();
    if (ShouldUpdateOnStartup(CSetting::Instance(), true))
        startUp.updateNow = RequestUpdateAll(true);
    manager.CleanupFeeds(m_pDoc->outlines, true);
    m_bInitialised = true;
    DebugLog("CChannelTreeView::InitChannel", "End >>");
    return startUp;
}

void CReaderSession::Shutdown()
{
    m_bShutDown = true;
    CSetting::DestroyInstance();
    CZelviaRssItemDB::DestroyInstance();
    CZelviaRssDB::DestroyInstance();
    CConnectionManager::DestroyInstance();
    xmlCleanupParser();
}

bool CReaderSession::UpdateLock()
{
    if (m_nLock > 0)
        return false;
    DebugLogF("CChannelTreeView::UpdateLock", "Lock Count [%d]", m_nLock);
    m_nLock = 1;
    return true;
}

void CReaderSession::UpdateUnlock()
{
    if (m_nLock > 0)
        m_nLock = 0;
    DebugLogF("CChannelTreeView::UpdateUnlock", "Lock Count [%d]", m_nLock);
}

bool CReaderSession::RequestUpdateAll(bool automatic)
{
    if (IsUpdateLocked())
        return false;
    m_bAutomatic = automatic;
    return true;
}

bool CReaderSession::AcceptUpdateAll(bool windowOfTheViewOpen) { return !m_bAutomatic || !windowOfTheViewOpen; }

bool CReaderSession::CheckPeriodicUpdate(bool dialogOfTheViewOpen)
{
    CTimerTickState state;
    state.bUpdateLocked = IsUpdateLocked();
    state.bViewInitialised = m_bInitialised;
    state.bForegroundIsViewChild = dialogOfTheViewOpen;
    return ShouldUpdateOnTimer(CSetting::Instance(), state) && RequestUpdateAll(true);
}

bool CReaderSession::OnConnectedNotify(WPARAM status, bool handlingStatus)
{
    return ShouldUpdateOnConnected(CSetting::Instance(), status, handlingStatus) && RequestUpdateAll(true);
}

bool CReaderSession::BeginUpdate(COutline* selected, bool all, std::vector<COutline*>& feeds)
{
    feeds.clear();
    if (!UpdateLock())
        return false;
    if (all) {
        for (auto& outline : m_pDoc->outlines)
            feeds.push_back(outline.get());
    } else if (selected != nullptr && selected->IsFeed()) {
        feeds.push_back(selected);
    } else if (selected != nullptr) {
        for (auto& child : selected->children)
            feeds.push_back(child.get());
    }
    return true;
}

CTreeChange CReaderSession::AfterUpdate(const std::vector<std::wstring>& recounted, bool bringAccountInStep)
{
    m_bAutomatic = false;
    CTreeChange change;
    if (m_bTreeComplete && bringAccountInStep)
        change = BringAccountInStep();
    CleanupAll(recounted);
    UpdateUnlock();
    return change;
}

CTreeChange CReaderSession::AfterOptions()
{
    CTreeChange change;
    if (m_bTreeComplete)
        change = BringAccountInStep();
    CleanupAll();
    return change;
}

void CReaderSession::CleanupAll(const std::vector<std::wstring>& recounted)
{
    if (recounted.empty()) {
        CRssFeedManager().CleanupFeeds(m_pDoc->outlines, true);
        return;
    }
    const std::unordered_set<std::wstring> done(recounted.begin(), recounted.end());
    CRssFeedManager manager;
    std::function<void(const COutlineList&)> walk = [&](const COutlineList& outlines) {
        for (const auto& outline : outlines) {
            if (!outline->xmlUrl.empty() && done.count(outline->xmlUrl) == 0)
                manager.CleanupFeed(*outline, true);
            walk(outline->children);
        }
    };
    walk(m_pDoc->outlines);
}

std::vector<int> CReaderSession::GreyedCommands(const COutline* selected, bool treeEmpty) const
{
    if (treeEmpty)
        return {ID_MOVE, ID_DELETE, ID_RENAME, ID_EXPORT, ID_MARK_UNREAD, ID_MARK_READ, ID_PROPERTIES, ID_UPDATE,
                ID_UPDATE_ALL};
    std::vector<int> greyed;
    if (selected == nullptr)
        return greyed;
    const bool feed = selected->IsFeed();
    if (!feed)
        greyed.push_back(ID_PROPERTIES);
    // The server's API can neither make nor rename categories, nor rename
    // feeds: what it cannot do is not done here either.
    if (IsInAccountFolder(selected)) {
        greyed.insert(greyed.end(), {ID_RENAME, ID_NEW_FOLDER, ID_MOVE});
        if (!feed)
            greyed.push_back(ID_DELETE);
    }
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    FeedRecord record;
    const CEOID oid = feeds.FindFeedByUrl(selected->xmlUrl);
    if (oid && feeds.ReadFeed(record, oid) && record.pageCount > 0) {
        if (record.unreadCount == record.pageCount)
            greyed.push_back(ID_MARK_UNREAD);
        if (record.unreadCount == 0)
            greyed.push_back(ID_MARK_READ);
    } else if (feed) {
        greyed.push_back(ID_MARK_UNREAD);
        greyed.push_back(ID_MARK_READ);
    }
    return greyed;
}

namespace {

COutline* FindParent(COutlineList& list, COutline* parent, const COutline& outline)
{
    for (auto& child : list) {
        if (child.get() == &outline)
            return parent;
        if (COutline* found = FindParent(child->children, child.get(), outline); found != nullptr)
            return found;
    }
    return nullptr;
}

bool Contains(const COutlineList& list, const COutline& outline)
{
    for (const auto& child : list) {
        if (child.get() == &outline || Contains(child->children, outline))
            return true;
    }
    return false;
}

} // namespace

COutline* CReaderSession::ParentOf(const COutline& outline) const
{
    for (auto& top : m_pDoc->outlines) {
        if (top.get() == &outline)
            return nullptr;
    }
    return Contains(m_pDoc->outlines, outline) ? FindParent(m_pDoc->outlines, nullptr, outline) : nullptr;
}

COutlineList& CReaderSession::ListOf(const COutline* parent)
{
    return parent != nullptr ? const_cast<COutline*>(parent)->children : m_pDoc->outlines;
}

void CReaderSession::OnConnectionStatus(WPARAM status, const std::function<void()>& sendNetworkLost) const
{
    const CStatusReaction reaction = ReactToConnectionStatus(status);
    if (reaction.bSendNetworkLost)
        sendNetworkLost();
    if (reaction.bReleaseConnection)
        CConnectionManager::Instance().Release();
}
