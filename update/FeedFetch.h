#pragma once
// The fetch of a new subscription's document, to check that it is a feed
// and to learn its name, as the add-feed dialog and "rssreader-tool
// subscribe" run it. The checks come in order (the scheme, an existing
// subscription, a connection), then the search for the feed behind the
// address (CFeedDiscovery: the address itself, the feeds a web page
// announces, a site's common feed places), each document downloaded into a
// file of its own and parsed. The downloads report to the notify window by
// WM_DOWNLOAD_DONE (lParam = the download, see OwnsDownload); its owner then
// calls Finish. A feed found elsewhere than at the address is checked once
// more against the subscriptions, under its own address.
//
// Belongs to the thread that made it; the downloads run on their own thread.
#include <memory>
#include <string>
#include <vector>

#include "content/FeedLinks.h"
#include "platform/WindowMessages.h"
#include "resources/ViewMessage.h"
#include "subscriptions/OpmlDoc.h"
#include "update/FeedDiscovery.h"
#include "update/HttpDownload.h"

class CFeedFetch {
public:
    explicit CFeedFetch(HWND notifyWindow);
    ~CFeedFetch(); // a download still running is stopped; its file removed
    CFeedFetch(const CFeedFetch&) = delete;
    CFeedFetch& operator=(const CFeedFetch&) = delete;

    // The checks, then the first download. An empty list: the download
    // runs; the messages of a refusal otherwise (nothing is fetched). An
    // address without a scheme is taken as https.
    std::vector<CViewMessage> Start(const std::wstring& typedUrl, DWORD timeoutMs = kFeedDownloadTimeoutMs);

    struct COutcome {
        std::unique_ptr<COutline> feed;    // filled from the channel; null unless found
        std::vector<CViewMessage> messages; // why not, on failure
        bool running = false;               // another download runs: wait for it
        std::vector<CFeedLink> choices;     // a page announces these: Choose one, or Cancel
    };
    // After WM_DOWNLOAD_DONE of this fetch's download (or at once, when it
    // was cancelled): the feed, why not, or what comes next.
    COutcome Finish();
    // The announced feed the user chose (an index of choices): an empty
    // list when its download runs, the messages of a refusal otherwise.
    std::vector<CViewMessage> Choose(size_t index);
    // Stops the download; Finish then reports nothing.
    void Cancel();

    bool IsRunning() const { return m_discovery.IsRunning(); }
    bool OwnsDownload(LPARAM lParam) const { return m_discovery.OwnsDownload(lParam); }

private:
    CFeedDiscovery m_discovery;
    std::wstring m_strTypedUrl;
};
