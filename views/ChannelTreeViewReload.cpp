// The channel tree view and the other writers of default.opml: the file is
// watched, and when another process has changed it the session reads it
// again and the model is reset, the selection and the open folders found by
// their ids (a feed by its URL, a folder by its path).
#include <unordered_set>

#include "platform/FileSystem.h"
#include "views/ChannelTreeView.h"
#include "views/ChannelTreeViewCtrl.h"

namespace {

// Notifications come in bursts (a save writes a file beside it and renames
// it over the old one): they are taken as one.
constexpr int kCheckDelayMs = 50;
// The lock is held by a writer at work: asked again after a while.
constexpr int kBusyRetryMs = 250;

} // namespace

void CChannelTreeView::WatchSubscriptionFile()
{
    const QString file = QString::fromStdWString(m_session.SubscriptionPath());
    const QString folder = QString::fromStdWString(SplitPath(m_session.SubscriptionPath()).folder);
    m_fileCheck.setSingleShot(true);
    connect(&m_fileCheck, &QTimer::timeout, this, &CChannelTreeView::CheckSubscriptionFile);
    auto changed = [this] { m_fileCheck.start(kCheckDelayMs); };
    // The file itself is replaced at each save, so its folder is watched
    // too: the watch on a replaced file ends with the file it watched.
    connect(&m_fileWatcher, &QFileSystemWatcher::fileChanged, this, changed);
    connect(&m_fileWatcher, &QFileSystemWatcher::directoryChanged, this, changed);
    m_fileWatcher.addPath(folder);
    m_fileWatcher.addPath(file);
}

void CChannelTreeView::CheckSubscriptionFile()
{
    const QString file = QString::fromStdWString(m_session.SubscriptionPath());
    if (!m_fileWatcher.files().contains(file))
        m_fileWatcher.addPath(file);
    if (!m_bInitialised || !m_session.HasFileChanged())
        return;
    // A dialog, a message box, an update or a move holds outlines of the
    // tree: the reload waits for it to end.
    if (m_session.IsMoving() || m_session.IsUpdateLocked() || IsWindowOfTheViewOpen()) {
        m_bReloadPending = true;
        return;
    }
    m_bReloadPending = false;
    const CTreeChange change = m_session.ReloadIfChanged(false);
    if (!change.reloaded) {
        if (m_session.HasFileChanged())
            m_fileCheck.start(kBusyRetryMs);
        return;
    }
    ApplyChange(change);
    RefreshAll();
    UpdateSoftKeys();
    ShowMessages(change.messages);
}

void CChannelTreeView::ReloadEntries()
{
    // The entries still stand for outlines of the tree the reload replaced,
    // which the session keeps until the next one: their ids come from it.
    const std::unordered_map<const COutline*, std::wstring> former = m_session.FormerIdentities();
    std::unordered_set<std::wstring> open;
    std::wstring selected;
    const QModelIndex current = m_pTree->currentIndex();
    m_pModel->ForEachEntry([&](const QModelIndex& entry) {
        const auto known = former.find(OutlineOf(entry));
        if (known == former.end())
            return;
        if (m_pTree->isExpanded(entry))
            open.insert(known->second);
        if (entry == current)
            selected = known->second;
    });
    const bool updates = m_pTree->updatesEnabled();
    m_pTree->setUpdatesEnabled(false);
    m_pModel->Reset();
    QModelIndex select;
    m_pModel->ForEachId([&](const QModelIndex& entry, const std::wstring& id) {
        if (m_pModel->rowCount(entry) > 0 && open.count(id) != 0)
            m_pTree->expand(entry);
        if (!select.isValid() && id == selected)
            select = entry;
    });
    if (!select.isValid())
        select = m_pModel->index(0, 0);
    if (select.isValid())
        m_pTree->setCurrentIndex(select);
    m_pTree->setUpdatesEnabled(updates);
}
