#include "views/FeedSearchDlg.h"

#include <QLineEdit>

#include "update/ConnectionManager.h"
#include "update/FeedSearch.h"
#include "update/UpdateRun.h"
#include "views/ResText.h"

namespace {

constexpr int kKeywordLimit = 20;

} // namespace

CFeedSearchDlg::CFeedSearchDlg(QWidget* host) : CFeedCollectDlg(host, IDS_ONLINE_SEARCH, IDS_ENTER_KEYWORD)
{
    Edit()->setMaxLength(kKeywordLimit);
}

CFeedSearchDlg::~CFeedSearchDlg() = default;

void CFeedSearchDlg::StartSearch(const QString& text)
{
    if (!CConnectionManager::Instance().Connect(kConnectionProbeUrl)) {
        FinishSearch({}, {{IDS_UNABLE_TO_CONNECT, {}, MB_ICONHAND | MB_TOPMOST}});
        return;
    }
    const std::wstring path = m_strKeywordFile.empty() ? GetKeywordFilePath() : m_strKeywordFile;
    m_pWalk = std::make_unique<CSearchCandidateWalk>(path, ToWide(text));
    WalkOnLater();
}

// One candidate a turn of the event loop: between candidates the window
// handles its input and messages, so Cancel and the loss of the network are
// seen during a long walk.
void CFeedSearchDlg::WalkOnLater()
{
    QMetaObject::invokeMethod(this, [this] { WalkOn(); }, Qt::QueuedConnection);
}

void CFeedSearchDlg::WalkOn()
{
    if (m_pWalk == nullptr)
        return;
    if (!IsStopped() && !IsDisconnected() && m_pWalk->Step()) {
        WalkOnLater();
        return;
    }
    const COutlineList candidates = m_pWalk->TakeCandidates();
    m_pWalk.reset();
    FinishSearch(candidates, {});
}

bool CFeedSearchDlg::StopSearch()
{
    // The walk sees the flag at its next candidate and ends the search.
    return m_pWalk != nullptr;
}
