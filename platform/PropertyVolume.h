#pragma once
// One mounted volume: the SQLite connection of its file, the lock every call
// on it takes, the schemas of its databases and its prepared statements.
// Internal to the property database service.
#include <array>
#include <map>
#include <unordered_map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/PropertyDatabase.h"

struct sqlite3;
struct sqlite3_stmt;

// The statements that walk one sort order. Each selects the object id and
// the order's key columns, and the properties when asked for; parameters
// ?1.. are the key values, the one after them an object id, and
// ?kLimitParameter the number of records wanted.
inline constexpr int kLimitParameter = 9;
struct CSortOrderSql {
    std::string first;                   // the first record
    std::string following[2];            // the next after (keys, oid): [exclusive, inclusive]
    std::vector<std::string> firstEqual; // the first whose first n+1 keys equal the values
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

class CPropertyVolume {
public:
    // Opens the file as a volume; null (and the reason in GetLastError) when
    // it is not one, with a fresh file made a volume.
    static std::shared_ptr<CPropertyVolume> Open(const std::string& path);
    ~CPropertyVolume();

    std::mutex& Lock() { return m_lock; }
    bool IsOpen() const { return m_pDb != nullptr; }
    void Close();
    const std::string& Path() const { return m_strPath; }

    // A cached statement, reset and cleared of bindings; null on failure.
    sqlite3_stmt* Statement(const std::string& sql);
    bool Execute(const char* sql);

    std::shared_ptr<const CDatabaseSchema> FindDatabase(const std::wstring& name, CEOID oid);
    CEOID CreateDatabase(const CEDBASEINFOEX& info);

    // Counts the records this process has written or deleted in the volume.
    std::int64_t ChangeCount() const;

    bool BeginWriteGroup();
    bool EndWriteGroup();

    // Sets the last error from the connection's state after a failed step.
    void FailWith(DWORD fallbackError, const char* what);

    int m_nMounts = 0; // guarded by the registry of mounted volumes

private:
    CPropertyVolume(sqlite3* db, std::string path);
    bool PrepareSchema();
    bool LoadCatalogue();

    sqlite3* m_pDb;
    std::string m_strPath;
    std::mutex m_lock;
    std::unordered_map<std::string, sqlite3_stmt*> m_statements;
    std::map<CEOID, std::shared_ptr<const CDatabaseSchema>> m_databases;
    int m_nWriteGroups = 0;
};
