#include "update/HostWaits.h"

#include "content/DateText.h"
#include "platform/Unicode.h"
#include "store/FeedDatabase.h"

std::vector<std::string> CHostWaits::Read(const std::vector<std::wstring>& feedUrls, bool automatic)
{
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    FILETIME now;
    SystemTimeToFileTime(GetSystemTime(), now);
    std::vector<std::string> leftAlone;
    for (const std::wstring& url : feedUrls) {
        const std::string host = DownloadHostOf(url);
        FILETIME notBefore;
        if (host.empty() || m_stored.count(host) != 0 || !feeds.ReadHostNotBefore(Utf8ToWide(host), notBefore))
            continue;
        m_stored[host] = notBefore;
        if (automatic && notBefore.Ticks() > now.Ticks())
            leftAlone.push_back(host);
    }
    return leftAlone;
}

FILETIME CHostWaits::Note(const std::wstring& feedUrl, const CFeedDownload& download)
{
    const std::string host = DownloadHostOf(feedUrl);
    const auto stored = m_stored.find(host);
    if (download.failure == CFeedFailure::RetryLater) {
        // Left alone without a request: the stored wait is why.
        if (download.notBefore.Ticks() == 0)
            return download.requests == 0 && stored != m_stored.end() ? stored->second : FILETIME{};
        if ((stored == m_stored.end() || !(stored->second == download.notBefore)) &&
            CZelviaRssDB::Instance().WriteHostNotBefore(Utf8ToWide(host), download.notBefore))
            m_stored[host] = download.notBefore;
        return download.notBefore;
    }
    if (download.httpStatus != 0 && stored != m_stored.end() &&
        CZelviaRssDB::Instance().WriteHostNotBefore(Utf8ToWide(host), {}))
        m_stored.erase(stored);
    return {};
}

std::wstring FormatNotBefore(const FILETIME& utc)
{
    CSystemTime utcTime, localTime;
    if (!FileTimeToSystemTime(utc, utcTime) || !UtcToLocalTime(utcTime, localTime))
        return L"";
    return FormatSystemTime(localTime, kFileTimeFormat);
}
