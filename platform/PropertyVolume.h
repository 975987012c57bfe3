#pragma once
// One mounted volume: the SQLite connection of its file, the lock every call
// on it takes, the schemas of its databases, its prepared statements and its
// write groups. Internal to the property database service.
//
// What a failure means is decided here, once: only a file SQLite calls
// damaged (not a database, corrupt) or another program's database is
// ERROR_FILE_CORRUPT, the one reason to set a file aside. Everything else (no
// space, no permission, a read-only file, busy, an I/O error) leaves the file
// as it is. Damage met after the volume opened is remembered in a marker
// file beside it, so that the next open checks the file and sets it aside
// when the check confirms it.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/PropertyDatabase.h"
#include "platform/PropertyTextIndex.h"

class CVolumeTextIndex;
struct sqlite3;
struct sqlite3_stmt;

// The statements that walk one sort order. Each selects the object id and
// the order's key columns, and the properties when asked for; parameters
// ?1.. are the key values, the one after them an object id, and
// ?kLimitParameter the number of records wanted.
inline constexpr int kLimitParameter = 9;
struct CSortOrderSql {
    std::string first;                     // the first record
    std::string following[2];              // the next after (keys, oid): [exclusive, inclusive]
    std::vector<std::string> firstEqual;   // the first whose first n+1 keys equal the values
    std::vector<std::string> firstGreater; // the first whose first n+1 keys are greater
    std::vector<std::string> countEqual;   // how many records have the first n+1 keys equal
    std::string withOid;
    std::string fromOffset; // followed by the offset
};

// A database of the volume: its definition and the SQLite table holding it.
struct CDatabaseSchema {
    CEOID oid = 0;
    std::wstring name;
    DWORD type = 0;
    std::vector<SORTORDERSPECEX> sortOrders;
    std::string table; // "ce_db_<oid>"
    // Per sort order: [without properties, with properties].
    std::vector<std::array<CSortOrderSql, 2>> sql;
    // Parameters: the properties, then every sort order's keys in order
    // (then the object id).
    std::string insertSql;
    std::string updateSql;
    std::string deleteSql; // ?1 object id

    // Fills table and sql from oid and sortOrders.
    void Prepare();
    // Column of key k of sort order s.
    static std::string KeyColumn(size_t sortOrder, size_t key);
};

// The catalogue table of a volume, and the sort orders in the text form it
// keeps them in.
extern const char kCatalogSchema[];
std::string FormatSortOrders(const CEDBASEINFOEX& info);
std::vector<SORTORDERSPECEX> ParseSortOrders(const std::string& text);
// Up to four sort orders of one to four keys each.
bool ValidSortOrders(const CEDBASEINFOEX& info);
// The indexes of the sort orders from firstOrder on.
std::string SortOrderIndexSql(const CDatabaseSchema& schema, size_t firstOrder);

// One use of a cached statement: on every way out of the scope that holds
// it, the statement is reset (so a walk left early keeps no read open that
// would stop a later change of the schema or a checkpoint) and its
// bindings are cleared (so no bound buffer is used after it is gone).
// End() finishes the use before the scope does.
class CStatementUse {
public:
    CStatementUse() = default;
    explicit CStatementUse(sqlite3_stmt* statement) : m_pStatement(statement) {}
    CStatementUse(CStatementUse&& other) noexcept : m_pStatement(other.m_pStatement) { other.m_pStatement = nullptr; }
    CStatementUse& operator=(CStatementUse&&) = delete;
    ~CStatementUse() { End(); }

    operator sqlite3_stmt*() const { return m_pStatement; }
    void End();

private:
    sqlite3_stmt* m_pStatement = nullptr;
};

class CPropertyVolume {
public:
    // Opens the file as a volume; null, with the reason in GetLastError,
    // when it cannot. A missing or empty file is made a volume.
    static std::shared_ptr<CPropertyVolume> Open(const std::string& path);
    ~CPropertyVolume();

    std::mutex& Lock() { return m_lock; }
    bool IsOpen() const { return m_pDb != nullptr; }
    void Close();
    const std::string& Path() const { return m_strPath; }

    // A cached statement for one use; null on failure.
    CStatementUse Statement(const std::string& sql);
    bool Execute(const char* sql);

    std::shared_ptr<const CDatabaseSchema> FindDatabase(const std::wstring& name, CEOID oid);
    CEOID CreateDatabase(const CEDBASEINFOEX& info);
    // Appends sort orders to a database; its present ones must stay as they are.
    bool AddSortOrders(CEOID oid, const CEDBASEINFOEX& info);

    // The text index of a database once this process attached it
    // (VolumeTextIndex.h); null otherwise.
    CVolumeTextIndex* TextIndex(CEOID oidDb);
    bool AttachTextIndex(CEOID oidDb, int version, CRecordTextOf textOf);
    sqlite3* Connection() const { return m_pDb; }

    // Counts the records this process has written or deleted in the volume.
    std::int64_t ChangeCount() const;

    // A write group is one transaction. Groups nest; the outermost end
    // commits. A storage failure inside a group (on a write or a read) spoils
    // it: later writes in it fail at once, and its end rolls everything back
    // and fails, so a group lands whole or not at all. A write outside any
    // group is a group of its own (CVolumeWrite).
    bool BeginWriteGroup();
    bool EndWriteGroup();
    bool WriteGroupSpoiled() const { return m_dwGroupError != ERROR_SUCCESS; }
    // Makes the group in progress roll back at its end.
    void SpoilWriteGroup(DWORD error);
    DWORD GroupError() const { return m_dwGroupError; }

    // Sets the last error from the connection's state after a failed step;
    // spoils the write group in progress and remembers damage.
    void FailWith(DWORD fallbackError, const char* what);

    // "<file>-damaged": damage was met in this file while it was in use.
    static std::string DamageMarkerPath(const std::string& path);

    int m_nMounts = 0; // guarded by the registry of mounted volumes

private:
    CPropertyVolume(sqlite3* db, std::string path);
    bool PrepareSchema();
    bool LoadCatalogue();
    bool CheckTables();
    bool ConfirmDamage();
    bool GiveIdentity();
    void MarkDamaged();
    bool CheckpointTruncate();

    sqlite3* m_pDb;
    std::string m_strPath;
    std::mutex m_lock;
    std::unordered_map<std::string, sqlite3_stmt*> m_statements;
    std::map<CEOID, std::shared_ptr<const CDatabaseSchema>> m_databases;
    std::map<CEOID, std::unique_ptr<CVolumeTextIndex>> m_textIndexes;
    std::uint32_t m_dwIdentity = 0; // the random identity in the header
    std::string m_strTouchIdentity; // rewrites the header page with it
    int m_nWriteGroups = 0;
    DWORD m_dwGroupError = ERROR_SUCCESS;
    bool m_bDamaged = false;
};

// One write's transaction: joins the group in progress, or is a group of
// its own. Commit() reports whether the write reached the file (always true
// inside a caller's group, whose end decides).
class CVolumeWrite {
public:
    explicit CVolumeWrite(CPropertyVolume& volume) : m_volume(volume), m_bBegun(volume.BeginWriteGroup()) {}
    // A write left without Commit() did not complete: its group rolls back.
    ~CVolumeWrite()
    {
        if (m_bBegun && !m_bEnded) {
            m_volume.SpoilWriteGroup(ERROR_WRITE_FAULT);
            m_volume.EndWriteGroup();
        }
    }
    CVolumeWrite(const CVolumeWrite&) = delete;
    CVolumeWrite& operator=(const CVolumeWrite&) = delete;

    bool Begun() const { return m_bBegun; }
    bool Commit()
    {
        m_bEnded = true;
        return m_bBegun && m_volume.EndWriteGroup();
    }

private:
    CPropertyVolume& m_volume;
    bool m_bBegun;
    bool m_bEnded = false;
};
