#include "views/FeedCollectDlg.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QResizeEvent>
#include <QVBoxLayout>

#include "app/MessageBox.h"
#include "views/DialogFonts.h"
#include "views/FeedChoiceDlg.h"
#include "views/PropertiesDlg.h"
#include "views/ReportList.h"
#include "views/ResText.h"
#include "views/SoftKeyBar.h"
#include "views/WaitCursor.h"

CFeedCollectDlg::CFeedCollectDlg(QWidget* host, UINT titleId, UINT labelId)
    : CFullScreenDialog(host, IDD_SEARCH),
      m_window(this, [this](UINT message, WPARAM wParam, LPARAM lParam) { OnWindowMessage(message, wParam, lParam); })
{
    SetTitle(ResString(titleId));
    if (auto* label = Controls().Get<QLabel>(IDC_SEARCH_LABEL)) {
        label->setText(ResString(labelId));
        SetControlFont(label, 9, true);
    }
    m_pEdit = Controls().Get<QLineEdit>(IDC_SEARCH_EDIT);
    m_pList = Controls().Get<CReportList>(IDC_SEARCH_LIST);
    m_pList->SetFontPointSize(9);
    m_pList->SetImageList(CImageList::FromBitmap(IDB_TREE_ICONS));
    m_pList->SetEmptyText(ResString(IDS_NO_ITEMS));
    m_pCollection = std::make_unique<CFeedCollection>(m_window.Get());
    ClientLayout()->setStretchFactor(m_pList, 1);

    connect(m_pEdit, &QLineEdit::textChanged, this, [this] { UpdateSoftKeys(); });
    connect(m_pList, &CReportList::rowActivated, this, [this](int) { OnCommand(ID_ADD); });
    m_focusWatch =
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { OnFocusChanged(now); });
}

CFeedCollectDlg::~CFeedCollectDlg()
{
    // The focus moves while the widgets go, after this part of the object
    // is gone.
    disconnect(m_focusWatch);
}

bool CFeedCollectDlg::OnInitDialog()
{
    m_pEdit->clear();
    m_pList->DeleteAllItems();
    m_pList->setEnabled(false);
    m_bResultsMode = false;
    SetMenuBar(IDR_SEARCH_EDIT);
    m_pEdit->setFocus(Qt::OtherFocusReason);
    UpdateSoftKeys();
    return true;
}

void CFeedCollectDlg::resizeEvent(QResizeEvent* event)
{
    CFullScreenDialog::resizeEvent(event);
    m_pList->SetColumnWidth(0, std::max(40, Client()->width() - 25));
}

void CFeedCollectDlg::OnFocusChanged(QWidget* now)
{
    if (IsBusy() || !IsRunning())
        return;
    if (now == m_pList)
        m_bResultsMode = true;
    else if (now == m_pEdit)
        m_bResultsMode = false;
    else
        return;
    UpdateSoftKeys();
}

void CFeedCollectDlg::UpdateSoftKeys()
{
    if (IsBusy())
        return;
    const UINT menu = m_bResultsMode ? IDR_SEARCH_LIST : IDR_SEARCH_EDIT;
    if (SoftKeys()->MenuBarId() != menu)
        SetMenuBar(menu);
    if (!m_bResultsMode)
        SoftKeys()->EnableCommand(ID_SEARCH, CFeedCollection::IsSearchable(ToWide(m_pEdit->text().trimmed())));
}

void CFeedCollectDlg::BeginBusy()
{
    m_pWait = std::make_unique<CWaitCursor>();
    SetMenuBar(IDR_BUSY);
    // The dialog holds the focus while its controls are off, so the window
    // keeps it for the control that gets it back.
    setFocus(Qt::OtherFocusReason);
    m_pEdit->setEnabled(false);
    m_pList->setEnabled(false);
}

void CFeedCollectDlg::EndBusy()
{
    m_pWait.reset();
    m_pCollection->EndWork();
    m_pEdit->setEnabled(true);
    const bool rows = m_pList->GetItemCount() > 0;
    m_pList->setEnabled(rows);
    if (!rows)
        m_bResultsMode = false;
    UpdateSoftKeys();
    if (m_bResultsMode)
        m_pList->setFocus(Qt::OtherFocusReason);
    else
        m_pEdit->setFocus(Qt::OtherFocusReason);
}

void CFeedCollectDlg::OnCommand(int id)
{
    switch (id) {
    case ID_SEARCH:
        if (!IsBusy() && CFeedCollection::IsSearchable(ToWide(m_pEdit->text().trimmed())))
            OnSearch();
        return;
    case ID_ADD:
        if (!IsBusy())
            OnAdd();
        return;
    case ID_STOP:
        OnStop();
        return;
    case ID_SEARCH_PROPERTIES:
        if (!IsBusy())
            OnProperties();
        return;
    case ID_DONE:
        if (!IsBusy())
            EndDialog(ID_DONE);
        return;
    case ID_CANCEL:
    case IDCANCEL:
        // The Back key while work runs stops the work; the dialog stays.
        if (IsBusy())
            OnStop();
        else
            OnCancelDialog();
        return;
    default:
        return;
    }
}

void CFeedCollectDlg::OnSearch()
{
    BeginBusy();
    m_pList->DeleteAllItems();
    if (const CFeedCollection::CSearchStep ended = StartSearch(m_pEdit->text().trimmed()))
        FinishSearch(*ended);
}

void CFeedCollectDlg::FinishSearch(const CFeedCollection::CSearchEnd& end)
{
    const std::vector<CViewMessage> messages = m_pCollection->FinishSearch(end);
    const std::vector<CListedCandidate>& listed = m_pCollection->Listed();
    m_pList->DeleteAllItems();
    for (size_t i = 0; i < listed.size(); ++i)
        m_pList->InsertItem(static_cast<int>(i), ToQString(listed[i].outline->DisplayName()), listed[i].image, i);
    m_pWait.reset();
    m_bResultsMode = !listed.empty();
    ShowViewMessages(this, messages);
    EndBusy();
    if (!m_pCollection->Listed().empty())
        m_pList->SelectRow(0);
}

void CFeedCollectDlg::OnAdd()
{
    BeginBusy();
    const std::vector<CViewMessage> refused = m_pCollection->StartAdd(m_pList->GetSelectedRow(), m_dwAddTimeout);
    if (!refused.empty()) {
        m_pWait.reset();
        ShowViewMessages(this, refused);
        EndBusy();
    }
}

void CFeedCollectDlg::FinishAdd()
{
    CFeedCollection::CAddEnd end = m_pCollection->FinishAdd();
    if (end.running)
        return; // the next place of the search is being fetched
    m_pWait.reset();
    if (!end.choices.empty()) {
        // The candidate is a site's page that offers several feeds.
        const std::optional<size_t> chosen = ChooseAnnouncedFeed(this, end.choices);
        if (!IsBusy())
            return; // ended meanwhile (the network went away, the dialog closed)
        end = m_pCollection->Choose(chosen);
        if (end.running) {
            m_pWait = std::make_unique<CWaitCursor>();
            return;
        }
    }
    ShowAddEnd(end);
}

void CFeedCollectDlg::ShowAddEnd(const CFeedCollection::CAddEnd& end)
{
    if (end.row >= 0)
        m_pList->SetItemImage(end.row, m_pCollection->Listed()[end.row].image);
    ShowViewMessages(this, end.messages);
    EndBusy();
}

void CFeedCollectDlg::OnStop()
{
    if (!IsBusy() || m_pCollection->IsStopped())
        return;
    SoftKeys()->EnableKey(CSoftKeyBar::kLeft, false);
    SoftKeys()->EnableKey(CSoftKeyBar::kRight, false);
    OnStopped(m_pCollection->Stop());
}

void CFeedCollectDlg::OnNetworkLost()
{
    if (m_pCollection->IsDisconnected() || !IsBusy())
        return;
    SoftKeys()->EnableKey(CSoftKeyBar::kLeft, false);
    SoftKeys()->EnableKey(CSoftKeyBar::kRight, false);
    OnStopped(m_pCollection->OnNetworkLost());
}

void CFeedCollectDlg::OnStopped(CFeedCollection::EStopped stopped)
{
    if (stopped == CFeedCollection::EStopped::FinishAdd)
        FinishAdd();
    else if (stopped == CFeedCollection::EStopped::FinishSearch)
        FinishSearch({});
}

void CFeedCollectDlg::OnWindowMessage(UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_NETWORK_LOST) {
        OnNetworkLost();
        return;
    }
    if (message != WM_DOWNLOAD_DONE)
        return;
    if (m_pCollection->OwnsAddDownload(lParam)) {
        if (m_pCollection->IsAddRunning())
            FinishAdd();
    } else if (m_pCollection->OwnsSearchDownload(lParam)) {
        if (const CFeedCollection::CSearchStep ended = m_pCollection->OnSearchDownloadDone())
            FinishSearch(*ended);
    }
}

void CFeedCollectDlg::OnProperties()
{
    const int row = m_pList->GetSelectedRow();
    const std::vector<CListedCandidate>& listed = m_pCollection->Listed();
    if (row < 0 || row >= static_cast<int>(listed.size()))
        return;
    CPropertiesDlg properties(this, CandidateProperties(*listed[row].outline));
    properties.DoModal();
}

void CFeedCollectDlg::OnCancelDialog()
{
    if (!Collected().empty()) {
        const QString question = ResFormat(IDS_FEEDS_TO_ADD, static_cast<int>(Collected().size()));
        if (ShowMessageBox(this, question, MB_YESNO | MB_ICONASTERISK) != IDYES)
            m_pCollection->DropCollected();
    }
    EndDialog(ID_CANCEL);
}
