#include "update/FeedFetch.h"

#include <unistd.h>

#include <atomic>

#include "content/FeedParser.h"
#include "content/TextUtil.h"
#include "platform/FileSystem.h"
#include "store/FeedDatabase.h"
#include "update/ConnectionManager.h"
#include "update/Setting.h"

namespace {

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix)
{
    const std::wstring start(prefix);
    return text.size() >= start.size() && EqualsNoCase(text.substr(0, start.size()), start);
}

} // namespace

std::wstring MakePrivateDownloadPath(const wchar_t* tag)
{
    static std::atomic<unsigned> s_next{1};
    return CSetting::Instance().GetDataFilePath(L"temp-" + std::to_wstring(::getpid()) + L"-" + tag +
                                                std::to_wstring(s_next++) + L".xml");
}

bool IsWebUrl(const std::wstring& url)
{
    // Anything else ("file:", "ftp:", "javascript:") is refused before it is
    // fetched: a feed address names a web document.
    return StartsWithNoCase(url, L"http://") || StartsWithNoCase(url, L"https://");
}

CFeedFetch::CFeedFetch(HWND notifyWindow) : m_hNotify(notifyWindow) {}

CFeedFetch::~CFeedFetch()
{
    m_download.Reset();
    if (!m_strPath.empty())
        DeleteFile(m_strPath);
}

std::vector<CViewMessage> CFeedFetch::Start(const std::wstring& typedUrl, DWORD timeoutMs)
{
    if (m_bRunning)
        return {};
    m_strTypedUrl = Trim(typedUrl);
    m_bCancelled = false;
    const CViewMessage unsupported{IDS_UNSUPPORTED_URL, {m_strTypedUrl}, MB_ICONHAND};
    if (!IsWebUrl(m_strTypedUrl))
        return {unsupported};
    const std::wstring url = CHttpDownload::NormalizeUrl(m_strTypedUrl);
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    if (feeds.FindFeedByUrl(m_strTypedUrl) || feeds.FindFeedByUrl(url))
        return {{IDS_FEED_EXISTS, {}, MB_ICONHAND}};
    CConnectionManager& connection = CConnectionManager::Instance();
    if (!connection.Connect(url))
        return {{IDS_UNABLE_TO_CONNECT, {}, MB_ICONHAND}, {IDS_DISCONNECTED, {}, MB_ICONHAND | MB_TOPMOST}};
    m_download.Reset();
    if (m_strPath.empty())
        m_strPath = MakePrivateDownloadPath(L"f");
    CreateFolderPath(SplitPath(m_strPath).folder);
    DeleteFile(m_strPath);
    m_download.SetConnection(connection.GetConnection());
    m_download.SetNotifyWindow(m_hNotify);
    m_download.SetSizeLimit(kFeedSizeLimit);
    if (!m_download.Start(url, m_strPath, timeoutMs))
        return {unsupported};
    m_bRunning = true;
    return {};
}

CFeedFetch::COutcome CFeedFetch::Finish()
{
    COutcome outcome;
    if (!m_bRunning)
        return outcome;
    WaitForSingleObject(m_download.GetEndEvent(), INFINITE);
    m_bRunning = false;
    const bool downloaded = m_download.Succeeded();
    m_download.Reset();
    if (m_bCancelled)
        return outcome;
    const auto channel = downloaded ? ParseFeedFile(m_strPath, 0, CHttpDownload::NormalizeUrl(m_strTypedUrl)) : nullptr;
    DeleteFile(m_strPath);
    if (!channel) {
        outcome.messages.push_back({IDS_UNSUPPORTED_URL, {m_strTypedUrl}, MB_ICONHAND});
        return outcome;
    }
    auto feed = std::make_unique<COutline>();
    feed->title = channel->title;
    feed->text = channel->title;
    feed->xmlUrl = m_strTypedUrl;
    feed->htmlUrl = channel->link;
    feed->description = channel->description;
    feed->type = L"rss";
    feed->version = L"RSS";
    feed->kind = OutlineKindFeed;
    outcome.feed = std::move(feed);
    return outcome;
}

void CFeedFetch::Cancel()
{
    if (!m_bRunning)
        return;
    m_bCancelled = true;
    m_download.Abort(kDownloadCancelled);
}
