#pragma once
// CNewSubscriptionDlg: the choice of how to subscribe (template 225, title
// "New Subscription"), shown by the first-subscription prompt of the
// channel tree. One list of four rows in this order: "Enter feed URL",
// "Online Search", "Select OPML file", "Enter OPML URL". The first row that
// can be chosen is selected; "Done" or a double tap ends the dialog with the
// chosen row's string id (200, 203, 201, 202), "Cancel" with ID_CANCEL.
//
// A row whose window does not exist in this build (the caller says which)
// is greyed: it cannot be selected, and "Done" stays greyed while no row
// that can be chosen is selected.

#include <functional>

#include "views/FullScreenDialog.h"

class CReportList;

class CNewSubscriptionDlg : public CFullScreenDialog {
    Q_OBJECT
public:
    // available(stringId): whether the row's window exists; all rows when
    // not given.
    explicit CNewSubscriptionDlg(QWidget* host, std::function<bool(UINT)> available = {});

    // The rows' string ids, in list order.
    static constexpr UINT kChoices[] = {IDS_ENTER_FEED_URL, IDS_ONLINE_SEARCH, IDS_SELECT_OPML_FILE,
                                        IDS_ENTER_OPML_URL};
    // The command of the channel tree a choice stands for: Enter URL, Online
    // Search, or the import from a file or an address; 0 for none.
    static int CommandOfChoice(int choice);

    CReportList* List() const { return m_pList; }

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool IsRowAvailable(int row) const;
    void UpdateDoneKey();

    CReportList* m_pList = nullptr;
    std::function<bool(UINT)> m_available;
};
