#pragma once
// The check of one candidate feed before it is collected: an entry of an
// OPML document found at an address, or a result of the online search. The
// checks come in order (a web address, a connection, not yet subscribed nor
// collected, a name to show), then the feed behind the address is looked
// for (CFeedDiscovery: the address itself, the feeds a web page announces, a
// site's common feed places; each document 60 s, 1 MB) in a file of this
// object's own. The downloads report to the notify window by
// WM_DOWNLOAD_DONE (lParam = the download); its owner then calls Finish.
// The messages come back as values for the window to show.
//
// Belongs to the thread that made it; the download runs on its own thread.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/WindowMessages.h"
#include "resources/ViewMessage.h"
#include "subscriptions/OpmlDoc.h"
#include "subscriptions/PropertyRow.h"
#include "update/FeedDiscovery.h"
#include "update/HttpDownload.h"

class CCandidateFetch {
public:
    explicit CCandidateFetch(HWND notifyWindow);
    ~CCandidateFetch(); // a download still running is stopped; its file removed
    CCandidateFetch(const CCandidateFetch&) = delete;
    CCandidateFetch& operator=(const CCandidateFetch&) = delete;

    struct CRefusal {
        std::vector<CViewMessage> messages; // empty: the download runs
        bool noConnection = false;
    };
    // isCollected: whether an address is already among the feeds gathered in
    // this window (a subscription in the feed database is checked here).
    CRefusal Start(const COutline& candidate, const std::function<bool(const std::wstring&)>& isCollected,
                   DWORD timeoutMs = kPageDownloadTimeoutMs);

    struct COutcome {
        bool added = false;     // a feed was found: collect it under feedUrl
        bool cancelled = false; // stopped by Cancel: nothing to say
        bool running = false;   // another download runs: wait for it
        std::wstring feedUrl;   // the feed's address (the candidate's, or the one found behind it)
        std::vector<CFeedLink> choices; // a page announces these: Choose one, or Cancel
        std::vector<CViewMessage> messages;
    };
    // After WM_DOWNLOAD_DONE of this fetch's download (or at once after Cancel).
    COutcome Finish();
    // The announced feed the user chose (an index of choices): no messages
    // when its download runs, the messages of a refusal otherwise.
    std::vector<CViewMessage> Choose(size_t index);
    // Stops the download (cancel code 1); Finish then reports nothing.
    void Cancel();

    bool IsRunning() const { return m_discovery.IsRunning(); }
    bool OwnsDownload(LPARAM lParam) const { return m_discovery.OwnsDownload(lParam); }

private:
    CFeedDiscovery m_discovery;
    std::function<bool(const std::wstring&)> m_isCollected;
    std::wstring m_strUrl;
    std::wstring m_strName;
};

// A candidate as the list shows it: a clone, and its image (kImageAdded:
// collected in this window; kImageNew: not yet).
inline constexpr int kCandidateImageAdded = 2;
inline constexpr int kCandidateImageFailed = 3;
inline constexpr int kCandidateImageNew = 4;
struct CListedCandidate {
    std::unique_ptr<COutline> outline;
    int image = kCandidateImageNew;
};
// The rows of a search or an OPML document, depth first through folders:
// feeds whose address has 8 characters or more; a feed collected in this
// window is listed as added, one listed already or subscribed already (in
// the feed database) is left out.
std::vector<CListedCandidate> ListCandidates(const COutlineList& candidates,
                                             const std::function<bool(const std::wstring&)>& isCollected);

// The properties of a candidate (no "Last update"): a subscribed feed's
// stored title and description, where not empty, stand for the candidate's.
std::vector<CPropertyRow> CandidateProperties(const COutline& candidate);
