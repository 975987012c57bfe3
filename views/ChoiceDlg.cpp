#include "views/ChoiceDlg.h"

#include <QResizeEvent>

#include "views/ReportList.h"
#include "views/ResText.h"

CChoiceDlg::CChoiceDlg(QWidget* host, UINT templateId, std::vector<UINT> entries)
    : CFullScreenDialog(host, templateId), m_entries(std::move(entries))
{
    m_pList = Controls().Get<CReportList>(IDC_CHOICE_LIST);
    if (QWidget* label = Controls().Control(IDC_CHOICE_STATIC))
        label->hide();
    connect(m_pList, &CReportList::rowActivated, this, [this](int) { OnCommand(ID_DONE); });
}

bool CChoiceDlg::OnInitDialog()
{
    m_pList->DeleteAllItems();
    for (UINT entry : m_entries)
        m_pList->InsertItem(m_pList->GetItemCount(), ResString(entry), -1, entry);
    m_pList->SelectRow(0);
    m_pList->setFocus(Qt::OtherFocusReason);
    return true;
}

void CChoiceDlg::resizeEvent(QResizeEvent* event)
{
    CFullScreenDialog::resizeEvent(event);
    m_pList->SetColumnWidth(0, std::max(40, Client()->width() - 25));
}

void CChoiceDlg::OnCommand(int id)
{
    if (id == ID_DONE) {
        const int row = m_pList->GetSelectedRow();
        if (row < 0)
            return;
        m_nChoice = static_cast<UINT>(m_pList->ItemData(row));
        EndDialog(ID_DONE);
        return;
    }
    CFullScreenDialog::OnCommand(id);
}

int RunImportSourceDialog(QWidget* host)
{
    CChoiceDlg dialog(host, IDD_IMPORT_CHOICE, {IDS_SELECT_OPML_FILE, IDS_ENTER_OPML_URL});
    if (dialog.DoModal() != ID_DONE)
        return ID_CANCEL;
    return dialog.Choice() == IDS_SELECT_OPML_FILE ? ID_IMPORT_FILE : ID_IMPORT_URL;
}
