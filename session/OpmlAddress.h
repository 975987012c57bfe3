#pragma once
// The OPML document at an address, for the OPML address dialog and
// "rssreader-tool import": where it comes from, and what is said when it
// cannot be had. "file://" followed by a path names a local file; an http or
// https address is downloaded (CDocumentFetch: a connection first, then the
// download into a private file, at most 32 MB); any other address is none of
// these (the dialog refuses it, the tool takes it for a path).
//
// The refusals: no connection ("Unable to connect"), a download that cannot
// start or fails (the address is unsupported), a document cut at the size
// limit (too large: what came is not the list the address holds). A
// cancelled download says nothing.
#include <string>
#include <vector>

#include "resources/ViewMessage.h"
#include "update/DocumentFetch.h"

enum class EOpmlSource { LocalFile, Web, Other };
// What the address names; path: the file's path of a "file://" address, the
// address as given otherwise.
EOpmlSource OpmlSourceOf(const std::wstring& address, std::wstring& path);

class COpmlAddress {
public:
    // notifyWindow may be none: FinishDownload then waits for the end.
    COpmlAddress(HWND notifyWindow, const wchar_t* tag) : m_fetch(notifyWindow, tag) {}

    // Starts the download of a web address: no messages when it runs.
    std::vector<CViewMessage> StartDownload(const std::wstring& address, DWORD timeoutMs);

    struct CEnd {
        std::wstring path; // the downloaded document (Discard it once read); empty when none
        bool cancelled = false;
        std::vector<CViewMessage> messages;
    };
    // After WM_DOWNLOAD_DONE of the download (or at once without a window).
    CEnd FinishDownload();

    void Cancel() { m_fetch.Cancel(); }
    void Discard() { m_fetch.Discard(); }
    bool IsRunning() const { return m_fetch.IsRunning(); }
    bool OwnsDownload(LPARAM lParam) const { return m_fetch.OwnsDownload(lParam); }

private:
    CDocumentFetch m_fetch;
    std::wstring m_strAddress;
};
