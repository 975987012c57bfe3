#include "update/CandidateFetch.h"

#include <algorithm>

#include "content/FeedParser.h"
#include "platform/FileSystem.h"
#include "store/FeedDatabase.h"
#include "update/ConnectionManager.h"
#include "update/FeedFetch.h"
#include "update/Setting.h"

namespace {

void ListInto(const COutlineList& candidates, const std::function<bool(const std::wstring&)>& isCollected,
              std::vector<CListedCandidate>& listed)
{
    for (const auto& candidate : candidates) {
        if (candidate->IsFeed() && candidate->xmlUrl.size() >= 8) {
            const std::wstring& url = candidate->xmlUrl;
            int image = kCandidateImageNew;
            if (isCollected && isCollected(url)) {
                image = kCandidateImageAdded;
            } else {
                const bool listedAlready = std::any_of(listed.begin(), listed.end(), [&](const CListedCandidate& row) {
                    return row.outline->xmlUrl == url;
                });
                if (listedAlready || CZelviaRssDB::Instance().FindFeedByUrl(url))
                    continue;
            }
            listed.push_back({std::make_unique<COutline>(*candidate), image});
        }
        ListInto(candidate->children, isCollected, listed);
    }
}

} // namespace

std::vector<CListedCandidate> ListCandidates(const COutlineList& candidates,
                                             const std::function<bool(const std::wstring&)>& isCollected)
{
    std::vector<CListedCandidate> listed;
    ListInto(candidates, isCollected, listed);
    return listed;
}

std::vector<CPropertyRow> CandidateProperties(const COutline& candidate)
{
    std::wstring title = candidate.DisplayName();
    std::wstring description = candidate.description;
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    FeedRecord record;
    if (const CEOID oid = feeds.FindFeedByUrl(candidate.xmlUrl); oid && feeds.ReadFeed(record, oid)) {
        if (!record.title.empty())
            title = record.title;
        if (!record.description.empty())
            description = record.description;
    }
    return {{IDS_FEED_TITLE, title},
            {IDS_FEED_URL, candidate.xmlUrl},
            {IDS_HOME_PAGE_URL, candidate.htmlUrl},
            {IDS_DESCRIPTION, description}};
}

CCandidateFetch::CCandidateFetch(HWND notifyWindow) : m_hNotify(notifyWindow) {}

CCandidateFetch::~CCandidateFetch()
{
    m_download.Reset();
    if (!m_strPath.empty())
        DeleteFile(m_strPath);
}

CCandidateFetch::CRefusal CCandidateFetch::Start(const COutline& candidate,
                                                 const std::function<bool(const std::wstring&)>& isCollected,
                                                 DWORD timeoutMs)
{
    CRefusal refusal;
    if (m_bRunning)
        return refusal;
    m_strUrl = candidate.xmlUrl;
    m_strName = candidate.DisplayName();
    m_bCancelled = false;
    const CViewMessage unsupported{IDS_UNSUPPORTED_URL, {m_strUrl}, MB_ICONHAND | MB_TOPMOST};
    // A document found elsewhere may name any scheme: only web addresses
    // are fetched.
    if (!IsWebUrl(m_strUrl)) {
        refusal.messages.push_back(unsupported);
        return refusal;
    }
    CConnectionManager& connection = CConnectionManager::Instance();
    if (!connection.Connect(m_strUrl)) {
        refusal.noConnection = true;
        refusal.messages.push_back({IDS_UNABLE_TO_CONNECT, {}, MB_ICONHAND | MB_TOPMOST});
        return refusal;
    }
    if (CZelviaRssDB::Instance().FindFeedByUrl(m_strUrl) || (isCollected && isCollected(m_strUrl))) {
        refusal.messages.push_back({IDS_FEED_EXISTS, {}, MB_ICONHAND | MB_TOPMOST});
        return refusal;
    }
    if (m_strName.empty()) {
        refusal.messages.push_back(unsupported);
        return refusal;
    }
    m_download.Reset();
    if (m_strPath.empty())
        m_strPath = MakePrivateDownloadPath(L"c");
    CreateFolderPath(SplitPath(m_strPath).folder);
    DeleteFile(m_strPath);
    m_download.SetConnection(connection.GetConnection());
    m_download.SetNotifyWindow(m_hNotify);
    m_download.SetSizeLimit(kPageSizeLimit);
    if (!m_download.Start(m_strUrl, m_strPath, timeoutMs)) {
        refusal.messages.push_back({IDS_FEED_URL_INVALID, {}, MB_ICONHAND | MB_TOPMOST});
        return refusal;
    }
    m_bRunning = true;
    return refusal;
}

CCandidateFetch::COutcome CCandidateFetch::Finish()
{
    COutcome outcome;
    if (!m_bRunning)
        return outcome;
    WaitForSingleObject(m_download.GetEndEvent(), 5000);
    m_bRunning = false;
    const bool downloaded = m_download.Succeeded();
    m_download.Reset();
    if (m_bCancelled) {
        DeleteFile(m_strPath);
        outcome.cancelled = true;
        return outcome;
    }
    const bool isFeed = downloaded && ParseFeedFile(m_strPath) != nullptr;
    DeleteFile(m_strPath);
    if (isFeed) {
        outcome.added = true;
        outcome.messages.push_back({IDS_FEED_ADDED, {m_strName}, MB_ICONASTERISK});
    } else {
        outcome.messages.push_back({IDS_UNSUPPORTED_URL, {m_strUrl}, MB_ICONHAND | MB_TOPMOST});
    }
    return outcome;
}

void CCandidateFetch::Cancel()
{
    if (!m_bRunning)
        return;
    m_bCancelled = true;
    m_download.Abort(kDownloadCancelled);
}
