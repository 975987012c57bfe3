#include "update/DocumentFetch.h"

#include <unistd.h>

#include <atomic>

#include "content/TextUtil.h"
#include "platform/FileSystem.h"
#include "update/ConnectionManager.h"
#include "update/Setting.h"

namespace {

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix)
{
    const std::wstring start(prefix);
    return text.size() >= start.size() && EqualsNoCase(text.substr(0, start.size()), start);
}

const std::wstring kFileScheme = L"file://";

} // namespace

bool IsWebUrl(const std::wstring& url)
{
    // Anything else ("file:", "ftp:", "javascript:") is refused before it is
    // fetched: a feed address names a web document.
    return StartsWithNoCase(url, L"http://") || StartsWithNoCase(url, L"https://");
}

bool FileUrlPath(const std::wstring& address, std::wstring& path)
{
    if (address.compare(0, kFileScheme.size(), kFileScheme) != 0)
        return false;
    path = address.substr(kFileScheme.size());
    return true;
}

std::wstring MakePrivateDownloadPath(const wchar_t* tag)
{
    static std::atomic<unsigned> s_next{1};
    return CSetting::Instance().GetDataFilePath(L"temp-" + std::to_wstring(::getpid()) + L"-" + tag +
                                                std::to_wstring(s_next++) + L".xml");
}

CDocumentFetch::CDocumentFetch(HWND notifyWindow, const wchar_t* tag) : m_hNotify(notifyWindow), m_pTag(tag) {}

CDocumentFetch::~CDocumentFetch()
{
    m_download.Reset();
    Discard();
}

bool CDocumentFetch::Connect(const std::wstring& url)
{
    CConnectionManager& connection = CConnectionManager::Instance();
    if (!connection.Connect(url))
        return false;
    m_hConnection = connection.GetConnection();
    return true;
}

bool CDocumentFetch::Start(const std::wstring& url, DWORD timeoutMs, DWORD sizeLimit)
{
    if (m_bRunning)
        return false;
    m_download.Reset();
    if (m_strPath.empty())
        m_strPath = MakePrivateDownloadPath(m_pTag);
    CreateFolderPath(SplitPath(m_strPath).folder);
    DeleteFile(m_strPath);
    m_download.SetConnection(m_hConnection);
    m_download.SetNotifyWindow(m_hNotify);
    m_download.SetSizeLimit(sizeLimit);
    m_bCancelled = false;
    m_bSizeLimitReached = false;
    m_bRunning = m_download.Start(url, m_strPath, timeoutMs);
    return m_bRunning;
}

CDocumentFetch::EEnd CDocumentFetch::Finish()
{
    if (!m_bRunning)
        return m_bCancelled ? EEnd::Cancelled : EEnd::Failed;
    WaitForSingleObject(m_download.GetEndEvent(), INFINITE);
    m_bRunning = false;
    const bool downloaded = m_download.Succeeded();
    m_bSizeLimitReached = m_download.SizeLimitReached();
    m_download.Reset();
    if (m_bCancelled || !downloaded) {
        Discard();
        return m_bCancelled ? EEnd::Cancelled : EEnd::Failed;
    }
    return EEnd::Downloaded;
}

void CDocumentFetch::Cancel()
{
    if (!m_bRunning)
        return;
    m_bCancelled = true;
    m_download.Abort(kDownloadCancelled);
}

void CDocumentFetch::Discard()
{
    if (!m_strPath.empty())
        DeleteFile(m_strPath);
}
