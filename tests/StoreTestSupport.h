#pragma once
// Building stored feeds and pages for the store's tests.

#include <string>
#include <vector>

#include "TestSupport.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"

// Stores a new feed record, as the tree does when a feed is added.
FeedRecord StoreFeed(const std::wstring& url, const std::wstring& title = L"Feed");
// Stores a page of the feed; the key doubles as the link.
CEOID StorePage(std::uint32_t feedId, const std::wstring& key, const CDateTime& date,
                PageState state = PageStateUnread);
// The stored feed record of that URL (an empty record when there is none).
FeedRecord StoredFeed(const std::wstring& url);
// The keys of a feed's pages in the feed's order (newest first); the pages
// the user deleted only when asked for.
std::vector<std::wstring> StoredKeys(std::uint32_t feedId, bool withDeleted = false);
// Captures the debug lines written while fn runs.
template <typename Fn>
std::string DebugLinesOf(Fn fn)
{
    setenv("RSSREADER_DEBUG", "1", 1);
    ::testing::internal::CaptureStderr();
    fn();
    std::string lines = ::testing::internal::GetCapturedStderr();
    setenv("RSSREADER_DEBUG", "0", 1);
    return lines;
}
