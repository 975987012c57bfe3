#include "store/SyncStore.h"

#include "store/ItemDatabase.h"

namespace {

constexpr wchar_t kStateDatabase[] = L"ZELVIA_SYNC_STATE";
constexpr wchar_t kArticleDatabase[] = L"ZELVIA_SYNC_ARTICLE";
constexpr wchar_t kQueueDatabase[] = L"ZELVIA_SYNC_QUEUE";
constexpr wchar_t kTreeDatabase[] = L"ZELVIA_SYNC_TREE";

enum StateProperty : WORD { kStateAccount, kStateLastArticle, kStateLastSync, kStateSession, kStatePropertyCount };
enum ArticleProperty : WORD { kArticleId, kArticleFeed, kArticleKey, kArticleUnread, kArticlePropertyCount };
enum QueueProperty : WORD { kQueueArticle, kQueueUnread, kQueueMadeAt, kQueueSerial, kQueuePropertyCount };
enum TreeProperty : WORD { kTreeKind, kTreeId, kTreeTitle, kTreeUrl, kTreeCategory, kTreePosition, kTreePropertyCount };

// Sort orders of the article database.
constexpr WORD kArticleById = 0;
constexpr WORD kArticleByPage = 1;
constexpr WORD kArticleByFeedState = 2;

CEDBASEINFOEX Definition(const wchar_t* name, std::initializer_list<SORTORDERSPECEX> orders)
{
    CEDBASEINFOEX info;
    info.szDbaseName = name;
    for (const SORTORDERSPECEX& order : orders)
        info.rgSortSpecs[info.wNumSortOrder++] = order;
    return info;
}

CEDBASEINFOEX StateDefinition()
{
    return Definition(kStateDatabase, {MakeSortOrder({{PROP_TAG(CEVT_LPWSTR, kStateAccount), 0}})});
}

CEDBASEINFOEX ArticleDefinition()
{
    return Definition(kArticleDatabase,
                      {MakeSortOrder({{PROP_TAG(CEVT_UI4, kArticleId), 0}}),
                       MakeSortOrder({{PROP_TAG(CEVT_UI4, kArticleFeed), 0}, {PROP_TAG(CEVT_LPWSTR, kArticleKey), 0}}),
                       MakeSortOrder({{PROP_TAG(CEVT_UI4, kArticleFeed), 0}, {PROP_TAG(CEVT_UI2, kArticleUnread), 0}})});
}

CEDBASEINFOEX QueueDefinition()
{
    return Definition(kQueueDatabase, {MakeSortOrder({{PROP_TAG(CEVT_UI4, kQueueArticle), 0}})});
}

CEDBASEINFOEX TreeDefinition()
{
    return Definition(kTreeDatabase, {MakeSortOrder({{PROP_TAG(CEVT_UI4, kTreePosition), 0}})});
}

// One database of the item volume in one sort order, created when missing;
// each read moves its position to the next record.
class CTable {
public:
    CTable() = default;
    ~CTable()
    {
        if (m_hDB)
            CloseHandle(m_hDB);
    }
    CTable(const CTable&) = delete;
    CTable& operator=(const CTable&) = delete;

    HCEDB Open(const CEGUID& volume, const CEDBASEINFOEX& info, WORD order)
    {
        if (m_hDB)
            return m_hDB;
        CEOID oid = 0;
        m_hDB = CeOpenDatabaseEx2(&volume, &oid, info.szDbaseName, &info.rgSortSpecs[order], CEDB_AUTOINCREMENT);
        if (!m_hDB && GetLastError() == ERROR_FILE_NOT_FOUND &&
            (CeCreateDatabaseEx2(&volume, info) || GetLastError() == ERROR_ALREADY_EXISTS))
            m_hDB = CeOpenDatabaseEx2(&volume, &oid, info.szDbaseName, &info.rgSortSpecs[order], CEDB_AUTOINCREMENT);
        return m_hDB;
    }

private:
    HCEDB m_hDB = nullptr;
};

// A failed seek that found nothing is no failure.
bool NothingFound() { return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_NO_MORE_ITEMS; }

std::vector<CEPROPVAL> PropsOfArticle(const CSyncArticle& article)
{
    return {MakeUI4Prop(kArticleId, article.articleId), MakeUI4Prop(kArticleFeed, article.feedId),
            MakeStringProp(kArticleKey, article.key), MakeUI2Prop(kArticleUnread, article.serverUnread ? 1 : 0)};
}

std::optional<CSyncArticle> ArticleOf(std::vector<CEPROPVAL>& props)
{
    if (props.size() < kArticlePropertyCount)
        return std::nullopt;
    CSyncArticle article;
    article.articleId = props[kArticleId].val.ulVal;
    article.feedId = props[kArticleFeed].val.ulVal;
    article.key = std::move(props[kArticleKey].val.lpwstr);
    article.serverUnread = props[kArticleUnread].val.uiVal != 0;
    return article;
}

FILETIME TicksToFileTime(std::uint64_t ticks) { return FILETIME::FromTicks(ticks); }

// Deletes every record of the database.
bool DeleteAllOf(HCEDB table)
{
    if (!table)
        return false;
    while (const CEOID oid = CeSeekDatabaseEx(table, CEDB_SEEK_BEGINNING, 0)) {
        if (!CeDeleteRecord(table, oid))
            return false;
    }
    return NothingFound() || GetLastError() == ERROR_SUCCESS;
}

} // namespace

std::uint64_t SyncNow()
{
    FILETIME now;
    SystemTimeToFileTime(GetSystemTime(), now);
    return now.Ticks();
}

struct CSyncStore::CHandles {
    CEGUID volume;
    bool open = false;
    CTable state;
    CTable articleById;
    CTable articleByPage;
    CTable articleByState;
    CTable queue;
    CTable tree;

    HCEDB State() { return state.Open(volume, StateDefinition(), 0); }
    HCEDB ArticleById() { return articleById.Open(volume, ArticleDefinition(), kArticleById); }
    HCEDB ArticleByPage() { return articleByPage.Open(volume, ArticleDefinition(), kArticleByPage); }
    HCEDB ArticleByState() { return articleByState.Open(volume, ArticleDefinition(), kArticleByFeedState); }
    HCEDB Queue() { return queue.Open(volume, QueueDefinition(), 0); }
    HCEDB Tree() { return tree.Open(volume, TreeDefinition(), 0); }
};

CSyncStore::CSyncStore() = default;
CSyncStore::~CSyncStore() = default;

CSyncStore::CHandles& CSyncStore::Handles()
{
    if (!m_pHandles) {
        m_pHandles = std::make_unique<CHandles>();
        CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
        m_pHandles->open = items.IsOpen();
        m_pHandles->volume = items.GetVolumeId();
    }
    return *m_pHandles;
}

bool CSyncStore::IsOpen() const { return CZelviaRssItemDB::Instance().IsOpen(); }

bool CSyncStore::ReadState(CSyncState& state)
{
    state = {};
    HCEDB table = Handles().State();
    if (!table)
        return false;
    if (!CeSeekDatabaseEx(table, CEDB_SEEK_BEGINNING, 0))
        return NothingFound();
    std::vector<CEPROPVAL> props;
    if (!CeReadRecordPropsEx(table, props))
        return false;
    if (props.size() < kStatePropertyCount)
        return true; // a damaged record counts as none: the next sync starts over
    state.account = std::move(props[kStateAccount].val.lpwstr);
    state.lastArticleId = props[kStateLastArticle].val.ulVal;
    state.lastSync = props[kStateLastSync].val.filetime.Ticks();
    state.sessionId = std::move(props[kStateSession].val.lpwstr);
    return true;
}

bool CSyncStore::WriteState(const CSyncState& state)
{
    HCEDB table = Handles().State();
    if (!table)
        return false;
    CEOID oid = CeSeekDatabaseEx(table, CEDB_SEEK_BEGINNING, 0);
    if (!oid && !NothingFound())
        return false;
    const std::vector<CEPROPVAL> props = {
        MakeStringProp(kStateAccount, state.account), MakeUI4Prop(kStateLastArticle, state.lastArticleId),
        MakeFileTimeProp(kStateLastSync, TicksToFileTime(state.lastSync)), MakeStringProp(kStateSession, state.sessionId)};
    return CeWriteRecordProps(table, oid, props) != 0;
}

std::optional<CSyncArticle> CSyncStore::FindArticle(std::uint32_t articleId)
{
    HCEDB table = Handles().ArticleById();
    const CEPROPVAL id = MakeUI4Prop(kArticleId, articleId);
    std::vector<CEPROPVAL> props;
    if (!table || !CeSeekDatabaseEx(table, CEDB_SEEK_VALUEFIRSTEQUAL, &id, 1) || !CeReadRecordPropsEx(table, props))
        return std::nullopt;
    return ArticleOf(props);
}

std::optional<CSyncArticle> CSyncStore::FindArticleOfPage(std::uint32_t feedId, const std::wstring& key)
{
    HCEDB table = Handles().ArticleByPage();
    const CEPROPVAL page[] = {MakeUI4Prop(kArticleFeed, feedId), MakeStringProp(kArticleKey, key)};
    std::vector<CEPROPVAL> props;
    if (!table || !CeSeekDatabaseEx(table, CEDB_SEEK_VALUEFIRSTEQUAL, page, 2) || !CeReadRecordPropsEx(table, props))
        return std::nullopt;
    return ArticleOf(props);
}

bool CSyncStore::WriteArticle(const CSyncArticle& article)
{
    HCEDB table = Handles().ArticleById();
    if (!table)
        return false;
    const CEPROPVAL id = MakeUI4Prop(kArticleId, article.articleId);
    const CEOID oid = CeSeekDatabaseEx(table, CEDB_SEEK_VALUEFIRSTEQUAL, &id, 1);
    if (!oid && !NothingFound())
        return false;
    return CeWriteRecordProps(table, oid, PropsOfArticle(article)) != 0;
}

bool CSyncStore::DeleteArticle(std::uint32_t articleId)
{
    HCEDB table = Handles().ArticleById();
    if (!table)
        return false;
    const CEPROPVAL id = MakeUI4Prop(kArticleId, articleId);
    const CEOID oid = CeSeekDatabaseEx(table, CEDB_SEEK_VALUEFIRSTEQUAL, &id, 1);
    return oid ? CeDeleteRecord(table, oid) : NothingFound();
}

bool CSyncStore::ReadArticlesOfFeed(std::uint32_t feedId, std::vector<CSyncArticle>& articles)
{
    articles.clear();
    HCEDB table = Handles().ArticleByPage();
    if (!table)
        return false;
    const CEPROPVAL feed = MakeUI4Prop(kArticleFeed, feedId);
    if (!CeSeekDatabaseEx(table, CEDB_SEEK_VALUEFIRSTEQUAL, &feed, 1))
        return NothingFound();
    std::vector<CEPROPVAL> props;
    for (;;) {
        if (!CeReadRecordPropsEx(table, props))
            return GetLastError() == ERROR_NO_MORE_ITEMS;
        std::optional<CSyncArticle> article = ArticleOf(props);
        if (!article)
            continue;
        if (article->feedId != feedId)
            return true;
        articles.push_back(std::move(*article));
    }
}

bool CSyncStore::CountServerUnread(std::uint32_t feedId, int& count)
{
    count = 0;
    HCEDB table = Handles().ArticleByState();
    if (!table)
        return false;
    const CEPROPVAL unread[] = {MakeUI4Prop(kArticleFeed, feedId), MakeUI2Prop(kArticleUnread, 1)};
    DWORD found = 0;
    if (!CeCountMatchingRecords(table, unread, 2, found))
        return false;
    count = static_cast<int>(found);
    return true;
}

bool CSyncStore::DeleteArticlesOfFeed(std::uint32_t feedId)
{
    HCEDB table = Handles().ArticleByPage();
    if (!table)
        return false;
    const CEPROPVAL feed = MakeUI4Prop(kArticleFeed, feedId);
    while (const CEOID oid = CeSeekDatabaseEx(table, CEDB_SEEK_VALUEFIRSTEQUAL, &feed, 1)) {
        if (!CeDeleteRecord(table, oid))
            return false;
    }
    return NothingFound();
}

bool CSyncStore::QueueMark(std::uint32_t articleId, bool unread, std::uint64_t madeAt)
{
    HCEDB table = Handles().Queue();
    if (!table)
        return false;
    const CEPROPVAL id = MakeUI4Prop(kQueueArticle, articleId);
    const CEOID oid = CeSeekDatabaseEx(table, CEDB_SEEK_VALUEFIRSTEQUAL, &id, 1);
    if (!oid && !NothingFound())
        return false;
    std::uint32_t serial = 1;
    std::vector<CEPROPVAL> props;
    if (oid && CeReadRecordPropsEx(table, props) && props.size() >= kQueuePropertyCount)
        serial = props[kQueueSerial].val.ulVal + 1;
    const std::vector<CEPROPVAL> mark = {MakeUI4Prop(kQueueArticle, articleId), MakeUI2Prop(kQueueUnread, unread ? 1 : 0),
                                         MakeFileTimeProp(kQueueMadeAt, TicksToFileTime(madeAt)),
                                         MakeUI4Prop(kQueueSerial, serial)};
    return CeWriteRecordProps(table, oid, mark) != 0;
}

bool CSyncStore::ReadQueue(std::vector<CQueuedMark>& marks)
{
    marks.clear();
    HCEDB table = Handles().Queue();
    if (!table)
        return false;
    if (!CeSeekDatabaseEx(table, CEDB_SEEK_BEGINNING, 0))
        return NothingFound();
    std::vector<CEPROPVAL> props;
    for (;;) {
        if (!CeReadRecordPropsEx(table, props))
            return GetLastError() == ERROR_NO_MORE_ITEMS;
        if (props.size() < kQueuePropertyCount)
            continue;
        marks.push_back({props[kQueueArticle].val.ulVal, props[kQueueUnread].val.uiVal != 0,
                         props[kQueueMadeAt].val.filetime.Ticks(), props[kQueueSerial].val.ulVal});
    }
}

bool CSyncStore::RemoveQueued(const std::vector<CQueuedMark>& marks)
{
    HCEDB table = Handles().Queue();
    if (!table)
        return false;
    for (const CQueuedMark& mark : marks) {
        const CEPROPVAL id = MakeUI4Prop(kQueueArticle, mark.articleId);
        const CEOID oid = CeSeekDatabaseEx(table, CEDB_SEEK_VALUEFIRSTEQUAL, &id, 1);
        if (!oid) {
            if (!NothingFound())
                return false;
            continue;
        }
        std::vector<CEPROPVAL> props;
        if (!CeReadRecordPropsEx(table, props))
            return false;
        if (props.size() >= kQueuePropertyCount && props[kQueueSerial].val.ulVal != mark.serial)
            continue; // marked again meanwhile: that mark is still to go
        if (!CeDeleteRecord(table, oid))
            return false;
    }
    return true;
}

bool CSyncStore::CountQueue(int& count)
{
    std::vector<CQueuedMark> marks;
    const bool read = ReadQueue(marks);
    count = static_cast<int>(marks.size());
    return read;
}

bool CSyncStore::ReadTree(std::vector<CSyncTreeEntry>& entries)
{
    entries.clear();
    HCEDB table = Handles().Tree();
    if (!table)
        return false;
    if (!CeSeekDatabaseEx(table, CEDB_SEEK_BEGINNING, 0))
        return NothingFound();
    std::vector<CEPROPVAL> props;
    for (;;) {
        if (!CeReadRecordPropsEx(table, props))
            return GetLastError() == ERROR_NO_MORE_ITEMS;
        if (props.size() < kTreePropertyCount)
            continue;
        CSyncTreeEntry entry;
        entry.kind = props[kTreeKind].val.uiVal == CSyncTreeEntry::Category ? CSyncTreeEntry::Category
                                                                             : CSyncTreeEntry::Feed;
        entry.serverId = props[kTreeId].val.ulVal;
        entry.title = std::move(props[kTreeTitle].val.lpwstr);
        entry.url = std::move(props[kTreeUrl].val.lpwstr);
        entry.categoryId = props[kTreeCategory].val.ulVal;
        entries.push_back(std::move(entry));
    }
}

bool CSyncStore::WriteTree(const std::vector<CSyncTreeEntry>& entries)
{
    HCEDB table = Handles().Tree();
    if (!DeleteAllOf(table))
        return false;
    std::uint32_t position = 0;
    for (const CSyncTreeEntry& entry : entries) {
        const std::vector<CEPROPVAL> props = {
            MakeUI2Prop(kTreeKind, entry.kind),          MakeUI4Prop(kTreeId, entry.serverId),
            MakeStringProp(kTreeTitle, entry.title),     MakeStringProp(kTreeUrl, entry.url),
            MakeUI4Prop(kTreeCategory, entry.categoryId), MakeUI4Prop(kTreePosition, position++)};
        if (!CeWriteRecordProps(table, 0, props))
            return false;
    }
    return true;
}

bool CSyncStore::Clear()
{
    CHandles& handles = Handles();
    return DeleteAllOf(handles.State()) && DeleteAllOf(handles.ArticleById()) && DeleteAllOf(handles.Queue()) &&
           DeleteAllOf(handles.Tree());
}

bool CSyncStore::QueueMarkOfPage(std::uint32_t feedId, const std::wstring& key, bool unread, std::uint64_t madeAt)
{
    const std::optional<CSyncArticle> article = FindArticleOfPage(feedId, key);
    if (!article)
        return NothingFound();
    return QueueMark(article->articleId, unread, madeAt);
}
