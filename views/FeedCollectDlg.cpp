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

namespace {

constexpr int kShortestText = 2;

} // namespace

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
    m_listed.clear();
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

bool CFeedCollectDlg::IsCollected(const std::wstring& url) const
{
    return std::any_of(m_collected.begin(), m_collected.end(),
                       [&](const std::unique_ptr<COutline>& feed) { return feed->xmlUrl == url; });
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
        SoftKeys()->EnableCommand(ID_SEARCH, m_pEdit->text().trimmed().size() >= kShortestText);
}

void CFeedCollectDlg::BeginBusy(EActivity activity)
{
    m_eActivity = activity;
    m_bStopped = false;
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
    m_eActivity = EActivity::Idle;
    m_bDisconnected = false;
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
        if (!IsBusy() && m_pEdit->text().trimmed().size() >= kShortestText)
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
    BeginBusy(EActivity::Searching);
    m_pList->DeleteAllItems();
    m_listed.clear();
    StartSearch(m_pEdit->text().trimmed());
}

void CFeedCollectDlg::FinishSearch(const COutlineList& candidates, std::vector<CViewMessage> messages)
{
    m_pList->DeleteAllItems();
    m_listed.clear();
    if (!m_bStopped && !m_bDisconnected) {
        m_listed = ListCandidates(candidates, [this](const std::wstring& url) { return IsCollected(url); });
        for (size_t i = 0; i < m_listed.size(); ++i)
            m_pList->InsertItem(static_cast<int>(i), ToQString(m_listed[i].outline->DisplayName()), m_listed[i].image,
                                i);
    }
    m_pWait.reset();
    if (m_listed.empty() && messages.empty() && !m_bStopped && !m_bDisconnected)
        messages.push_back({IDS_NO_MATCHES, {}, NoMatchesIcon() | MB_TOPMOST});
    if (m_bDisconnected)
        messages.push_back({IDS_DISCONNECTED, {}, MB_ICONHAND | MB_TOPMOST});
    m_bResultsMode = !m_listed.empty();
    ShowViewMessages(this, messages);
    EndBusy();
    if (!m_listed.empty())
        m_pList->SelectRow(0);
}

void CFeedCollectDlg::OnAdd()
{
    const int row = m_pList->GetSelectedRow();
    BeginBusy(EActivity::Adding);
    if (row < 0 || row >= static_cast<int>(m_listed.size())) {
        m_pWait.reset();
        ShowViewMessage(this, {IDS_FEED_URL_INVALID, {}, MB_ICONHAND | MB_TOPMOST});
        EndBusy();
        return;
    }
    m_nAddRow = row;
    if (m_pFetch == nullptr)
        m_pFetch = std::make_unique<CCandidateFetch>(m_window.Get());
    const CCandidateFetch::CRefusal refusal = m_pFetch->Start(
        *m_listed[row].outline, [this](const std::wstring& url) { return IsCollected(url); }, m_dwAddTimeout);
    if (!refusal.messages.empty()) {
        m_pWait.reset();
        ShowViewMessages(this, refusal.messages);
        EndBusy();
    }
}

void CFeedCollectDlg::FinishAdd()
{
    CCandidateFetch::COutcome outcome = m_pFetch->Finish();
    if (outcome.running)
        return; // the next place of the search is being fetched
    m_pWait.reset();
    if (!outcome.choices.empty() && !m_bDisconnected && !m_bStopped) {
        // The candidate is a site's page that offers several feeds.
        const std::optional<size_t> chosen = ChooseAnnouncedFeed(this, outcome.choices);
        if (!IsBusy())
            return; // ended meanwhile (the network went away, the dialog closed)
        std::vector<CViewMessage> refused = chosen ? m_pFetch->Choose(*chosen) : std::vector<CViewMessage>{};
        if (chosen && refused.empty()) {
            m_pWait = std::make_unique<CWaitCursor>();
            return;
        }
        outcome.cancelled = !chosen;
        outcome.messages = std::move(refused);
    }
    std::vector<CViewMessage> messages;
    if (m_nAddRow >= 0 && m_nAddRow < static_cast<int>(m_listed.size()) && !m_bDisconnected && !m_bStopped) {
        CListedCandidate& row = m_listed[m_nAddRow];
        if (outcome.added) {
            row.image = kCandidateImageAdded;
            m_collected.push_back(std::make_unique<COutline>(*row.outline));
            // A site's address stands for the feed found behind it.
            m_collected.back()->xmlUrl = outcome.feedUrl;
        } else if (!outcome.cancelled) {
            row.image = kCandidateImageFailed;
            row.outline->status = kOutlineStatusFailed;
        }
        m_pList->SetItemImage(m_nAddRow, row.image);
        messages = outcome.messages;
    }
    if (m_bDisconnected)
        messages.push_back({IDS_DISCONNECTED, {}, MB_ICONHAND | MB_TOPMOST});
    ShowViewMessages(this, messages);
    m_nAddRow = -1;
    EndBusy();
}

void CFeedCollectDlg::OnStop()
{
    if (!IsBusy() || m_bStopped)
        return;
    m_bStopped = true;
    SoftKeys()->EnableKey(CSoftKeyBar::kLeft, false);
    SoftKeys()->EnableKey(CSoftKeyBar::kRight, false);
    if (m_eActivity == EActivity::Adding) {
        if (m_pFetch != nullptr && m_pFetch->IsRunning())
            m_pFetch->Cancel(); // its WM_DOWNLOAD_DONE finishes the add
        else
            FinishAdd();
        return;
    }
    if (!StopSearch())
        FinishSearch({}, {});
}

void CFeedCollectDlg::OnNetworkLost()
{
    if (m_bDisconnected || !IsBusy())
        return;
    SoftKeys()->EnableKey(CSoftKeyBar::kLeft, false);
    SoftKeys()->EnableKey(CSoftKeyBar::kRight, false);
    m_bDisconnected = true;
    if (m_eActivity == EActivity::Adding) {
        if (m_pFetch != nullptr && m_pFetch->IsRunning())
            m_pFetch->Cancel();
        else
            FinishAdd();
        return;
    }
    if (!StopSearch())
        FinishSearch({}, {});
}

void CFeedCollectDlg::OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NETWORK_LOST) {
        OnNetworkLost();
        return;
    }
    if (message == WM_DOWNLOAD_DONE && m_pFetch != nullptr && m_pFetch->OwnsDownload(lParam)) {
        if (m_eActivity == EActivity::Adding && m_pFetch->IsRunning())
            FinishAdd();
        return;
    }
    OnSearchMessage(message, wParam, lParam);
}

void CFeedCollectDlg::OnSearchMessage(UINT, WPARAM, LPARAM) {}

void CFeedCollectDlg::OnProperties()
{
    const int row = m_pList->GetSelectedRow();
    if (row < 0 || row >= static_cast<int>(m_listed.size()))
        return;
    CPropertiesDlg properties(this, CandidateProperties(*m_listed[row].outline));
    properties.DoModal();
}

void CFeedCollectDlg::OnCancelDialog()
{
    if (!m_collected.empty()) {
        const QString question = ResFormat(IDS_FEEDS_TO_ADD, static_cast<int>(m_collected.size()));
        if (ShowMessageBox(this, question, MB_YESNO | MB_ICONASTERISK) != IDYES)
            m_collected.clear();
    }
    EndDialog(ID_CANCEL);
}
