#pragma once
// The window the OPML address dialog and the online search share (template
// 220): an edit (an address, a keyword), a "Search" that turns it into
// candidate feeds, and a list of them from which "Add" collects feeds one by
// one, each checked by downloading it (CCandidateFetch). The collected
// feeds are handed to the caller, which puts them into the tree.
//
// Soft keys: menu 219 ("Search" | Menu: Done, Cancel) while the edit has
// the focus, "Search" enabled while the trimmed edit holds 2 characters or
// more; menu 222 ("Add" | Menu: Properties, Done, Cancel) while the list has
// it; menu 236 (blank | "Cancel") while a search or an add runs, when the
// edit and the list are disabled. When the work ends the focus returns to
// whichever of the two the user worked in.
//
// List images (bitmap 202): 4 a new candidate, 2 collected here, 3 adding
// failed. "Cancel" of the dialog with feeds collected asks whether to keep
// them; any answer but Yes drops them. WM_NETWORK_LOST on the dialog's
// message window (GetWindow) stops the work and says the device is
// disconnected.
//
// The state and the decisions are CFeedCollection's (session/); the dialog
// draws them and forwards the user's commands and the window's messages. A
// subclass starts the search: StartSearch runs with the controls off, and
// the search ends (at once, after its download, or after its walk) with
// FinishSearch.
#include <memory>
#include <vector>

#include "session/FeedCollection.h"
#include "views/DialogMessages.h"
#include "views/FullScreenDialog.h"

class QLineEdit;
class CReportList;
class CWaitCursor;

class CFeedCollectDlg : public CFullScreenDialog {
    Q_OBJECT
public:
    CFeedCollectDlg(QWidget* host, UINT titleId, UINT labelId);
    ~CFeedCollectDlg() override;

    // The feeds collected (clones), for the caller once the dialog ended.
    COutlineList TakeCollected() { return m_pCollection->TakeCollected(); }
    const COutlineList& Collected() const { return m_pCollection->Collected(); }
    // The listed candidates, in row order.
    const std::vector<CListedCandidate>& Listed() const { return m_pCollection->Listed(); }
    HWND GetWindow() const { return m_window.Get(); }
    bool IsBusy() const { return m_pCollection->IsBusy(); }
    void SetAddTimeout(DWORD milliseconds) { m_dwAddTimeout = milliseconds; }

    QLineEdit* Edit() const { return m_pEdit; }
    CReportList* List() const { return m_pList; }

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    void resizeEvent(QResizeEvent* event) override;

    // Starts the search of the edit's trimmed text in Collection(); what it
    // returns, when it ended at once.
    virtual CFeedCollection::CSearchStep StartSearch(const QString& text) = 0;

    // Lists the candidates the search ended with, shows its messages and
    // returns to idle.
    void FinishSearch(const CFeedCollection::CSearchEnd& end);
    CFeedCollection& Collection() { return *m_pCollection; }

private:
    void OnSearch();
    void OnAdd();
    void OnStop();
    void OnNetworkLost();
    void OnProperties();
    void OnCancelDialog();
    void OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void FinishAdd();
    void ShowAddEnd(const CFeedCollection::CAddEnd& end);
    void OnStopped(CFeedCollection::EStopped stopped);
    void BeginBusy();
    void EndBusy();
    void UpdateSoftKeys();
    void OnFocusChanged(QWidget* now);

    QLineEdit* m_pEdit = nullptr;
    CReportList* m_pList = nullptr;
    bool m_bResultsMode = false; // the user works in the list
    DWORD m_dwAddTimeout = kPageDownloadTimeoutMs;
    std::unique_ptr<CWaitCursor> m_pWait;
    std::unique_ptr<CFeedCollection> m_pCollection; // made once the message window is there
    QMetaObject::Connection m_focusWatch;
    CDialogMessageWindow m_window; // last: gone before what its handler uses
};
