// The channel tree view and the other writers of default.opml: the file is
// watched, and when another process has changed it the session reads it
// again and every entry is made again, the selection and the open folders
// found by identity (a feed by its URL, a folder by its path).
#include <QTreeWidgetItemIterator>
#include <unordered_set>

#include "platform/FileSystem.h"
#include "subscriptions/OutlineIdentity.h"
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
    // The entries still point into the tree the reload replaced, which the
    // session keeps until the next one.
    const std::unordered_map<const COutline*, std::wstring> former = m_session.FormerIdentities();
    std::unordered_set<std::wstring> open;
    std::wstring selected;
    for (QTreeWidgetItemIterator it(m_pTree); *it != nullptr; ++it) {
        const auto known = former.find(OutlineOf(*it));
        if (known == former.end())
            continue;
        if ((*it)->isExpanded())
            open.insert(known->second);
        if (*it == m_pTree->currentItem())
            selected = known->second;
    }
    const bool updates = m_pTree->updatesEnabled();
    m_pTree->setUpdatesEnabled(false);
    FillTree();
    QTreeWidgetItem* select = nullptr;
    ForEachIdentity(m_session.Document().outlines, [&](const COutline& outline, const std::wstring& identity) {
        QTreeWidgetItem* item = ItemOf(&outline);
        if (item == nullptr)
            return;
        if (item->childCount() > 0 && open.count(identity) != 0)
            item->setExpanded(true);
        if (select == nullptr && identity == selected)
            select = item;
    });
    if (select == nullptr && m_pTree->topLevelItemCount() > 0)
        select = m_pTree->topLevelItem(0);
    if (select != nullptr)
        m_pTree->setCurrentItem(select);
    m_pTree->setUpdatesEnabled(updates);
}
