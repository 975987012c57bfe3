#include "session/OpmlAddress.h"

#include "resources/ResourceIds.h"

EOpmlSource OpmlSourceOf(const std::wstring& address, std::wstring& path)
{
    if (FileUrlPath(address, path))
        return EOpmlSource::LocalFile;
    path = address;
    return IsWebUrl(address) ? EOpmlSource::Web : EOpmlSource::Other;
}

std::vector<CViewMessage> COpmlAddress::StartDownload(const std::wstring& address, DWORD timeoutMs)
{
    m_strAddress = address;
    if (!m_fetch.Connect(address))
        return {{IDS_UNABLE_TO_CONNECT, {}, MB_ICONHAND | MB_TOPMOST}};
    if (!m_fetch.Start(address, timeoutMs, kFeedSizeLimit))
        return {{IDS_UNSUPPORTED_URL, {address}, MB_ICONHAND | MB_TOPMOST}};
    return {};
}

COpmlAddress::CEnd COpmlAddress::FinishDownload()
{
    CEnd end;
    switch (m_fetch.Finish()) {
    case CDocumentFetch::EEnd::Cancelled:
        end.cancelled = true;
        return end;
    case CDocumentFetch::EEnd::Failed:
        end.messages.push_back({IDS_UNSUPPORTED_URL, {m_strAddress}, MB_ICONHAND | MB_TOPMOST});
        return end;
    case CDocumentFetch::EEnd::Downloaded:
        break;
    }
    if (m_fetch.SizeLimitReached()) {
        m_fetch.Discard();
        end.messages.push_back({IDS_OPML_TOO_LARGE,
                                {m_strAddress, std::to_wstring(kFeedSizeLimit / (1024 * 1024))},
                                MB_ICONHAND | MB_TOPMOST});
        return end;
    }
    end.path = m_fetch.Path();
    return end;
}
