#include "views/FeedChoiceDlg.h"

#include <QLabel>
#include <QResizeEvent>
#include <QVBoxLayout>

#include "update/FeedDiscovery.h"
#include "views/DialogFonts.h"
#include "views/ReportList.h"
#include "views/ResText.h"

CFeedChoiceDlg::CFeedChoiceDlg(QWidget* host, std::vector<CFeedLink> links)
    : CFullScreenDialog(host, IDD_FEED_CHOICE), m_links(std::move(links))
{
    m_pList = Controls().Get<CReportList>(IDC_CHOICE_LIST);
    if (auto* label = Controls().Get<QLabel>(IDC_CHOICE_STATIC)) {
        label->setWordWrap(true);
        SetControlFont(label, 9, true);
    }
    m_pList->SetFontPointSize(9);
    m_pList->ShowHeader(false);
    ClientLayout()->setStretchFactor(m_pList, 1);
    connect(m_pList, &CReportList::rowActivated, this, [this](int) { OnCommand(ID_DONE); });
}

bool CFeedChoiceDlg::OnInitDialog()
{
    m_pList->DeleteAllItems();
    for (size_t index = 0; index < m_links.size(); ++index)
        m_pList->InsertItem(static_cast<int>(index), ToQString(FeedLinkLabel(m_links[index])), -1, index);
    m_pList->SelectRow(0);
    m_pList->setFocus(Qt::OtherFocusReason);
    return true;
}

void CFeedChoiceDlg::resizeEvent(QResizeEvent* event)
{
    CFullScreenDialog::resizeEvent(event);
    m_pList->SetColumnWidth(0, std::max(40, Client()->width() - 25));
}

void CFeedChoiceDlg::OnCommand(int id)
{
    if (id == ID_DONE) {
        const int row = m_pList->GetSelectedRow();
        if (row < 0)
            return;
        m_choice = static_cast<size_t>(m_pList->ItemData(row));
        EndDialog(ID_DONE);
        return;
    }
    CFullScreenDialog::OnCommand(id);
}

std::optional<size_t> ChooseAnnouncedFeed(QWidget* host, const std::vector<CFeedLink>& links)
{
    CFeedChoiceDlg dialog(host, links);
    if (dialog.DoModal() != ID_DONE)
        return std::nullopt;
    return dialog.Choice();
}
