#include "update/CandidateFetch.h"

#include <algorithm>

#include "store/FeedDatabase.h"

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

CCandidateFetch::CCandidateFetch(HWND notifyWindow) : m_discovery(notifyWindow, L"c") {}

CCandidateFetch::~CCandidateFetch() = default;

CCandidateFetch::CRefusal CCandidateFetch::Start(const COutline& candidate,
                                                 const std::function<bool(const std::wstring&)>& isCollected,
                                                 DWORD timeoutMs)
{
    CRefusal refusal;
    if (m_discovery.IsRunning())
        return refusal;
    m_strUrl = CompleteWebAddress(candidate.xmlUrl);
    m_strName = candidate.DisplayName();
    m_isCollected = isCollected;
    const CViewMessage unsupported{IDS_UNSUPPORTED_URL, {m_strUrl}, MB_ICONHAND | MB_TOPMOST};
    // A document found elsewhere may name any scheme: only web addresses
    // are fetched.
    if (!IsWebUrl(m_strUrl)) {
        refusal.messages.push_back(unsupported);
        return refusal;
    }
    if (!m_discovery.Connect(m_strUrl)) {
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
    m_discovery.SetLimits(timeoutMs, kPageSizeLimit);
    if (!m_discovery.Start(m_strUrl))
        refusal.messages.push_back({IDS_FEED_URL_INVALID, {}, MB_ICONHAND | MB_TOPMOST});
    return refusal;
}

CCandidateFetch::COutcome CCandidateFetch::Finish()
{
    COutcome outcome;
    switch (m_discovery.OnDownloadDone()) {
    case CFeedDiscovery::EStep::Running:
        outcome.running = true;
        return outcome;
    case CFeedDiscovery::EStep::Choose:
        outcome.choices = m_discovery.Links();
        return outcome;
    case CFeedDiscovery::EStep::Cancelled:
        outcome.cancelled = true;
        return outcome;
    case CFeedDiscovery::EStep::Failed:
        outcome.messages.push_back({IDS_UNSUPPORTED_URL, {m_discovery.FailedUrl()}, MB_ICONHAND | MB_TOPMOST});
        return outcome;
    case CFeedDiscovery::EStep::Feed:
        break;
    }
    outcome.feedUrl = m_discovery.FoundAtAddress() ? m_strUrl : m_discovery.FeedUrl();
    if (!m_discovery.FoundAtAddress() &&
        (CZelviaRssDB::Instance().FindFeedByUrl(outcome.feedUrl) || (m_isCollected && m_isCollected(outcome.feedUrl)))) {
        outcome.messages.push_back({IDS_FEED_EXISTS, {}, MB_ICONHAND | MB_TOPMOST});
        return outcome;
    }
    outcome.added = true;
    outcome.messages.push_back({IDS_FEED_ADDED, {m_strName}, MB_ICONASTERISK});
    return outcome;
}

std::vector<CViewMessage> CCandidateFetch::Choose(size_t index)
{
    const std::vector<CFeedLink>& links = m_discovery.Links();
    if (index >= links.size() || m_discovery.IsRunning())
        return {{IDS_FEED_URL_INVALID, {}, MB_ICONHAND | MB_TOPMOST}};
    if (!m_discovery.Choose(index))
        return {{IDS_UNSUPPORTED_URL, {links[index].url}, MB_ICONHAND | MB_TOPMOST}};
    return {};
}

void CCandidateFetch::Cancel() { m_discovery.Cancel(); }
