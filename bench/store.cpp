// How much the item store (the feed and item databases on the property
// database layer) costs against plain SQLite doing the same logical work on
// the same pages: writing every page with a look-up first, finding pages by
// key, walking each feed's pages newest first, walking the newest pages of
// all feeds, and trimming every feed to 20 pages.
//
// And the search over the stored pages (the store's FTS5 index): what
// keeping it costs a write (every other feed is written with the index left
// alone, the baseline), what building it costs a page, its size against
// the pages', and how long a query takes over all of them, for words found
// on every page, on some and on a few.
//
// Plain SQLite uses the C API with prepared statements, the same journal
// settings as the store (WAL, synchronous=NORMAL), the page fields as
// columns and indexes on key, (feedId, date DESC) and (date DESC). It writes
// and trims one transaction per feed; so does the store (a write group per
// feed, as the update run's merge and the clean-up use). Both sides hand back the same
// PageRecord, with the same text and date conversions, so the difference
// is the storage.
//
// The work is interleaved: feed by feed for writes, look-ups and walks, walk
// by walk for the newest pages, with the side that goes first alternating.
// Costs are medians of the batches (one feed's pages, one walk). The
// clean-up is one CleanupFeeds call over every feed against one plain pass.
//
// Everything happens in a scratch folder that HOME and the XDG folders point
// to, removed at the end.
//
// Usage: bench-store [FEEDS]   (FEEDS defaults to 500, 200 pages each)

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "Draw.h"
#include "ScratchFolder.h"
#include "platform/Calendar.h"
#include "platform/Unicode.h"
#include "store/DataStorage.h"
#include "store/FeedDatabase.h"
#include "platform/PropertyTextIndex.h"
#include "store/ItemDatabase.h"
#include "subscriptions/OpmlDoc.h"
#include "update/FeedManager.h"
#include "update/Setting.h"

namespace {

constexpr int kDefaultFeeds = 500;
constexpr int kPagesPerFeed = 200;
constexpr int kKeptPages = 20; // MaxPages index 0
constexpr int kNewestPages = 200;
constexpr int kNewestWalks = 500;
constexpr std::uint32_t kSeed = 20040906;

constexpr double kWriteTarget = 3.0;
constexpr double kReadTarget = 2.0;
constexpr double kIndexedWriteTarget = 1.10; // keeping the search index against writing without it
constexpr double kIndexSizeTarget = 0.30;    // the index against the pages it holds
constexpr double kQueryTargetMs = 20.0;
constexpr int kQueryRounds = 25;

// ---------------------------------------------------------------------------
// The pages. Each feed's pages come from their own seed, so a feed can be
// made again at any time without keeping 100,000 descriptions in memory.

const wchar_t* const kWords[] = {
    L"river", L"harbour", L"lantern", L"quiet", L"market", L"winter", L"signal", L"garden", L"copper",
    L"orbit", L"meadow", L"ledger", L"station", L"candle", L"thunder", L"archive", L"velvet", L"compass",
    L"bridge", L"canvas", L"north", L"pattern", L"silver", L"engine", L"village", L"horizon", L"timber",
    L"ribbon", L"island", L"marble", L"council", L"weather", L"library", L"journal", L"fabric", L"valley",
    L"mirror", L"planet", L"tunnel", L"anchor", L"café", L"naïve", L"Zürich", L"façade", L"señor",
    L"report", L"update", L"release", L"figures", L"season", L"review", L"budget", L"schedule", L"network",
};
constexpr std::uint32_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);

// Made-up words for a vocabulary of the size real texts have: word n is
// spelt from syllables by the digits of n. Drawn so that a word's chance
// falls with its number (each doubling band of numbers as likely as the
// next), as words of real texts do: the first few are on most pages, those
// of the last band on a few dozen of 100,000.
constexpr std::uint32_t kMadeUpBands = 15; // numbers 1 to 32767
const wchar_t* const kSyllables[] = {L"ka", L"lo", L"mi", L"ra", L"te", L"su", L"ven", L"dor", L"al", L"is",
                                     L"ber", L"gan", L"tor", L"pel", L"qui", L"zan", L"mar", L"lin", L"ost", L"ure"};

std::wstring MadeUpWord(std::uint32_t number)
{
    std::wstring word;
    do {
        word += kSyllables[number % 20];
        number /= 20;
    } while (number > 0);
    return word + L"x"; // never one of kWords
}

std::wstring Words(CDraw& draw, size_t minimumLength)
{
    std::wstring text;
    while (text.size() < minimumLength) {
        if (!text.empty())
            text += draw.OneIn(12) ? L". " : L" ";
        if (draw.OneIn(5)) {
            const std::uint32_t band = draw.Below(kMadeUpBands);
            text += MadeUpWord((1u << band) + draw.Below(1u << band));
        } else {
            text += kWords[draw.Below(kWordCount)];
        }
    }
    return text;
}

// Two years back from 2024-06-01, in minutes: with 100,000 pages many fall
// on the same minute in different feeds, and a few repeat the date of the
// page before them in the same feed.
constexpr std::int64_t kLatestSecond = 1717200000;
constexpr std::uint32_t kSpanMinutes = 2 * 365 * 24 * 60;

CDateTime DateOfSecond(std::int64_t second)
{
    int year = 0, month = 0, day = 0;
    Calendar::CivilFromDays(second / 86400, year, month, day);
    const int ofDay = static_cast<int>(second % 86400);
    return CDateTime::FromParts(year, month, day, ofDay / 3600, ofDay / 60 % 60, ofDay % 60);
}

std::wstring FeedUrl(int feed) { return L"https://example.org/feed-" + std::to_wstring(feed) + L"/rss.xml"; }

std::wstring PageKey(int feed, int item)
{
    return L"https://example.org/feed-" + std::to_wstring(feed) + L"/item-" + std::to_wstring(item);
}

std::vector<PageRecord> MakeFeedPages(int feed, std::uint32_t feedId)
{
    CDraw draw(kSeed + static_cast<std::uint32_t>(feed));
    std::vector<PageRecord> pages(kPagesPerFeed);
    std::int64_t second = 0;
    for (int item = 0; item < kPagesPerFeed; ++item) {
        PageRecord& page = pages[item];
        page.feedId = feedId;
        page.link = PageKey(feed, item);
        page.key = page.link;
        page.title = Words(draw, 60);
        page.title.resize(60);
        page.description = Words(draw, draw.Between(1300, 1700));
        if (item == 0 || !draw.OneIn(25))
            second = kLatestSecond - 60 * std::int64_t{draw.Below(kSpanMinutes)};
        page.date = DateOfSecond(second);
        DateToFileTime(page.date, page.fileTime);
        page.state = draw.OneIn(3) ? PageStateRead : PageStateUnread;
        if (draw.OneIn(5)) {
            page.enclosureUrl = L"https://media.example.org/feed-" + std::to_wstring(feed) + L"/item-"
                                + std::to_wstring(item) + L".mp3";
            page.enclosureLength = draw.Between(1000000, 90000000);
        }
    }
    return pages;
}

bool SamePage(const PageRecord& a, const PageRecord& b)
{
    return a.feedId == b.feedId && a.reserved == b.reserved && a.key == b.key && a.state == b.state
           && a.enclosureUrl == b.enclosureUrl && a.title == b.title && a.description == b.description
           && a.link == b.link && a.fileTime == b.fileTime && a.date.IsValid() && b.date.IsValid()
           && a.date.GetDays() == b.date.GetDays() && a.enclosureLength == b.enclosureLength;
}

// ---------------------------------------------------------------------------
// Plain SQLite doing the same work.

class CPlainStore {
public:
    ~CPlainStore()
    {
        for (sqlite3_stmt* statement : m_statements)
            sqlite3_finalize(statement);
        sqlite3_close(m_pDb);
    }

    bool Open(const std::string& path)
    {
        if (sqlite3_open(path.c_str(), &m_pDb) != SQLITE_OK)
            return Fail("open");
        return Execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                       "CREATE TABLE feeds(id INTEGER PRIMARY KEY, url TEXT NOT NULL UNIQUE,"
                       " feedId INTEGER NOT NULL UNIQUE, title TEXT NOT NULL,"
                       " pageCount INTEGER NOT NULL, unreadCount INTEGER NOT NULL);"
                       "CREATE TABLE pages(id INTEGER PRIMARY KEY, feedId INTEGER NOT NULL,"
                       " reserved INTEGER NOT NULL, state INTEGER NOT NULL, key TEXT NOT NULL,"
                       " title TEXT NOT NULL, description TEXT NOT NULL, date INTEGER NOT NULL,"
                       " enclosureUrl TEXT NOT NULL, link TEXT NOT NULL, enclosureLength INTEGER NOT NULL);"
                       "CREATE INDEX pages_key ON pages(key);"
                       "CREATE INDEX pages_feed ON pages(feedId, date DESC);"
                       "CREATE INDEX pages_date ON pages(date DESC);")
               && Prepare(m_insertFeed, "INSERT INTO feeds(url, feedId, title, pageCount, unreadCount)"
                                        " VALUES(?, ?, ?, 0, 0)")
               // Without statistics the planner takes the feed index for
               // this and walks the whole feed; the key is what selects.
               && Prepare(m_findPage, "SELECT id FROM pages INDEXED BY pages_key WHERE key = ? AND feedId = ?")
               && Prepare(m_insertPage, "INSERT INTO pages(feedId, reserved, state, key, title, description,"
                                        " date, enclosureUrl, link, enclosureLength)"
                                        " VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
               && Prepare(m_feedPages, "SELECT " + std::string(kPageColumns)
                                           + " FROM pages WHERE feedId = ? ORDER BY date DESC")
               && Prepare(m_newest, "SELECT " + std::string(kPageColumns) + " FROM pages ORDER BY date DESC LIMIT ?")
               && Prepare(m_findFeed, "SELECT id, feedId FROM feeds WHERE url = ?")
               && Prepare(m_pageDates, "SELECT id, state FROM pages WHERE feedId = ? ORDER BY date DESC")
               && Prepare(m_deletePage, "DELETE FROM pages WHERE id = ?")
               && Prepare(m_updateCounts, "UPDATE feeds SET pageCount = ?, unreadCount = ? WHERE id = ?")
               && Prepare(m_pageCount, "SELECT count(*) FROM pages");
    }

    bool AddFeed(const std::wstring& url, std::uint32_t feedId, const std::wstring& title)
    {
        const std::string url8 = WideToUtf8(url), title8 = WideToUtf8(title);
        sqlite3_bind_text(m_insertFeed, 1, url8.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_int64(m_insertFeed, 2, feedId);
        sqlite3_bind_text(m_insertFeed, 3, title8.c_str(), -1, SQLITE_STATIC);
        return StepDone(m_insertFeed);
    }

    // Each page is looked up first, as the store's write does; the look-up
    // finds nothing here, since every page is new.
    bool WriteFeedPages(const std::vector<PageRecord>& pages)
    {
        if (!Execute("BEGIN"))
            return false;
        for (const PageRecord& page : pages) {
            if (FindPage(page.key, page.feedId) != 0)
                return Fail("a new page is already stored");
            const std::string key = WideToUtf8(page.key), title = WideToUtf8(page.title),
                              description = WideToUtf8(page.description),
                              enclosureUrl = WideToUtf8(page.enclosureUrl), link = WideToUtf8(page.link);
            sqlite3_bind_int64(m_insertPage, 1, page.feedId);
            sqlite3_bind_int(m_insertPage, 2, page.reserved);
            sqlite3_bind_int(m_insertPage, 3, page.state);
            sqlite3_bind_text(m_insertPage, 4, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
            sqlite3_bind_text(m_insertPage, 5, title.data(), static_cast<int>(title.size()), SQLITE_STATIC);
            sqlite3_bind_text(m_insertPage, 6, description.data(), static_cast<int>(description.size()),
                              SQLITE_STATIC);
            sqlite3_bind_int64(m_insertPage, 7, static_cast<std::int64_t>(page.fileTime.Ticks()));
            sqlite3_bind_text(m_insertPage, 8, enclosureUrl.data(), static_cast<int>(enclosureUrl.size()),
                              SQLITE_STATIC);
            sqlite3_bind_text(m_insertPage, 9, link.data(), static_cast<int>(link.size()), SQLITE_STATIC);
            sqlite3_bind_int64(m_insertPage, 10, page.enclosureLength);
            if (!StepDone(m_insertPage))
                return false;
        }
        return Execute("COMMIT");
    }

    std::int64_t FindPage(const std::wstring& key, std::uint32_t feedId)
    {
        const std::string key8 = WideToUtf8(key);
        sqlite3_bind_text(m_findPage, 1, key8.data(), static_cast<int>(key8.size()), SQLITE_STATIC);
        sqlite3_bind_int64(m_findPage, 2, feedId);
        const std::int64_t id = sqlite3_step(m_findPage) == SQLITE_ROW ? sqlite3_column_int64(m_findPage, 0) : 0;
        sqlite3_reset(m_findPage);
        return id;
    }

    // Hands each page of the feed, newest first, to visit.
    void WalkFeed(std::uint32_t feedId, const std::function<void(const PageRecord&)>& visit)
    {
        sqlite3_bind_int64(m_feedPages, 1, feedId);
        ReadRows(m_feedPages, visit);
    }

    void WalkNewest(int count, const std::function<void(const PageRecord&)>& visit)
    {
        sqlite3_bind_int(m_newest, 1, count);
        ReadRows(m_newest, visit);
    }

    // Keeps the newest pages of the feed and sets its counters from what is
    // left; the number deleted, or -1 on failure.
    int CleanupFeed(const std::wstring& url, int keep)
    {
        if (!Execute("BEGIN"))
            return -1;
        const std::string url8 = WideToUtf8(url);
        sqlite3_bind_text(m_findFeed, 1, url8.data(), static_cast<int>(url8.size()), SQLITE_STATIC);
        if (sqlite3_step(m_findFeed) != SQLITE_ROW) {
            sqlite3_reset(m_findFeed);
            Execute("ROLLBACK");
            return 0;
        }
        const std::int64_t feedRow = sqlite3_column_int64(m_findFeed, 0);
        const std::int64_t feedId = sqlite3_column_int64(m_findFeed, 1);
        sqlite3_reset(m_findFeed);

        std::vector<std::int64_t> past;
        int kept = 0, keptUnread = 0;
        sqlite3_bind_int64(m_pageDates, 1, feedId);
        while (sqlite3_step(m_pageDates) == SQLITE_ROW) {
            if (kept < keep) {
                ++kept;
                keptUnread += sqlite3_column_int(m_pageDates, 1) == PageStateUnread;
            } else {
                past.push_back(sqlite3_column_int64(m_pageDates, 0));
            }
        }
        sqlite3_reset(m_pageDates);
        for (std::int64_t id : past) {
            sqlite3_bind_int64(m_deletePage, 1, id);
            if (!StepDone(m_deletePage))
                return -1;
        }
        if (!past.empty()) {
            sqlite3_bind_int(m_updateCounts, 1, kept);
            sqlite3_bind_int(m_updateCounts, 2, keptUnread);
            sqlite3_bind_int64(m_updateCounts, 3, feedRow);
            if (!StepDone(m_updateCounts))
                return -1;
        }
        return Execute("COMMIT") ? static_cast<int>(past.size()) : -1;
    }

    std::int64_t PageCount()
    {
        const std::int64_t count = sqlite3_step(m_pageCount) == SQLITE_ROW ? sqlite3_column_int64(m_pageCount, 0) : -1;
        sqlite3_reset(m_pageCount);
        return count;
    }

private:
    static constexpr char kPageColumns[] =
        "feedId, reserved, state, key, title, description, date, enclosureUrl, link, enclosureLength";

    static std::wstring TextOf(sqlite3_stmt* statement, int column)
    {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        return Utf8ToWide(std::string_view(text, static_cast<size_t>(sqlite3_column_bytes(statement, column))));
    }

    static void ReadRows(sqlite3_stmt* statement, const std::function<void(const PageRecord&)>& visit)
    {
        PageRecord page;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            page.feedId = static_cast<std::uint32_t>(sqlite3_column_int64(statement, 0));
            page.reserved = static_cast<std::uint16_t>(sqlite3_column_int(statement, 1));
            page.state = static_cast<PageState>(sqlite3_column_int(statement, 2));
            page.key = TextOf(statement, 3);
            page.title = TextOf(statement, 4);
            page.description = TextOf(statement, 5);
            page.fileTime = FILETIME::FromTicks(static_cast<std::uint64_t>(sqlite3_column_int64(statement, 6)));
            page.date = DateFromFileTime(page.fileTime);
            page.enclosureUrl = TextOf(statement, 7);
            page.link = TextOf(statement, 8);
            page.enclosureLength = static_cast<std::uint32_t>(sqlite3_column_int64(statement, 9));
            visit(page);
        }
        sqlite3_reset(statement);
    }

    bool Prepare(sqlite3_stmt*& statement, const std::string& sql)
    {
        if (sqlite3_prepare_v3(m_pDb, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK)
            return Fail(sql.c_str());
        m_statements.push_back(statement);
        return true;
    }

    bool StepDone(sqlite3_stmt* statement)
    {
        const int rc = sqlite3_step(statement);
        sqlite3_reset(statement);
        return rc == SQLITE_DONE || Fail(sqlite3_sql(statement));
    }

    bool Execute(const char* sql)
    {
        return sqlite3_exec(m_pDb, sql, nullptr, nullptr, nullptr) == SQLITE_OK || Fail(sql);
    }

    bool Fail(const char* what)
    {
        std::fprintf(stderr, "bench-store: plain SQLite: %s: %s\n", what, m_pDb ? sqlite3_errmsg(m_pDb) : "");
        return false;
    }

    sqlite3* m_pDb = nullptr;
    std::vector<sqlite3_stmt*> m_statements;
    sqlite3_stmt* m_insertFeed = nullptr;
    sqlite3_stmt* m_findPage = nullptr;
    sqlite3_stmt* m_insertPage = nullptr;
    sqlite3_stmt* m_feedPages = nullptr;
    sqlite3_stmt* m_newest = nullptr;
    sqlite3_stmt* m_findFeed = nullptr;
    sqlite3_stmt* m_pageDates = nullptr;
    sqlite3_stmt* m_deletePage = nullptr;
    sqlite3_stmt* m_updateCounts = nullptr;
    sqlite3_stmt* m_pageCount = nullptr;
};

// ---------------------------------------------------------------------------
// The store's side of the same work.

// Hands each page of the feed, newest first, to visit.
void StoreWalkFeed(std::uint32_t feedId, const std::function<void(const PageRecord&)>& visit)
{
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    PageRecord page;
    if (!items.SeekFeedPages(feedId, true))
        return;
    while (items.Read(page) && page.feedId == feedId)
        visit(page);
}

void StoreWalkNewest(int count, const std::function<void(const PageRecord&)>& visit)
{
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    PageRecord page;
    if (!items.SeekNewest())
        return;
    for (int read = 0; read < count && items.Read(page); ++read)
        visit(page);
}

// The store finds its data folder, the settings and the documents folder
// through these; all of them point into the scratch folder.
void PointHomeAt(const std::string& folder)
{
    ::setenv("HOME", (folder + "/home").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (folder + "/cache").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
    ::setenv("XDG_DOCUMENTS_DIR", (folder + "/home/Documents").c_str(), 1);
}

// Bytes of the item volume's tables and indexes whose names start so.
double VolumeMegabytes(const std::string& path, const char* namePattern)
{
    sqlite3* db = nullptr;
    double bytes = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* sum = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT sum(pgsize) FROM dbstat WHERE name LIKE ?1", -1, &sum, nullptr) == SQLITE_OK) {
            sqlite3_bind_text(sum, 1, namePattern, -1, SQLITE_STATIC);
            if (sqlite3_step(sum) == SQLITE_ROW)
                bytes = sqlite3_column_double(sum, 0);
        }
        sqlite3_finalize(sum);
    }
    sqlite3_close(db);
    return bytes / (1024.0 * 1024.0);
}

double FileMegabytes(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0.0 : static_cast<double>(size) / (1024.0 * 1024.0);
}

// ---------------------------------------------------------------------------
// Measuring.

using CClock = std::chrono::steady_clock;

double MicrosecondsOf(const std::function<void()>& work)
{
    const auto start = CClock::now();
    work();
    return std::chrono::duration<double, std::micro>(CClock::now() - start).count();
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Times store and plain on the same batch, the first one alternating.
struct CPairedTimes {
    std::vector<double> store, plain;

    void Run(size_t batch, const std::function<void()>& storeWork, const std::function<void()>& plainWork)
    {
        if (batch % 2 == 0) {
            store.push_back(MicrosecondsOf(storeWork));
            plain.push_back(MicrosecondsOf(plainWork));
        } else {
            plain.push_back(MicrosecondsOf(plainWork));
            store.push_back(MicrosecondsOf(storeWork));
        }
    }
};

// Each check that fails is reported once, and the run ends with a failure.
class CChecks {
public:
    void Expect(bool ok, const char* what)
    {
        if (!ok && m_failed.insert(what).second)
            std::fprintf(stderr, "bench-store: check failed: %s\n", what);
    }
    bool AllPassed() const { return m_failed.empty(); }

private:
    std::set<std::string> m_failed;
};

struct CRow {
    const char* operation;
    double store;
    double plain;
    double target; // 0: none
};

void PrintRow(const CRow& row)
{
    const double ratio = row.store / row.plain;
    std::printf("%-30s %12.1f %12.1f %8.2f", row.operation, row.store, row.plain, ratio);
    if (row.target > 0)
        std::printf("   <= %.0f   %s\n", row.target, ratio <= row.target ? "met" : "MISSED");
    else
        std::printf("      -    -\n");
}

} // namespace

int main(int argc, char** argv)
{
    ::setenv("RSSREADER_DEBUG", "0", 1);

    int feedCount = kDefaultFeeds;
    if (argc > 2 || (argc == 2 && (std::sscanf(argv[1], "%d", &feedCount) != 1 || feedCount < 1))) {
        std::fprintf(stderr, "usage: bench-store [FEEDS]   (FEEDS >= 1, default %d, %d pages each)\n", kDefaultFeeds,
                     kPagesPerFeed);
        return 2;
    }
#ifndef __OPTIMIZE__
    std::printf("warning: built without optimisation; the figures say little\n");
#endif

    CScratchFolder scratch;
    if (!scratch.Create("bench-store"))
        return 1;
    PointHomeAt(scratch.Path());
    const std::string plainPath = scratch.Path() + "/plain.sqlite";
    const std::string itemPath = WideToUtf8(GetDataFolderFile(kItemVolumeName));
    const std::string feedPath = WideToUtf8(GetDataFolderFile(kFeedVolumeName));

    CSetting::Instance().SetMaxPages(0);    // 20 pages
    CSetting::Instance().SetExpireAfter(0); // never
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    CPlainStore plain;
    if (!items.IsOpen() || !feeds.IsOpen() || !plain.Open(plainPath)) {
        std::fprintf(stderr, "bench-store: cannot open the databases in %s\n", scratch.Path().c_str());
        return 1;
    }
    CChecks checks;

    // The feeds, as the tree makes them when feed outlines are added.
    std::vector<std::uint32_t> feedIds;
    COutlineList outlines;
    for (int feed = 0; feed < feedCount; ++feed) {
        const std::wstring title = L"Example feed " + std::to_wstring(feed);
        FeedRecord record = MakeNewFeedRecord(FeedUrl(feed), title, L"Pages of " + title);
        checks.Expect(feeds.WriteFeed(record) != 0, "WriteFeed stores a new feed");
        checks.Expect(plain.AddFeed(record.url, record.feedId, title), "plain: a new feed is stored");
        feedIds.push_back(record.feedId);
        auto outline = std::make_unique<COutline>();
        outline->title = title;
        outline->xmlUrl = record.url;
        outline->kind = OutlineKindFeed;
        outlines.push_back(std::move(outline));
    }

    // 1. Every page written, feed after feed; the store's write looks the
    // page up first, and a feed's pages are one write group, as the update
    // run's merge makes them.
    // Every other feed is written with the search index left alone: the
    // baseline of what keeping it costs.
    std::vector<CEOID> pageOids(static_cast<size_t>(feedCount) * kPagesPerFeed);
    CPairedTimes writes;
    std::vector<double> indexedWrites, unindexedWrites;
    for (int feed = 0; feed < feedCount; ++feed) {
        std::vector<PageRecord> pages = MakeFeedPages(feed, feedIds[feed]);
        bool plainWritten = false;
        const bool indexed = feed % 2 == 0;
        CeSetTextIndexUpkeepForTesting(indexed);
        writes.Run(
            feed,
            [&] {
                const double took = MicrosecondsOf([&] {
                    CRecordDatabase::CWriteGroup group(items);
                    for (int item = 0; item < kPagesPerFeed; ++item)
                        pageOids[feed * kPagesPerFeed + item] = items.WritePage(pages[item], 0);
                    if (!group.Commit())
                        std::fill_n(pageOids.begin() + feed * kPagesPerFeed, kPagesPerFeed, 0);
                });
                (indexed ? indexedWrites : unindexedWrites).push_back(took);
            },
            [&] { plainWritten = plain.WriteFeedPages(pages); });
        checks.Expect(std::all_of(pageOids.begin() + feed * kPagesPerFeed,
                                  pageOids.begin() + (feed + 1) * kPagesPerFeed, [](CEOID oid) { return oid != 0; }),
                      "WritePage stores every new page");
        checks.Expect(plainWritten, "plain: every new page is stored");
    }
    CeSetTextIndexUpkeepForTesting(true);
    const double itemMbWritten = FileMegabytes(itemPath), itemWalMbWritten = FileMegabytes(itemPath + "-wal");
    const double plainMbWritten = FileMegabytes(plainPath), plainWalMbWritten = FileMegabytes(plainPath + "-wal");

    // The search: the whole index built, as for a store that predates it,
    // its size, and queries over every page.
    DWORD remaining = 0;
    checks.Expect(items.RebuildTextIndex(), "the search index starts afresh");
    const double indexBuild = MicrosecondsOf([&] { checks.Expect(items.IndexQueuedPages(0, remaining), "the search index is built"); });
    checks.Expect(remaining == 0, "every page is indexed");
    const double indexMb = VolumeMegabytes(itemPath, "ce_text_%");
    const double pagesMb = VolumeMegabytes(itemPath, "ce_db_%");
    checks.Expect(indexMb > 0 && pagesMb > 0, "the volume's tables are measured");
    struct CQuery {
        std::wstring words;
        const char* what;
        bool found; // on some page of every run
        double ms = 0;
        size_t hits = 0;
    };
    std::vector<CQuery> queries = {
        {L"river", "on every page", true},
        {L"river harbour", "two on every page", true},
        {MadeUpWord(1 << 4), "on one page in 7", true},
        {MadeUpWord((1 << 9) + 3), "on one page in 200", true},
        {MadeUpWord((1 << 14) + 11) + L" river", "a rare one and river", true},
        {L"nowhere", "on no page", false},
    };
    for (CQuery& query : queries) {
        std::vector<double> times;
        std::vector<PageRecord> found;
        for (int round = 0; round < kQueryRounds; ++round) {
            times.push_back(MicrosecondsOf([&] { checks.Expect(items.FindPages(query.words, kNewestPages, found), "a search runs"); }) / 1000.0);
            query.hits = found.size();
        }
        query.ms = Median(times);
        // The rarer words are on no page of a small run.
        if (!query.found || query.words == L"river")
            checks.Expect((query.hits > 0) == query.found, "a search finds what the pages hold");
        checks.Expect(std::is_sorted(found.begin(), found.end(),
                                     [](const PageRecord& a, const PageRecord& b) { return a.fileTime.Ticks() > b.fileTime.Ticks(); }),
                      "a search lists the newest first");
    }

    // 2. Every page found by key, in a shuffled order, a feed's worth a batch.
    std::vector<int> pageOrder(pageOids.size());
    for (size_t page = 0; page < pageOrder.size(); ++page)
        pageOrder[page] = static_cast<int>(page);
    std::shuffle(pageOrder.begin(), pageOrder.end(), std::mt19937(kSeed));
    CPairedTimes lookUps;
    for (size_t first = 0; first < pageOrder.size(); first += kPagesPerFeed) {
        std::vector<std::wstring> keys;
        std::vector<std::uint32_t> ids;
        for (size_t at = first; at < first + kPagesPerFeed; ++at) {
            keys.push_back(PageKey(pageOrder[at] / kPagesPerFeed, pageOrder[at] % kPagesPerFeed));
            ids.push_back(feedIds[pageOrder[at] / kPagesPerFeed]);
        }
        std::vector<CEOID> storeFound(kPagesPerFeed);
        std::vector<std::int64_t> plainFound(kPagesPerFeed);
        lookUps.Run(
            first / kPagesPerFeed,
            [&] {
                for (int at = 0; at < kPagesPerFeed; ++at)
                    storeFound[at] = items.FindPage(keys[at], ids[at]);
            },
            [&] {
                for (int at = 0; at < kPagesPerFeed; ++at)
                    plainFound[at] = plain.FindPage(keys[at], ids[at]);
            });
        for (int at = 0; at < kPagesPerFeed; ++at) {
            checks.Expect(storeFound[at] == pageOids[pageOrder[first + at]], "FindPage finds the page written");
            checks.Expect(plainFound[at] != 0, "plain: every page is found");
        }
    }

    // 3. Every feed's pages, newest first, the feeds in a shuffled order.
    std::vector<int> feedOrder(feedCount);
    for (int feed = 0; feed < feedCount; ++feed)
        feedOrder[feed] = feed;
    std::shuffle(feedOrder.begin(), feedOrder.end(), std::mt19937(kSeed + 1));
    CPairedTimes feedWalks;
    for (int walk = 0; walk < feedCount; ++walk) {
        const std::uint32_t feedId = feedIds[feedOrder[walk]];
        std::vector<std::uint64_t> storeDates, plainDates;
        bool storeFeedOk = true;
        feedWalks.Run(
            walk,
            [&] {
                StoreWalkFeed(feedId, [&](const PageRecord& page) {
                    storeFeedOk = storeFeedOk && page.feedId == feedId && !page.description.empty();
                    storeDates.push_back(page.fileTime.Ticks());
                });
            },
            [&] {
                plain.WalkFeed(feedId, [&](const PageRecord& page) { plainDates.push_back(page.fileTime.Ticks()); });
            });
        checks.Expect(storeFeedOk && storeDates.size() == kPagesPerFeed, "a feed walk reads every page of the feed");
        checks.Expect(storeDates == plainDates, "a feed walk gives the same dates, newest first, as plain");
    }

    // 4. The newest pages of all feeds.
    const int newestCount = std::min(kNewestPages, feedCount * kPagesPerFeed);
    std::vector<std::uint64_t> plainNewest;
    plain.WalkNewest(newestCount, [&](const PageRecord& page) { plainNewest.push_back(page.fileTime.Ticks()); });
    CPairedTimes newestWalks;
    for (int walk = 0; walk < kNewestWalks; ++walk) {
        std::vector<std::uint64_t> storeDates, plainDates;
        newestWalks.Run(
            walk,
            [&] {
                StoreWalkNewest(newestCount,
                                [&](const PageRecord& page) { storeDates.push_back(page.fileTime.Ticks()); });
            },
            [&] {
                plain.WalkNewest(newestCount,
                                 [&](const PageRecord& page) { plainDates.push_back(page.fileTime.Ticks()); });
            });
        checks.Expect(storeDates == plainNewest && plainDates == plainNewest,
                      "the newest walk gives the same dates, newest first, as plain");
    }

    // 5. Every feed trimmed to 20 pages, counters corrected.
    int storeDeleted = 0, plainDeleted = 0;
    const double storeCleanup = MicrosecondsOf([&] { storeDeleted = CRssFeedManager().CleanupFeeds(outlines, true); });
    const double plainCleanup = MicrosecondsOf([&] {
        for (int feed = 0; feed < feedCount; ++feed)
            plainDeleted += plain.CleanupFeed(FeedUrl(feed), kKeptPages);
    });
    const int expectDeleted = feedCount * (kPagesPerFeed - kKeptPages);
    checks.Expect(storeDeleted == expectDeleted, "CleanupFeeds deletes all but 20 pages of each feed");
    checks.Expect(plainDeleted == expectDeleted, "plain: the clean-up deletes all but 20 pages of each feed");
    // What is left reads back as it was written, field for field.
    for (int feed = 0; feed < feedCount; ++feed) {
        const std::vector<PageRecord> written = MakeFeedPages(feed, feedIds[feed]);
        std::vector<std::uint64_t> storeDates, plainDates;
        int unread = 0;
        StoreWalkFeed(feedIds[feed], [&](const PageRecord& page) {
            storeDates.push_back(page.fileTime.Ticks());
            unread += page.state == PageStateUnread;
            const auto same = std::find_if(written.begin(), written.end(),
                                           [&](const PageRecord& one) { return one.key == page.key; });
            checks.Expect(same != written.end() && SamePage(*same, page), "a page reads back as written");
        });
        plain.WalkFeed(feedIds[feed], [&](const PageRecord& page) { plainDates.push_back(page.fileTime.Ticks()); });
        checks.Expect(storeDates == plainDates, "the clean-up keeps the newest 20 pages of each feed");
        FeedRecord record;
        checks.Expect(feeds.ReadFeed(record, feeds.FindFeedByUrl(FeedUrl(feed))) != 0, "ReadFeed reads a feed");
        checks.Expect(record.pageCount == kKeptPages && record.unreadCount == unread,
                      "the clean-up sets the feed's counters to what is left");
    }
    checks.Expect(plain.PageCount() == static_cast<std::int64_t>(feedCount) * kKeptPages,
                  "plain: 20 pages a feed are left");

    const double itemMb = FileMegabytes(itemPath), itemWalMb = FileMegabytes(itemPath + "-wal");
    const double feedMb = FileMegabytes(feedPath), feedWalMb = FileMegabytes(feedPath + "-wal");
    const double plainMb = FileMegabytes(plainPath), plainWalMb = FileMegabytes(plainPath + "-wal");

    const double pageCount = static_cast<double>(pageOids.size());
    std::printf("feeds: %d, pages: %.0f (%d a feed), descriptions 1300-1700 characters\n", feedCount, pageCount,
                kPagesPerFeed);
    std::printf("medians of interleaved batches (one feed's pages, one walk); clean-up one pass each\n\n");
    std::printf("%-30s %12s %12s %8s   %s\n", "operation", "store", "plain", "ratio", "target");
    PrintRow({"write, µs a page", Median(writes.store) / kPagesPerFeed, Median(writes.plain) / kPagesPerFeed,
              kWriteTarget});
    PrintRow({"find by key, µs a page", Median(lookUps.store) / kPagesPerFeed,
              Median(lookUps.plain) / kPagesPerFeed, kReadTarget});
    PrintRow({"feed walk (200), µs a walk", Median(feedWalks.store), Median(feedWalks.plain), kReadTarget});
    PrintRow({"newest walk (200), µs a walk", Median(newestWalks.store), Median(newestWalks.plain), kReadTarget});
    PrintRow({"clean-up, µs a feed", storeCleanup / feedCount, plainCleanup / feedCount, 0});
    std::printf("\nsearch over %.0f pages (FTS5, words only)\n", pageCount);
    std::printf("%-36s %10.1f %10.1f %8.3f   <= %.2f   %s\n", "write with / without the index, µs", Median(indexedWrites) / kPagesPerFeed,
                Median(unindexedWrites) / kPagesPerFeed, Median(indexedWrites) / Median(unindexedWrites), kIndexedWriteTarget,
                Median(indexedWrites) / Median(unindexedWrites) <= kIndexedWriteTarget ? "met" : "MISSED");
    std::printf("%-36s %10.1f\n", "index build, µs a page", indexBuild / pageCount);
    std::printf("%-36s %10.1f %10.1f %8.3f   <= %.2f   %s\n", "index / pages, MB", indexMb, pagesMb, indexMb / pagesMb,
                kIndexSizeTarget, indexMb / pagesMb <= kIndexSizeTarget ? "met" : "MISSED");
    for (const CQuery& query : queries)
        std::printf("query %-22s %6zu hits %8.2f ms   <= %.0f   %s\n", query.what, query.hits, query.ms, kQueryTargetMs,
                    query.ms <= kQueryTargetMs ? "met" : "MISSED");
    std::printf("\non disk after the writes (MB): RSSITEM.CDB %.1f + wal %.1f; plain %.1f + wal %.1f\n",
                itemMbWritten, itemWalMbWritten, plainMbWritten, plainWalMbWritten);
    std::printf("on disk at the end (MB): RSSITEM.CDB %.1f + wal %.1f; RSS.CDB %.2f + wal %.2f;"
                " plain %.1f + wal %.1f\n",
                itemMb, itemWalMb, feedMb, feedWalMb, plainMb, plainWalMb);

    CZelviaRssItemDB::DestroyInstance();
    CZelviaRssDB::DestroyInstance();
    CSetting::DestroyInstance();
    if (!checks.AllPassed()) {
        std::printf("some checks failed (see above): the figures are not comparable\n");
        return 1;
    }
    return 0;
}
