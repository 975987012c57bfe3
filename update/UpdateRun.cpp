#include "update/UpdateRun.h"

#include <cmath>
#include <system_error>

#include "content/FeedParser.h"
#include "content/TextUtil.h"
#include "platform/Debug.h"
#include "platform/FileSystem.h"
#include "resources/ResourceModule.h"
#include "store/DataStorage.h"
#include "store/FeedDatabase.h"
#include "update/ConnectionManager.h"
#include "update/FeedManager.h"
#include "update/FeedMerge.h"
#include "update/Setting.h"

namespace {

// From the worker to the dialog.
constexpr UINT WM_RUN_STATUS = WM_USER + 20;         // the next pending status text
constexpr UINT WM_RUN_PROGRESS = WM_USER + 21;       // wParam = bar position
constexpr UINT WM_RUN_PROGRESS_RESET = WM_USER + 22; // range 0 to 100, position 0
constexpr UINT WM_RUN_MESSAGE_BOX = WM_USER + 23;    // sent: show the worker's message box

constexpr int kProgressEnd = 100;

} // namespace

std::wstring FormatUpdateResult(bool allUpdated, int updatedFeeds, int totalFeeds, int totalNewPages)
{
    return FormatText(LoadResString(allUpdated ? IDS_FEEDS_UPDATED : IDS_UPDATE_STOPPED).c_str(), updatedFeeds,
                      totalFeeds, totalNewPages);
}

CUpdateRun::CUpdateRun(IUpdateRunView& view, std::vector<COutline*> feeds, bool automatic, bool updateAll)
    : m_view(view), m_feeds(std::move(feeds)), m_bAutomatic(automatic), m_bUpdateAll(updateAll)
{
    m_hWnd = CreateMessageWindow(
        [this](HWND, UINT message, WPARAM wParam, LPARAM lParam) { return OnMessage(message, wParam, lParam); });
    m_download.SetSizeLimit(kFeedSizeLimit);
}

CUpdateRun::~CUpdateRun()
{
    {
        std::lock_guard guard(m_lock);
        m_bRunning = false;
        m_bStopped = true;
        m_download.Abort(kDownloadCancelled);
    }
    DestroyWindow(m_hWnd); // a worker waiting on a sent message is let go
    if (m_worker.joinable())
        m_worker.join();
    m_download.Reset();
}

// ---- The dialog's side -----------------------------------------------------

bool CUpdateRun::Start()
{
    m_view.SetStatusText(LoadResString(IDS_CONNECTING));
    m_view.EnableSoftKeys(false, true);
    CConnectionManager& connection = CConnectionManager::Instance();
    if (!connection.Connect(kConnectionProbeUrl)) {
        m_bDisconnected = true;
        m_view.SetStatusText(LoadResString(IDS_CONNECTION_FAILED));
        // The next automatic run waits a full interval.
        if (m_bAutomatic)
            CSetting::Instance().SetLastUpdatedNow();
        m_view.ShowErrorBox(LoadResString(IDS_UNABLE_TO_CONNECT), false);
        EndDialog(IDCANCEL);
        return false;
    }
    m_view.SetStatusText(LoadResString(IDS_CONNECTION_SUCCESSFUL));
    m_bDisconnected = false;
    m_download.SetNotifyWindow(m_hWnd);
    if (!m_worker.joinable()) {
        try {
            m_worker = std::thread(&CUpdateRun::UpdateFeeds, this);
        } catch (const std::system_error&) {
            EndDialog(ID_CANCEL_UPDATE);
            return false;
        }
    }
    return true;
}

void CUpdateRun::Cancel()
{
    if (m_bStopped)
        return;
    m_bWaitCursor = true;
    m_view.ShowWaitCursor(true);
    m_view.EnableSoftKeys(false, false);
    std::lock_guard guard(m_lock);
    m_bRunning = false;
    m_bStopped = true;
    m_download.Abort(kDownloadCancelled);
}

void CUpdateRun::OnNetworkLost()
{
    std::lock_guard guard(m_lock);
    if (m_bDisconnected || !m_download.IsBusy())
        return;
    m_view.EnableSoftKeys(false, false);
    m_bDisconnected = true;
    m_bRunning = false;
    m_download.Abort(kDownloadCancelled);
}

void CUpdateRun::EndDialog(int result)
{
    if (m_nResult != 0)
        return;
    m_nResult = result;
    m_view.EndDialog(result);
}

LRESULT CUpdateRun::OnMessage(UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_RUN_STATUS: {
        std::wstring text;
        {
            std::lock_guard guard(m_textLock);
            if (m_pendingTexts.empty())
                break;
            text = std::move(m_pendingTexts.front());
            m_pendingTexts.pop_front();
        }
        m_view.SetStatusText(text);
        break;
    }
    case WM_RUN_PROGRESS_RESET:
        m_view.SetProgressRange(0, kProgressEnd);
        m_nProgressPos = 0;
        m_view.SetProgressPos(0);
        break;
    case WM_RUN_PROGRESS:
        m_nProgressPos = static_cast<int>(wParam);
        m_view.SetProgressPos(m_nProgressPos);
        break;
    case WM_RUN_MESSAGE_BOX:
        m_view.ShowErrorBox(m_strMessageBox, false);
        break;
    case WM_DOWNLOAD_PROGRESS:
        OnDownloadProgress();
        break;
    case WM_UPDATE_DONE:
        OnUpdateDone();
        break;
    case WM_NETWORK_LOST:
        OnNetworkLost();
        break;
    case WM_COMMAND:
        if (wParam == ID_DONE)
            EndDialog(ID_DONE);
        else if (wParam == ID_CANCEL_UPDATE)
            Cancel();
        break;
    default:
        break;
    }
    return 0;
}

// Each block received moves the bar one step, up to the share of the feed
// being fetched.
void CUpdateRun::OnDownloadProgress()
{
    const int target = static_cast<int>((m_nUpdatedFeeds + m_nFailedFeeds + 1) * m_dProgressStep.load());
    m_nProgressPos = m_nProgressPos < target ? m_nProgressPos + 1 : target;
    m_view.SetProgressPos(m_nProgressPos);
}

void CUpdateRun::OnUpdateDone()
{
    m_view.SetProgressPos(kProgressEnd);
    // Later rules override earlier ones.
    bool allUpdated = m_nUpdatedFeeds == m_nTotalFeeds;
    if (m_bUpdateAll)
        allUpdated = true;
    if (m_bStopped)
        allUpdated = false;
    if (m_bDisconnected)
        allUpdated = true;
    m_view.SetStatusText(FormatUpdateResult(allUpdated, m_nUpdatedFeeds, m_nTotalFeeds, m_nTotalNewPages));
    m_bFinished = true;
    if (m_bWaitCursor) {
        m_bWaitCursor = false;
        m_view.ShowWaitCursor(false);
    }
    if (m_bDisconnected)
        m_view.ShowErrorBox(LoadResString(IDS_DISCONNECTED), true);
    if (m_bAutomatic)
        PostMessage(m_hWnd, WM_COMMAND, ID_DONE, 0);
    else
        m_view.EnableSoftKeys(true, false);
}

// ---- The worker ----------------------------------------------------------------

void CUpdateRun::PostStatus(const std::wstring& text)
{
    {
        std::lock_guard guard(m_textLock);
        m_pendingTexts.push_back(text);
    }
    PostMessage(m_hWnd, WM_RUN_STATUS, 0, 0);
}

void CUpdateRun::PostProgress(double position)
{
    PostMessage(m_hWnd, WM_RUN_PROGRESS, static_cast<WPARAM>(std::max(0.0, position)), 0);
}

int CUpdateRun::CountFeeds(const COutline& outline) const
{
    int count = outline.IsFeed() ? 1 : 0;
    for (const auto& child : outline.children) {
        if (!m_bRunning)
            break;
        count += CountFeeds(*child);
    }
    return count;
}

void CUpdateRun::UpdateFeeds()
{
    if (m_bAutomatic)
        CSetting::Instance().SetLastUpdatedNow();
    PostStatus(LoadResString(IDS_CONNECTING));
    m_nUpdatedFeeds = 0;
    int total = 0;
    for (const COutline* outline : m_feeds) {
        if (!m_bRunning)
            break;
        total += CountFeeds(*outline);
    }
    m_nTotalFeeds = total;
    PostMessage(m_hWnd, WM_RUN_PROGRESS_RESET, 0, 0);
    // A list without feeds has no shares to hand out.
    m_dProgressStep = total > 0 ? double(kProgressEnd) / total : double(kProgressEnd);
    m_nTotalNewPages = 0;
    m_nFailedFeeds = 0;
    UpdateOutlines(m_feeds);
    PostMessage(m_hWnd, WM_UPDATE_DONE, 0, 0);
}

void CUpdateRun::UpdateOutlines(const std::vector<COutline*>& outlines)
{
    for (COutline* outline : outlines) {
        if (outline->IsFeed())
            UpdateFeed(*outline);
        std::this_thread::yield();
        if (!m_bRunning)
            return;
        if (!outline->children.empty()) {
            std::vector<COutline*> children;
            for (const auto& child : outline->children)
                children.push_back(child.get());
            UpdateOutlines(children);
            if (!m_bRunning)
                return;
        }
    }
}

// The download object is shared with the dialog's Cancel and network-lost
// handling: it is set up and started under the lock.
bool CUpdateRun::DownloadFeed(const std::wstring& url, const std::wstring& path, HCONNECTION connection)
{
    CreateFolderPath(SplitPath(path).folder);
    {
        std::lock_guard guard(m_lock);
        m_download.SetConnection(connection);
        if (!m_bRunning || !m_download.Start(url, path, m_dwFeedTimeout))
            return false;
    }
    WaitForSingleObject(m_download.GetEndEvent(), INFINITE);
    return m_download.Succeeded();
}

void CUpdateRun::UpdateFeed(COutline& outline)
{
    if (!m_bRunning || m_bStopped || !outline.IsFeed())
        return;
    const std::wstring& name = DisplayNameOf(outline);
    const int done = m_nUpdatedFeeds + m_nFailedFeeds;
    PostStatus(FormatText(LoadResString(IDS_FEED_UPDATING).c_str(), done + 1, m_nTotalFeeds.load(), name.c_str()));
    if (!m_bDisconnected && !m_bStopped)
        PostProgress(std::floor(done * m_dProgressStep));

    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    FeedRecord record;
    const CEOID feedOid = feeds.FindFeedByUrl(outline.xmlUrl);
    const bool haveRecord = feedOid && feeds.ReadFeed(record, feedOid);
    std::unique_ptr<CRssChannel> channel;
    int newPages = 0;
    std::wstring path;
    if (haveRecord) {
        record.updateCounter = 0;
        CConnectionManager& connection = CConnectionManager::Instance();
        if (!connection.Connect(outline.xmlUrl)) {
            m_bDisconnected = true;
        } else {
            m_bDisconnected = false;
            path = CSetting::Instance().GetDataFilePath(kDownloadFileName);
            if (DownloadFeed(outline.xmlUrl, path, connection.GetConnection())) {
                channel = ParseFeedFile(path);
                if (channel)
                    newPages = MergeChannelPages(*channel, record.feedId);
            } else {
                outline.status = kOutlineStatusFailed;
            }
        }
    }
    {
        std::lock_guard guard(m_lock);
        m_download.Reset();
        m_download.SetSizeLimit(kFeedSizeLimit);
    }
    // The clean-up runs for every feed, updated or not.
    const CFeedMergeResult result = FinishFeedUpdate(outline, record, channel.get(), newPages);
    if (channel) {
        ++m_nUpdatedFeeds;
        m_nTotalNewPages += result.newPages;
    } else {
        ++m_nFailedFeeds;
        // A feed cut off by a lost network is not the URL's fault: the
        // disconnected box follows instead.
        if (!m_bUpdateAll && !m_bAutomatic && !m_bStopped && !m_bDisconnected && m_nTotalFeeds == 1) {
            m_strMessageBox = FormatText(LoadResString(IDS_UNSUPPORTED_URL).c_str(), outline.xmlUrl.c_str());
            SendMessage(m_hWnd, WM_RUN_MESSAGE_BOX, 0, 0);
        }
    }
    if (!path.empty())
        DeleteFile(path);
}
