#include "platform/PropertyVolume.h"

#include <sqlite3.h>

#include <sstream>

#include "platform/Debug.h"
#include "platform/Unicode.h"

namespace {

// Marks our volumes, so that a foreign SQLite file is not taken for one.
constexpr int kVolumeApplicationId = 0x43454442;

constexpr char kCatalogSchema[] =
    "CREATE TABLE IF NOT EXISTS ce_databases("
    " oid INTEGER PRIMARY KEY AUTOINCREMENT,"
    " name TEXT NOT NULL UNIQUE,"
    " type INTEGER NOT NULL,"
    " sort_orders TEXT NOT NULL)";

std::string FormatSortOrders(const CEDBASEINFOEX& info)
{
    std::ostringstream out;
    for (WORD order = 0; order < info.wNumSortOrder; ++order) {
        const SORTORDERSPECEX& sortKeys = info.rgSortSpecs[order];
        out << sortKeys.wNumProps << ' ' << sortKeys.wKeyFlags;
        for (WORD key = 0; key < sortKeys.wNumProps; ++key)
            out << ' ' << sortKeys.rgPropID[key] << ' ' << sortKeys.rgdwFlags[key];
        out << ';';
    }
    return out.str();
}

std::vector<SORTORDERSPECEX> ParseSortOrders(const std::string& text)
{
    std::vector<SORTORDERSPECEX> orders;
    std::istringstream all(text);
    std::string one;
    while (std::getline(all, one, ';')) {
        std::istringstream in(one);
        SORTORDERSPECEX sortKeys;
        if (!(in >> sortKeys.wNumProps >> sortKeys.wKeyFlags) || sortKeys.wNumProps > CEDB_MAXSORTPROP)
            break;
        for (WORD key = 0; key < sortKeys.wNumProps; ++key)
            in >> sortKeys.rgPropID[key] >> sortKeys.rgdwFlags[key];
        orders.push_back(sortKeys);
    }
    return orders;
}

bool ValidSortOrders(const CEDBASEINFOEX& info)
{
    if (info.wNumSortOrder > CEDB_MAXSORTORDER)
        return false;
    for (WORD order = 0; order < info.wNumSortOrder; ++order) {
        const WORD count = info.rgSortSpecs[order].wNumProps;
        if (count == 0 || count > CEDB_MAXSORTPROP)
            return false;
    }
    return true;
}

DWORD ErrorOfSqlite(int code, DWORD fallback)
{
    switch (code & 0xFF) {
    case SQLITE_FULL:
        return ERROR_DISK_FULL;
    case SQLITE_NOMEM:
    case SQLITE_TOOBIG:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_BUSY;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return ERROR_INVALID_DATA;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
        return ERROR_ACCESS_DENIED;
    default:
        return fallback;
    }
}

} // namespace

std::string CDatabaseSchema::KeyColumn(size_t sortOrder, size_t key)
{
    std::string column = "s";
    column += std::to_string(sortOrder);
    column += 'k';
    column += std::to_string(key);
    return column;
}

void CDatabaseSchema::Prepare()
{
    table = std::string("ce_db_") + std::to_string(oid);
    std::string columns = "props", placeholders = "?", assignments = "props = ?";
    for (size_t order = 0; order < sortOrders.size(); ++order) {
        for (size_t key = 0; key < sortOrders[order].wNumProps; ++key) {
            columns += ", " + KeyColumn(order, key);
            placeholders += ", ?";
            assignments += ", " + KeyColumn(order, key) + " = ?";
        }
    }
    insertSql = "INSERT INTO " + table + "(" + columns + ") VALUES(" + placeholders + ")";
    updateSql = "UPDATE " + table + " SET " + assignments + " WHERE oid = ?";
    deleteSql = "DELETE FROM " + table + " WHERE oid = ?1";
    sql.clear();
    for (size_t order = 0; order < sortOrders.size(); ++order) {
        const size_t keys = sortOrders[order].wNumProps;
        std::string columns, placeholders, sameKeys;
        for (size_t key = 0; key < keys; ++key) {
            const std::string column = KeyColumn(order, key);
            const std::string parameter = std::string("?") + std::to_string(key + 1);
            columns += (key ? ", " : "") + column;
            placeholders += (key ? ", " : "") + parameter;
            sameKeys += column + " = " + parameter + " AND ";
        }
        const std::string oidParameter = std::string("?") + std::to_string(keys + 1);
        const std::string limit = std::string(" LIMIT ?") + std::to_string(kLimitParameter);
        const std::string orderBy = " ORDER BY " + columns + ", oid" + limit;
        auto& both = sql.emplace_back();
        for (int withProps = 0; withProps < 2; ++withProps) {
            CSortOrderSql& text = both[withProps];
            const std::string select = "SELECT oid, " + columns + (withProps ? ", props" : "") + " FROM " + table;
            text.first = select + orderBy;
            // Ties of the same keys by object id first, then the first record
            // with greater keys: two index look-ups in one statement (a single
            // row-value comparison over keys and id would scan the ties).
            for (int inclusive = 0; inclusive < 2; ++inclusive) {
                text.following[inclusive] = "SELECT * FROM (" + select + " WHERE " + sameKeys + "oid " +
                                            (inclusive ? ">= " : "> ") + oidParameter +
                                            " ORDER BY oid" + limit + ") UNION ALL SELECT * FROM (" + select +
                                            " WHERE (" + columns + ") > (" + placeholders + ")" + orderBy + ")" + limit;
            }
            std::string where;
            for (size_t key = 0; key < keys; ++key) {
                where += (key ? " AND " : " WHERE ") + KeyColumn(order, key) + std::string(" = ?") + std::to_string(key + 1);
                text.firstEqual.push_back(select + where + orderBy);
            }
            text.withOid = select + " WHERE oid = ?1";
            text.fromOffset = select + orderBy + " OFFSET ";
        }
    }
}

CPropertyVolume::CPropertyVolume(sqlite3* db, std::string path) : m_pDb(db), m_strPath(std::move(path)) {}

CPropertyVolume::~CPropertyVolume() { Close(); }

std::shared_ptr<CPropertyVolume> CPropertyVolume::Open(const std::string& path)
{
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                   nullptr);
    if (rc != SQLITE_OK) {
        SetLastError(ErrorOfSqlite(rc, ERROR_FILE_NOT_FOUND));
        sqlite3_close(db);
        return nullptr;
    }
    std::shared_ptr<CPropertyVolume> volume(new CPropertyVolume(db, path));
    sqlite3_busy_timeout(db, 5000);
    if (!volume->PrepareSchema())
        return nullptr;
    return volume;
}

// Checks that the file is one of our volumes (or empty, and makes it one),
// switches to the write-ahead journal and loads the database catalogue.
bool CPropertyVolume::PrepareSchema()
{
    sqlite3_stmt* identity = Statement("PRAGMA application_id");
    sqlite3_stmt* tables = identity ? Statement("SELECT count(*) FROM sqlite_schema") : nullptr;
    if (!identity || sqlite3_step(identity) != SQLITE_ROW || !tables || sqlite3_step(tables) != SQLITE_ROW) {
        FailWith(ERROR_INVALID_DATA, "not a database volume");
        return false;
    }
    const int applicationId = sqlite3_column_int(identity, 0);
    const bool empty = sqlite3_column_int(tables, 0) == 0;
    sqlite3_reset(identity);
    sqlite3_reset(tables);
    if (applicationId != kVolumeApplicationId && !(empty && applicationId == 0)) {
        DebugLogF("CPropertyVolume::Open", "%s is not a database volume", m_strPath.c_str());
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    // WAL: a process killed mid-write loses at most the write in progress,
    // and readers never block the writer. NORMAL syncs at checkpoints, which
    // keeps every committed write across a crash of the process.
    if (!Execute("PRAGMA journal_mode=WAL") || !Execute("PRAGMA synchronous=NORMAL"))
        return false;
    if (empty) {
        const std::string setId = std::string("PRAGMA application_id=") + std::to_string(kVolumeApplicationId);
        if (!Execute(setId.c_str()) || !Execute(kCatalogSchema))
            return false;
    }
    return LoadCatalogue();
}

// Another process may have added databases since the last look.
bool CPropertyVolume::LoadCatalogue()
{
    sqlite3_stmt* catalog = Statement("SELECT oid, name, type, sort_orders FROM ce_databases");
    if (!catalog) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    int rc;
    while ((rc = sqlite3_step(catalog)) == SQLITE_ROW) {
        auto schema = std::make_shared<CDatabaseSchema>();
        schema->oid = static_cast<CEOID>(sqlite3_column_int64(catalog, 0));
        schema->name = Utf8ToWide(reinterpret_cast<const char*>(sqlite3_column_text(catalog, 1)));
        schema->type = static_cast<DWORD>(sqlite3_column_int64(catalog, 2));
        schema->sortOrders = ParseSortOrders(reinterpret_cast<const char*>(sqlite3_column_text(catalog, 3)));
        schema->Prepare();
        m_databases[schema->oid] = std::move(schema);
    }
    sqlite3_reset(catalog);
    if (rc != SQLITE_DONE) {
        FailWith(ERROR_READ_FAULT, "reading the catalogue");
        return false;
    }
    return true;
}

void CPropertyVolume::Close()
{
    for (auto& [sql, statement] : m_statements)
        sqlite3_finalize(statement);
    m_statements.clear();
    if (m_pDb)
        sqlite3_close(m_pDb);
    m_pDb = nullptr;
}

sqlite3_stmt* CPropertyVolume::Statement(const std::string& sql)
{
    if (!m_pDb)
        return nullptr;
    auto found = m_statements.find(sql);
    if (found != m_statements.end()) {
        sqlite3_reset(found->second);
        sqlite3_clear_bindings(found->second);
        return found->second;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(m_pDb, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) {
        FailWith(ERROR_INVALID_DATA, sql.c_str());
        return nullptr;
    }
    m_statements.emplace(sql, statement);
    return statement;
}

bool CPropertyVolume::Execute(const char* sql)
{
    if (!m_pDb || sqlite3_exec(m_pDb, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        FailWith(ERROR_WRITE_FAULT, sql);
        return false;
    }
    return true;
}

std::int64_t CPropertyVolume::ChangeCount() const { return m_pDb ? sqlite3_total_changes64(m_pDb) : -1; }

bool CPropertyVolume::BeginWriteGroup()
{
    if (m_nWriteGroups == 0 && !Execute("BEGIN IMMEDIATE"))
        return false;
    ++m_nWriteGroups;
    return true;
}

bool CPropertyVolume::EndWriteGroup()
{
    if (m_nWriteGroups == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (--m_nWriteGroups > 0)
        return true;
    // A failed write may already have rolled the transaction back.
    if (!m_pDb || sqlite3_get_autocommit(m_pDb)) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    if (Execute("COMMIT"))
        return true;
    const DWORD error = GetLastError();
    sqlite3_exec(m_pDb, "ROLLBACK", nullptr, nullptr, nullptr);
    SetLastError(error);
    return false;
}

void CPropertyVolume::FailWith(DWORD fallbackError, const char* what)
{
    if (!m_pDb) {
        SetLastError(ERROR_INVALID_HANDLE);
        return;
    }
    const int code = sqlite3_extended_errcode(m_pDb);
    DebugLogF("CPropertyVolume", "%s: %s (%d) in %s", what, sqlite3_errmsg(m_pDb), code, m_strPath.c_str());
    SetLastError(ErrorOfSqlite(code, fallbackError));
}

std::shared_ptr<const CDatabaseSchema> CPropertyVolume::FindDatabase(const std::wstring& name, CEOID oid)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        for (const auto& [id, schema] : m_databases) {
            if (name.empty() ? id == oid : schema->name == name)
                return schema;
        }
        if (attempt == 0 && !LoadCatalogue())
            break;
    }
    return nullptr;
}

CEOID CPropertyVolume::CreateDatabase(const CEDBASEINFOEX& info)
{
    if (info.szDbaseName.empty() || !ValidSortOrders(info)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (FindDatabase(info.szDbaseName, 0)) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return 0;
    }
    if (!Execute("BEGIN IMMEDIATE"))
        return 0;
    sqlite3_stmt* insert = Statement("INSERT INTO ce_databases(name, type, sort_orders) VALUES(?, ?, ?)");
    const std::string name = WideToUtf8(info.szDbaseName);
    const std::string orders = FormatSortOrders(info);
    bool ok = insert != nullptr;
    if (ok) {
        sqlite3_bind_text(insert, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert, 2, info.dwDbaseType);
        sqlite3_bind_text(insert, 3, orders.c_str(), -1, SQLITE_TRANSIENT);
        ok = sqlite3_step(insert) == SQLITE_DONE;
    }
    auto schema = std::make_shared<CDatabaseSchema>();
    if (ok) {
        schema->oid = static_cast<CEOID>(sqlite3_last_insert_rowid(m_pDb));
        schema->name = info.szDbaseName;
        schema->type = info.dwDbaseType;
        schema->sortOrders.assign(info.rgSortSpecs, info.rgSortSpecs + info.wNumSortOrder);
        schema->Prepare();
        // Each sort order has its key columns and an index over them; the
        // row id, implicitly last in every index, orders ties.
        std::string create = "CREATE TABLE " + schema->table +
                             "(oid INTEGER PRIMARY KEY AUTOINCREMENT, props BLOB NOT NULL";
        std::string indexes;
        for (size_t order = 0; order < schema->sortOrders.size(); ++order) {
            std::string columns;
            for (size_t key = 0; key < schema->sortOrders[order].wNumProps; ++key) {
                create += ", " + CDatabaseSchema::KeyColumn(order, key) + " NOT NULL";
                columns += (key ? ", " : "") + CDatabaseSchema::KeyColumn(order, key);
            }
            indexes += "CREATE INDEX " + schema->table + std::string("_s") + std::to_string(order) + " ON " + schema->table + "(" +
                       columns + ");";
        }
        create += ");";
        ok = Execute((create + indexes).c_str());
    } else {
        FailWith(ERROR_WRITE_FAULT, "creating a database");
    }
    if (!ok || !Execute("COMMIT")) {
        const DWORD error = GetLastError();
        Execute("ROLLBACK");
        SetLastError(error);
        return 0;
    }
    m_databases[schema->oid] = schema;
    return schema->oid;
}
