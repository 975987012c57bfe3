// The commands of the channel tree view: the main menu, the context menu
// and the soft keys. Each forwards to the session and shows what comes back;
// the windows of other groups are reached through CTreeDialogs.
#include <QMetaObject>

#include "app/MessageBox.h"
#include "platform/FileSystem.h"
#include "platform/SpecialFolders.h"
#include "subscriptions/OpmlFile.h"
#include "update/Setting.h"
#include "update/UpdateTriggers.h"
#include "views/ChannelTreeView.h"
#include "views/ChannelTreeViewCtrl.h"
#include "views/ResText.h"
#include "views/SoftKeyBar.h"
#include "views/UpdateFeedsDlg.h"
#include "views/WaitCursor.h"

void CChannelTreeView::OnCommand(int id)
{
    Dispatch(id);
    // A change of the file by another process that came while the command
    // held the tree.
    if (m_bReloadPending)
        m_fileCheck.start(0);
}

void CChannelTreeView::Dispatch(int id)
{
    switch (id) {
    case ID_INIT_CHANNEL:
        if (!InitChannel())
            QMetaObject::invokeMethod(m_frame.Window(), &QWidget::close, Qt::QueuedConnection);
        return;
    case ID_MOVE_DONE:
        MoveDone();
        return;
    case ID_MOVE_CANCEL:
        MoveCancel();
        return;
    default:
        break;
    }
    // Nothing else while an entry moves: its menu bar offers only Done and
    // Cancel, and a command that slipped through would act on the tree
    // behind the move's back.
    if (m_session.IsMoving() || !IsCommandAvailable(id))
        return;
    switch (id) {
    case ID_NEW_ITEMS:
        NewItems();
        break;
    case ID_ENTER_URL:
        EnterUrl();
        break;
    case ID_ONLINE_SEARCH:
        OnlineSearch();
        break;
    case ID_MARK_READ:
    case ID_MARK_UNREAD:
        Mark(id == ID_MARK_READ);
        break;
    case ID_MOVE:
        StartMove();
        break;
    case ID_DELETE:
        Delete();
        break;
    case ID_RENAME:
        Rename();
        break;
    case ID_NEW_FOLDER:
        NewFolder();
        break;
    case ID_PROPERTIES:
        Properties();
        break;
    case ID_IMPORT:
        Import();
        break;
    case ID_IMPORT_FILE:
        ImportFile();
        break;
    case ID_IMPORT_URL:
        ImportAddress();
        break;
    case ID_EXPORT:
        Export();
        break;
    case ID_UPDATE:
        RunUpdate(false);
        break;
    case ID_UPDATE_ALL:
        // The user's choice: its dialog waits for Done, whatever automatic
        // request is pending (this run answers it).
        m_session.RequestUpdateAll(false);
        RunUpdate(true);
        break;
    case ID_OPTIONS:
        m_dialogs.options(this);
        ApplyChange(m_session.AfterOptions());
        RefreshAll();
        break;
    case ID_APP_ABOUT:
        m_dialogs.about(this);
        break;
    case ID_FIND:
        m_dialogs.find(this);
        RefreshAll();
        break;
    case ID_APP_EXIT:
        QMetaObject::invokeMethod(m_frame.Window(), &QWidget::close, Qt::QueuedConnection);
        break;
    default:
        break;
    }
}

void CChannelTreeView::ShowMessages(const std::vector<CViewMessage>& messages)
{
    for (const CViewMessage& message : messages)
        ShowMessageBox(this, ToQString(message.Text()), message.style);
}

void CChannelTreeView::ApplyChange(const CTreeChange& change)
{
    if (change.reloaded)
        ReloadEntries();
    else if (change.structureChanged)
        RebuildEntries(change.changedParent);
    if (const QModelIndex open = IndexOf(change.expand); open.isValid() && m_pModel->rowCount(open) > 0)
        m_pTree->expand(open);
    if (change.select != nullptr)
        Select(change.select);
}

std::wstring CChannelTreeView::DocumentsFolder() const
{
    std::wstring documents;
    SHGetSpecialFolderPath(CSIDL_PERSONAL, documents);
    return JoinPath(documents, L"RSS Reader");
}

void CChannelTreeView::NewItems()
{
    if (!m_bInitialised)
        return;
    m_dialogs.newItems(this, m_session);
    RefreshAll();
}

void CChannelTreeView::OpenEntry(const QModelIndex& index)
{
    COutline* feed = OutlineOf(index);
    if (m_session.IsMoving() || feed == nullptr || !feed->IsFeed() || !m_dialogs.feedList)
        return;
    std::vector<COutline*> level;
    COutline* parent = m_session.ParentOf(*feed);
    {
        CWaitCursor wait;
        for (auto& outline : m_session.ListOf(parent))
            level.push_back(outline.get());
    }
    m_dialogs.feedList(this, m_session, std::move(level), feed);
    RefreshLabels(parent != nullptr ? IndexOf(parent) : m_pModel->index(0, 0));
    Select(feed);
}

void CChannelTreeView::RunUpdate(bool all)
{
    // The run goes over the tree as the file now holds it.
    CheckSubscriptionFile();
    COutline* selected = all ? nullptr : Selected();
    std::vector<COutline*> feeds;
    if (!m_session.BeginUpdate(selected, all, feeds))
        return;
    std::vector<std::wstring> recounted;
    std::optional<CViewMessage> notice;
    if (all || selected != nullptr) {
        const bool automatic = all && m_session.IsAutomaticUpdate();
        CUpdateFeedsDlg dialog(this, std::move(feeds), automatic, all);
        dialog.SetFeedResultHandler([this](const CFeedUpdateResult& result) { ShowFeedResult(result); });
        dialog.DoModal();
        for (const CFeedUpdateResult& result : dialog.Run().GetFeedResults()) {
            if (result.outcome == CFeedOutcome::Updated)
                recounted.push_back(result.url);
        }
        notice = NewPagesNotice(CSetting::Instance(), automatic, dialog.Run().GetFeedResults());
    }
    // Feeds the account's server added or dropped come and go here.
    ApplyChange(m_session.AfterUpdate(recounted));
    RefreshAll();
    if (notice)
        emit newPagesNotice(ToQString(notice->Text()));
}

void CChannelTreeView::ShowNewPagesOnRequest()
{
    if (m_bInitialised && !m_session.IsMoving() && !IsWindowOfTheViewOpen())
        m_frame.PostCommand(ID_NEW_ITEMS);
}

void CChannelTreeView::EnterUrl()
{
    std::optional<CTreeDialogs::CAddedFeed> added = m_dialogs.addFeed(this, m_session);
    if (!added || !added->feed)
        return;
    if (InAccountFolder(added->atRoot))
        return SubscribeInAccount({added->feed->xmlUrl}, false);
    const CTreeChange change = m_session.AddFeed(std::move(added->feed), added->atRoot, Selected());
    ApplyChange(change);
    RefreshLabels(m_pTree->currentIndex());
    ShowMessages(change.messages);
    UpdateSoftKeys();
    m_pTree->setFocus(Qt::OtherFocusReason);
}

void CChannelTreeView::NewFolder()
{
    const std::optional<CTreeDialogs::CNewFolder> folder = m_dialogs.newFolder(this);
    if (!folder)
        return;
    const CTreeChange change = m_session.AddFolder(folder->name, folder->atRoot, Selected());
    ApplyChange(change);
    RefreshLabels(m_pTree->currentIndex());
    ShowMessages(change.messages);
    UpdateSoftKeys();
}

void CChannelTreeView::Rename()
{
    COutline* selected = Selected();
    // The lock is held while the dialog is open, so that nothing updates
    // the tree under it.
    if (selected == nullptr || !m_session.UpdateLock())
        return;
    const std::optional<std::wstring> name = m_dialogs.rename(this, m_session, *selected);
    m_session.UpdateUnlock();
    if (name) {
        const CTreeChange change = m_session.Rename(*selected, *name);
        ApplyChange(change);
        RefreshLabels(IndexOf(change.select));
        ShowMessages(change.messages);
    }
    m_frame.SetMenuBar(IDR_MAIN_MENU);
    UpdateSoftKeys();
}

void CChannelTreeView::Delete()
{
    COutline* selected = Selected();
    if (selected != nullptr) {
        const CViewMessage question = m_session.DeleteQuestion(*selected);
        if (ShowMessageBox(this, ToQString(question.Text()), question.style) != IDYES)
            return;
        if (m_session.IsInAccountFolder(selected))
            return DeleteInAccount(selected);
    }
    CTreeChange change;
    {
        CWaitCursor wait;
        change = m_session.Delete(selected);
        ApplyChange(change);
        const QModelIndex parent = IndexOf(change.changedParent);
        RefreshLabels(parent.isValid() ? parent : m_pModel->index(0, 0));
    }
    ShowMessages(change.messages);
    UpdateSoftKeys();
}

void CChannelTreeView::Mark(bool read)
{
    COutline* selected = Selected();
    if (selected == nullptr)
        return;
    CWaitCursor wait;
    m_session.MarkSubtree(*selected, read);
    RefreshLabels(IndexOf(selected));
}

void CChannelTreeView::Properties()
{
    COutline* selected = Selected();
    if (selected == nullptr || !selected->IsFeed())
        return;
    m_dialogs.properties(this, m_session.Properties(*selected));
    RefreshLabels(IndexOf(selected));
}

void CChannelTreeView::Import()
{
    const int source = m_dialogs.importSource(this);
    if ((source == ID_IMPORT_FILE || source == ID_IMPORT_URL) && IsCommandAvailable(source))
        OnCommand(source);
}

void CChannelTreeView::ImportFile()
{
    CTreeDialogs::CFileRequest request;
    request.mode = 1;
    request.folder = DocumentsFolder();
    request.extensions = L"opml";
    request.titleId = IDS_IMPORT_OPML;
    request.menuId = IDR_PICKER_SELECT;
    const std::optional<std::wstring> path = m_dialogs.pickFile(this, request);
    if (path && InAccountFolder(false)) {
        const auto doc = LoadOpmlFile(*path);
        SubscribeInAccount(doc ? FeedUrlsOf(doc->outlines) : std::vector<std::wstring>{}, true);
    } else if (path) {
        CTreeChange change;
        {
            CWaitCursor wait;
            change = m_session.ImportFile(*path, Selected());
            ApplyChange(change);
        }
        ShowMessages(change.messages);
    }
    AfterImport();
}

void CChannelTreeView::ImportAddress()
{
    COutlineList outlines = m_dialogs.opmlAddress(this, m_session);
    if (!outlines.empty() && InAccountFolder(false)) {
        SubscribeInAccount(FeedUrlsOf(outlines), true);
    } else if (!outlines.empty()) {
        const CTreeChange change = m_session.ImportOutlines(std::move(outlines), Selected());
        ApplyChange(change);
        ShowMessages(change.messages);
    }
    AfterImport();
}

void CChannelTreeView::AfterImport()
{
    UpdateSoftKeys();
    m_pTree->setFocus(Qt::OtherFocusReason);
    ExpandTopLevel();
}

void CChannelTreeView::OnlineSearch()
{
    COutlineList outlines = m_dialogs.onlineSearch(this, m_session);
    if (!outlines.empty() && InAccountFolder(false)) {
        SubscribeInAccount(FeedUrlsOf(outlines), true);
    } else if (!outlines.empty()) {
        const CTreeChange change = m_session.ImportOutlines(std::move(outlines), Selected());
        ApplyChange(change);
        ShowMessages(change.messages);
    }
    if (const QModelIndex selected = m_pTree->currentIndex(); selected.isValid() && m_pModel->rowCount(selected) > 0)
        m_pTree->expand(selected);
    UpdateSoftKeys();
    m_pTree->setFocus(Qt::OtherFocusReason);
}

void CChannelTreeView::Export()
{
    CTreeDialogs::CFileRequest request;
    request.mode = 2;
    request.folder = DocumentsFolder();
    request.defaultName = L"export.opml";
    request.extensions = L"opml";
    request.titleId = IDS_EXPORT_OPML;
    request.menuId = IDR_PICKER_SAVE;
    if (const std::optional<std::wstring> path = m_dialogs.pickFile(this, request))
        ShowMessages({m_session.Export(*path)});
}
