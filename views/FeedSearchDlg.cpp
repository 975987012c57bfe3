#include "views/FeedSearchDlg.h"

#include <QCoreApplication>
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

void CFeedSearchDlg::StartSearch(const QString& text)
{
    if (!CConnectionManager::Instance().Connect(kConnectionProbeUrl)) {
        FinishSearch({}, {{IDS_UNABLE_TO_CONNECT, {}, MB_ICONHAND | MB_TOPMOST}});
        return;
    }
    const std::wstring path = m_strKeywordFile.empty() ? GetKeywordFilePath() : m_strKeywordFile;
    m_bWalking = true;
    // Between candidates the window's messages and events are handled, so
    // that Cancel and the loss of the network are seen during a long walk.
    const COutlineList candidates = LoadSearchCandidates(path, ToWide(text), [this] {
        DispatchPendingMessages();
        QCoreApplication::processEvents();
        return !IsStopped() && !IsDisconnected();
    });
    m_bWalking = false;
    FinishSearch(candidates, {});
}

bool CFeedSearchDlg::StopSearch()
{
    // The walk sees the flag at its next candidate and ends the search.
    return m_bWalking;
}
