#include "subscriptions/ReaderSession.h"

#include <libxml/parser.h>

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
    m_bTreeComplete = loaded.complete;
    startUp.treeDamaged = loaded.damaged;
    startUp.keptAs = loaded.keptAs;
    MakeEntryLabels(m_pDoc->outlines);

    // An account removed or changed while the reader was closed takes its
    // folder with it.
    if (m_bTreeComplete)
        BringAccountInStep();
    CRssFeedManager manager;
    if (m_bTreeComplete)
        manager.CleanupDB(*m_pDoc);
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

bool CReaderSession::AcceptUpdateAll(bool windowOfTheViewOpen)
{
    if (!m_bAutomatic || !windowOfTheViewOpen)
        return true;
    m_bAutomatic = false;
    return false;
}

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

CTreeChange CReaderSession::AfterUpdate(bool bringAccountInStep)
{
    m_bAutomatic = false;
    CTreeChange change;
    if (m_bTreeComplete && bringAccountInStep)
        change = BringAccountInStep();
    CleanupAll();
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

void CReaderSession::CleanupAll() { CRssFeedManager().CleanupFeeds(m_pDoc->outlines, true); }

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

bool CReaderSession::SaveDefaultOpml()
{
    // The lock is a busy flag: a save inside an update, a rename or a move
    // (which hold it already) goes on under their hold.
    const bool locked = UpdateLock();
    DebugLog("CChannelTreeView::SaveDefaultOpml", "Start >>");
    CreateFolderPath(SplitPath(m_strSubscriptionPath).folder);
    DebugLog("CChannelTreeView::Save", "Start >>");
    const bool saved = SaveOpmlFile(*m_pDoc, m_strSubscriptionPath);
    // A tree that did not load whole would take the feeds it lost with it.
    if (m_bTreeComplete)
        CRssFeedManager().CleanupDB(*m_pDoc);
    DebugLog("CChannelTreeView::SaveDefaultOpml", "End >>");
    if (locked)
        UpdateUnlock();
    return saved;
}
