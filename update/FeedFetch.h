#pragma once
// The fetch of a new subscription's document, to check that it is a feed
// and to learn its name, as the add-feed dialog and "rssreader-tool
// subscribe" run it. The checks come in order (the scheme, an existing
// subscription, a connection), then a download into a file of its own, then
// the parse. The download reports to the notify window by WM_DOWNLOAD_DONE
// (lParam = the download); its owner then calls Finish.
//
// Belongs to the thread that made it; the download runs on its own thread.
#include <memory>
#include <string>
#include <vector>

#include "platform/WindowMessages.h"
#include "resources/ViewMessage.h"
#include "subscriptions/OpmlDoc.h"
#include "update/HttpDownload.h"

class CFeedFetch {
public:
    explicit CFeedFetch(HWND notifyWindow);
    ~CFeedFetch(); // a download still running is stopped; its file removed
    CFeedFetch(const CFeedFetch&) = delete;
    CFeedFetch& operator=(const CFeedFetch&) = delete;

    // The checks, then the download. An empty list: the download runs; the
    // messages of a refusal otherwise (nothing is fetched).
    std::vector<CViewMessage> Start(const std::wstring& typedUrl, DWORD timeoutMs = kFeedDownloadTimeoutMs);

    struct COutcome {
        std::unique_ptr<COutline> feed;    // filled from the channel; null on failure
        std::vector<CViewMessage> messages; // why not, on failure
    };
    // After WM_DOWNLOAD_DONE of this download (or at once, when it was
    // cancelled): the feed, or why not.
    COutcome Finish();
    // Stops the download; Finish then reports nothing.
    void Cancel();

    bool IsRunning() const { return m_bRunning; }
    bool OwnsDownload(LPARAM lParam) const { return lParam == reinterpret_cast<LPARAM>(&m_download); }
    CHttpDownload& Download() { return m_download; }

private:
    HWND m_hNotify;
    CHttpDownload m_download;
    std::wstring m_strTypedUrl;
    std::wstring m_strPath;
    bool m_bRunning = false;
    bool m_bCancelled = false;
};

// Whether a typed address is one the reader fetches: http or https.
bool IsWebUrl(const std::wstring& url);

// "temp-<process>-<tag><n>.xml" in the downloads folder: a file no other
// window or run of this process writes to.
std::wstring MakePrivateDownloadPath(const wchar_t* tag);
