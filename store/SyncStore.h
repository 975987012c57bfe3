#pragma once
// What the reader keeps of its sync with a server account, in the item
// volume "RSSITEM.CDB" beside the pages, so that the pages a sync stores, the
// articles they came from, the sync's progress and the marks still to send
// land in one transaction of that volume (a CWriteGroup of the item
// database) and a kill at any moment leaves all of them as they were before
// or all as they are after:
//   ZELVIA_SYNC_STATE    one record: the account it belongs to, the highest
//                        article id fetched, the time of the last sync that
//                        saw the server's state, the server session
//   ZELVIA_SYNC_ARTICLE  one record per server article with a page here: its
//                        id, the page (feed id, key), its read state on the
//                        server as last seen
//   ZELVIA_SYNC_QUEUE    marks made here that the server has not taken yet:
//                        article id, unread or read, when (UTC), a serial
//   ZELVIA_SYNC_TREE     the server's categories and feeds as the last sync
//                        saw them, in the server's order
//
// A CSyncStore object opens its handles on first use and closes them with
// it; make one for a job, on the thread that does the job. It takes no lock:
// the volume's own lock makes each call safe, and its users take turns as
// the item database's do.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/PropertyDatabase.h"

struct CSyncState {
    std::wstring account; // "<server>\n<user>": state of another account is not used
    std::uint32_t lastArticleId = 0;
    std::uint64_t lastSync = 0; // UTC file-time ticks; 0: never
    std::wstring sessionId;
};

struct CSyncArticle {
    std::uint32_t articleId = 0;
    std::uint32_t feedId = 0;
    std::wstring key;
    bool serverUnread = true;
};

struct CQueuedMark {
    std::uint32_t articleId = 0;
    bool unread = false;
    std::uint64_t madeAt = 0; // UTC file-time ticks
    std::uint32_t serial = 0; // tells a mark from a later one of the same article
};

struct CSyncTreeEntry {
    enum Kind : std::uint16_t { Category = 1, Feed = 2 };
    Kind kind = Feed;
    std::uint32_t serverId = 0;
    std::wstring title;
    std::wstring url;             // feeds
    std::uint32_t categoryId = 0; // feeds: 0 uncategorised
};

class CSyncStore {
public:
    CSyncStore();
    ~CSyncStore();
    CSyncStore(const CSyncStore&) = delete;
    CSyncStore& operator=(const CSyncStore&) = delete;

    // False when the item volume is not open.
    bool IsOpen() const;

    // The state; a fresh one when none is stored. False on a read failure.
    bool ReadState(CSyncState& state);
    bool WriteState(const CSyncState& state);

    std::optional<CSyncArticle> FindArticle(std::uint32_t articleId);
    std::optional<CSyncArticle> FindArticleOfPage(std::uint32_t feedId, const std::wstring& key);
    bool WriteArticle(const CSyncArticle& article);
    bool DeleteArticle(std::uint32_t articleId);
    bool ReadArticlesOfFeed(std::uint32_t feedId, std::vector<CSyncArticle>& articles);
    // How many articles of the feed the server had unread when last seen.
    bool CountServerUnread(std::uint32_t feedId, int& count);
    bool DeleteArticlesOfFeed(std::uint32_t feedId);

    // A mark made here: replaces a queued mark of the same article.
    bool QueueMark(std::uint32_t articleId, bool unread, std::uint64_t madeAt);
    bool ReadQueue(std::vector<CQueuedMark>& marks);
    // Drops queued marks the server has taken; a mark queued again since
    // (another serial) stays.
    bool RemoveQueued(const std::vector<CQueuedMark>& marks);
    bool CountQueue(int& count);

    bool ReadTree(std::vector<CSyncTreeEntry>& entries);
    bool WriteTree(const std::vector<CSyncTreeEntry>& entries);

    // Forgets everything of the account: state, articles, queue, tree.
    bool Clear();

    // Queues the mark when the page is a server article's; true when it is
    // none, or the mark was queued. Part of the caller's write group.
    bool QueueMarkOfPage(std::uint32_t feedId, const std::wstring& key, bool unread, std::uint64_t madeAt);

private:
    struct CHandles;
    CHandles& Handles();
    std::unique_ptr<CHandles> m_pHandles;
};

// Now, as UTC file-time ticks: the time a mark is made.
std::uint64_t SyncNow();
