// The property database service: sort orders and their walks, seeks, the
// advancing read, record edits, odd records, damaged and foreign files,
// crashes and concurrent use.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <csignal>
#include <filesystem>
#include <thread>

#include "TestSupport.h"
#include "platform/PropertyDatabase.h"
#include "platform/Unicode.h"

namespace fs = std::filesystem;

namespace {

constexpr CEPROPID kName = PROP_TAG(CEVT_LPWSTR, 0);
constexpr CEPROPID kGroup = PROP_TAG(CEVT_UI4, 1);
constexpr CEPROPID kWhen = PROP_TAG(CEVT_FILETIME, 2);
constexpr CEPROPID kScore = PROP_TAG(CEVT_R8, 3);
constexpr CEPROPID kFlag = PROP_TAG(CEVT_UI2, 4);

CEPROPVAL Text(CEPROPID id, const std::wstring& value)
{
    CEPROPVAL prop;
    prop.propid = id;
    prop.val.lpwstr = value;
    return prop;
}

CEPROPVAL Number(CEPROPID id, std::uint64_t value)
{
    CEPROPVAL prop;
    prop.propid = id;
    switch (TypeFromPropID(id)) {
    case CEVT_UI2:
        prop.val.uiVal = static_cast<std::uint16_t>(value);
        break;
    case CEVT_UI4:
        prop.val.ulVal = static_cast<std::uint32_t>(value);
        break;
    case CEVT_FILETIME:
        prop.val.filetime = FILETIME::FromTicks(value);
        break;
    default:
        prop.val.dblVal = static_cast<double>(value);
    }
    return prop;
}

CEPROPVAL Real(CEPROPID id, double value)
{
    CEPROPVAL prop;
    prop.propid = id;
    prop.val.dblVal = value;
    return prop;
}

SORTORDERSPECEX Order(std::initializer_list<std::pair<CEPROPID, DWORD>> keys)
{
    SORTORDERSPECEX sortKeys;
    for (const auto& [propid, flags] : keys) {
        sortKeys.rgPropID[sortKeys.wNumProps] = propid;
        sortKeys.rgdwFlags[sortKeys.wNumProps++] = flags;
    }
    return sortKeys;
}

// Sort orders: 0 name; 1 group, then newest first; 2 newest first;
// 3 score descending.
CEDBASEINFOEX Definition()
{
    CEDBASEINFOEX info;
    info.szDbaseName = L"TEST_DB";
    info.wNumSortOrder = 4;
    info.rgSortSpecs[0] = Order({{kName, 0}});
    info.rgSortSpecs[1] = Order({{kGroup, 0}, {kWhen, CEDB_SORT_DESCENDING}});
    info.rgSortSpecs[2] = Order({{kWhen, CEDB_SORT_DESCENDING}});
    info.rgSortSpecs[3] = Order({{kScore, CEDB_SORT_DESCENDING}});
    return info;
}

class PropertyDatabaseTest : public CTempHomeTest {
protected:
    void SetUp() override
    {
        CTempHomeTest::SetUp();
        m_strPath = HomePathW("volume.cdb");
    }
    void TearDown() override
    {
        for (HCEDB handle : m_handles)
            CloseHandle(handle);
        while (m_nMounts > 0) {
            CeUnmountDBVol(&m_guid);
            --m_nMounts;
        }
        CTempHomeTest::TearDown();
    }

    void Mount()
    {
        ASSERT_TRUE(CeMountDBVol(&m_guid, m_strPath, OPEN_ALWAYS));
        ++m_nMounts;
    }

    HCEDB Open(WORD order, DWORD flags = CEDB_AUTOINCREMENT)
    {
        const CEDBASEINFOEX info = Definition();
        CEOID oid = 0;
        HCEDB handle = CeOpenDatabaseEx2(&m_guid, &oid, info.szDbaseName, &info.rgSortSpecs[order], flags);
        if (!handle && GetLastError() == ERROR_FILE_NOT_FOUND && CeCreateDatabaseEx2(&m_guid, info))
            handle = CeOpenDatabaseEx2(&m_guid, &oid, info.szDbaseName, &info.rgSortSpecs[order], flags);
        EXPECT_NE(handle, nullptr);
        m_handles.push_back(handle);
        return handle;
    }

    static CEOID Add(HCEDB db, const std::wstring& name, std::uint32_t group, std::uint64_t when, double score = 0)
    {
        const std::vector<CEPROPVAL> props = {Text(kName, name), Number(kGroup, group), Number(kWhen, when),
                                              Real(kScore, score)};
        return CeWriteRecordProps(db, 0, props);
    }

    // The names of the records from the seek position to the end.
    static std::vector<std::wstring> Walk(HCEDB db)
    {
        std::vector<std::wstring> names;
        std::vector<CEPROPVAL> props;
        while (CeReadRecordPropsEx(db, props))
            names.push_back(props.empty() ? L"?" : props[0].val.lpwstr);
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
        return names;
    }

    static std::vector<std::wstring> WalkFromStart(HCEDB db)
    {
        CeSeekDatabaseEx(db, CEDB_SEEK_BEGINNING, 0);
        return Walk(db);
    }

    std::wstring m_strPath;
    CEGUID m_guid;
    int m_nMounts = 0;
    std::vector<HCEDB> m_handles;
};

using Names = std::vector<std::wstring>;

TEST_F(PropertyDatabaseTest, EachSortOrderWalksInItsOwnOrderWithTiesInWritingOrder)
{
    Mount();
    HCEDB db = Open(0);
    Add(db, L"c", 2, 300, 1.5);
    Add(db, L"a", 1, 100, -2);
    Add(db, L"e", 2, 300, 0);     // same group and date as "c": after it
    Add(db, L"b", 1, 500, 1e300);
    Add(db, L"d", 3, 200, -1e-300);
    Add(db, L"ab", 3, 200, 2);    // a prefix sorts first

    EXPECT_EQ(WalkFromStart(db), (Names{L"a", L"ab", L"b", L"c", L"d", L"e"}));
    EXPECT_EQ(WalkFromStart(Open(1)), (Names{L"b", L"a", L"c", L"e", L"d", L"ab"}));
    EXPECT_EQ(WalkFromStart(Open(2)), (Names{L"b", L"c", L"e", L"d", L"ab", L"a"}));
    EXPECT_EQ(WalkFromStart(Open(3)), (Names{L"b", L"ab", L"c", L"e", L"d", L"a"}));
}

TEST_F(PropertyDatabaseTest, ReadsAdvanceOnlyWithAutoIncrementAndEndWithNoMoreItems)
{
    Mount();
    HCEDB db = Open(0);
    const CEOID a = Add(db, L"a", 1, 1);
    const CEOID b = Add(db, L"b", 1, 2);
    std::vector<CEPROPVAL> props;
    EXPECT_EQ(CeReadRecordPropsEx(db, props), a) << "a fresh handle is at the beginning";

    EXPECT_EQ(CeSeekDatabaseEx(db, CEDB_SEEK_BEGINNING, 0), a);
    EXPECT_EQ(CeReadRecordPropsEx(db, props), a);
    EXPECT_EQ(CeReadRecordPropsEx(db, props), b);
    EXPECT_EQ(CeReadRecordPropsEx(db, props), 0u);
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);

    HCEDB still = Open(0, 0);
    EXPECT_EQ(CeSeekDatabaseEx(still, CEDB_SEEK_BEGINNING, 0), a);
    EXPECT_EQ(CeReadRecordPropsEx(still, props), a);
    EXPECT_EQ(CeReadRecordPropsEx(still, props), a);
    EXPECT_EQ(CeSeekDatabaseEx(still, CEDB_SEEK_BEGINNING, 1), b) << "an offset from the beginning";
}

TEST_F(PropertyDatabaseTest, ValueSeeksFindFirstEqualAndStepToNextEqual)
{
    Mount();
    HCEDB db = Open(1);
    Add(db, L"g1-old", 1, 10);
    const CEOID newer = Add(db, L"g1-new", 1, 20);
    Add(db, L"g2", 2, 30);
    const CEOID older = CeSeekDatabaseEx(db, CEDB_SEEK_BEGINNING, 1);

    const CEPROPVAL group1 = Number(kGroup, 1);
    EXPECT_EQ(CeSeekDatabaseEx(db, CEDB_SEEK_VALUEFIRSTEQUAL, &group1, 1), newer);
    EXPECT_EQ(CeSeekDatabaseEx(db, CEDB_SEEK_VALUENEXTEQUAL, &group1, 1), older);
    EXPECT_EQ(CeSeekDatabaseEx(db, CEDB_SEEK_VALUENEXTEQUAL, &group1, 1), 0u) << "the next record is of group 2";
    std::vector<CEPROPVAL> props;
    EXPECT_EQ(CeReadRecordPropsEx(db, props), older) << "a failed next-equal seek leaves the position";

    const CEPROPVAL both[] = {Number(kGroup, 1), Number(kWhen, 10)};
    EXPECT_EQ(CeSeekDatabaseEx(db, CEDB_SEEK_VALUEFIRSTEQUAL, both, 2), older) << "two keys";
    const CEPROPVAL missing = Number(kGroup, 9);
    EXPECT_EQ(CeSeekDatabaseEx(db, CEDB_SEEK_VALUEFIRSTEQUAL, &missing, 1), 0u);
    const CEPROPVAL wrongType = Text(kName, L"g2");
    EXPECT_EQ(CeSeekDatabaseEx(db, CEDB_SEEK_VALUEFIRSTEQUAL, &wrongType, 1), 0u) << "not a key of this order";

    EXPECT_EQ(CeSeekDatabaseEx(db, CEDB_SEEK_CEOID, newer), newer);
    EXPECT_EQ(Walk(db), (Names{L"g1-new", L"g1-old", L"g2"}));
    EXPECT_EQ(CeSeekDatabaseEx(db, CEDB_SEEK_CEOID, 999), 0u);
}

TEST_F(PropertyDatabaseTest, DeletingAtThePositionMovesTheWalkToTheNextRecord)
{
    Mount();
    HCEDB db = Open(0);
    Add(db, L"a", 1, 1);
    const CEOID b = Add(db, L"b", 1, 1);
    Add(db, L"c", 1, 1);
    EXPECT_EQ(CeSeekDatabaseEx(db, CEDB_SEEK_CEOID, b), b);
    EXPECT_TRUE(CeDeleteRecord(db, b));
    EXPECT_FALSE(CeDeleteRecord(db, b)) << "a record deletes once";
    EXPECT_EQ(Walk(db), (Names{L"c"}));

    int deleted = 0; // deleting from the beginning until nothing is left
    while (CEOID oid = CeSeekDatabaseEx(db, CEDB_SEEK_BEGINNING, 0))
        deleted += CeDeleteRecord(db, oid);
    EXPECT_EQ(deleted, 2);
}

// Reads serve records fetched ahead; a walk must still see every change made
// after it began, here and (within a moment) by another process.
TEST_F(PropertyDatabaseTest, AWalkSeesChangesMadeWhileItGoesOn)
{
    Mount();
    HCEDB walker = Open(0);
    HCEDB editor = Open(0);
    for (const wchar_t* name : {L"a", L"c", L"e", L"g", L"i", L"k"})
        Add(editor, name, 1, 1);
    std::vector<CEPROPVAL> props;
    ASSERT_NE(CeSeekDatabaseEx(walker, CEDB_SEEK_BEGINNING, 0), 0u);
    CeReadRecordPropsEx(walker, props);
    CeReadRecordPropsEx(walker, props); // the walk now reads ahead
    ASSERT_EQ(props[0].val.lpwstr, L"c");

    const CEPROPVAL e = Text(kName, L"e"), g = Text(kName, L"g");
    CeDeleteRecord(editor, CeSeekDatabaseEx(editor, CEDB_SEEK_VALUEFIRSTEQUAL, &e, 1));
    Add(editor, L"f", 1, 1);
    const std::vector<CEPROPVAL> changed = {Text(kName, L"g"), Number(kGroup, 7)};
    CeWriteRecordProps(editor, CeSeekDatabaseEx(editor, CEDB_SEEK_VALUEFIRSTEQUAL, &g, 1), changed);
    ASSERT_EQ(CeReadRecordPropsEx(walker, props), CeSeekDatabaseEx(editor, CEDB_SEEK_BEGINNING, 2));
    EXPECT_EQ(props[0].val.lpwstr, L"f");
    CeReadRecordPropsEx(walker, props);
    EXPECT_EQ(props[0].val.lpwstr, L"g");
    EXPECT_EQ(props[1].val.ulVal, 7u);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CEGUID guid;
        const CEDBASEINFOEX info = Definition();
        if (!CeMountDBVol(&guid, m_strPath, OPEN_ALWAYS))
            _exit(1);
        HCEDB db = CeOpenDatabaseEx2(&guid, nullptr, info.szDbaseName, &info.rgSortSpecs[0], 0);
        _exit(Add(db, L"j", 1, 1) ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(Walk(walker), (Names{L"i", L"j", L"k"}));
}

TEST_F(PropertyDatabaseTest, WritingToARecordReplacesAppendsAndReordersIt)
{
    Mount();
    HCEDB byName = Open(0);
    const CEOID a = Add(byName, L"a", 1, 1);
    Add(byName, L"b", 1, 1);
    const std::vector<CEPROPVAL> change = {Text(kName, L"z"), Number(kFlag, 7)};
    EXPECT_EQ(CeWriteRecordProps(byName, a, change), a);
    EXPECT_EQ(WalkFromStart(byName), (Names{L"b", L"z"}));

    std::vector<CEPROPVAL> props;
    ASSERT_EQ(CeSeekDatabaseEx(byName, CEDB_SEEK_CEOID, a), a);
    ASSERT_EQ(CeReadRecordPropsEx(byName, props), a);
    ASSERT_EQ(props.size(), 5u);
    EXPECT_EQ(props[0].val.lpwstr, L"z") << "replaced in place";
    EXPECT_EQ(props[4].propid, kFlag) << "appended";
    EXPECT_EQ(props[4].val.uiVal, 7);

    CEPROPVAL drop = Number(kFlag, 0);
    drop.wFlags = 0x0002; // delete the property
    CeWriteRecordProps(byName, a, std::span(&drop, 1));
    CeSeekDatabaseEx(byName, CEDB_SEEK_CEOID, a);
    CeReadRecordPropsEx(byName, props);
    EXPECT_EQ(props.size(), 4u);
    EXPECT_EQ(CeWriteRecordProps(byName, 4242, change), 0u) << "no such record";
}

TEST_F(PropertyDatabaseTest, OddRecordsAreKeptAsWrittenAndSortWhereTheyBelong)
{
    Mount();
    HCEDB byGroup = Open(1);
    Add(byGroup, L"full", 1, 5);
    const std::vector<CEPROPVAL> short1 = {Text(kName, L"short")}; // no group, no date
    const CEOID shortOid = CeWriteRecordProps(byGroup, 0, short1);
    ASSERT_NE(shortOid, 0u);
    const std::vector<CEPROPVAL> retyped = {Text(kName, L"retyped"), Text(PROP_TAG(CEVT_LPWSTR, PROP_ID(kGroup)), L"1")};
    CeWriteRecordProps(byGroup, 0, retyped);
    EXPECT_EQ(WalkFromStart(byGroup), (Names{L"full", L"short", L"retyped"})) << "records lacking a key sort last";

    std::vector<CEPROPVAL> props;
    CeSeekDatabaseEx(byGroup, CEDB_SEEK_CEOID, shortOid);
    EXPECT_EQ(CeReadRecordPropsEx(byGroup, props), shortOid);
    EXPECT_EQ(props.size(), 1u);

    // Reading some properties: in the order asked, a missing one flagged.
    const CEPROPID wanted[] = {kGroup, kName};
    CeSeekDatabaseEx(byGroup, CEDB_SEEK_CEOID, shortOid);
    EXPECT_EQ(CeReadRecordPropsEx(byGroup, wanted, props), shortOid);
    ASSERT_EQ(props.size(), 2u);
    EXPECT_TRUE(props[0].wFlags & CEDB_PROPNOTFOUND);
    EXPECT_FALSE(props[1].wFlags & CEDB_PROPNOTFOUND);
    EXPECT_EQ(props[1].val.lpwstr, L"short");

    // Strings: embedded NULs survive, text that is not Unicode becomes U+FFFD,
    // and size is no limit.
    const std::wstring withNul(L"a\0b", 3);
    const std::wstring big(3 * 1024 * 1024, L'x');
    const std::vector<CEPROPVAL> odd = {Text(kName, withNul), Text(PROP_TAG(CEVT_LPWSTR, 5), std::wstring(1, 0xD800)),
                                        Text(PROP_TAG(CEVT_LPWSTR, 6), big)};
    const CEOID oddOid = CeWriteRecordProps(byGroup, 0, odd);
    CeSeekDatabaseEx(byGroup, CEDB_SEEK_CEOID, oddOid);
    ASSERT_EQ(CeReadRecordPropsEx(byGroup, props), oddOid);
    EXPECT_EQ(props[0].val.lpwstr, withNul);
    EXPECT_EQ(props[1].val.lpwstr, L"\xFFFD");
    EXPECT_EQ(props[2].val.lpwstr.size(), big.size());
    HCEDB byName = Open(0);
    const CEPROPVAL seekNul = Text(kName, withNul);
    EXPECT_EQ(CeSeekDatabaseEx(byName, CEDB_SEEK_VALUEFIRSTEQUAL, &seekNul, 1), oddOid);
}

TEST_F(PropertyDatabaseTest, DatabasesPersistAndAreFoundByName)
{
    Mount();
    const CEDBASEINFOEX info = Definition();
    CEOID oid = 0;
    EXPECT_EQ(CeOpenDatabaseEx2(&m_guid, &oid, info.szDbaseName, &info.rgSortSpecs[0], 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    HCEDB db = Open(2);
    Add(db, L"kept", 7, 7);
    EXPECT_EQ(CeCreateDatabaseEx2(&m_guid, info), 0u);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    SORTORDERSPECEX foreign = Order({{kFlag, 0}});
    EXPECT_EQ(CeOpenDatabaseEx2(&m_guid, &oid, info.szDbaseName, &foreign, 0), nullptr) << "not one of its orders";

    // A second mount of the same file shares the volume; the first unmount
    // leaves it working.
    CEGUID again;
    ASSERT_TRUE(CeMountDBVol(&again, m_strPath, OPEN_ALWAYS));
    EXPECT_EQ(again, m_guid);
    EXPECT_TRUE(CeUnmountDBVol(&again));
    EXPECT_EQ(WalkFromStart(db), (Names{L"kept"}));

    EXPECT_TRUE(CeFlushDBVol(&m_guid));
    EXPECT_TRUE(CeUnmountDBVol(&m_guid));
    --m_nMounts;
    std::vector<CEPROPVAL> props;
    EXPECT_EQ(CeReadRecordPropsEx(db, props), 0u) << "handles die with their volume";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    Mount();
    HCEDB reopened = Open(0);
    EXPECT_EQ(WalkFromStart(reopened), (Names{L"kept"}));
    m_handles.push_back(CeOpenDatabaseEx2(&m_guid, &oid, info.szDbaseName, &info.rgSortSpecs[3], 0));
    ASSERT_NE(oid, 0u);
    HCEDB byId = CeOpenDatabaseEx2(&m_guid, &oid, L"", &info.rgSortSpecs[3], 0);
    ASSERT_NE(byId, nullptr) << "opened by object id";
    m_handles.push_back(byId);
    CEDBASEINFOEX stored;
    ASSERT_TRUE(CeGetDatabaseInfo(&m_guid, oid, stored));
    EXPECT_EQ(stored.dwNumRecords, 1u);
    EXPECT_EQ(stored.wNumSortOrder, 4);
    EXPECT_TRUE(stored.rgSortSpecs[1] == info.rgSortSpecs[1]);
}

TEST_F(PropertyDatabaseTest, AnUnusableFileIsKeptAsideWhenAFreshVolumeIsStarted)
{
    const std::string path = WideToUtf8(m_strPath);
    const std::string garbage = "this is not a database volume\n" + std::string(5000, 'x');
    WriteWholeFile(path, garbage);
    EXPECT_FALSE(CeMountDBVol(&m_guid, m_strPath, OPEN_ALWAYS));
    EXPECT_EQ(ReadWholeFile(path), garbage) << "a failed mount changes nothing";
    ASSERT_TRUE(CeMountDBVol(&m_guid, m_strPath, CREATE_ALWAYS));
    ++m_nMounts;
    EXPECT_EQ(ReadWholeFile(path + ".damaged"), garbage);
    EXPECT_EQ(WalkFromStart(Open(0)), Names{});

    // A valid SQLite file of someone else's is not taken for a volume either.
    const std::string foreign = HomePath("foreign.db");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(foreign.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE notes(x); INSERT INTO notes VALUES(1);", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    CEGUID other;
    EXPECT_FALSE(CeMountDBVol(&other, Utf8ToWide(foreign), OPEN_ALWAYS));
    ASSERT_TRUE(CeMountDBVol(&other, Utf8ToWide(foreign), CREATE_ALWAYS));
    EXPECT_TRUE(fs::exists(foreign + ".damaged"));
    CeUnmountDBVol(&other);
    EXPECT_FALSE(CeMountDBVol(&other, m_strPath, CREATE_ALWAYS)) << "a mounted volume is not replaced";
}

// A writer killed at a random moment: every write it saw succeed is there
// afterwards, whole, and the file passes SQLite's integrity check.
TEST_F(PropertyDatabaseTest, AProcessKilledWhileWritingLosesNoCompletedWrite)
{
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(report[0]);
        CEGUID guid;
        if (!CeMountDBVol(&guid, m_strPath, OPEN_ALWAYS))
            _exit(1);
        const CEDBASEINFOEX info = Definition();
        CEOID oid = 0;
        CeCreateDatabaseEx2(&guid, info);
        HCEDB db = CeOpenDatabaseEx2(&guid, &oid, info.szDbaseName, &info.rgSortSpecs[0], 0);
        const std::wstring body(2000, L'b');
        for (std::uint32_t n = 0;; ++n) {
            const std::vector<CEPROPVAL> props = {Text(kName, L"r" + std::to_wstring(n)), Number(kGroup, n),
                                                  Text(PROP_TAG(CEVT_LPWSTR, 9), body)};
            if (!CeWriteRecordProps(db, 0, props))
                _exit(2);
            if (write(report[1], &n, sizeof n) != sizeof n)
                _exit(3);
        }
    }
    close(report[1]);
    std::uint32_t last = 0;
    std::uint32_t n;
    while (read(report[0], &n, sizeof n) == sizeof n && n < 400)
        last = n;
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(report[0]);

    Mount();
    HCEDB db = Open(0);
    std::vector<CEPROPVAL> props;
    for (std::uint32_t i = 0; i <= last; ++i) {
        const CEPROPVAL name = Text(kName, L"r" + std::to_wstring(i));
        ASSERT_NE(CeSeekDatabaseEx(db, CEDB_SEEK_VALUEFIRSTEQUAL, &name, 1), 0u) << "record " << i;
        ASSERT_NE(CeReadRecordPropsEx(db, props), 0u);
        ASSERT_EQ(props.size(), 3u);
        EXPECT_EQ(props[1].val.ulVal, i);
        EXPECT_EQ(props[2].val.lpwstr.size(), 2000u);
    }
    sqlite3* check = nullptr;
    ASSERT_EQ(sqlite3_open(WideToUtf8(m_strPath).c_str(), &check), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(check, "PRAGMA integrity_check", -1, &statement, nullptr);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)), "ok");
    sqlite3_finalize(statement);
    sqlite3_close(check);
}

// Records committed outside the volume (another connection sees them).
int CommittedRecords(const std::string& path)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM ce_db_1", -1, &statement, nullptr);
    const int count = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int(statement, 0) : -1;
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return count;
}

TEST_F(PropertyDatabaseTest, AWriteGroupLandsWholeOrNotAtAll)
{
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CEGUID guid;
        CeMountDBVol(&guid, m_strPath, OPEN_ALWAYS);
        CeCreateDatabaseEx2(&guid, Definition());
        const CEDBASEINFOEX info = Definition();
        HCEDB db = CeOpenDatabaseEx2(&guid, nullptr, info.szDbaseName, &info.rgSortSpecs[0], 0);
        for (int i = 0; i < 5; ++i)
            Add(db, L"single" + std::to_wstring(i), 1, 1);
        BeginVolumeWriteGroup(&guid);
        for (int i = 0; i < 50; ++i)
            Add(db, L"grouped" + std::to_wstring(i), 2, 2);
        char done = 1;
        if (write(ready[1], &done, 1) != 1)
            _exit(1);
        pause(); // killed before the group ends
        _exit(0);
    }
    char done = 0;
    ASSERT_EQ(read(ready[0], &done, 1), 1);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);

    Mount();
    HCEDB db = Open(0);
    EXPECT_EQ(WalkFromStart(db).size(), 5u) << "the unfinished group is gone, the single writes stay";

    ASSERT_TRUE(BeginVolumeWriteGroup(&m_guid));
    ASSERT_TRUE(BeginVolumeWriteGroup(&m_guid)) << "groups nest";
    Add(db, L"x", 1, 1);
    EXPECT_EQ(WalkFromStart(db).size(), 6u) << "reads inside see the group's writes";
    EXPECT_TRUE(EndVolumeWriteGroup(&m_guid));
    EXPECT_EQ(CommittedRecords(WideToUtf8(m_strPath)), 5) << "only the outermost end commits";
    EXPECT_TRUE(EndVolumeWriteGroup(&m_guid));
    EXPECT_EQ(CommittedRecords(WideToUtf8(m_strPath)), 6);
    EXPECT_FALSE(EndVolumeWriteGroup(&m_guid)) << "an end without a begin";
}

// Threads that share a volume (and even a handle) do not disturb each other's
// records; under ThreadSanitizer this also checks the locking.
TEST_F(PropertyDatabaseTest, ThreadsShareAVolumeSafely)
{
    Mount();
    HCEDB shared = Open(1);
    constexpr int kPerThread = 300;
    std::atomic<int> failures = 0;
    auto work = [&](std::uint32_t group) {
        const CEDBASEINFOEX info = Definition();
        HCEDB own = CeOpenDatabaseEx2(&m_guid, nullptr, info.szDbaseName, &info.rgSortSpecs[0], CEDB_AUTOINCREMENT);
        std::vector<CEPROPVAL> props;
        for (int i = 0; i < kPerThread; ++i) {
            const CEOID oid = Add(i % 2 ? own : shared, L"t" + std::to_wstring(group) + L"-" + std::to_wstring(i),
                                  group, static_cast<std::uint64_t>(i));
            if (!oid || !CeSeekDatabaseEx(own, CEDB_SEEK_CEOID, oid) || !CeReadRecordPropsEx(own, props) ||
                props[1].val.ulVal != group)
                ++failures;
            CeSeekDatabaseEx(shared, CEDB_SEEK_BEGINNING, 0);
            CeReadRecordPropsEx(shared, props);
        }
        CloseHandle(own);
    };
    std::thread first(work, 1), second(work, 2);
    first.join();
    second.join();
    EXPECT_EQ(failures, 0);
    CEDBASEINFOEX info;
    ASSERT_TRUE(CeGetDatabaseInfo(&m_guid, 1, info));
    EXPECT_EQ(info.dwNumRecords, 2u * kPerThread);
}

} // namespace
