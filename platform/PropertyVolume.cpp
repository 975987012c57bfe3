#include "platform/PropertyVolume.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>

#include "platform/Debug.h"
#include "platform/PropertyRecordCodec.h"
#include "platform/Unicode.h"
#include "platform/VolumeJournal.h"
#include "platform/VolumeTextIndex.h"

namespace {

// Marks our volumes, so that a foreign SQLite file is not taken for one.
constexpr int kVolumeApplicationId = 0x43454442;

// Only damage is ERROR_FILE_CORRUPT; no other failure may cost the user the file.
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
        return ERROR_FILE_CORRUPT;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    case SQLITE_IOERR:
        return code == SQLITE_IOERR_READ || code == SQLITE_IOERR_SHORT_READ ? ERROR_READ_FAULT : ERROR_WRITE_FAULT;
    default:
        return fallback == ERROR_FILE_CORRUPT ? ERROR_READ_FAULT : fallback;
    }
}

// The system's own reason, when SQLite passes one on, says more than its
// code: an I/O error on a full disk is a full disk.
DWORD ErrorOfConnection(sqlite3* db, int code, DWORD fallback)
{
    const int systemError = db != nullptr ? sqlite3_system_errno(db) : 0;
    if ((code & 0xFF) == SQLITE_IOERR || (code & 0xFF) == SQLITE_CANTOPEN || (code & 0xFF) == SQLITE_FULL) {
        switch (systemError) {
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        default:
            break;
        }
    }
    return ErrorOfSqlite(code, fallback);
}

std::uint32_t NewVolumeIdentity()
{
    std::random_device random;
    std::uint32_t identity = 0;
    while (identity == 0 || identity == 0xFFFFFFFFu)
        identity = random();
    return identity;
}

} // namespace

CPropertyVolume::CPropertyVolume(sqlite3* db, std::string path) : m_pDb(db), m_strPath(std::move(path)) {}

CPropertyVolume::~CPropertyVolume() { Close(); }

std::string CPropertyVolume::DamageMarkerPath(const std::string& path) { return path + "-damaged"; }

std::shared_ptr<CPropertyVolume> CPropertyVolume::Open(const std::string& path)
{
    // A journal written for another volume must be out of the way before
    // SQLite sees it: opening would replay it into this file.
    if (CheckVolumeJournal(path) == CJournalVerdict::Foreign && !SetForeignJournalAside(path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                   nullptr);
    if (rc != SQLITE_OK) {
        SetLastError(ErrorOfConnection(db, db ? sqlite3_extended_errcode(db) : rc, ERROR_ACCESS_DENIED));
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
// switches to the write-ahead journal, loads the database catalogue and
// gives the volume its identity. A header and schema check, and one look at
// each table's last page: cheap whatever the size of the file.
bool CPropertyVolume::PrepareSchema()
{
    int applicationId = 0;
    bool empty = false;
    {
        CStatementUse identity = Statement("PRAGMA application_id");
        CStatementUse tables = identity ? Statement("SELECT count(*) FROM sqlite_schema") : CStatementUse();
        if (!identity || sqlite3_step(identity) != SQLITE_ROW || !tables || sqlite3_step(tables) != SQLITE_ROW) {
            FailWith(ERROR_READ_FAULT, "reading the volume header");
            return false;
        }
        applicationId = sqlite3_column_int(identity, 0);
        empty = sqlite3_column_int(tables, 0) == 0;
    }
    if (applicationId != kVolumeApplicationId && !(empty && applicationId == 0)) {
        DebugLogF("CPropertyVolume::Open", "%s is not a database volume", m_strPath.c_str());
        SetLastError(ERROR_FILE_CORRUPT);
        return false;
    }
    std::error_code error;
    if (std::filesystem::exists(DamageMarkerPath(m_strPath), error) && !ConfirmDamage())
        return false;
    // WAL: a process killed mid-write loses at most the write in progress,
    // and readers never block the writer. NORMAL syncs at checkpoints, which
    // keeps every committed write across a crash of the process.
    if (!Execute("PRAGMA journal_mode=WAL") || !Execute("PRAGMA synchronous=NORMAL"))
        return false;
    {
        CStatementUse version = Statement("PRAGMA user_version");
        if (!version || sqlite3_step(version) != SQLITE_ROW) {
            FailWith(ERROR_READ_FAULT, "reading the volume header");
            return false;
        }
        m_dwIdentity = static_cast<std::uint32_t>(sqlite3_column_int64(version, 0));
    }
    if (m_dwIdentity != 0)
        m_strTouchIdentity = std::string("PRAGMA user_version=") + std::to_string(static_cast<std::int32_t>(m_dwIdentity));
    if (empty) {
        const std::string setId = std::string("PRAGMA application_id=") + std::to_string(kVolumeApplicationId);
        if (!Execute("BEGIN IMMEDIATE"))
            return false;
        if (!Execute(setId.c_str()) || !Execute(kCatalogSchema) || !Execute("COMMIT")) {
            sqlite3_exec(m_pDb, "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
    }
    if (!LoadCatalogue() || !CheckTables())
        return false;
    return m_dwIdentity != 0 || GiveIdentity();
}

// The volume was found damaged while in use: a full check decides whether it
// is set aside now (it is then ERROR_FILE_CORRUPT) or was a false alarm.
bool CPropertyVolume::ConfirmDamage()
{
    CStatementUse check = Statement("PRAGMA quick_check(1)");
    const bool ran = check && sqlite3_step(check) == SQLITE_ROW;
    const bool sound = ran && std::string(reinterpret_cast<const char*>(sqlite3_column_text(check, 0))) == "ok";
    check.End();
    if (!ran) {
        FailWith(ERROR_READ_FAULT, "checking the volume");
        return false;
    }
    if (!sound) {
        DebugLogF("CPropertyVolume::Open", "%s is damaged", m_strPath.c_str());
        SetLastError(ERROR_FILE_CORRUPT);
        return false;
    }
    std::error_code error;
    std::filesystem::remove(DamageMarkerPath(m_strPath), error);
    return true;
}

// New volumes, and volumes made before identities existed, get one; it is
// checkpointed into the file at once, so that the file itself carries it.
// Another process opening the volume at the same moment may have given it
// one first: under the write lock the header is read again and its identity
// kept.
bool CPropertyVolume::GiveIdentity()
{
    if (!Execute("BEGIN IMMEDIATE"))
        return false;
    CStatementUse version = Statement("PRAGMA user_version");
    const bool read = version && sqlite3_step(version) == SQLITE_ROW;
    std::uint32_t identity = read ? static_cast<std::uint32_t>(sqlite3_column_int64(version, 0)) : 0;
    version.End();
    if (!read) {
        FailWith(ERROR_READ_FAULT, "reading the volume header");
        sqlite3_exec(m_pDb, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    const bool fresh = identity == 0;
    if (fresh)
        identity = NewVolumeIdentity();
    const std::string touch = std::string("PRAGMA user_version=") + std::to_string(static_cast<std::int32_t>(identity));
    if ((fresh && !Execute(touch.c_str())) || !Execute("COMMIT")) {
        const DWORD error = GetLastError();
        sqlite3_exec(m_pDb, "ROLLBACK", nullptr, nullptr, nullptr);
        SetLastError(error);
        return false;
    }
    m_dwIdentity = identity;
    m_strTouchIdentity = touch;
    return !fresh || CheckpointTruncate();
}

bool CPropertyVolume::CheckpointTruncate()
{
    // Another connection may be reading: then the journal stays, which is
    // harmless; only a real failure counts.
    const int rc = sqlite3_wal_checkpoint_v2(m_pDb, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    if (rc != SQLITE_OK && rc != SQLITE_BUSY) {
        FailWith(ERROR_WRITE_FAULT, "checkpointing the journal");
        return false;
    }
    return true;
}

// Another process may have added databases since the last look.
bool CPropertyVolume::LoadCatalogue()
{
    CStatementUse catalog = Statement("SELECT oid, name, type, sort_orders FROM ce_databases");
    if (!catalog) {
        SetLastError(ERROR_FILE_CORRUPT);
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
    catalog.End();
    if (rc != SQLITE_DONE) {
        FailWith(ERROR_READ_FAULT, "reading the catalogue");
        return false;
    }
    return true;
}

// The last page of every table: a file cut short or overwritten shows here.
bool CPropertyVolume::CheckTables()
{
    for (const auto& [oid, schema] : m_databases) {
        CStatementUse last = Statement("SELECT max(oid) FROM " + schema->table);
        if (!last) {
            SetLastError(ERROR_FILE_CORRUPT); // a database of the catalogue has no table
            return false;
        }
        const int rc = sqlite3_step(last);
        last.End();
        if (rc != SQLITE_ROW) {
            FailWith(ERROR_READ_FAULT, "reading a database");
            return false;
        }
    }
    return true;
}

CVolumeTextIndex* CPropertyVolume::TextIndex(CEOID oidDb)
{
    const auto found = m_textIndexes.find(oidDb);
    return found != m_textIndexes.end() ? found->second.get() : nullptr;
}

bool CPropertyVolume::AttachTextIndex(CEOID oidDb, int version, CRecordTextOf textOf)
{
    const auto schema = FindDatabase(L"", oidDb);
    if (textOf == nullptr || !schema) {
        SetLastError(textOf == nullptr ? ERROR_INVALID_PARAMETER : ERROR_FILE_NOT_FOUND);
        return false;
    }
    auto index = std::make_unique<CVolumeTextIndex>(*this, *schema, textOf);
    if (!index->Attach(version))
        return false;
    m_textIndexes[oidDb] = std::move(index);
    return true;
}

void CPropertyVolume::Close()
{
    m_textIndexes.clear();
    for (auto& [sql, statement] : m_statements)
        sqlite3_finalize(statement);
    m_statements.clear();
    if (m_pDb)
        sqlite3_close(m_pDb);
    m_pDb = nullptr;
}

void CStatementUse::End()
{
    if (m_pStatement == nullptr)
        return;
    sqlite3_reset(m_pStatement);
    sqlite3_clear_bindings(m_pStatement);
    m_pStatement = nullptr;
}

CStatementUse CPropertyVolume::Statement(const std::string& sql)
{
    if (!m_pDb)
        return {};
    // Every use ends with the statement reset and its bindings cleared.
    auto found = m_statements.find(sql);
    if (found != m_statements.end())
        return CStatementUse(found->second);
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(m_pDb, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) {
        FailWith(ERROR_READ_FAULT, sql.c_str());
        return {};
    }
    m_statements.emplace(sql, statement);
    return CStatementUse(statement);
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
    if (m_nWriteGroups > 0) {
        if (WriteGroupSpoiled()) {
            SetLastError(m_dwGroupError);
            return false;
        }
        ++m_nWriteGroups;
        return true;
    }
    if (!Execute("BEGIN IMMEDIATE"))
        return false;
    // Every transaction rewrites the header page with the volume's identity,
    // so that each one in the journal says which volume it belongs to.
    if (!m_strTouchIdentity.empty() && !Execute(m_strTouchIdentity.c_str())) {
        const DWORD error = GetLastError();
        sqlite3_exec(m_pDb, "ROLLBACK", nullptr, nullptr, nullptr);
        SetLastError(error);
        return false;
    }
    m_nWriteGroups = 1;
    m_dwGroupError = ERROR_SUCCESS;
    return true;
}

bool CPropertyVolume::EndWriteGroup()
{
    if (m_nWriteGroups == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (--m_nWriteGroups > 0)
        return !WriteGroupSpoiled();
    DWORD error = m_dwGroupError;
    m_dwGroupError = ERROR_SUCCESS;
    if (error == ERROR_SUCCESS && m_pDb && !sqlite3_get_autocommit(m_pDb)) {
        if (Execute("COMMIT"))
            return true;
        error = GetLastError();
    }
    if (error == ERROR_SUCCESS)
        error = ERROR_WRITE_FAULT; // SQLite has already rolled the transaction back
    if (m_pDb && !sqlite3_get_autocommit(m_pDb))
        sqlite3_exec(m_pDb, "ROLLBACK", nullptr, nullptr, nullptr);
    // A database made inside the group went with it: the catalogue is read
    // again, or later calls would find a database whose table is gone.
    m_databases.clear();
    LoadCatalogue();
    DebugLogF("CPropertyVolume", "a group of writes was not committed (%u) in %s", error, m_strPath.c_str());
    SetLastError(error);
    return false;
}

void CPropertyVolume::SpoilWriteGroup(DWORD error)
{
    if (m_nWriteGroups > 0 && m_dwGroupError == ERROR_SUCCESS)
        m_dwGroupError = error;
}

void CPropertyVolume::FailWith(DWORD fallbackError, const char* what)
{
    if (!m_pDb) {
        SetLastError(ERROR_INVALID_HANDLE);
        return;
    }
    const int code = sqlite3_extended_errcode(m_pDb);
    DebugLogF("CPropertyVolume", "%s: %s (%d) in %s", what, sqlite3_errmsg(m_pDb), code, m_strPath.c_str());
    const DWORD error = ErrorOfConnection(m_pDb, code, fallbackError);
    SetLastError(error);
    SpoilWriteGroup(error);
    if (error == ERROR_FILE_CORRUPT)
        MarkDamaged();
}

void CPropertyVolume::MarkDamaged()
{
    if (m_bDamaged)
        return;
    m_bDamaged = true;
    const std::string marker = DamageMarkerPath(m_strPath);
    if (FILE* file = std::fopen(marker.c_str(), "w"))
        std::fclose(file);
    DebugLogF("CPropertyVolume", "%s is damaged; it will be checked when next opened", m_strPath.c_str());
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
    CVolumeWrite write(*this);
    // Under the write lock, the catalogue as it is now: another process may
    // have made the database a moment ago.
    if (!write.Begun() || !LoadCatalogue())
        return 0;
    if (FindDatabase(info.szDbaseName, 0)) {
        write.Commit();
        SetLastError(ERROR_ALREADY_EXISTS);
        return 0;
    }
    CStatementUse insert = Statement("INSERT INTO ce_databases(name, type, sort_orders) VALUES(?, ?, ?)");
    const std::string name = WideToUtf8(info.szDbaseName);
    const std::string orders = FormatSortOrders(info);
    bool ok = insert != nullptr;
    if (ok) {
        sqlite3_bind_text(insert, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert, 2, info.dwDbaseType);
        sqlite3_bind_text(insert, 3, orders.c_str(), -1, SQLITE_TRANSIENT);
        ok = sqlite3_step(insert) == SQLITE_DONE;
        if (!ok)
            FailWith(ERROR_WRITE_FAULT, "creating a database");
        insert.End();
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
        for (size_t order = 0; order < schema->sortOrders.size(); ++order) {
            for (size_t key = 0; key < schema->sortOrders[order].wNumProps; ++key)
                create += ", " + CDatabaseSchema::KeyColumn(order, key) + " NOT NULL";
        }
        create += ");";
        ok = Execute((create + SortOrderIndexSql(*schema, 0)).c_str());
    }
    if (!write.Commit() || !ok)
        return 0;
    m_databases[schema->oid] = schema;
    return schema->oid;
}

bool CPropertyVolume::AddSortOrders(CEOID oid, const CEDBASEINFOEX& info)
{
    CVolumeWrite write(*this);
    // Under the write lock, the catalogue as it is now: another process may
    // have added the sort orders a moment ago.
    if (!write.Begun() || !LoadCatalogue())
        return false;
    const auto current = FindDatabase(L"", oid);
    if (!current) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    const size_t kept = current->sortOrders.size();
    if (!ValidSortOrders(info) || info.wNumSortOrder < kept ||
        !std::equal(current->sortOrders.begin(), current->sortOrders.end(), info.rgSortSpecs)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (info.wNumSortOrder == kept)
        return write.Commit();
    auto schema = std::make_shared<CDatabaseSchema>(*current);
    schema->sortOrders.assign(info.rgSortSpecs, info.rgSortSpecs + info.wNumSortOrder);
    schema->Prepare();
    std::string alter;
    std::string assignments;
    for (size_t order = kept; order < schema->sortOrders.size(); ++order) {
        for (size_t key = 0; key < schema->sortOrders[order].wNumProps; ++key) {
            const std::string column = CDatabaseSchema::KeyColumn(order, key);
            alter += "ALTER TABLE " + schema->table + " ADD COLUMN " + column + " NOT NULL DEFAULT 0;";
            assignments += std::string(assignments.empty() ? "" : ", ") + column + " = ?";
        }
    }
    if (!Execute(alter.c_str()))
        return false;
    // Every record gets its keys of the new orders from its properties.
    CStatementUse records = Statement("SELECT oid, props FROM " + schema->table);
    CStatementUse update = Statement("UPDATE " + schema->table + " SET " + assignments + " WHERE oid = ?");
    if (!records || !update)
        return false;
    int rc;
    while ((rc = sqlite3_step(records)) == SQLITE_ROW) {
        const auto props = DecodeRecordProps(sqlite3_column_blob(records, 1),
                                             static_cast<size_t>(sqlite3_column_bytes(records, 1)));
        const std::vector<CEPROPVAL> none;
        const std::span<const CEPROPVAL> record = props ? std::span<const CEPROPVAL>(*props) : none;
        int index = 1;
        for (size_t order = kept; order < schema->sortOrders.size(); ++order) {
            const SORTORDERSPECEX& sortKeys = schema->sortOrders[order];
            for (WORD key = 0; key < sortKeys.wNumProps; ++key)
                MakeSortKey(record, sortKeys.rgPropID[key], sortKeys.rgdwFlags[key]).Bind(update, index++);
        }
        sqlite3_bind_int64(update, index, sqlite3_column_int64(records, 0));
        const int written = sqlite3_step(update);
        sqlite3_reset(update);
        if (written != SQLITE_DONE) {
            FailWith(ERROR_WRITE_FAULT, "indexing a new sort order");
            return false;
        }
    }
    records.End();
    update.End();
    if (rc != SQLITE_DONE) {
        FailWith(ERROR_READ_FAULT, "indexing a new sort order");
        return false;
    }
    CStatementUse catalog = Statement("UPDATE ce_databases SET sort_orders = ? WHERE oid = ?");
    if (!catalog)
        return false;
    const std::string orders = FormatSortOrders(info);
    sqlite3_bind_text(catalog, 1, orders.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(catalog, 2, oid);
    rc = sqlite3_step(catalog);
    catalog.End();
    if (rc != SQLITE_DONE) {
        FailWith(ERROR_WRITE_FAULT, "recording a new sort order");
        return false;
    }
    if (!Execute(SortOrderIndexSql(*schema, kept).c_str()) || !write.Commit())
        return false;
    m_databases[oid] = std::move(schema);
    return true;
}
