#pragma once
// Enter feed URL (template 209): the address of a new subscription and its
// name, "Get a feed name from a Web site." to fill the name from the feed
// itself, and "Create at root". "Done" is enabled while the trimmed address
// (with "https://" before it when it names no scheme) is longer than 7
// characters and the trimmed name is not empty. The feed is fetched
// (CFeedFetch: the scheme, an existing subscription, a connection, then the
// address itself, the feeds a site's page announces, or its common feed
// places, 30 s each) when the name is asked for, and on "Done" unless a
// fetch of the same address has already filled the feed; a page that offers
// several feeds lets the user choose one (CFeedChoiceDlg). A successful
// fetch on "Done" ends the dialog with ID_DONE and the feed, named as the
// user named it, or after its channel when the name was left "New Feed".
// While a fetch runs "Done" is greyed and only Cancel is taken, which stops
// it and ends the dialog.
#include <memory>

#include "subscriptions/OpmlDoc.h"
#include "update/HttpDownload.h"
#include "views/DialogMessages.h"
#include "views/FullScreenDialog.h"

class QCheckBox;
class QLineEdit;
class CFeedFetch;
class CWaitCursor;

class CAddFeedDlg : public CFullScreenDialog {
    Q_OBJECT
public:
    explicit CAddFeedDlg(QWidget* host);
    ~CAddFeedDlg() override;

    // After ID_DONE: the new feed, named as the user named it.
    std::unique_ptr<COutline> TakeFeed() { return std::move(m_pFeed); }
    bool AtRoot() const { return m_bAtRoot; }
    bool IsFetching() const;
    // The download's time limit (30 s unless a test wants less).
    void SetFetchTimeout(DWORD milliseconds) { m_dwTimeout = milliseconds; }

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;

private:
    void UpdateEnabling();
    void OnDone();
    void StartFetch(bool closeWhenDone);
    void OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void EndFetch();
    QString TrimmedUrl() const;
    QString TrimmedName() const;
    void NameFeed();

    QLineEdit* m_pUrl = nullptr;
    QLineEdit* m_pName = nullptr;
    QCheckBox* m_pFetchName = nullptr;
    QCheckBox* m_pAtRoot = nullptr;
    std::unique_ptr<COutline> m_pFeed;
    QString m_strFilledFrom; // the address, as typed, the feed was filled from
    QString m_strFetching;   // the address, as typed, of the fetch running
    bool m_bAtRoot = false;
    bool m_bCloseWhenDone = false;
    DWORD m_dwTimeout = kFeedDownloadTimeoutMs;
    std::unique_ptr<CWaitCursor> m_pWait;
    std::unique_ptr<CFeedFetch> m_pFetch;
    CDialogMessageWindow m_window; // last: gone before what its handler uses
};
