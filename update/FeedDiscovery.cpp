#include "update/FeedDiscovery.h"

#include <fstream>

#include "content/FeedParser.h"
#include "content/TextUtil.h"
#include "platform/FileSystem.h"

namespace {

bool IsSchemeLetter(wchar_t ch) { return (ch >= L'a' && ch <= L'z') || (ch >= L'A' && ch <= L'Z'); }
bool IsSchemeDigit(wchar_t ch) { return ch >= L'0' && ch <= L'9'; }

// The start of what a download left: as much as a web page is read of.
std::string ReadPage(const std::wstring& path)
{
    std::ifstream file(NativePath(path), std::ios::binary);
    std::string bytes;
    bytes.reserve(64 * 1024);
    char block[16 * 1024];
    while (bytes.size() < kPageSizeLimit && file.read(block, sizeof block).gcount() > 0)
        bytes.append(block, static_cast<size_t>(file.gcount()));
    if (bytes.size() > kPageSizeLimit)
        bytes.resize(kPageSizeLimit);
    return bytes;
}

// "https://example.org:8080" of "https://example.org:8080/news/?a=1".
std::wstring SiteRoot(const std::wstring& url)
{
    const size_t scheme = url.find(L"://");
    if (scheme == std::wstring::npos)
        return url;
    const size_t end = url.find_first_of(L"/?#", scheme + 3);
    return end == std::wstring::npos ? url : url.substr(0, end);
}

} // namespace

std::wstring CompleteWebAddress(const std::wstring& typed)
{
    const std::wstring text = Trim(typed);
    if (text.empty())
        return text;
    if (text.rfind(L"//", 0) == 0)
        return L"https:" + text;
    // A scheme is a letter, then letters, digits, "+", "-" or "."; then ":".
    // "host:8080/..." names a port, not a scheme.
    size_t at = 0;
    if (IsSchemeLetter(text[0])) {
        at = 1;
        while (at < text.size() &&
               (IsSchemeLetter(text[at]) || IsSchemeDigit(text[at]) || text[at] == L'+' || text[at] == L'-' ||
                text[at] == L'.'))
            ++at;
    }
    if (at > 0 && at < text.size() && text[at] == L':') {
        size_t digits = at + 1;
        while (digits < text.size() && IsSchemeDigit(text[digits]))
            ++digits;
        const bool port = digits > at + 1 && (digits == text.size() || text[digits] == L'/' || text[digits] == L'?' ||
                                              text[digits] == L'#');
        if (!port)
            return text;
    }
    return L"https://" + text;
}

std::wstring FeedLinkLabel(const CFeedLink& link)
{
    if (link.title.empty())
        return link.url;
    const wchar_t* kind = link.type == L"application/atom+xml" ? L"Atom"
                          : link.type == L"application/rdf+xml" ? L"RDF"
                                                                 : L"RSS";
    return link.title + L" (" + kind + L")";
}

CFeedDiscovery::CFeedDiscovery(HWND notifyWindow, const wchar_t* tag) : m_fetch(notifyWindow, tag) {}

CFeedDiscovery::~CFeedDiscovery() = default;

bool CFeedDiscovery::Start(const std::wstring& url)
{
    if (m_fetch.IsRunning())
        return false;
    m_strAddress = url;
    m_links.clear();
    m_pChannel.reset();
    m_strFeedUrl.clear();
    m_strFailedUrl.clear();
    return Download(url, EStage::Address);
}

bool CFeedDiscovery::Download(const std::wstring& url, EStage stage)
{
    m_strUrl = url;
    m_eStage = stage;
    return m_fetch.Start(url, m_dwTimeout, m_dwSizeLimit);
}

CFeedDiscovery::EStep CFeedDiscovery::OnDownloadDone()
{
    const bool running = m_fetch.IsRunning();
    const CDocumentFetch::EEnd end = m_fetch.Finish();
    if (end == CDocumentFetch::EEnd::Cancelled)
        return EStep::Cancelled;
    // A late or repeated call has nothing more to read.
    if (!running)
        return EStep::Failed;
    const bool downloaded = end == CDocumentFetch::EEnd::Downloaded;
    // Relative links of the feed resolve against the address it came from.
    m_pChannel = downloaded ? ParseFeedFile(m_fetch.Path(), 0, m_strUrl) : nullptr;
    if (m_pChannel) {
        m_fetch.Discard();
        m_strFeedUrl = m_strUrl;
        return EStep::Feed;
    }
    switch (m_eStage) {
    case EStage::Address: {
        const std::string page = downloaded ? ReadPage(m_fetch.Path()) : std::string();
        m_fetch.Discard();
        if (!LooksLikeHtml(page))
            break;
        m_links = FindFeedLinks(page, m_strAddress);
        if (m_links.empty()) {
            m_nNextCommonPath = 0;
            return TryNextCommonPath();
        }
        if (m_links.size() > 1)
            return EStep::Choose;
        if (Download(m_links.front().url, EStage::Announced))
            return EStep::Running;
        m_strFailedUrl = m_links.front().url;
        return EStep::Failed;
    }
    case EStage::Announced:
        m_fetch.Discard();
        m_strFailedUrl = m_strUrl;
        return EStep::Failed;
    case EStage::CommonPath:
        m_fetch.Discard();
        return TryNextCommonPath();
    case EStage::Idle:
        break;
    }
    m_strFailedUrl = m_strAddress;
    return EStep::Failed;
}

CFeedDiscovery::EStep CFeedDiscovery::TryNextCommonPath()
{
    const std::wstring root = SiteRoot(m_strAddress);
    while (m_nNextCommonPath < std::size(kCommonFeedPaths)) {
        const std::wstring url = root + kCommonFeedPaths[m_nNextCommonPath++];
        if (url != m_strAddress && Download(url, EStage::CommonPath))
            return EStep::Running;
    }
    m_strFailedUrl = m_strAddress;
    return EStep::Failed;
}

bool CFeedDiscovery::Choose(size_t index)
{
    if (m_fetch.IsRunning() || index >= m_links.size())
        return false;
    return Download(m_links[index].url, EStage::Announced);
}

void CFeedDiscovery::Cancel() { m_fetch.Cancel(); }
