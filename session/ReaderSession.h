#pragma once
// One run of the reader, without a window: what the channel tree view of
// the GUI decides, and rssreader-tool does the same way. The session owns the
// subscription document for the whole run and performs every operation on
// the tree; the GUI maps its tree entries to outlines, draws, and shows what
// the operations hand back (messages, what to select, what to refresh).
//
// It lives in subscriptions/ because it is the owner of the subscription
// tree and the operations on it; it builds on the store and on the update
// engine (the clean-up, the merge of an import), as those operations do.
//
// Other writers: the window and rssreader-tool may change default.opml at
// the same time. Every change of the file goes through EditTree, which holds
// the subscription lock (SubscriptionFile.h), reads the file again when
// another process wrote it since this session last read or wrote it, applies
// the change to that tree and saves. A tree read again is a new document:
// outlines of the old one are found in it by identity (OutlineIdentity.h),
// and the old one stays alive until the next reload, so that a view can
// still read the entries it made from it.
//
// Threads: the session belongs to the thread that made it (the GUI thread,
// or the tool's main thread) and is used only there. An update run hands
// per-feed results back to that thread; nothing here is shared with a worker.
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/WindowMessages.h"
#include "resources/ResourceIds.h"
#include "resources/ViewMessage.h"
#include "session/TreeLabels.h"
#include "subscriptions/OpmlDoc.h"
#include "subscriptions/PropertyRow.h"
#include "update/AccountRequests.h"
#include "update/MarkQueue.h"
#include "update/UpdateTriggers.h"

// What an operation on the tree changed, for the view to show.
struct CTreeChange {
    std::vector<CViewMessage> messages; // in order
    COutline* changedParent = nullptr;  // the list whose children changed (nullptr: the top level)
    bool structureChanged = false;      // entries were added, removed or moved
    COutline* select = nullptr;         // the entry to select, when one is named
    COutline* expand = nullptr;         // the entry to open, when one is named
    bool saved = false;                 // default.opml was written
    // The tree was read again from the file (another process had changed
    // it): the pointers above are outlines of the new tree, and every entry
    // is made again, the selection and open folders kept by identity.
    bool reloaded = false;
};

class CReaderSession {
public:
    CReaderSession() = default;
    ~CReaderSession();
    CReaderSession(const CReaderSession&) = delete;
    CReaderSession& operator=(const CReaderSession&) = delete;

    // ---- Start-up and shutdown ------------------------------------------

    struct CStartUp {
        // The subscription file was damaged: what it held is kept beside
        // it and the tree rebuilt from it and the store.
        bool treeDamaged = false;
        // What the user is told of the subscription file (a repair, a file
        // rebuilt from the store), in order.
        std::vector<CViewMessage> treeMessages;
        // A database could not be opened: the view tells the user why.
        std::vector<CViewMessage> storeMessages;
        // "Update feeds on startup": the view posts an automatic Update All.
        bool updateNow = false;
    };
    // The start-up of the tree without drawing: data folder, leftovers of
    // killed processes, seed, the subscription file (repaired when damaged),
    // a record for every feed, the removal of stored feeds that left the
    // tree (only when the whole tree loaded; under the subscription lock),
    // the clean-up with counters put right. The view then fills its entries
    // from Document() and asks LabelOf for each.
    CStartUp Start();
    // The shutdown, in its fixed order: the options (written), the item
    // database, the feed database, the connection manager, libxml2's parser
    // state. Every run and watcher must have stopped. The document is not
    // saved: every change was saved when it was made.
    void Shutdown();

    bool IsInitialised() const { return m_bInitialised; }
    COpmlDoc& Document() { return *m_pDoc; }
    const COpmlDoc& Document() const { return *m_pDoc; }
    // False when the tree may lack feeds the store holds (the file did not
    // load whole and could not be rebuilt): stored feeds are not removed
    // against it.
    bool IsTreeComplete() const { return m_bTreeComplete; }
    const std::wstring& SubscriptionPath() const { return m_strSubscriptionPath; }

    // ---- The subscription file and its other writers ------------------------

    struct CTreeEdit {
        bool applied = false;  // the edit ran (and asked for the save)
        bool reloaded = false; // it ran on the tree read again from the file
        bool saved = false;
        std::vector<CViewMessage> messages; // the lock, a repair, the save
    };
    // One change of default.opml, the way every writer makes it: under the
    // subscription lock, the file read again when another process wrote it
    // (the outlines named in follow are then found again in the new tree,
    // nullptr when they are gone from it), edit run on Document() (given
    // whether it was read again; true asks for the save), the file saved
    // atomically and the stored feeds that left the tree removed, before the
    // lock is let go. When the lock cannot be had, nothing runs and the
    // message says so.
    CTreeEdit EditTree(std::initializer_list<COutline**> follow, const std::function<bool(bool reloaded)>& edit);
    // Whether default.opml is another than the one this session last read
    // or wrote (a look at the file's stamp, no read).
    bool HasFileChanged() const;
    // Reads default.opml again when another process changed it. wait:
    // waits for the lock; otherwise gives up at once when it is held (the
    // caller asks again later). Not during a move. change.reloaded tells
    // whether the tree was read; its messages tell of a repair.
    CTreeChange ReloadIfChanged(bool wait);
    // After a reload: the identities of the outlines of the tree it
    // replaced, for the entries a view made from them.
    std::unordered_map<const COutline*, std::wstring> FormerIdentities() const;

    // ---- The update lock: a busy flag, not a counter --------------------

    // Takes the lock when it is free; false when it is held.
    bool UpdateLock();
    // Frees the lock whoever took it.
    void UpdateUnlock();
    bool IsUpdateLocked() const { return m_nLock > 0; }

    // ---- Updates ---------------------------------------------------------

    // True (keeping the flag) when the caller should post Update All; false
    // while the lock is held.
    bool RequestUpdateAll(bool automatic);
    bool IsAutomaticUpdate() const { return m_bAutomatic; }
    // An Update All as it comes round: false when it must not run now. An
    // automatic request that finds a window of the view open (a dialog, a
    // message box, a menu) waits, its flag kept: its dialog would open over
    // that window, in the middle of what the user is doing; the view asks
    // again once the window has closed. A command the user chose always
    // runs (the lock still decides in BeginUpdate).
    bool AcceptUpdateAll(bool windowOfTheViewOpen);
    // The periodic check: true when an automatic Update All is due now and
    // nothing is in the way (the request is made).
    bool CheckPeriodicUpdate(bool dialogOfTheViewOpen);
    // The connected message: true when an automatic Update All should start.
    bool OnConnectedNotify(WPARAM status, bool handlingStatus);
    // The disconnected message: what the frame does.
    // WM_CONNECTION_STATUS, for the window and the tool alike: a lost
    // network goes to sendNetworkLost (the window in front: the update run,
    // a dialog that downloads), then the connection is given back when the
    // status says so.
    void OnConnectionStatus(WPARAM status, const std::function<void()>& sendNetworkLost) const;
    // Update (selected, all false) or Update All: takes the lock and gives
    // the outlines the update dialog runs over (an empty list: no dialog;
    // the caller still calls AfterUpdate). False when the lock was held.
    bool BeginUpdate(COutline* selected, bool all, std::vector<COutline*>& feeds);
    // After the dialog, whether or not one ran: the automatic flag cleared,
    // the account's folder brought in step with what the sync stored (not
    // when a window over the tree holds outlines of it: the feed list's own
    // Update leaves that to the tree's next turn), the clean-up with counters
    // over the whole tree, the lock freed. The feeds the run updated were
    // trimmed and recounted by it a moment ago (recounted: their URLs) and
    // are left out. The view makes its entries again when the change says
    // the structure changed.
    CTreeChange AfterUpdate(const std::vector<std::wstring>& recounted = {}, bool bringAccountInStep = true);
    // After the options sheet: the account's folder in step with the
    // account (gone with it, when it was removed), the clean-up, as after an
    // update.
    CTreeChange AfterOptions();

    // ---- Labels and menus ------------------------------------------------

    std::optional<CEntryLabel> LabelOf(COutline& outline, bool folderOpen) { return RefreshedLabel(outline, folderOpen); }
    // Commands greyed by the menu-state rules for the selection (nullptr:
    // none) and whether the tree has entries.
    std::vector<int> GreyedCommands(const COutline* selected, bool treeEmpty) const;
    // The "New" soft key: enabled when the tree has a top-level outline.
    bool IsNewKeyEnabled() const { return !m_pDoc->outlines.empty(); }

    // ---- Operations on the tree (outlines of Document()) -------------------

    // The parent outline of an outline (nullptr at the top level), and the
    // list holding it.
    COutline* ParentOf(const COutline& outline) const;
    COutlineList& ListOf(const COutline* parent);

    // Adds the outline under the target (nullptr: the top level; a feed: its
    // folder), after the selected outline when it is in that list; records
    // for its feeds are made. Nothing when its display name is empty. Not
    // saved: the callers save.
    COutline* AddOutline(std::unique_ptr<COutline> outline, COutline* target, COutline* selected);
    // Enter URL's result, and New folder's: added and saved.
    CTreeChange AddFeed(std::unique_ptr<COutline> feed, bool atRoot, COutline* selected);
    CTreeChange AddFolder(const std::wstring& name, bool atRoot, COutline* selected);
    // The rename dialog's set-up for a feed: its record is made when missing;
    // false (and the message) when that write fails.
    bool PrepareRename(COutline& outline, CViewMessage& failure);
    CTreeChange Rename(COutline& outline, const std::wstring& name);
    // The question Delete asks, and the deletion once it is answered Yes;
    // the change selects a neighbour (the next entry, else the previous
    // one, else the parent).
    CViewMessage DeleteQuestion(const COutline& outline) const;
    CTreeChange Delete(COutline* outline);
    // Mark as Read (read true) or Unread over the outline's subtree.
    CTreeChange MarkSubtree(COutline& outline, bool read);
    // Properties: the rows, in order (the outline takes the record's title and
    // description when they are not empty).
    std::vector<CPropertyRow> Properties(COutline& outline);
    // Import of a document's top-level outlines (a file, an OPML address, an
    // online search), under the selected folder; saved when a feed was added.
    CTreeChange ImportOutlines(COutlineList outlines, COutline* selected);
    // Import of an OPML file: "The OPML file is incorrect." naming it
    // (shownAs: the address it was downloaded from) when it cannot be read
    // or holds no feed; the feeds lost to libxml2's depth limit are told.
    CTreeChange ImportFile(const std::wstring& path, COutline* selected, const std::wstring& shownAs = {});
    // Export to a file: the message says whether it was created.
    CViewMessage Export(const std::wstring& path) const;
    // Writes default.opml (an edit that changes nothing, through EditTree),
    // then removes the stored feeds that left the tree (not while the tree
    // is incomplete). False when the file could not be written.
    bool SaveDefaultOpml();

    // ---- The sync account's folder (AccountTree.cpp) ------------------------
    // Every change the account makes to the tree goes through these.

    // The account's top-level folder, or nullptr (no account, never synced).
    COutline* AccountFolder() const;
    // The outline is an account's folder or lies inside one: the server
    // decides what is there, so Rename, New folder and Move are greyed, and
    // a folder there cannot be deleted.
    bool IsInAccountFolder(const COutline* outline) const;
    // Makes the account's folder say what the server's tree (as the last
    // sync stored it) says: categories as folders, feeds in them, feeds the
    // server dropped gone with their pages. A folder of an account that is
    // gone, or of another one, goes whole, with the sync's stored state.
    // Saved when it changed anything.
    CTreeChange BringAccountInStep();
    // BringAccountInStep's edit of the tree; true when it changed anything.
    bool ApplyAccountTree(CTreeChange& change);
    // The server's category a feed added at the target goes into (0: none).
    int AccountCategoryOf(const COutline* target) const;
    // The server's id of a feed of the account (0: not known).
    int AccountFeedIdOf(const COutline& feed) const;
    // After the server was asked to subscribe (Enter URL, or an import or
    // search with import set): the feeds it took join the folder, saved;
    // its answers in the reader's words ("\"%d\" feeds added." after an
    // import).
    CTreeChange AddAccountFeeds(const std::vector<CSubscribeOutcome>& outcomes, bool import);
    // After the server unsubscribed a feed: it goes with its pages, as a
    // delete takes it.
    CTreeChange RemoveAccountFeed(COutline* feed);

    // The marks made here go to the account's server a moment later, on a
    // worker that only talks to the server: the view calls this on its
    // timer. A batch that came back is stored (not while an update holds
    // the store), and marks waiting start out; after a failed try the next
    // waits a minute.
    void SendWaitingMarks();

    // ---- Move mode ---------------------------------------------------------

    // Starts moving the outline (the lock is taken; false when it was held
    // or a move is on). Its children stay with it through every step.
    bool StartMove(COutline& outline);
    bool IsMoving() const { return m_move.outline != nullptr; }
    COutline* MovingOutline() const { return m_move.outline; }
    // One step; false when the rules allow none.
    bool MoveStepUp();
    bool MoveStepDown();
    // Done keeps the new place and saves; Cancel puts it back, unsaved.
    CTreeChange MoveDone();
    CTreeChange MoveCancel();

private:
    struct CMoveState {
        COutline* outline = nullptr;
        COutline* formerParent = nullptr;
        size_t formerIndex = 0;
        std::wstring identity; // where it was, to find it in a tree read again at Done
    };

    std::unique_ptr<COutline> Detach(COutline& outline, COutline*& parent, size_t& index);
    void Attach(std::unique_ptr<COutline> outline, COutline* parent, size_t index);
    void MoveOutOf(COutline& moving, COutline& folder, bool after);
    void DeleteSubtree(COutline& outline);
    void RemoveAccountFeeds(COutline& outline);
    COutline* AddAccountFeed(const CServerFeed& feed);
    void MarkFeed(const COutline& outline, bool read);
    int CountNewFeeds(const COutlineList& outlines) const;
    int MergeImport(const COutlineList& from, COutlineList& into);
    void CleanupAll(const std::vector<std::wstring>& recounted = {});
    // Under the subscription lock (SessionFile.cpp).
    void ReadFileLocked(std::vector<CViewMessage>& messages);
    void SaveLocked(CTreeEdit& edit);
    void NoteEdit(const CTreeEdit& edit, CTreeChange& change) const;

    std::unique_ptr<COpmlDoc> m_pDoc = std::make_unique<COpmlDoc>();
    std::unique_ptr<COpmlDoc> m_pFormerDoc; // the tree the last reload replaced
    CFileStamp m_fileStamp;                 // default.opml as last read or written
    std::wstring m_strSubscriptionPath;
    bool m_bTreeComplete = true;
    bool m_bInitialised = false;
    bool m_bShutDown = false;
    int m_nLock = 0;
    bool m_bAutomatic = false;
    CMoveState m_move;
    CMarkSender m_markSender;
    std::uint32_t m_dwMarksRetryAt = 0; // tick count; 0: at once
};
