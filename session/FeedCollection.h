#pragma once
// Collecting feeds one by one out of a search: the state and the decisions
// behind the online search and the OPML address dialog, and behind
// "rssreader-tool search" and "import". A search turns a keyword (the
// keyword file, a candidate at a time) or an address (an OPML document)
// into candidates; the candidates are listed by the listing rules; "Add"
// checks the chosen row by downloading it (CCandidateFetch) and collects the
// feed found. Stop (Cancel) and the loss of the network end the work in
// hand; what is to be said comes back as messages for the window to show.
//
// The window draws: it starts the work here, hands over the downloads'
// WM_DOWNLOAD_DONE (lParam = the download; OwnsSearchDownload and
// OwnsAddDownload say whose), asks the user where a page announces several
// feeds, and calls EndWork once it has shown the end of a search or an add.
// Until then the work counts as running (IsBusy), so that a message arriving
// while a message box is up finds it so.
//
// Belongs to the thread that made it; the downloads post to notifyWindow.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/WindowMessages.h"
#include "resources/ViewMessage.h"
#include "session/OpmlAddress.h"
#include "update/CandidateFetch.h"

class CSearchCandidateWalk;

// A search text is searched when its trimmed length is at least this.
inline constexpr size_t kShortestSearchText = 2;

class CFeedCollection {
public:
    explicit CFeedCollection(HWND notifyWindow);
    ~CFeedCollection();
    CFeedCollection(const CFeedCollection&) = delete;
    CFeedCollection& operator=(const CFeedCollection&) = delete;

    enum class EActivity { Idle, Searching, Adding };
    EActivity Activity() const { return m_eActivity; }
    bool IsBusy() const { return m_eActivity != EActivity::Idle; }
    bool IsStopped() const { return m_bStopped; }
    bool IsDisconnected() const { return m_bDisconnected; }

    // The listed candidates, in row order, and the feeds collected (clones).
    const std::vector<CListedCandidate>& Listed() const { return m_listed; }
    const COutlineList& Collected() const { return m_collected; }
    COutlineList TakeCollected() { return std::move(m_collected); }
    void DropCollected() { m_collected.clear(); }
    bool IsCollected(const std::wstring& url) const;
    // Whether a trimmed text is long enough to search for.
    static bool IsSearchable(const std::wstring& text);

    // The end of a search: its candidates, and what to say about it.
    struct CSearchEnd {
        COutlineList candidates;
        std::vector<CViewMessage> messages;
    };
    // nullopt: the search goes on (its next step or its download comes).
    using CSearchStep = std::optional<CSearchEnd>;

    // The online search: asks for a connection, then walks the keyword file
    // with WalkOn, a candidate a call.
    CSearchStep StartKeywordSearch(const std::wstring& keywordFile, const std::wstring& keyword);
    CSearchStep WalkOn();
    bool IsWalking() const { return m_pWalk != nullptr; }
    // The whole keyword search at once and without a connection (the
    // candidates come from the keyword file alone): lists them as
    // FinishSearch does and returns its messages; the work is over after.
    std::vector<CViewMessage> SearchKeywordAtOnce(const std::wstring& keywordFile, const std::wstring& keyword);
    // The OPML address search (see COpmlAddress): a local file ends it at
    // once, a web address downloads (timeoutMs) and ends at its
    // WM_DOWNLOAD_DONE with OnSearchDownloadDone.
    CSearchStep StartAddressSearch(const std::wstring& address, DWORD timeoutMs);
    bool OwnsSearchDownload(LPARAM lParam) const { return m_pAddress && m_pAddress->OwnsDownload(lParam); }
    CSearchStep OnSearchDownloadDone();

    // Lists the end's candidates (none when the search was stopped or the
    // network lost) and returns the messages to show: the search's own,
    // "No matches found." when nothing is listed and nothing else is said,
    // and the disconnected message when the network went away.
    std::vector<CViewMessage> FinishSearch(const CSearchEnd& end);

    // Add of a listed row: empty when its check runs (its WM_DOWNLOAD_DONE
    // comes), the messages of the refusal otherwise (the add is over then).
    std::vector<CViewMessage> StartAdd(int row, DWORD timeoutMs);
    bool OwnsAddDownload(LPARAM lParam) const { return m_pFetch && m_pFetch->OwnsDownload(lParam); }
    bool IsAddRunning() const { return m_eActivity == EActivity::Adding && m_pFetch && m_pFetch->IsRunning(); }
    struct CAddEnd {
        bool running = false;            // another download runs: wait for it
        std::vector<CFeedLink> choices;  // the page announces these: ask, then Choose
        int row = -1;                    // the row whose image changed, -1 none
        std::vector<CViewMessage> messages;
    };
    // After the add's WM_DOWNLOAD_DONE (or at once after a stop with no
    // download running).
    CAddEnd FinishAdd();
    // The user's pick among the choices (nullopt: cancelled).
    CAddEnd Choose(std::optional<size_t> chosen);

    // Stop (Cancel) and the loss of the network while work runs.
    enum class EStopped {
        Nothing,     // no work runs, or it is stopping already
        Waiting,     // the walk's next step, or the stopped download's WM_DOWNLOAD_DONE, ends the work
        FinishAdd,   // call FinishAdd now
        FinishSearch // call FinishSearch with an empty end now
    };
    EStopped Stop();
    EStopped OnNetworkLost();
    // The window has shown the end: the work is over.
    void EndWork();

private:
    EStopped StopWork();
    CAddEnd EndAdd(CCandidateFetch::COutcome outcome);

    EActivity m_eActivity = EActivity::Idle;
    bool m_bStopped = false;
    bool m_bDisconnected = false;
    bool m_bKeywordSearch = false; // whose "No matches found." this is
    HWND m_hNotify;
    std::vector<CListedCandidate> m_listed;
    COutlineList m_collected;
    int m_nAddRow = -1;
    std::unique_ptr<CSearchCandidateWalk> m_pWalk;
    std::unique_ptr<COpmlAddress> m_pAddress;
    std::unique_ptr<CCandidateFetch> m_pFetch;
};
