#pragma once
// CChannelTreeView: the reader's main view, the whole client area of the
// frame (template 213). It shows the subscription tree of the session,
// folders and feeds with their unread counts and icons, takes every command
// of the main menu, the context menu and move mode, and runs the periodic
// update check. The session (CReaderSession) decides everything about the
// tree; the view draws it, forwards the user's commands to it, and shows
// what comes back. The entries are a model over the session's document
// (CChannelTreeModel); after an operation that changed the structure, the
// entries of the lists it touched are made again from the document.
//
// The windows the view opens come from CTreeDialogs: a command whose window
// is missing is greyed in every menu. The update dialog and the
// first-subscription prompt are the view's own.
//
// The frame's notifications (a desktop synchronisation ended, the connection
// changed) arrive through OnFrameMessage. Everything runs on the GUI thread.
//
// Another process (rssreader-tool) may change default.opml while the window
// runs: the view watches the file and has the session read it again, then
// resets the model, keeping the selection and the open folders by their
// ids. While a window of the view or move mode holds outlines of the
// tree, the reload waits for their end (an edit they make reads the file
// itself, under the subscription lock).

#include <QFileSystemWatcher>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <optional>

#include "session/ReaderSession.h"
#include "views/ChannelTreeModel.h"
#include "views/FrameHost.h"
#include "views/TreeDialogs.h"

class QMenu;
class CChannelTreeCtrl;
class CStartupKeyFilter;

class CChannelTreeView : public QWidget, public IFrameClient {
    Q_OBJECT
public:
    // Keys queued while start-up kept the loop busy arrive within this time
    // after it; they are dropped with those typed during it.
    static constexpr int kStartupKeyGraceMs = 250;
    static constexpr int kCheckIntervalMs = 5000;
    // How often a waiting automatic update looks whether its way is free.
    static constexpr int kUpdateWaitMs = 250;

    CChannelTreeView(IFrameHost& frame, CReaderSession& session, CTreeDialogs dialogs);
    ~CChannelTreeView() override;

    // ---- The frame's client ---------------------------------------------------
    void OnCommand(int id) override;
    void OnInitMenuPopup(QMenu* popup) override;
    bool IsInitialised() const override { return m_bInitialised; }
    bool KeepsTitle() const override;
    // WM_CONNECTED_NOTIFY and WM_CONNECTION_STATUS, from the frame's window.
    LRESULT OnFrameMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // ---- Start-up, updates and the timer ----------------------------------------
    // The start-up of the tree: the session's start, the entries, the
    // first-subscription prompt, the timer. False when there is no tree to
    // show (the frame then closes).
    bool InitChannel();
    // Posts Update All unless the lock is held. An automatic one waits while
    // a window of the view is open or the lock is held, and is dropped once
    // an update has run since it was asked for.
    void RequestUpdateAll(bool automatic);
    // The periodic check (every kCheckIntervalMs once initialised).
    void OnTimer();
    void SetCheckInterval(int milliseconds);
    void StopTimer() { m_timer.stop(); }
    // A window of the view is over the tree: a dialog, a message box or a
    // menu.
    static bool IsWindowOfTheViewOpen();

    // ---- What the view shows ------------------------------------------------------
    CChannelTreeCtrl* Tree() const { return m_pTree; }
    CChannelTreeModel* Model() const { return m_pModel; }
    QModelIndex IndexOf(const COutline* outline) const { return m_pModel->IndexOf(outline); }
    COutline* OutlineOf(const QModelIndex& index) const { return m_pModel->OutlineOf(index); }
    // The icon index of an entry (TreeIcon).
    static int IconOf(const QModelIndex& index) { return CChannelTreeModel::IconOf(index); }
    COutline* Selected() const;
    void Select(const COutline* outline);
    // Labels and icons again from the store: the entry, the entries after
    // it at its level, and everything below these.
    void RefreshLabels(const QModelIndex& from);
    void RefreshAll();
    // Whether the command's window exists in this build.
    bool IsCommandAvailable(int command) const;
    // Reads default.opml again when another process changed it, now when
    // nothing holds the tree, otherwise once that ends.
    void CheckSubscriptionFile();
    const CTreeDialogs& Dialogs() const { return m_dialogs; }

    // The New list, unless a window of the view or move mode is in the way
    // (a click on the new-pages notice asks for it).
    void ShowNewPagesOnRequest();

signals:
    // After InitChannel.
    void initialised();
    // An automatic update brought new pages: the desktop notice's text.
    void newPagesNotice(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    using CEntryStates = CChannelTreeModel::CEntryStates;

    // Entries (ChannelTreeView.cpp).
    void RebuildEntries(const COutline* parent);
    void CollectStates(const QModelIndex& index, CEntryStates& states);
    void ShowFeedResult(const CFeedUpdateResult& result);
    void ExpandTopLevel();
    void UpdateSoftKeys();
    void RunFirstPrompt();
    void ApplyMenuState(QMenu* popup);
    void ShowContextMenu(const QPoint& globalPos, bool fromKeyboard);
    void OnFolderToggled(const QModelIndex& index, bool expanded);

    // Another writer of default.opml (ChannelTreeViewReload.cpp).
    void WatchSubscriptionFile();
    void ReloadEntries();

    // Commands (ChannelTreeViewCommands.cpp).
    void Dispatch(int id);
    void ApplyChange(const CTreeChange& change);
    void ShowMessages(const std::vector<CViewMessage>& messages);
    void OpenEntry(const QModelIndex& index);
    void RunUpdate(bool all);
    void PostAutomaticUpdate();
    void RunAutomaticUpdate();
    void EnterUrl();
    void NewFolder();
    void Rename();
    void Delete();
    void Mark(bool read);
    void Properties();
    void Import();
    void ImportFile();
    void ImportAddress();
    void AfterImport();
    void OnlineSearch();
    void Export();
    void NewItems();
    std::wstring DocumentsFolder() const;

    // Inside the sync account's folder (ChannelTreeViewAccount.cpp): the
    // server subscribes and unsubscribes, on a worker, and the folder
    // follows what it answered.
    bool InAccountFolder(bool atRoot) const;
    void SubscribeInAccount(const std::vector<std::wstring>& urls, bool import);
    void DeleteInAccount(COutline* feed);

    // Move mode (ChannelTreeViewMove.cpp).
    void StartMove();
    void MoveStep(bool up);
    void MoveDone();
    void MoveCancel();
    void ShowMoving();
    const COutline* OuterOf(const COutline* first, const COutline* second) const;

    IFrameHost& m_frame;
    CReaderSession& m_session;
    CTreeDialogs m_dialogs;
    CChannelTreeCtrl* m_pTree = nullptr;
    CChannelTreeModel* m_pModel = nullptr;
    QTimer m_timer;
    QTimer m_updateWait; // an automatic update waits for the windows to close
    int m_nCheckInterval = kCheckIntervalMs;
    bool m_bAutomaticQueued = false;
    bool m_bInitialised = false;
    bool m_bFirstPromptPending = true;
    bool m_bHandlingStatus = false;
    bool m_bMovingWasExpanded = false;
    CEntryStates m_movingStates; // what the moving entry's children showed
    QFileSystemWatcher m_fileWatcher;
    QTimer m_fileCheck;               // one check for a burst of notifications
    bool m_bReloadPending = false;    // the file changed while the tree was held

    QPointer<CStartupKeyFilter> m_pKeyFilter;
};
