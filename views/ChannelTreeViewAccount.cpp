// The tree's commands inside the sync account's folder: the server is
// asked on a worker while the GUI thread goes on serving its events (the
// tree locked and the wait cursor up), and the folder follows its answer.
#include <QEventLoop>
#include <QMetaObject>
#include <thread>

#include "views/ChannelTreeView.h"
#include "views/ChannelTreeViewCtrl.h"
#include "views/WaitCursor.h"

namespace {

// Runs work on a worker and waits for it in an event loop of the GUI
// thread; the worker hands back a value.
template <typename T, typename Work>
T AwayFromTheGuiThread(Work work)
{
    QEventLoop loop;
    T result{};
    std::thread worker([&] {
        T value = work();
        QMetaObject::invokeMethod(
            &loop,
            [&, value = std::move(value)]() mutable {
                result = std::move(value);
                loop.quit();
            },
            Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    return result;
}

} // namespace

bool CChannelTreeView::InAccountFolder(bool atRoot) const
{
    return !atRoot && m_session.IsInAccountFolder(Selected());
}

void CChannelTreeView::SubscribeInAccount(const std::vector<std::wstring>& urls, bool import)
{
    const std::optional<CSyncAccount> account = LoadSyncAccount();
    if (!account || !m_session.UpdateLock())
        return;
    std::vector<CSubscribeOutcome> outcomes;
    {
        CWaitCursor wait;
        outcomes = AwayFromTheGuiThread<std::vector<CSubscribeOutcome>>(
            [account = *account, urls, category = m_session.AccountCategoryOf(Selected())] {
                return SubscribeOnServer(account, urls, category);
            });
    }
    m_session.UpdateUnlock();
    const CTreeChange change = m_session.AddAccountFeeds(outcomes, import);
    ApplyChange(change);
    RefreshAll();
    ShowMessages(change.messages);
    UpdateSoftKeys();
    m_pTree->setFocus(Qt::OtherFocusReason);
}

void CChannelTreeView::DeleteInAccount(COutline* feed)
{
    const std::optional<CSyncAccount> account = LoadSyncAccount();
    if (!account || !m_session.UpdateLock())
        return;
    CSyncError error;
    {
        CWaitCursor wait;
        error = AwayFromTheGuiThread<CSyncError>(
            [account = *account, feedId = m_session.AccountFeedIdOf(*feed)] { return UnsubscribeOnServer(account, feedId); });
    }
    m_session.UpdateUnlock();
    if (error) {
        ShowMessages({UnsubscribeFailedMessage(error)});
        return;
    }
    const CTreeChange change = m_session.RemoveAccountFeed(feed);
    ApplyChange(change);
    RefreshAll();
    ShowMessages(change.messages);
    UpdateSoftKeys();
}
