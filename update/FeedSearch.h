#pragma once
// The online feed search: a keyword turned into candidate feeds by the
// keyword file "FeedSearchKeyword.xml" of the data folder, an RSS document
// whose items describe search feeds of public services. An item with a
// source URL longer than 7 characters is one candidate: its title, text and
// description with every "searchkeyword" replaced by the keyword as typed,
// its feed address the source URL with every "searchkeyword" replaced by
// the keyword percent-encoded (UTF-8) and then every "&amp;" by "&", its
// home page the item's link. The replacement runs once over the template,
// so a keyword holding "searchkeyword" is not replaced again.
//
// The file is installed from the copy built into the program when the data
// folder has none; a file the user put there is never replaced.
#include <memory>
#include <string>

#include "subscriptions/OpmlDoc.h"

struct CRssChannel;

inline constexpr wchar_t kKeywordFileName[] = L"FeedSearchKeyword.xml";
inline constexpr wchar_t kSearchPlaceholder[] = L"searchkeyword";

// <data folder>/FeedSearchKeyword.xml.
std::wstring GetKeywordFilePath();
// Writes the built-in keyword file when there is none; true when a file is
// there afterwards.
bool InstallKeywordFile();

// Every character outside A-Z a-z 0-9 - . _ ~ as %XX of its UTF-8 bytes.
std::wstring PercentEncode(const std::wstring& text);
// Every occurrence of what in text by with, in one pass.
std::wstring ReplaceAll(const std::wstring& text, const std::wstring& what, const std::wstring& with);

// The candidates of the keyword file at path for the keyword (trimmed; an
// empty keyword takes the templates as they are), one at a time in document
// order, so that a window can take each between its events and stop the
// walk early, keeping the candidates so far. Nothing to walk when the file
// cannot be read.
class CSearchCandidateWalk {
public:
    CSearchCandidateWalk(const std::wstring& path, const std::wstring& keyword);
    ~CSearchCandidateWalk();
    CSearchCandidateWalk(const CSearchCandidateWalk&) = delete;
    CSearchCandidateWalk& operator=(const CSearchCandidateWalk&) = delete;

    // Adds the next candidate; false when there was none left.
    bool Step();
    COutlineList TakeCandidates() { return std::move(m_candidates); }

private:
    std::unique_ptr<CRssChannel> m_pChannel;
    size_t m_nNextItem = 0;
    std::wstring m_strKeyword;
    std::wstring m_strEncoded;
    COutlineList m_candidates;
};

// The whole walk at once.
COutlineList LoadSearchCandidates(const std::wstring& path, const std::wstring& keyword);
