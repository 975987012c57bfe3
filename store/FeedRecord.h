#pragma once
// One stored feed: what the tree and the lists show without reading pages,
// and the id that ties the feed's pages to it. The url is the key.
#include <cstdint>
#include <string>

#include "platform/Clock.h"
#include "platform/DateTime.h"

// updateStatus values.
inline constexpr std::int32_t kFeedStatusUpdated = 2;
inline constexpr std::int32_t kFeedStatusFailed = 3;
inline constexpr std::int32_t kFeedStatusCreated = 4;

// sortField / sortOrder / viewFilter values of the feed's page list.
inline constexpr std::int32_t kFeedSortByTitle = 1;
inline constexpr std::int32_t kFeedSortByDate = 2;
inline constexpr std::int32_t kFeedSortAscending = 1;
inline constexpr std::int32_t kFeedSortDescending = 2;
inline constexpr std::int32_t kFeedViewAll = 0;
inline constexpr std::int32_t kFeedViewUnread = 1;
inline constexpr std::int32_t kFeedViewRead = 2;
inline constexpr std::int32_t kFeedViewToday = 3;

inline constexpr wchar_t kUntitledFeed[] = L"Untitled Feed";

// The counters and options are stored in 16 bits; in memory they are plain
// integers so that "lower by n, not below 0" is simple arithmetic.
struct FeedRecord {
    std::uint32_t feedId = 0;
    std::int32_t pageCount = 0;
    std::int32_t unreadCount = 0;
    std::int32_t updateCounter = 0;
    std::wstring url;
    std::wstring title;
    std::wstring description;
    std::int32_t sortField = 0;
    std::int32_t sortOrder = 0;
    std::int32_t viewFilter = 0;
    std::int32_t updateStatus = 0;
    CDateTime lastDate; // 0 until the first successful update
    FILETIME fileTime;  // the stored form of lastDate
};
