#pragma once
// The feed database: one FeedRecord per feed of the subscription tree, in
// the volume "RSS.CDB" of the data folder. Sort orders: 0 url ascending,
// 1 feedId ascending. One process-wide instance, taking no lock of its own
// (its users take turns, as with the item database).
#include <string>
#include <vector>

#include "store/FeedRecord.h"
#include "store/RecordDatabase.h"

inline constexpr wchar_t kFeedVolumeName[] = L"RSS.CDB";
inline constexpr wchar_t kFeedDatabaseName[] = L"ZELVIA_RSS_DB";
inline constexpr WORD kFeedPropertyCount = 12;

inline constexpr wchar_t kFeedValidatorDatabaseName[] = L"ZELVIA_RSS_VALIDATORS";
inline constexpr wchar_t kHostWaitDatabaseName[] = L"ZELVIA_RSS_HOST_WAITS";

// What a server said of a feed's last stored document, sent back with the
// next request so that an unchanged document costs a 304 and no parse.
struct CFeedValidators {
    std::wstring etag;
    std::wstring lastModified;
    bool Empty() const { return etag.empty() && lastModified.empty(); }
    bool operator==(const CFeedValidators&) const = default;
};

// A feed's record looked up by its URL, or why there is none.
struct CFeedLookup {
    CEOID oid = 0; // 0: no record was read
    FeedRecord record;
    DWORD error = ERROR_SUCCESS; // why not
    bool Found() const { return oid != 0; }
    // The store has no record of that URL, as against one it could not read.
    bool Missing() const { return !Found() && (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_ITEMS); }
};

inline constexpr WORD kFeedOrderByUrl = 0;
inline constexpr WORD kFeedOrderById = 1;

class CZelviaRssDB : public CRecordDatabase {
public:
    // Opened in order 0 on first use.
    static CZelviaRssDB& Instance() { return CProcessWide<CZelviaRssDB>::Get(); }
    static void DestroyInstance() { CProcessWide<CZelviaRssDB>::DestroyInstance(); }

    // The record of that url (order 0), or 0. An empty url gives 0 at once.
    CEOID FindFeedByUrl(const std::wstring& url, bool first = true);
    // The record of that feed id (order 1), or 0.
    CEOID FindFeedById(std::uint32_t feedId, bool first = true);
    // Reads the record with that id, or the one at the seek position for 0.
    // Fails (0) on a read failure or fewer than twelve properties, leaving
    // the defaults in the record.
    CEOID ReadFeed(FeedRecord& record, CEOID oid = 0);
    // FindFeedByUrl and ReadFeed in one, with the reason of a failure
    // (the opening's, when the store could not be opened).
    CFeedLookup LookUpFeed(const std::wstring& url);
    // Writes the record to that id; for 0, to the record of the same url or
    // a new one. A new record whose feedId is 0 or already taken by another
    // feed is given a free one (written back into the record). The look-up
    // and the write are one transaction, so that two processes never make
    // two records of one url nor give one id to two urls.
    CEOID WriteFeed(FeedRecord& record, CEOID oid = 0);
    // Stores the record only when no record has its url; otherwise reads the
    // stored one into it. One transaction, like WriteFeed. The record's id,
    // or 0 on failure.
    CEOID CreateFeedIfMissing(FeedRecord& record, bool* pCreated = nullptr);
    // Writes the record only when one with its url exists.
    bool UpdateFeed(FeedRecord& record);
    // Also drops the feed's validators.
    bool DeleteFeed(const std::wstring& url);

    // The validators live beside the records, in a second database of the
    // volume, so that the record layout stays as it is. They are kept with
    // the feed id they were stored for: a feed deleted and subscribed again
    // under the same url has a new id and starts without them (a 304 must
    // never stand for pages the new record does not have).
    // False, with the validators empty, when none are stored for that feed.
    bool ReadValidators(const std::wstring& url, std::uint32_t feedId, CFeedValidators& validators);
    // Empty validators drop the entry. One transaction.
    bool WriteValidators(const std::wstring& url, std::uint32_t feedId, const CFeedValidators& validators);
    // Until when (UTC) a host asked to be left alone (Retry-After), kept in
    // a third database of the volume by host ("name:port" as the downloads
    // name it). False, with 0 ticks, when it asked nothing.
    bool ReadHostNotBefore(const std::wstring& host, FILETIME& notBefore);
    // 0 ticks drops the entry. One transaction.
    bool WriteHostNotBefore(const std::wstring& host, const FILETIME& notBefore);
    // To the beginning of the current order, for walking every feed.
    CEOID FirstFeed() { return SeekBeginning(); }
    // Every stored feed, in URL order, in one walk; false when the walk
    // could not be finished (GetLastError says why), as against an empty
    // store.
    bool ReadAllFeeds(std::vector<FeedRecord>& feeds);

    // A feed id for a new feed: the millisecond tick count, moved on past
    // ids that stored feeds already use (and past 0, which means "none").
    std::uint32_t NewFeedId();

private:
    CZelviaRssDB();
    ~CZelviaRssDB() = default;
    bool IsFeedIdTaken(std::uint32_t feedId);
    friend class CProcessWide<CZelviaRssDB>;
};

// A new feed's record as the tree makes it when a feed outline is added:
// counters 0, sorted by date, never updated yet.
FeedRecord MakeNewFeedRecord(const std::wstring& url, const std::wstring& title, const std::wstring& description);
