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
// A subclass does the search: StartSearch runs with the controls off, and
// the search ends (at once or after its own download) with FinishSearch.
#include <memory>
#include <vector>

#include "update/CandidateFetch.h"
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
    COutlineList TakeCollected() { return std::move(m_collected); }
    const COutlineList& Collected() const { return m_collected; }
    // The listed candidates, in row order.
    const std::vector<CListedCandidate>& Listed() const { return m_listed; }
    HWND GetWindow() const { return m_window.Get(); }
    bool IsBusy() const { return m_eActivity != EActivity::Idle; }
    void SetAddTimeout(DWORD milliseconds) { m_dwAddTimeout = milliseconds; }

    QLineEdit* Edit() const { return m_pEdit; }
    CReportList* List() const { return m_pList; }

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    void resizeEvent(QResizeEvent* event) override;

    // The search of the edit's trimmed text; ends with FinishSearch.
    virtual void StartSearch(const QString& text) = 0;
    // Cancel or network loss during the search: true when the search will
    // still end by itself (its download was stopped), false when it ends now.
    virtual bool StopSearch() { return false; }
    // Messages of the message window other than the add's download.
    virtual void OnSearchMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The icon of "No matches found.": the stop icon unless a search says
    // otherwise.
    virtual UINT NoMatchesIcon() const { return MB_ICONHAND; }

    // Lists the candidates (nothing when the search was stopped), then shows
    // the messages, "No matches found." when nothing is listed, and returns
    // to idle.
    void FinishSearch(const COutlineList& candidates, std::vector<CViewMessage> messages);
    bool IsStopped() const { return m_bStopped; }
    bool IsDisconnected() const { return m_bDisconnected; }
    bool IsCollected(const std::wstring& url) const;

private:
    enum class EActivity { Idle, Searching, Adding };

    void OnSearch();
    void OnAdd();
    void OnStop();
    void OnNetworkLost();
    void OnProperties();
    void OnCancelDialog();
    void OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void FinishAdd();
    void BeginBusy(EActivity activity);
    void EndBusy();
    void UpdateSoftKeys();
    void OnFocusChanged(QWidget* now);

    QLineEdit* m_pEdit = nullptr;
    CReportList* m_pList = nullptr;
    std::vector<CListedCandidate> m_listed;
    COutlineList m_collected;
    EActivity m_eActivity = EActivity::Idle;
    bool m_bStopped = false;
    bool m_bDisconnected = false;
    bool m_bResultsMode = false; // the user works in the list
    int m_nAddRow = -1;
    DWORD m_dwAddTimeout = kPageDownloadTimeoutMs;
    std::unique_ptr<CWaitCursor> m_pWait;
    std::unique_ptr<CCandidateFetch> m_pFetch;
    QMetaObject::Connection m_focusWatch;
    CDialogMessageWindow m_window; // last: gone before what its handler uses
};
