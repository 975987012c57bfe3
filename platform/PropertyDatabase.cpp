#include "platform/PropertyDatabase.h"

#include <sqlite3.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <iterator>
#include <map>
#include <mutex>
#include <new>
#include <optional>

#include "platform/Debug.h"
#include "platform/FileSystem.h"
#include "platform/PropertyRecordCodec.h"
#include "platform/PropertyVolume.h"

// The seek position of a handle: before the first record, at a record, or
// just past one. A position names the record by its sort keys and object id,
// so it stays meaningful when that record is deleted or others are added.
struct CSeekPosition {
    enum class Kind { Beginning, At, After };
    Kind kind = Kind::Beginning;
    std::vector<CSortKeyValue> keys;
    std::int64_t oid = 0;
};

// A located record: object id and sort keys, and its stored properties
// when asked for.
struct CFoundRecord {
    std::int64_t oid = 0;
    std::vector<CSortKeyValue> keys;
    std::string props;
};

// Records read ahead of a walk: the ones that follow the seek position, as
// they were when fetched. They serve the next reads while this process has
// changed nothing in the volume since, and for a moment at most, so that a
// walk soon sees what another process commits meanwhile.
struct CReadAhead {
    std::deque<CFoundRecord> records;
    std::int64_t changeCount = -1;
    std::uint32_t fetchedAt = 0; // tick count
    int batch = 1;               // grows while reads follow one another
};

struct CPropertyDatabaseHandle {
    std::shared_ptr<CPropertyVolume> volume;
    std::shared_ptr<const CDatabaseSchema> schema;
    size_t sortOrder = 0;
    bool autoIncrement = false;
    CSeekPosition position;
    CReadAhead readAhead;

    void MoveTo(CSeekPosition to)
    {
        position = std::move(to);
        readAhead.records.clear();
        readAhead.batch = 1;
    }
};

namespace {

// ---- Mounted volumes ------------------------------------------------------

struct CMountTable {
    std::mutex lock;
    std::map<std::uint32_t, std::shared_ptr<CPropertyVolume>> byId;
    std::uint32_t nextId = 1;
};

CMountTable& Mounts()
{
    static CMountTable* table = new CMountTable; // lives until the process ends
    return *table;
}

std::shared_ptr<CPropertyVolume> MountedVolume(const CEGUID* pGuid)
{
    if (!pGuid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    CMountTable& mounts = Mounts();
    std::lock_guard guard(mounts.lock);
    auto found = mounts.byId.find(pGuid->Data1);
    if (found == mounts.byId.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return found->second;
}

std::string CanonicalPath(const std::wstring& path)
{
    std::error_code error;
    const std::filesystem::path native(NativePath(path));
    const auto absolute = std::filesystem::weakly_canonical(native, error);
    return error ? native.string() : absolute.string();
}

// Moves a file that is not a usable volume (and its journal) out of the way,
// to "<file>.damaged", or "<file>.damaged.N" when that name is taken.
bool KeepDamagedVolume(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::exists(path, error))
        return true;
    std::string kept = path + ".damaged";
    for (int n = 1; fs::exists(kept, error); ++n)
        kept = path + ".damaged." + std::to_string(n);
    fs::rename(path, kept, error);
    if (error) {
        DebugLogF("CeMountDBVol", "cannot move %s aside: %s", path.c_str(), error.message().c_str());
        return false;
    }
    fs::rename(path + "-wal", kept + "-wal", error);
    fs::remove(path + "-shm", error);
    DebugLogF("CeMountDBVol", "kept the unusable volume as %s", kept.c_str());
    return true;
}

// ---- Queries over one sort order -------------------------------------------

class CSortOrderQuery {
public:
    CSortOrderQuery(CPropertyDatabaseHandle& handle, bool withProps)
        : m_handle(handle), m_sql(handle.schema->sql[handle.sortOrder][withProps ? 1 : 0]),
          m_nKeys(handle.schema->sortOrders[handle.sortOrder].wNumProps), m_bWithProps(withProps)
    {
    }

    // The record at the position (inclusive) or the first one after it, and
    // up to limit - 1 records after that.
    std::vector<CFoundRecord> AtOrAfter(const CSeekPosition& position, bool& failed, int limit = 1)
    {
        if (position.kind == CSeekPosition::Kind::Beginning)
            return Run(m_sql.first, {}, std::nullopt, limit, failed);
        return Run(m_sql.following[position.kind == CSeekPosition::Kind::At ? 1 : 0], position.keys, position.oid,
                   limit, failed);
    }

    std::optional<CFoundRecord> Following(const CFoundRecord& record, bool& failed)
    {
        return One(Run(m_sql.following[0], record.keys, record.oid, 1, failed));
    }

    std::optional<CFoundRecord> FirstEqual(const std::vector<CSortKeyValue>& values, bool& failed)
    {
        return One(Run(m_sql.firstEqual[values.size() - 1], values, std::nullopt, 1, failed));
    }

    std::optional<CFoundRecord> WithOid(std::int64_t oid, bool& failed)
    {
        return One(Run(m_sql.withOid, {}, oid, 1, failed));
    }

    std::optional<CFoundRecord> AtOffset(DWORD offset, bool& failed)
    {
        return One(Run(m_sql.fromOffset + std::to_string(offset), {}, std::nullopt, 1, failed));
    }

    static std::optional<CFoundRecord> One(std::vector<CFoundRecord>&& found)
    {
        if (found.empty())
            return std::nullopt;
        return std::move(found.front());
    }

private:
    std::vector<CFoundRecord> Run(const std::string& sql, const std::vector<CSortKeyValue>& keys,
                                  std::optional<std::int64_t> oid, int limit, bool& failed)
    {
        failed = false;
        std::vector<CFoundRecord> found;
        CPropertyVolume& volume = *m_handle.volume;
        sqlite3_stmt* statement = volume.Statement(sql);
        if (!statement) {
            failed = true;
            return found;
        }
        int index = 1;
        for (const CSortKeyValue& key : keys)
            key.Bind(statement, index++);
        if (oid)
            sqlite3_bind_int64(statement, index, *oid);
        if (sqlite3_bind_parameter_count(statement) >= kLimitParameter)
            sqlite3_bind_int(statement, kLimitParameter, limit);
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            CFoundRecord& record = found.emplace_back();
            record.oid = sqlite3_column_int64(statement, 0);
            record.keys.reserve(m_nKeys);
            for (size_t key = 0; key < m_nKeys; ++key)
                record.keys.push_back(CSortKeyValue::FromColumn(statement, static_cast<int>(key + 1)));
            if (m_bWithProps) {
                const int column = static_cast<int>(m_nKeys + 1);
                if (const void* blob = sqlite3_column_blob(statement, column))
                    record.props.assign(static_cast<const char*>(blob),
                                        static_cast<size_t>(sqlite3_column_bytes(statement, column)));
            }
        }
        if (rc != SQLITE_DONE) {
            volume.FailWith(ERROR_READ_FAULT, "seeking");
            failed = true;
        }
        sqlite3_reset(statement);
        return found;
    }

    CPropertyDatabaseHandle& m_handle;
    const CSortOrderSql& m_sql;
    size_t m_nKeys;
    bool m_bWithProps;
};

// Takes the handle's volume lock for one call, failing when the handle is
// null or its volume has been unmounted.
class CHandleCall {
public:
    explicit CHandleCall(HCEDB handle)
        : m_handle(handle), m_guard(handle ? std::unique_lock(handle->volume->Lock()) : std::unique_lock<std::mutex>())
    {
    }
    bool Usable() const
    {
        if (m_handle && m_handle->volume->IsOpen())
            return true;
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }

private:
    HCEDB m_handle;
    std::unique_lock<std::mutex> m_guard;
};

CSeekPosition PositionAt(const CFoundRecord& record)
{
    return {CSeekPosition::Kind::At, record.keys, record.oid};
}

std::vector<CSortKeyValue> SortKeysOf(const CDatabaseSchema& schema, size_t order, std::span<const CEPROPVAL> props)
{
    const SORTORDERSPECEX& sortKeys = schema.sortOrders[order];
    std::vector<CSortKeyValue> keys;
    for (WORD key = 0; key < sortKeys.wNumProps; ++key)
        keys.push_back(MakeSortKey(props, sortKeys.rgPropID[key], sortKeys.rgdwFlags[key]));
    return keys;
}

// Puts the position at a record found by a seek, keeping the record for the
// read that usually follows.
void SeekTo(CPropertyDatabaseHandle& handle, CFoundRecord&& record)
{
    handle.MoveTo(PositionAt(record));
    CReadAhead& ahead = handle.readAhead;
    ahead.changeCount = handle.volume->ChangeCount();
    ahead.fetchedAt = GetTickCount();
    ahead.records.push_back(std::move(record));
}

// Replaces properties already in the record, appends new ones and drops
// those flagged for deletion.
void MergeProps(std::vector<CEPROPVAL>& record, std::span<const CEPROPVAL> changes)
{
    for (const CEPROPVAL& change : changes) {
        auto existing = std::find_if(record.begin(), record.end(),
                                     [&](const CEPROPVAL& prop) { return prop.propid == change.propid; });
        if (change.wFlags & CEDB_PROPDELETE) {
            if (existing != record.end())
                record.erase(existing);
        } else if (existing != record.end()) {
            *existing = change;
        } else {
            record.push_back(change);
        }
    }
}

} // namespace

// ---- Volumes ---------------------------------------------------------------

bool CeMountDBVol(CEGUID* pGuid, const std::wstring& path, DWORD flags)
{
    if (!pGuid || path.empty() || (flags != OPEN_ALWAYS && flags != CREATE_ALWAYS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const std::string file = CanonicalPath(path);
    CMountTable& mounts = Mounts();
    std::lock_guard guard(mounts.lock);
    for (auto& [id, volume] : mounts.byId) {
        if (volume->Path() == file) {
            if (flags == CREATE_ALWAYS) { // the file is in use as a volume
                SetLastError(ERROR_BUSY);
                return false;
            }
            ++volume->m_nMounts;
            pGuid->Data1 = id;
            return true;
        }
    }
    if (flags == CREATE_ALWAYS && !KeepDamagedVolume(file)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    auto volume = CPropertyVolume::Open(file);
    if (!volume)
        return false;
    volume->m_nMounts = 1;
    pGuid->Data1 = mounts.nextId++;
    mounts.byId.emplace(pGuid->Data1, std::move(volume));
    return true;
}

bool CeFlushDBVol(const CEGUID* pGuid)
{
    auto volume = MountedVolume(pGuid);
    if (!volume)
        return false;
    std::lock_guard guard(volume->Lock());
    return volume->Execute("PRAGMA wal_checkpoint(PASSIVE)");
}

bool CeUnmountDBVol(const CEGUID* pGuid)
{
    if (!pGuid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::shared_ptr<CPropertyVolume> closing;
    {
        CMountTable& mounts = Mounts();
        std::lock_guard guard(mounts.lock);
        auto found = mounts.byId.find(pGuid->Data1);
        if (found == mounts.byId.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        if (--found->second->m_nMounts > 0)
            return true;
        closing = std::move(found->second);
        mounts.byId.erase(found);
    }
    std::lock_guard guard(closing->Lock());
    closing->Close(); // handles still open now fail with ERROR_INVALID_HANDLE
    return true;
}

bool BeginVolumeWriteGroup(const CEGUID* pGuid)
{
    auto volume = MountedVolume(pGuid);
    if (!volume)
        return false;
    std::lock_guard guard(volume->Lock());
    return volume->BeginWriteGroup();
}

bool EndVolumeWriteGroup(const CEGUID* pGuid)
{
    auto volume = MountedVolume(pGuid);
    if (!volume)
        return false;
    std::lock_guard guard(volume->Lock());
    return volume->EndWriteGroup();
}

// ---- Databases -------------------------------------------------------------

CEOID CeCreateDatabaseEx2(const CEGUID* pGuid, const CEDBASEINFOEX& info)
{
    auto volume = MountedVolume(pGuid);
    if (!volume)
        return 0;
    std::lock_guard guard(volume->Lock());
    return volume->CreateDatabase(info);
}

HCEDB CeOpenDatabaseEx2(const CEGUID* pGuid, CEOID* pOid, const std::wstring& name, const SORTORDERSPECEX* pSort,
                        DWORD flags)
{
    auto volume = MountedVolume(pGuid);
    if (!volume)
        return nullptr;
    std::lock_guard guard(volume->Lock());
    auto schema = volume->FindDatabase(name, pOid ? *pOid : 0);
    if (!schema) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    size_t order = 0;
    if (pSort) {
        while (order < schema->sortOrders.size() && !(schema->sortOrders[order] == *pSort))
            ++order;
    }
    if (order >= schema->sortOrders.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (pOid)
        *pOid = schema->oid;
    auto* handle = new CPropertyDatabaseHandle;
    handle->volume = volume;
    handle->schema = schema;
    handle->sortOrder = order;
    handle->autoIncrement = (flags & CEDB_AUTOINCREMENT) != 0;
    return handle;
}

bool CeGetDatabaseInfo(const CEGUID* pGuid, CEOID oidDb, CEDBASEINFOEX& info)
{
    auto volume = MountedVolume(pGuid);
    if (!volume)
        return false;
    std::lock_guard guard(volume->Lock());
    auto schema = volume->FindDatabase(L"", oidDb);
    sqlite3_stmt* count = schema ? volume->Statement("SELECT count(*) FROM " + schema->table) : nullptr;
    if (!count || sqlite3_step(count) != SQLITE_ROW) {
        SetLastError(schema ? ERROR_READ_FAULT : ERROR_FILE_NOT_FOUND);
        return false;
    }
    info.szDbaseName = schema->name;
    info.dwDbaseType = schema->type;
    info.wNumSortOrder = static_cast<WORD>(schema->sortOrders.size());
    for (size_t order = 0; order < schema->sortOrders.size(); ++order)
        info.rgSortSpecs[order] = schema->sortOrders[order];
    info.dwNumRecords = static_cast<DWORD>(sqlite3_column_int64(count, 0));
    sqlite3_reset(count);
    return true;
}

bool CloseHandle(HCEDB hDatabase)
{
    if (!hDatabase) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    std::shared_ptr<CPropertyVolume> volume = hDatabase->volume;
    std::lock_guard guard(volume->Lock());
    delete hDatabase;
    return true;
}

// ---- Seeking and reading -----------------------------------------------------

CEOID CeSeekDatabaseEx(HCEDB hDatabase, DWORD dwSeekType, DWORD dwValue)
{
    CHandleCall call(hDatabase);
    if (!call.Usable())
        return 0;
    CSortOrderQuery query(*hDatabase, true);
    bool failed = false;
    std::optional<CFoundRecord> found;
    switch (dwSeekType) {
    case CEDB_SEEK_BEGINNING:
        found = dwValue == 0 ? CSortOrderQuery::One(query.AtOrAfter({}, failed)) : query.AtOffset(dwValue, failed);
        break;
    case CEDB_SEEK_CEOID:
        found = query.WithOid(dwValue, failed);
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!found) {
        if (!failed)
            SetLastError(dwSeekType == CEDB_SEEK_CEOID ? ERROR_FILE_NOT_FOUND : ERROR_NO_MORE_ITEMS);
        // A seek to the beginning of an empty order still leaves the
        // position at the beginning.
        if (dwSeekType == CEDB_SEEK_BEGINNING && dwValue == 0)
            hDatabase->MoveTo({});
        return 0;
    }
    const auto oid = static_cast<CEOID>(found->oid);
    SeekTo(*hDatabase, std::move(*found));
    return oid;
}

CEOID CeSeekDatabaseEx(HCEDB hDatabase, DWORD dwSeekType, const CEPROPVAL* pValues, WORD wNumVals)
{
    CHandleCall call(hDatabase);
    if (!call.Usable())
        return 0;
    const SORTORDERSPECEX& sortKeys = hDatabase->schema->sortOrders[hDatabase->sortOrder];
    if (!pValues || wNumVals == 0 || wNumVals > sortKeys.wNumProps ||
        (dwSeekType != CEDB_SEEK_VALUEFIRSTEQUAL && dwSeekType != CEDB_SEEK_VALUENEXTEQUAL)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::vector<CSortKeyValue> values;
    for (WORD key = 0; key < wNumVals; ++key) {
        auto value = MakeSeekKey(pValues[key], sortKeys.rgPropID[key], sortKeys.rgdwFlags[key]);
        if (!value) { // a value of another type than the key equals nothing
            SetLastError(ERROR_FILE_NOT_FOUND);
            return 0;
        }
        values.push_back(std::move(*value));
    }
    CSortOrderQuery query(*hDatabase, true);
    bool failed = false;
    std::optional<CFoundRecord> found;
    if (dwSeekType == CEDB_SEEK_VALUEFIRSTEQUAL) {
        found = query.FirstEqual(values, failed);
    } else {
        auto current = CSortOrderQuery::One(query.AtOrAfter(hDatabase->position, failed));
        if (current)
            found = query.Following(*current, failed);
        if (found && !std::equal(values.begin(), values.end(), found->keys.begin()))
            found.reset();
    }
    if (!found) {
        if (!failed)
            SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    const auto oid = static_cast<CEOID>(found->oid);
    SeekTo(*hDatabase, std::move(*found));
    return oid;
}

CEOID CeReadRecordPropsEx(HCEDB hDatabase, std::vector<CEPROPVAL>& props)
{
    return CeReadRecordPropsEx(hDatabase, {}, props);
}

namespace {

constexpr int kMostReadAhead = 64;
constexpr std::uint32_t kReadAheadLifetimeMs = 500;

bool ReadAheadIsCurrent(CPropertyDatabaseHandle& handle)
{
    const CReadAhead& ahead = handle.readAhead;
    return !ahead.records.empty() && handle.volume->ChangeCount() == ahead.changeCount &&
           GetTickCount() - ahead.fetchedAt < kReadAheadLifetimeMs;
}

// The record at the seek position: from the records read ahead when they are
// still current, else from the database (reading ahead more the longer the
// walk goes on).
std::optional<CFoundRecord> RecordToRead(CPropertyDatabaseHandle& handle, bool& failed)
{
    CReadAhead& ahead = handle.readAhead;
    if (handle.autoIncrement && ReadAheadIsCurrent(handle)) {
        CFoundRecord record = std::move(ahead.records.front());
        ahead.records.pop_front();
        return record;
    }
    ahead.records.clear();
    const int limit = handle.autoIncrement ? ahead.batch : 1;
    auto found = CSortOrderQuery(handle, true).AtOrAfter(handle.position, failed, limit);
    if (found.empty())
        return std::nullopt;
    ahead.batch = std::min(ahead.batch * 4, kMostReadAhead);
    if (found.size() > 1) {
        ahead.changeCount = handle.volume->ChangeCount();
        ahead.fetchedAt = GetTickCount();
        ahead.records.assign(std::make_move_iterator(found.begin() + 1), std::make_move_iterator(found.end()));
    }
    return std::move(found.front());
}

} // namespace

CEOID CeReadRecordPropsEx(HCEDB hDatabase, std::span<const CEPROPID> propids, std::vector<CEPROPVAL>& props)
{
    CHandleCall call(hDatabase);
    if (!call.Usable())
        return 0;
    try {
        bool failed = false;
        auto found = RecordToRead(*hDatabase, failed);
        if (!found) {
            if (!failed)
                SetLastError(ERROR_NO_MORE_ITEMS);
            return 0;
        }
        // Moving on keeps what was read ahead; staying put does not need it.
        if (hDatabase->autoIncrement)
            hDatabase->position = {CSeekPosition::Kind::After, found->keys, found->oid};
        else
            hDatabase->MoveTo(PositionAt(*found));
        auto decoded = DecodeRecordProps(found->props.data(), found->props.size(), propids);
        if (!decoded) {
            DebugLogF("CeReadRecordPropsEx", "record %lld is damaged", static_cast<long long>(found->oid));
            SetLastError(ERROR_INVALID_DATA);
            return 0;
        }
        props = std::move(*decoded);
        return static_cast<CEOID>(found->oid);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
}

// ---- Writing -----------------------------------------------------------------

CEOID CeWriteRecordProps(HCEDB hDatabase, CEOID oidRecord, std::span<const CEPROPVAL> props)
{
    CHandleCall call(hDatabase);
    if (!call.Usable())
        return 0;
    CPropertyVolume& volume = *hDatabase->volume;
    const CDatabaseSchema& schema = *hDatabase->schema;
    try {
        std::vector<CEPROPVAL> record;
        if (oidRecord != 0) {
            CSortOrderQuery query(*hDatabase, true);
            bool failed = false;
            auto existing = query.WithOid(oidRecord, failed);
            if (!existing) {
                if (!failed)
                    SetLastError(ERROR_FILE_NOT_FOUND);
                return 0;
            }
            // A damaged record is rewritten from what is given.
            if (auto stored = DecodeRecordProps(existing->props.data(), existing->props.size()))
                record = std::move(*stored);
            MergeProps(record, props);
        } else {
            record.assign(props.begin(), props.end());
        }
        const std::string blob = EncodeRecordProps(record);

        std::vector<CSortKeyValue> keys;
        for (size_t order = 0; order < schema.sortOrders.size(); ++order) {
            auto orderKeys = SortKeysOf(schema, order, record);
            std::move(orderKeys.begin(), orderKeys.end(), std::back_inserter(keys));
        }
        const std::string& sql = oidRecord == 0 ? schema.insertSql : schema.updateSql;
        sqlite3_stmt* statement = volume.Statement(sql);
        if (!statement)
            return 0;
        sqlite3_bind_blob(statement, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
        int index = 2;
        for (const CSortKeyValue& key : keys)
            key.Bind(statement, index++);
        if (oidRecord != 0)
            sqlite3_bind_int64(statement, index, oidRecord);
        const int rc = sqlite3_step(statement);
        sqlite3_reset(statement);
        if (rc != SQLITE_DONE) {
            volume.FailWith(ERROR_WRITE_FAULT, "writing a record");
            return 0;
        }
        if (oidRecord != 0)
            return oidRecord;
        const sqlite3_int64 created = sqlite3_last_insert_rowid(sqlite3_db_handle(statement));
        if (created > 0xFFFFFFFFll) { // object ids are 32-bit: refuse rather than wrap
            sqlite3_stmt* undo = volume.Statement(schema.deleteSql);
            if (undo) {
                sqlite3_bind_int64(undo, 1, created);
                sqlite3_step(undo);
                sqlite3_reset(undo);
            }
            SetLastError(ERROR_DISK_FULL);
            return 0;
        }
        return static_cast<CEOID>(created);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

bool CeDeleteRecord(HCEDB hDatabase, CEOID oidRecord)
{
    CHandleCall call(hDatabase);
    if (!call.Usable())
        return false;
    CPropertyVolume& volume = *hDatabase->volume;
    sqlite3_stmt* statement = volume.Statement(hDatabase->schema->deleteSql);
    if (!statement)
        return false;
    sqlite3_bind_int64(statement, 1, oidRecord);
    const int rc = sqlite3_step(statement);
    const int changed = sqlite3_changes(sqlite3_db_handle(statement));
    sqlite3_reset(statement);
    if (rc != SQLITE_DONE) {
        volume.FailWith(ERROR_WRITE_FAULT, "deleting a record");
        return false;
    }
    if (changed == 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    return true;
}
