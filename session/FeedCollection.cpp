#include "session/FeedCollection.h"

#include <algorithm>

#include "platform/FileSystem.h"
#include "subscriptions/OpmlFile.h"
#include "update/ConnectionManager.h"
#include "update/FeedSearch.h"
#include "update/UpdateRun.h"

CFeedCollection::CFeedCollection(HWND notifyWindow) : m_hNotify(notifyWindow) {}

CFeedCollection::~CFeedCollection() = default;

bool CFeedCollection::IsCollected(const std::wstring& url) const
{
    return std::any_of(m_collected.begin(), m_collected.end(),
                       [&](const std::unique_ptr<COutline>& feed) { return feed->xmlUrl == url; });
}

bool CFeedCollection::IsSearchable(const std::wstring& text)
{
    const size_t first = text.find_first_not_of(L" \t\r\n\f\v");
    if (first == std::wstring::npos)
        return false;
    const size_t last = text.find_last_not_of(L" \t\r\n\f\v");
    return last - first + 1 >= kShortestSearchText;
}

CFeedCollection::CSearchStep CFeedCollection::StartKeywordSearch(const std::wstring& keywordFile,
                                                                 const std::wstring& keyword)
{
    m_eActivity = EActivity::Searching;
    m_bStopped = false;
    m_bKeywordSearch = true;
    m_listed.clear();
    if (!CConnectionManager::Instance().Connect(kConnectionProbeUrl))
        return CSearchEnd{{}, {{IDS_UNABLE_TO_CONNECT, {}, MB_ICONHAND | MB_TOPMOST}}};
    m_pWalk = std::make_unique<CSearchCandidateWalk>(keywordFile, keyword);
    return std::nullopt;
}

CFeedCollection::CSearchStep CFeedCollection::WalkOn()
{
    if (m_pWalk == nullptr)
        return CSearchEnd{};
    if (!m_bStopped && !m_bDisconnected && m_pWalk->Step())
        return std::nullopt;
    CSearchEnd end{m_pWalk->TakeCandidates(), {}};
    m_pWalk.reset();
    return end;
}

std::vector<CViewMessage> CFeedCollection::SearchKeywordAtOnce(const std::wstring& keywordFile,
                                                              const std::wstring& keyword)
{
    m_eActivity = EActivity::Searching;
    m_bStopped = false;
    m_bKeywordSearch = true;
    std::vector<CViewMessage> messages = FinishSearch({LoadSearchCandidates(keywordFile, keyword), {}});
    EndWork();
    return messages;
}

namespace {

CFeedCollection::CSearchEnd ReadOpmlDocument(const std::wstring& path)
{
    const std::unique_ptr<COpmlDoc> doc = LoadOpmlFile(path);
    if (doc == nullptr)
        return {};
    return {std::move(doc->outlines), {}};
}

} // namespace

CFeedCollection::CSearchStep CFeedCollection::StartAddressSearch(const std::wstring& address, DWORD timeoutMs)
{
    m_eActivity = EActivity::Searching;
    m_bStopped = false;
    m_bKeywordSearch = false;
    m_listed.clear();
    std::wstring path;
    switch (OpmlSourceOf(address, path)) {
    case EOpmlSource::LocalFile:
        if (!IsFile(path))
            return CSearchEnd{{}, {{IDS_FILE_NOT_FOUND, {}, MB_ICONHAND | MB_TOPMOST}}};
        return ReadOpmlDocument(path);
    case EOpmlSource::Other:
        return CSearchEnd{{}, {{IDS_UNSUPPORTED_URL, {address}, MB_ICONHAND | MB_TOPMOST}}};
    case EOpmlSource::Web:
        break;
    }
    if (m_pAddress == nullptr)
        m_pAddress = std::make_unique<COpmlAddress>(m_hNotify, L"o");
    std::vector<CViewMessage> refused = m_pAddress->StartDownload(address, timeoutMs);
    if (!refused.empty())
        return CSearchEnd{{}, std::move(refused)};
    return std::nullopt;
}

CFeedCollection::CSearchStep CFeedCollection::OnSearchDownloadDone()
{
    if (m_pAddress == nullptr || !m_pAddress->IsRunning())
        return std::nullopt;
    COpmlAddress::CEnd end = m_pAddress->FinishDownload();
    if (m_bStopped || m_bDisconnected) {
        m_pAddress->Discard();
        return CSearchEnd{};
    }
    if (end.path.empty())
        return CSearchEnd{{}, std::move(end.messages)};
    CSearchEnd read = ReadOpmlDocument(end.path);
    m_pAddress->Discard();
    return read;
}

std::vector<CViewMessage> CFeedCollection::FinishSearch(const CSearchEnd& end)
{
    m_listed.clear();
    std::vector<CViewMessage> messages = end.messages;
    if (!m_bStopped && !m_bDisconnected) {
        m_listed = ListCandidates(end.candidates, [this](const std::wstring& url) { return IsCollected(url); });
        // A keyword that finds nothing is news; an address that lists
        // nothing is an error.
        if (m_listed.empty() && messages.empty())
            messages.push_back(
                {IDS_NO_MATCHES, {}, (m_bKeywordSearch ? MB_ICONASTERISK : MB_ICONHAND) | MB_TOPMOST});
    }
    if (m_bDisconnected)
        messages.push_back({IDS_DISCONNECTED, {}, MB_ICONHAND | MB_TOPMOST});
    return messages;
}

std::vector<CViewMessage> CFeedCollection::StartAdd(int row, DWORD timeoutMs)
{
    m_eActivity = EActivity::Adding;
    m_bStopped = false;
    if (row < 0 || row >= static_cast<int>(m_listed.size()))
        return {{IDS_FEED_URL_INVALID, {}, MB_ICONHAND | MB_TOPMOST}};
    m_nAddRow = row;
    if (m_pFetch == nullptr)
        m_pFetch = std::make_unique<CCandidateFetch>(m_hNotify);
    return m_pFetch
        ->Start(*m_listed[row].outline, [this](const std::wstring& url) { return IsCollected(url); }, timeoutMs)
        .messages;
}

CFeedCollection::CAddEnd CFeedCollection::FinishAdd()
{
    CCandidateFetch::COutcome outcome = m_pFetch != nullptr ? m_pFetch->Finish() : CCandidateFetch::COutcome{};
    if (outcome.running)
        return {.running = true};
    if (!outcome.choices.empty() && !m_bDisconnected && !m_bStopped)
        return {.choices = std::move(outcome.choices)};
    return EndAdd(std::move(outcome));
}

CFeedCollection::CAddEnd CFeedCollection::Choose(std::optional<size_t> chosen)
{
    std::vector<CViewMessage> refused = chosen ? m_pFetch->Choose(*chosen) : std::vector<CViewMessage>{};
    if (chosen && refused.empty())
        return {.running = true};
    CCandidateFetch::COutcome outcome;
    outcome.cancelled = !chosen;
    outcome.messages = std::move(refused);
    return EndAdd(std::move(outcome));
}

CFeedCollection::CAddEnd CFeedCollection::EndAdd(CCandidateFetch::COutcome outcome)
{
    CAddEnd end;
    if (m_nAddRow >= 0 && m_nAddRow < static_cast<int>(m_listed.size()) && !m_bDisconnected && !m_bStopped) {
        CListedCandidate& row = m_listed[m_nAddRow];
        if (outcome.added) {
            row.image = kCandidateImageAdded;
            m_collected.push_back(std::make_unique<COutline>(*row.outline));
            // A site's address stands for the feed found behind it.
            m_collected.back()->xmlUrl = outcome.feedUrl;
        } else if (!outcome.cancelled) {
            row.image = kCandidateImageFailed;
            row.outline->status = kOutlineStatusFailed;
        }
        end.row = m_nAddRow;
        end.messages = std::move(outcome.messages);
    }
    if (m_bDisconnected)
        end.messages.push_back({IDS_DISCONNECTED, {}, MB_ICONHAND | MB_TOPMOST});
    m_nAddRow = -1;
    return end;
}

CFeedCollection::EStopped CFeedCollection::Stop()
{
    if (!IsBusy() || m_bStopped)
        return EStopped::Nothing;
    m_bStopped = true;
    return StopWork();
}

CFeedCollection::EStopped CFeedCollection::OnNetworkLost()
{
    if (m_bDisconnected || !IsBusy())
        return EStopped::Nothing;
    m_bDisconnected = true;
    return StopWork();
}

CFeedCollection::EStopped CFeedCollection::StopWork()
{
    if (m_eActivity == EActivity::Adding) {
        if (m_pFetch == nullptr || !m_pFetch->IsRunning())
            return EStopped::FinishAdd;
        m_pFetch->Cancel(); // its WM_DOWNLOAD_DONE finishes the add
        return EStopped::Waiting;
    }
    // The walk sees the flags at its next candidate and ends the search.
    if (m_pWalk != nullptr)
        return EStopped::Waiting;
    if (m_pAddress != nullptr && m_pAddress->IsRunning()) {
        m_pAddress->Cancel();
        return EStopped::Waiting;
    }
    return EStopped::FinishSearch;
}

void CFeedCollection::EndWork()
{
    m_eActivity = EActivity::Idle;
    m_bDisconnected = false;
}
