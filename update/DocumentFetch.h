#pragma once
// One document fetched for reading: downloaded into a file of this object's
// own, then either finished (the owner reads the file) or cancelled. The
// steps every such fetch takes, whoever asks for it (a new feed's address, a
// candidate's site, an OPML address, "rssreader-tool import"):
//   - only http and https go on the network (IsWebUrl); "file://" names a
//     local file (FileUrlPath), for the callers that take one;
//   - Connect asks the Connection Manager for a connection before anything
//     is sent; the download then goes through it and its proxy;
//   - the caller's time and size limits hold for the download (a document
//     over the size limit is cut there, and SizeLimitReached says so);
//   - the file ("temp-<process>-<tag><n>.xml" in the downloads folder) is
//     written by no other window or run; a failed or cancelled download
//     leaves none, and the destructor removes what is left.
//
// With a notify window the download posts WM_DOWNLOAD_DONE (lParam = the
// download, see OwnsDownload) and its owner then calls Finish; without one,
// Finish waits for the end. Belongs to the thread that made it; the
// download runs on its own thread.
#include <string>

#include "platform/ConnMgr.h"
#include "platform/WindowMessages.h"
#include "update/HttpDownload.h"

// Whether an address is one the reader fetches: http or https.
bool IsWebUrl(const std::wstring& url);

// The path of a "file://" address ("file:///tmp/list.opml" -> "/tmp/list.opml");
// false for any other address.
bool FileUrlPath(const std::wstring& address, std::wstring& path);

// "temp-<process>-<tag><n>.xml" in the downloads folder: a file no other
// window or run of this process writes to.
std::wstring MakePrivateDownloadPath(const wchar_t* tag);

class CDocumentFetch {
public:
    // notifyWindow may be none (HWND{}): Finish then waits. tag names the file.
    CDocumentFetch(HWND notifyWindow, const wchar_t* tag);
    ~CDocumentFetch(); // a download still running is stopped; its file removed
    CDocumentFetch(const CDocumentFetch&) = delete;
    CDocumentFetch& operator=(const CDocumentFetch&) = delete;

    // Makes sure there is a connection for the address; the next downloads
    // go through it. False when there is none.
    bool Connect(const std::wstring& url);
    // A connection the caller holds already.
    void SetConnection(HCONNECTION connection) { m_hConnection = connection; }

    // Downloads the address into the file, which starts empty. False when
    // the download cannot start (nothing runs then).
    bool Start(const std::wstring& url, DWORD timeoutMs, DWORD sizeLimit);

    enum class EEnd {
        Downloaded, // the file holds the document (cut at the size limit, see SizeLimitReached)
        Failed,     // no answer to keep: no file
        Cancelled,  // stopped by Cancel: no file
    };
    // After WM_DOWNLOAD_DONE of this fetch's download, or to wait for its end.
    EEnd Finish();
    // Stops the download; Finish then says Cancelled. Nothing when none runs.
    void Cancel();
    // Removes the file once read.
    void Discard();

    bool IsRunning() const { return m_bRunning; }
    bool OwnsDownload(LPARAM lParam) const { return lParam == reinterpret_cast<LPARAM>(&m_download); }
    const std::wstring& Path() const { return m_strPath; }
    // The last finished download stopped at the size limit.
    bool SizeLimitReached() const { return m_bSizeLimitReached; }

private:
    HWND m_hNotify;
    const wchar_t* m_pTag;
    HCONNECTION m_hConnection = 0;
    CHttpDownload m_download;
    std::wstring m_strPath;
    bool m_bRunning = false;
    bool m_bCancelled = false;
    bool m_bSizeLimitReached = false;
};
