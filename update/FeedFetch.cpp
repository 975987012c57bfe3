#include "update/FeedFetch.h"

#include "content/FeedParser.h"
#include "store/FeedDatabase.h"

CFeedFetch::CFeedFetch(HWND notifyWindow) : m_discovery(notifyWindow, L"f") {}

CFeedFetch::~CFeedFetch() = default;

std::vector<CViewMessage> CFeedFetch::Start(const std::wstring& typedUrl, DWORD timeoutMs)
{
    if (m_discovery.IsRunning())
        return {};
    m_strTypedUrl = CompleteWebAddress(typedUrl);
    const CViewMessage unsupported{IDS_UNSUPPORTED_URL, {m_strTypedUrl}, MB_ICONHAND};
    if (!IsWebUrl(m_strTypedUrl))
        return {unsupported};
    const std::wstring url = CHttpDownload::NormalizeUrl(m_strTypedUrl);
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    if (feeds.FindFeedByUrl(m_strTypedUrl) || feeds.FindFeedByUrl(url))
        return {{IDS_FEED_EXISTS, {}, MB_ICONHAND}};
    if (!m_discovery.Connect(url))
        return {{IDS_UNABLE_TO_CONNECT, {}, MB_ICONHAND}, {IDS_DISCONNECTED, {}, MB_ICONHAND | MB_TOPMOST}};
    m_discovery.SetLimits(timeoutMs, kFeedSizeLimit);
    if (!m_discovery.Start(url))
        return {unsupported};
    return {};
}

CFeedFetch::COutcome CFeedFetch::Finish()
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
        return outcome;
    case CFeedDiscovery::EStep::Failed:
        outcome.messages.push_back({IDS_UNSUPPORTED_URL, {m_discovery.FailedUrl()}, MB_ICONHAND});
        return outcome;
    case CFeedDiscovery::EStep::Feed:
        break;
    }
    // The address as typed stays the subscription's when it was the feed;
    // a feed found behind it goes by its own address.
    const std::wstring feedUrl = m_discovery.FoundAtAddress() ? m_strTypedUrl : m_discovery.FeedUrl();
    if (!m_discovery.FoundAtAddress()) {
        CZelviaRssDB& feeds = CZelviaRssDB::Instance();
        if (feeds.FindFeedByUrl(feedUrl) || feeds.FindFeedByUrl(CHttpDownload::NormalizeUrl(feedUrl))) {
            outcome.messages.push_back({IDS_FEED_EXISTS, {}, MB_ICONHAND});
            return outcome;
        }
    }
    const std::unique_ptr<CRssChannel> channel = m_discovery.TakeChannel();
    auto feed = std::make_unique<COutline>();
    feed->title = channel->title;
    feed->text = channel->title;
    feed->xmlUrl = feedUrl;
    feed->htmlUrl = channel->link;
    feed->description = channel->description;
    feed->type = L"rss";
    feed->version = L"RSS";
    feed->kind = OutlineKindFeed;
    outcome.feed = std::move(feed);
    return outcome;
}

std::vector<CViewMessage> CFeedFetch::Choose(size_t index)
{
    const std::vector<CFeedLink>& links = m_discovery.Links();
    if (index >= links.size() || m_discovery.IsRunning())
        return {{IDS_FEED_URL_INVALID, {}, MB_ICONHAND}};
    if (!m_discovery.Choose(index))
        return {{IDS_UNSUPPORTED_URL, {links[index].url}, MB_ICONHAND}};
    return {};
}

void CFeedFetch::Cancel() { m_discovery.Cancel(); }
