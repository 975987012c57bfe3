#pragma once
// The item database: every page of every feed, one PageRecord each, in the
// volume "RSSITEM.CDB" of the data folder. Four sort orders:
//   0  key ascending                              (look-up by key)
//   1  feedId ascending, then date descending     (a feed's pages, newest first)
//   2  date descending                            (new pages across all feeds)
//   3  feedId ascending, then state ascending     (counting a feed's pages)
// A page the user deleted stays as a record in state 4 (PageStateDeleted),
// so that the update still finds its key and does not bring it back; such
// a page counts nowhere and is shown nowhere.
// The words of every page's title and text (markup stripped) are kept in a
// full-text index beside the pages (platform/PropertyTextIndex.h): a page
// written is queued for it, and FindPages works the queue off before it
// searches, so a search always sees every page stored. Deleted pages are
// never found.
// One process-wide instance. It takes no lock of its own: the seek position
// and the current sort order are shared, so its users take turns (the update
// run holds the tree's update lock while it works).
#include <string>
#include <vector>

#include "store/PageRecord.h"
#include "store/RecordDatabase.h"

inline constexpr wchar_t kItemVolumeName[] = L"RSSITEM.CDB";
inline constexpr wchar_t kItemDatabaseName[] = L"ZELVIA_RSS_ITEM";
inline constexpr WORD kItemPropertyCount = 10;

inline constexpr WORD kItemOrderByKey = 0;
inline constexpr WORD kItemOrderByFeed = 1;
inline constexpr WORD kItemOrderNewest = 2;
inline constexpr WORD kItemOrderByFeedState = 3;

class CZelviaRssItemDB : public CRecordDatabase {
public:
    // Created (volume mounted, database defined and opened in order 1) on
    // first use.
    static CZelviaRssItemDB& Instance() { return CProcessWide<CZelviaRssItemDB>::Get(); }
    // Flushes and unmounts; the next Instance() opens afresh.
    static void DestroyInstance() { CProcessWide<CZelviaRssItemDB>::DestroyInstance(); }

    // With first: to the first page of the feed in order 1 (just to the
    // beginning when feedId is 0); without: one on, if it is of the feed.
    CEOID SeekFeedPages(std::uint32_t feedId, bool first);
    // To the beginning of order 2.
    CEOID SeekNewest();
    // Reads the page with that id, or the one at the seek position for 0, and
    // moves the position on. 0 on failure (logged by cause).
    CEOID Read(PageRecord& record, CEOID oid = 0);
    // The same without the texts: only feedId, state and date (and its file
    // time) are filled, for walks that judge pages by age and state.
    CEOID ReadState(PageRecord& record, CEOID oid = 0);
    // The page with that key in that feed, or 0. Uses order 0.
    CEOID FindPage(const std::wstring& key, std::uint32_t feedId);
    // Writes the ten properties to the page with that id; for 0, to the page
    // of the same key and feed, or to a new record. An empty key writes
    // nothing. Returns the record's id or 0.
    CEOID WritePage(PageRecord& record, CEOID oid = 0);
    bool DeletePage(const std::wstring& key, std::uint32_t feedId);
    // Deletes every page of the feed; the number deleted.
    int DeletePagesOfFeed(std::uint32_t feedId);
    bool DeleteFirstPageOfFeed(std::uint32_t feedId);

    // Every page of the feed, newest first (order 1), in one call that
    // leaves the shared walk position alone; pages the user deleted only
    // when asked for. False on a read failure (pages holds what was read).
    bool ReadFeedPages(std::uint32_t feedId, std::vector<PageRecord>& pages, bool withDeleted = false);

    // The new pages across all feeds, newest first (order 2), in one call that
    // leaves the shared walk position alone: unread pages dated after the
    // cutoff, at most count of them.
    bool ReadNewPages(const FILETIME& cutoff, int count, std::vector<PageRecord>& pages);

    // The feed's stored pages (deleted ones not counted) and how many of them
    // are unread, and the deleted pages kept as tombstones when asked: three
    // index look-ups, the walk position left alone.
    bool CountFeedPages(std::uint32_t feedId, int& pageCount, int& unreadCount, int* tombstoneCount = nullptr);
    // CountFeedPages for many feeds in two passes over the index, for trees
    // of thousands of feeds: counts[i] for feedIds[i].
    struct CPageCounts {
        int pages = 0;
        int unread = 0;
        int tombstones = 0;
    };
    bool CountFeedPages(const std::vector<std::uint32_t>& feedIds, std::vector<CPageCounts>& counts);
    // How many feed ids the stored pages carry (deleted pages included).
    bool CountFeedsWithPages(DWORD& count);
    // The feed id of the first page of the next feed after feedId in order 1
    // (feedId 0: the first feed); 0 when there is none or on failure
    // (GetLastError tells which).
    std::uint32_t NextFeedIdWithPages(std::uint32_t feedId);

    // The pages whose title or text hold every word of the query (case and
    // accents ignored, English word endings folded), newest first, at most
    // limit of them. False when the index cannot be used or read (GetLastError
    // says why); the walk position is left alone.
    bool FindPages(const std::wstring& words, int limit, std::vector<PageRecord>& pages);
    // Indexes up to limit queued pages (0: all); remaining says how many
    // are left. An update run works off what it queued once its feeds are
    // merged, so that the next search need not.
    bool IndexQueuedPages(DWORD limit, DWORD& remaining);
    // Starts the index afresh: every page queued again.
    bool RebuildTextIndex();

protected:
    void OnOpened() override;

private:
    CZelviaRssItemDB();
    ~CZelviaRssItemDB();
    HCEDB m_hCountDB = nullptr; // a handle of its own in order 3
    bool m_bTextIndexed = false; // the text index is attached
    friend class CProcessWide<CZelviaRssItemDB>;
};
