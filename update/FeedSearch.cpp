#include "update/FeedSearch.h"

#include "content/FeedParser.h"
#include "content/TextUtil.h"
#include "platform/Debug.h"
#include "platform/FileSystem.h"
#include "platform/Unicode.h"
#include "resources/EmbeddedKeywords.h"
#include "store/DataStorage.h"

std::wstring GetKeywordFilePath() { return GetDataFolderFile(kKeywordFileName); }

bool InstallKeywordFile()
{
    const std::wstring path = GetKeywordFilePath();
    if (PathExists(path))
        return true;
    const bool written = WriteNewFile(path, EmbeddedKeywordFile());
    DebugLogF("FeedSearch::InstallKeywordFile", "keyword file %s", written ? "installed" : "not installed");
    return written;
}

std::wstring PercentEncode(const std::wstring& text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::wstring encoded;
    for (const unsigned char byte : WideToUtf8(text)) {
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                                (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
                                byte == '~';
        if (unreserved) {
            encoded += static_cast<wchar_t>(byte);
        } else {
            encoded += L'%';
            encoded += static_cast<wchar_t>(kHex[byte >> 4]);
            encoded += static_cast<wchar_t>(kHex[byte & 15]);
        }
    }
    return encoded;
}

std::wstring ReplaceAll(const std::wstring& text, const std::wstring& what, const std::wstring& with)
{
    if (what.empty())
        return text;
    std::wstring out;
    size_t from = 0;
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, from)) {
        out.append(text, from, at - from);
        out += with;
        from = at + what.size();
    }
    out.append(text, from, std::wstring::npos);
    return out;
}

CSearchCandidateWalk::CSearchCandidateWalk(const std::wstring& path, const std::wstring& keyword)
    : m_pChannel(ParseFeedFile(path)), m_strKeyword(Trim(keyword)),
      // In an address the keyword is a query value: "c++ news" or "AT&T"
      // must reach the service as typed, not as "c  news" or "AT" and a
      // stray parameter.
      m_strEncoded(PercentEncode(m_strKeyword))
{
}

CSearchCandidateWalk::~CSearchCandidateWalk() = default;

bool CSearchCandidateWalk::Step()
{
    if (m_pChannel == nullptr)
        return false;
    const auto& items = m_pChannel->items;
    while (m_nNextItem < items.size() && items[m_nNextItem]->sourceUrl.size() <= 7)
        ++m_nNextItem;
    if (m_nNextItem >= items.size())
        return false;
    const auto& item = items[m_nNextItem++];
    auto candidate = std::make_unique<COutline>();
    candidate->title = item->title;
    candidate->description = item->description;
    candidate->xmlUrl = item->sourceUrl;
    if (!m_strKeyword.empty()) {
        candidate->title = ReplaceAll(candidate->title, kSearchPlaceholder, m_strKeyword);
        candidate->description = ReplaceAll(candidate->description, kSearchPlaceholder, m_strKeyword);
        candidate->xmlUrl =
            ReplaceAll(ReplaceAll(item->sourceUrl, kSearchPlaceholder, m_strEncoded), L"&amp;", L"&");
    }
    candidate->text = candidate->title;
    candidate->htmlUrl = item->link;
    candidate->kind = OutlineKindFeed;
    candidate->status = kOutlineStatusUpdated;
    m_candidates.push_back(std::move(candidate));
    return true;
}

COutlineList LoadSearchCandidates(const std::wstring& path, const std::wstring& keyword)
{
    CSearchCandidateWalk walk(path, keyword);
    while (walk.Step()) {
    }
    return walk.TakeCandidates();
}
