#include "views/UpdateFeedsDlg.h"

#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "app/MessageBox.h"
#include "views/ResText.h"
#include "views/SoftKeyBar.h"
#include "views/WaitCursor.h"

namespace {

constexpr int kMargin = 5;
constexpr int kStatusPointSize = 10;

} // namespace

CUpdateFeedsDlg::CUpdateFeedsDlg(QWidget* host, std::vector<COutline*> feeds, bool automatic, bool updateAll)
    : CFullScreenDialog(host, IDD_UPDATE)
{
    m_pProgress = Controls().Get<QProgressBar>(IDC_UPDATE_PROGRESS);
    m_pStatus = Controls().Get<QLabel>(IDC_UPDATE_STATUS);
    // The bar keeps its height across the top; the text takes the rest,
    // both 5 pixels in from the client's edges.
    ClientLayout()->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    ClientLayout()->setSpacing(kMargin);
    m_pProgress->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_pStatus->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_pStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont statusFont = m_pStatus->font();
    statusFont.setPointSize(kStatusPointSize);
    statusFont.setWeight(QFont::Normal);
    m_pStatus->setFont(statusFont);
    ClientLayout()->setStretchFactor(m_pStatus, 1);
    m_pRun = std::make_unique<CUpdateRun>(*this, std::move(feeds), automatic, updateAll);
}

CUpdateFeedsDlg::~CUpdateFeedsDlg()
{
    // The worker reports to this dialog until it has been joined.
    m_pRun.reset();
    m_pWaitCursor.reset();
}

bool CUpdateFeedsDlg::OnInitDialog()
{
    SetStatusText(LoadResString(IDS_CONNECTING));
    EnableSoftKeys(false, true);
    // The connection attempt and its message box come once the dialog is on
    // screen and its loop runs.
    QMetaObject::invokeMethod(this, &CUpdateFeedsDlg::StartRun, Qt::QueuedConnection);
    return true;
}

void CUpdateFeedsDlg::StartRun()
{
    if (IsRunning())
        m_pRun->Start();
}

void CUpdateFeedsDlg::OnCommand(int id)
{
    if (id != ID_DONE && id != ID_CANCEL)
        return;
    if (m_nBoxDepth > 0) {
        m_deferred.push_back({false, id});
        return;
    }
    if (id == ID_DONE) {
        if (m_pRun->IsFinished())
            EndDialog(ID_DONE);
        return;
    }
    // Cancel stops the run; once the end text shows, the Back key (the only
    // way a Cancel gets here then) closes the dialog.
    if (m_pRun->IsFinished())
        EndDialog(ID_CANCEL);
    else
        m_pRun->Cancel();
}

bool CUpdateFeedsDlg::event(QEvent* event)
{
    if (event->type() == static_cast<QEvent::Type>(kNetworkLostEvent)) {
        m_pRun->OnNetworkLost();
        return true;
    }
    return CFullScreenDialog::event(event);
}

void CUpdateFeedsDlg::keyPressEvent(QKeyEvent* event)
{
    // Keys do nothing here; the soft keys and Back are handled before.
    event->accept();
}

// ---- What the run shows ----------------------------------------------------------

void CUpdateFeedsDlg::SetStatusText(const std::wstring& text) { m_pStatus->setText(ToQString(text)); }

void CUpdateFeedsDlg::SetProgressRange(int low, int high) { m_pProgress->setRange(low, high); }

void CUpdateFeedsDlg::SetProgressPos(int position) { m_pProgress->setValue(position); }

void CUpdateFeedsDlg::EnableSoftKeys(bool done, bool cancel)
{
    SoftKeys()->EnableKey(CSoftKeyBar::kLeft, done);
    SoftKeys()->EnableKey(CSoftKeyBar::kRight, cancel);
}

void CUpdateFeedsDlg::ShowWaitCursor(bool shown)
{
    if (shown && !m_pWaitCursor)
        m_pWaitCursor = std::make_unique<CWaitCursor>();
    else if (!shown)
        m_pWaitCursor.reset();
}

void CUpdateFeedsDlg::ShowErrorBox(const std::wstring& text, bool foreground)
{
    ++m_nBoxDepth;
    ShowMessageBox(this, ToQString(text), MB_OK | MB_ICONHAND | (foreground ? MB_TOPMOST : 0));
    --m_nBoxDepth;
    // What came while the box was open runs after its caller has finished.
    if (m_nBoxDepth == 0 && !m_deferred.empty())
        QMetaObject::invokeMethod(this, &CUpdateFeedsDlg::ReplayDeferred, Qt::QueuedConnection);
}

void CUpdateFeedsDlg::ReplayDeferred()
{
    while (!m_deferred.empty() && m_nBoxDepth == 0) {
        const CDeferred next = m_deferred.front();
        m_deferred.pop_front();
        if (next.bEnd)
            EndDialog(next.nValue);
        else
            OnCommand(next.nValue);
    }
}

void CUpdateFeedsDlg::EndDialog(int result)
{
    if (m_nBoxDepth > 0) {
        m_deferred.push_back({true, result});
        return;
    }
    CFullScreenDialog::EndDialog(result);
}

void CUpdateFeedsDlg::OnFeedResult(const CFeedUpdateResult& result)
{
    if (m_feedResultHandler)
        m_feedResultHandler(result);
}
