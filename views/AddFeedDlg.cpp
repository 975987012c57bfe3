#include "views/AddFeedDlg.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "platform/Debug.h"
#include "update/FeedDiscovery.h"
#include "update/FeedFetch.h"
#include "views/DialogFonts.h"
#include "views/FeedChoiceDlg.h"
#include "views/ResText.h"
#include "views/SoftKeyBar.h"
#include "views/WaitCursor.h"

namespace {

// The name fetch and "Done" need more than the bare "http://".
constexpr int kShortestUrl = 7;

} // namespace

CAddFeedDlg::CAddFeedDlg(QWidget* host)
    : CFullScreenDialog(host, IDD_ADD_FEED),
      m_window(this, [this](UINT message, WPARAM wParam, LPARAM lParam) { OnWindowMessage(message, wParam, lParam); })
{
    m_pUrl = Controls().Get<QLineEdit>(IDC_URL_EDIT);
    m_pName = Controls().Get<QLineEdit>(IDC_NAME_EDIT);
    m_pFetchName = Controls().Get<QCheckBox>(IDC_FETCH_NAME);
    m_pAtRoot = Controls().Get<QCheckBox>(IDC_CREATE_AT_ROOT);
    SetControlFont(Controls().Control(IDC_URL_LABEL), 9, true);
    SetControlFont(m_pFetchName, 9, true);
    SetControlFont(m_pAtRoot, 9, true);
    SetControlFont(m_pUrl, 9, false);
    SetControlFont(m_pName, 9, false);
    ClientLayout()->addStretch(1);
    SetTitle(ResString(IDS_ENTER_FEED_URL));

    connect(m_pUrl, &QLineEdit::textChanged, this, [this] { UpdateEnabling(); });
    connect(m_pName, &QLineEdit::textChanged, this, [this] { UpdateEnabling(); });
    connect(m_pFetchName, &QCheckBox::toggled, this, [this](bool checked) {
        if (checked && !IsFetching())
            StartFetch(false);
    });
}

CAddFeedDlg::~CAddFeedDlg() = default;

bool CAddFeedDlg::IsFetching() const { return m_pFetch != nullptr && m_pFetch->IsRunning(); }

bool CAddFeedDlg::OnInitDialog()
{
    m_pFeed = std::make_unique<COutline>();
    m_strFilledFrom.clear();
    m_pUrl->setText(QStringLiteral("http://"));
    m_pName->setText(ResString(IDS_NEW_FEED));
    m_pFetchName->setChecked(false);
    m_pAtRoot->setChecked(false);
    UpdateEnabling();
    m_pUrl->setFocus(Qt::OtherFocusReason);
    m_pUrl->end(false);
    return true;
}

QString CAddFeedDlg::TrimmedUrl() const { return m_pUrl->text().trimmed(); }
QString CAddFeedDlg::TrimmedName() const { return m_pName->text().trimmed(); }

void CAddFeedDlg::UpdateEnabling()
{
    if (IsFetching())
        return;
    // "lwn.net" is an address too: https:// goes before it.
    const bool urlLongEnough = CompleteWebAddress(ToWide(TrimmedUrl())).size() > kShortestUrl;
    m_pFetchName->setEnabled(urlLongEnough);
    SoftKeys()->EnableCommand(ID_DONE, urlLongEnough && !TrimmedName().isEmpty());
}

void CAddFeedDlg::OnCommand(int id)
{
    if (id == ID_DONE) {
        if (!IsFetching() && SoftKeys()->IsKeyEnabled(CSoftKeyBar::kLeft))
            OnDone();
        return;
    }
    if (id == ID_CANCEL || id == IDCANCEL) {
        if (IsFetching())
            m_pFetch->Cancel();
        EndDialog(ID_CANCEL);
    }
}

void CAddFeedDlg::OnDone()
{
    m_bAtRoot = m_pAtRoot->isChecked();
    SoftKeys()->EnableCommand(ID_DONE, false);
    // A feed filled by the name fetch of this very address needs no second
    // download.
    if (m_pFeed != nullptr && m_pFeed->IsFeed() && m_strFilledFrom == TrimmedUrl()) {
        NameFeed();
        EndDialog(ID_DONE);
        return;
    }
    StartFetch(true);
}

void CAddFeedDlg::StartFetch(bool closeWhenDone)
{
    m_bCloseWhenDone = closeWhenDone;
    if (m_pFetch == nullptr)
        m_pFetch = std::make_unique<CFeedFetch>(m_window.Get());
    m_pWait = std::make_unique<CWaitCursor>();
    SoftKeys()->EnableCommand(ID_DONE, false);
    m_strFetching = TrimmedUrl();
    const std::vector<CViewMessage> refused = m_pFetch->Start(ToWide(m_strFetching), m_dwTimeout);
    if (!refused.empty()) {
        m_pWait.reset();
        ShowViewMessages(this, refused, MB_ICONHAND);
        EndFetch();
    }
}

void CAddFeedDlg::OnWindowMessage(UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_DOWNLOAD_DONE || m_pFetch == nullptr || !m_pFetch->OwnsDownload(lParam) ||
        !m_pFetch->IsRunning())
        return;
    CFeedFetch::COutcome outcome = m_pFetch->Finish();
    if (outcome.running)
        return; // the next place of the search is being fetched
    m_pWait.reset();
    if (!outcome.choices.empty()) {
        // A site's page that offers several feeds: the user picks one.
        const std::optional<size_t> chosen = ChooseAnnouncedFeed(this, outcome.choices);
        if (!IsRunning())
            return; // the dialog was ended meanwhile
        const std::vector<CViewMessage> refused = chosen ? m_pFetch->Choose(*chosen) : std::vector<CViewMessage>{};
        if (chosen && refused.empty()) {
            m_pWait = std::make_unique<CWaitCursor>();
            return;
        }
        ShowViewMessages(this, refused, MB_ICONHAND);
        EndFetch();
        return;
    }
    if (outcome.feed == nullptr) {
        ShowViewMessages(this, outcome.messages, MB_ICONHAND);
        EndFetch();
        return;
    }
    m_pFeed = std::move(outcome.feed);
    m_strFilledFrom = m_strFetching;
    if (m_bCloseWhenDone) {
        NameFeed();
        EndDialog(ID_DONE);
        return;
    }
    m_pName->setText(ToQString(m_pFeed->title));
    EndFetch();
}

void CAddFeedDlg::NameFeed()
{
    // A name left as it came ("New Feed") gives way to the channel's title.
    const QString name = TrimmedName();
    if (name == ResString(IDS_NEW_FEED))
        return;
    m_pFeed->title = ToWide(name);
    m_pFeed->text = m_pFeed->title;
}

void CAddFeedDlg::EndFetch()
{
    m_pWait.reset();
    {
        const QSignalBlocker quiet(m_pFetchName);
        m_pFetchName->setChecked(false);
    }
    UpdateEnabling();
}
