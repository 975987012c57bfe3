#include "views/NewSubscriptionDlg.h"

#include <QLabel>
#include <QResizeEvent>

#include "views/ReportList.h"
#include "views/ResText.h"
#include "views/SoftKeyBar.h"

namespace {

// The column spans the list less room for the scroll bar.
constexpr int kColumnMargin = 25;
constexpr int kRowHeight = 26;

} // namespace

CNewSubscriptionDlg::CNewSubscriptionDlg(QWidget* host, std::function<bool(UINT)> available)
    : CFullScreenDialog(host, IDD_SUBSCRIPTION_CHOICE), m_available(std::move(available))
{
    m_pList = Controls().Get<CReportList>(IDC_CHOICE_LIST);
    // The static above the list has no text of its own.
    if (auto* label = Controls().Get<QLabel>(IDC_CHOICE_STATIC))
        label->hide();
    for (const UINT choice : kChoices) {
        const int row = m_pList->InsertItem(m_pList->GetItemCount(), ResString(choice), -1, choice);
        QTreeWidgetItem* item = m_pList->topLevelItem(row);
        // As tall as a row with an icon: a row is a finger's target.
        item->setSizeHint(0, QSize(0, kRowHeight));
        if (!IsRowAvailable(row))
            item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
    }
    connect(m_pList, &CReportList::focusedRowChanged, this, [this](int) { UpdateDoneKey(); });
    connect(m_pList, &CReportList::rowActivated, this, [this](int row) {
        if (IsRowAvailable(row)) {
            m_pList->SelectRow(row);
            OnCommand(ID_DONE);
        }
    });
}

int CNewSubscriptionDlg::CommandOfChoice(int choice)
{
    switch (choice) {
    case IDS_ENTER_FEED_URL:
        return ID_ENTER_URL;
    case IDS_ONLINE_SEARCH:
        return ID_ONLINE_SEARCH;
    case IDS_SELECT_OPML_FILE:
        return ID_IMPORT_FILE;
    case IDS_ENTER_OPML_URL:
        return ID_IMPORT_URL;
    default:
        return 0;
    }
}

bool CNewSubscriptionDlg::IsRowAvailable(int row) const
{
    if (row < 0 || row >= m_pList->GetItemCount())
        return false;
    return !m_available || m_available(static_cast<UINT>(m_pList->ItemData(row)));
}

void CNewSubscriptionDlg::UpdateDoneKey()
{
    SoftKeys()->EnableKey(CSoftKeyBar::kLeft, IsRowAvailable(m_pList->GetSelectedRow()));
}

bool CNewSubscriptionDlg::OnInitDialog()
{
    m_pList->SetColumnWidth(0, Client()->width() - kColumnMargin);
    int first = -1;
    for (int row = 0; row < m_pList->GetItemCount() && first < 0; ++row) {
        if (IsRowAvailable(row))
            first = row;
    }
    m_pList->SelectRow(first);
    m_pList->setFocus(Qt::OtherFocusReason);
    UpdateDoneKey();
    return true;
}

void CNewSubscriptionDlg::OnCommand(int id)
{
    if (id == ID_DONE) {
        const int row = m_pList->GetSelectedRow();
        if (IsRowAvailable(row))
            EndDialog(static_cast<int>(m_pList->ItemData(row)));
        return;
    }
    CFullScreenDialog::OnCommand(id);
}

void CNewSubscriptionDlg::resizeEvent(QResizeEvent* event)
{
    CFullScreenDialog::resizeEvent(event);
    m_pList->SetColumnWidth(0, Client()->width() - kColumnMargin);
}
