#pragma once
// Finding the feed behind an address, as Enter URL, the candidates of the
// OPML address dialog and the online search, and "rssreader-tool subscribe"
// and "discover" run it. Users type a site's address ("lwn.net"), not its
// feed's, so:
//   1. the address's own document is downloaded; a feed is the answer;
//   2. a web page is read for the feeds it announces (content/FeedLinks.h):
//      one is downloaded and checked as a feed; several are for the user to
//      choose from (Choose), and the choice is downloaded and checked;
//   3. a page that announces none: the common places of a site's feed
//      (kCommonFeedPaths, from the site's root) are downloaded one after
//      another, and the first that is a feed is the answer;
//   4. anything else (no answer, neither a feed nor a web page, nothing
//      found) fails, naming the address (or the announced feed that failed).
// Every download is a CDocumentFetch (http and https only, the connection,
// the time limit of each step, the size limit, a file of this object's own,
// deleted once read).
//
// Each download reports to the notify window by WM_DOWNLOAD_DONE (lParam =
// the download, see OwnsDownload); its owner then calls OnDownloadDone,
// which reads what came, starts the next download when there is one, and
// says where the search stands. Belongs to the thread that made it.
#include <memory>
#include <string>
#include <vector>

#include "content/FeedLinks.h"
#include "content/RssChannel.h"
#include "platform/WindowMessages.h"
#include "update/DocumentFetch.h"
#include "update/HttpDownload.h"

// Where a site's feed is usually found when its pages do not say.
inline constexpr const wchar_t* kCommonFeedPaths[] = {L"/feed", L"/rss", L"/atom.xml", L"/index.xml", L"/feed.xml"};

// An address as typed, completed: "https://" is put before one that names
// no scheme ("lwn.net", "example.org:8080/news", "//example.org/feed");
// one with a scheme, of whatever kind, is kept (and refused later when it is
// not http or https).
std::wstring CompleteWebAddress(const std::wstring& typed);

// What a choice list shows for an announced feed: its title and kind
// ("News (Atom)"), or its address when it has no title.
std::wstring FeedLinkLabel(const CFeedLink& link);

class CFeedDiscovery {
public:
    // tag names the download file ("temp-<process>-<tag><n>.xml").
    CFeedDiscovery(HWND notifyWindow, const wchar_t* tag);
    ~CFeedDiscovery(); // a download still running is stopped; its file removed
    CFeedDiscovery(const CFeedDiscovery&) = delete;
    CFeedDiscovery& operator=(const CFeedDiscovery&) = delete;

    // For every download of the search. The address's own document may be
    // a feed, so it is read up to the feed size limit unless told otherwise.
    void SetLimits(DWORD timeoutMs, DWORD sizeLimit)
    {
        m_dwTimeout = timeoutMs;
        m_dwSizeLimit = sizeLimit;
    }

    // Makes sure there is a connection for the address (false: none); the
    // downloads of the search go through it.
    bool Connect(const std::wstring& url) { return m_fetch.Connect(url); }
    // Downloads the address (a complete http or https address). False when
    // the download cannot start.
    bool Start(const std::wstring& url);

    enum class EStep {
        Running,   // another download runs: wait for its WM_DOWNLOAD_DONE
        Feed,      // found: TakeChannel, FeedUrl
        Choose,    // the page announces several feeds: Links, then Choose
        Failed,    // nothing found: FailedUrl names what to name
        Cancelled, // stopped by Cancel: nothing to say
    };
    // After WM_DOWNLOAD_DONE of this object's download.
    EStep OnDownloadDone();
    // Downloads the announced feed of that index. False when there is none
    // or the download cannot start.
    bool Choose(size_t index);
    // Stops the download; OnDownloadDone then says Cancelled.
    void Cancel();

    bool IsRunning() const { return m_fetch.IsRunning(); }
    bool OwnsDownload(LPARAM lParam) const { return m_fetch.OwnsDownload(lParam); }
    const std::vector<CFeedLink>& Links() const { return m_links; }
    // After Feed.
    std::unique_ptr<CRssChannel> TakeChannel() { return std::move(m_pChannel); }
    const std::wstring& FeedUrl() const { return m_strFeedUrl; }
    // The address was itself the feed (no page in between).
    bool FoundAtAddress() const { return m_strFeedUrl == m_strAddress; }
    // After Failed.
    const std::wstring& FailedUrl() const { return m_strFailedUrl; }

private:
    enum class EStage { Idle, Address, Announced, CommonPath };

    bool Download(const std::wstring& url, EStage stage);
    EStep TryNextCommonPath();

    CDocumentFetch m_fetch;
    DWORD m_dwTimeout = kFeedDownloadTimeoutMs;
    DWORD m_dwSizeLimit = kFeedSizeLimit;
    std::wstring m_strAddress;
    std::wstring m_strUrl; // of the download running or last run
    EStage m_eStage = EStage::Idle;
    size_t m_nNextCommonPath = 0;
    std::vector<CFeedLink> m_links;
    std::unique_ptr<CRssChannel> m_pChannel;
    std::wstring m_strFeedUrl;
    std::wstring m_strFailedUrl;
};
