#pragma once
// What the two item lists (one feed's pages, the new pages of all feeds)
// share: a report list of headlines and dates (control 1011) over the
// description pane (control 1111), the page commands, the sort and view
// commands, the menu-state rules, the keys and the layout. The pages and the
// decisions about them are CPageList's (session/PageList.h); each list
// says how it loads and where it keeps its sort.
//
// Opening a page hands its link (else its enclosure's URL) to the desktop's
// browser and marks it read; so does a link tapped in the pane, for the
// selected page. Only http, https and mailto links leave (OpenInBrowser); a
// link that cannot open marks nothing and says so.

#include <functional>
#include <vector>

#include "session/PageList.h"
#include "views/FullScreenDialog.h"

class CDescriptionView;
class CReportList;

// Runs the update dialog over the feeds (the list reloads afterwards).
using CRunUpdate = std::function<void(std::vector<COutline*> feeds)>;

class CPageListDlg : public CFullScreenDialog {
    Q_OBJECT
public:
    ~CPageListDlg() override;

    CReportList* List() const { return m_pList; }
    CDescriptionView* Pane() const { return m_pPane; }
    const CPageListOptions& Options() const { return m_options; }
    // The page of a row; nullptr when there is none.
    CRssItem* PageOfRow(int row) const;
    // The list's filled-in rows, for the benchmark and the tests.
    int RowCount() const;

    // The operations of the commands, reachable for tests and the benchmark.
    void FillList(int preferredRow = -1);
    void ShowDescription(int row);
    void OpenEpisode(int row);
    void ChangeEpisodeState(int row, PageState state);

protected:
    CPageListDlg(QWidget* host, UINT menuId, UINT contextMenuId);

    // Sets up the list and the pane; false when the pane cannot be made.
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    void OnInitMenuPopup(QMenu* popup) override;
    void OnContextMenu(const QPoint& globalPos) override;
    bool eventFilter(QObject* object, QEvent* event) override;

    virtual void LoadEpisodes() = 0;
    // Sort commands: the list stores its choice where it keeps it.
    virtual void SaveOptions() = 0;
    // The page commands a menu of this list greys beyond the page rules.
    virtual void InitListMenu(QMenu*) {}
    // A page's state changed; feed is its feed's record as written.
    virtual void OnPageStateChanged(const FeedRecord&) {}

    // Forgets the shown and the current page (their pages are being freed).
    void ForgetPages();
    void OnChangeView(int id);
    void LayoutViews();
    void SetSelectedRowVisible();

    CPageList m_pages;
    CPageListOptions m_options;

private:
    void OnFocusedRowChanged(int row);
    void OnPaneFocus(bool taken);
    void OnPaneArrowKey();
    void OnLinkTapped(const QUrl& target);
    bool OpenLink(const std::wstring& target);
    void SetDateCell(int row, const CRssItem& page, const CSystemTime& today);
    int SelectedRowForCommand() const;

    UINT m_nContextMenuId;
    CReportList* m_pList = nullptr;
    CDescriptionView* m_pPane = nullptr;
    int m_nDateWidth = 0;
    int m_nRowHeight = 0; // as the list draws its rows, once it has some
    // The page whose description the pane shows, and the page of the
    // current row (kept across refills); both point into m_pages.
    const CRssItem* m_pShownPage = nullptr;
    const CRssItem* m_pCurrentPage = nullptr;
    bool m_bFilling = false;
};
