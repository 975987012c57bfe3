// The session and default.opml: every change of the file under the
// subscription lock, on the tree as the file now holds it.
#include "platform/Debug.h"
#include "subscriptions/OpmlFile.h"
#include "subscriptions/OutlineIdentity.h"
#include "session/ReaderSession.h"
#include "subscriptions/SubscriptionFile.h"
#include "update/FeedManager.h"

void CReaderSession::ReadFileLocked(std::vector<CViewMessage>& messages)
{
    CLoadedSubscriptions loaded = LoadSubscriptionFile(m_strSubscriptionPath);
    // The entries a view made from the old tree still point into it.
    m_pFormerDoc = std::move(m_pDoc);
    m_pDoc = std::move(loaded.doc);
    m_bTreeComplete = loaded.complete;
    m_fileStamp = loaded.stamp;
    messages.insert(messages.end(), loaded.messages.begin(), loaded.messages.end());
    DebugLog("CReaderSession::ReadFileLocked", "default.opml read again: another process had changed it");
}

void CReaderSession::SaveLocked(CTreeEdit& edit)
{
    DebugLog("CChannelTreeView::SaveDefaultOpml", "Start >>");
    CreateFolderPath(SplitPath(m_strSubscriptionPath).folder);
    DebugLog("CChannelTreeView::Save", "Start >>");
    // A tree that may lack stored feeds takes them in first: saved without
    // them, it would be a whole file that the next start prunes against.
    if (!m_bTreeComplete && RecoverStoredFeeds(*m_pDoc) >= 0)
        m_bTreeComplete = true;
    edit.saved = m_bTreeComplete && SaveOpmlFile(*m_pDoc, m_strSubscriptionPath);
    if (edit.saved) {
        m_fileStamp = GetFileStamp(m_strSubscriptionPath);
        // The tree just saved under the lock is the file: the feeds it lacks
        // have left the subscriptions.
        CRssFeedManager().CleanupDB(*m_pDoc);
    } else {
        edit.messages.push_back({IDS_EXPORT_FAILED, {m_strSubscriptionPath}, MB_ICONHAND});
    }
    DebugLog("CChannelTreeView::SaveDefaultOpml", "End >>");
}

CReaderSession::CTreeEdit CReaderSession::EditTree(std::initializer_list<COutline**> follow,
                                                   const std::function<bool(bool reloaded)>& edit)
{
    CTreeEdit result;
    // The busy flag of the view (a save inside an update, a rename or a move
    // goes on under their hold).
    const bool busyTaken = UpdateLock();
    CSubscriptionLock lock(m_strSubscriptionPath);
    if (!lock.IsHeld()) {
        result.messages.push_back({IDS_SUBSCRIPTIONS_BUSY, {}, MB_ICONHAND});
    } else {
        if (HasFileChanged()) {
            std::vector<std::wstring> identities;
            for (COutline** outline : follow)
                identities.push_back(*outline != nullptr ? IdentityOf(m_pDoc->outlines, **outline) : std::wstring());
            ReadFileLocked(result.messages);
            auto identity = identities.begin();
            for (COutline** outline : follow)
                *outline = FindByIdentity(m_pDoc->outlines, *identity++);
            result.reloaded = true;
        }
        result.applied = edit(result.reloaded);
        if (result.applied)
            SaveLocked(result);
    }
    if (busyTaken)
        UpdateUnlock();
    return result;
}

bool CReaderSession::HasFileChanged() const { return GetFileStamp(m_strSubscriptionPath) != m_fileStamp; }

CTreeChange CReaderSession::ReloadIfChanged(bool wait)
{
    CTreeChange change;
    if (IsMoving() || !HasFileChanged())
        return change;
    CSubscriptionLock lock(m_strSubscriptionPath, wait ? kSubscriptionLockTimeoutMs : 0);
    if (!lock.IsHeld() || !HasFileChanged())
        return change;
    ReadFileLocked(change.messages);
    change.reloaded = true;
    change.structureChanged = true;
    return change;
}

std::unordered_map<const COutline*, std::wstring> CReaderSession::FormerIdentities() const
{
    std::unordered_map<const COutline*, std::wstring> identities;
    if (m_pFormerDoc)
        ForEachIdentity(m_pFormerDoc->outlines,
                        [&](const COutline& outline, const std::wstring& identity) { identities[&outline] = identity; });
    return identities;
}

void CReaderSession::NoteEdit(const CTreeEdit& edit, CTreeChange& change) const
{
    change.saved = edit.saved;
    change.reloaded = edit.reloaded;
    change.structureChanged = change.structureChanged || edit.reloaded;
    change.messages.insert(change.messages.begin(), edit.messages.begin(), edit.messages.end());
}

bool CReaderSession::SaveDefaultOpml() { return EditTree({}, [](bool) { return true; }).saved; }
