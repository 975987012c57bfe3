#include "platform/PropertyDatabase.h"

#include <sqlite3.h>

#include <algorithm>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/Debug.h"
#include "platform/PropertyHandle.h"
#include "platform/PropertyMounts.h"
#include "platform/VolumeTextIndex.h"

namespace {

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

// The key column values of seek values; nullopt when a value is not of its
// key's type.
std::optional<std::vector<CSortKeyValue>> SeekKeysOf(const CPropertyDatabaseHandle& handle, const CEPROPVAL* pValues,
                                                     WORD wNumVals)
{
    const SORTORDERSPECEX& sortKeys = handle.schema->sortOrders[handle.sortOrder];
    std::vector<CSortKeyValue> values;
    for (WORD key = 0; key < wNumVals; ++key) {
        auto value = MakeSeekKey(pValues[key], sortKeys.rgPropID[key], sortKeys.rgdwFlags[key]);
        if (!value)
            return std::nullopt;
        values.push_back(std::move(*value));
    }
    return values;
}

} // namespace

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
    CStatementUse count = schema ? volume->Statement("SELECT count(*) FROM " + schema->table) : CStatementUse();
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
    return true;
}

bool CeSetDatabaseInfoEx(const CEGUID* pGuid, CEOID oidDb, const CEDBASEINFOEX& info)
{
    auto volume = MountedVolume(pGuid);
    if (!volume)
        return false;
    std::lock_guard guard(volume->Lock());
    return volume->AddSortOrders(oidDb, info);
}

bool CeCountMatchingRecords(HCEDB hDatabase, const CEPROPVAL* pValues, WORD wNumVals, DWORD& count)
{
    CHandleCall call(hDatabase);
    if (!call.Usable())
        return false;
    const SORTORDERSPECEX& sortKeys = hDatabase->schema->sortOrders[hDatabase->sortOrder];
    if (!pValues || wNumVals == 0 || wNumVals > sortKeys.wNumProps) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const auto values = SeekKeysOf(*hDatabase, pValues, wNumVals);
    if (!values) {
        count = 0;
        return true;
    }
    const auto counted = CSortOrderQuery(*hDatabase, false).CountEqual(*values);
    if (!counted)
        return false;
    count = *counted;
    return true;
}

namespace {

// One text for a row of key values, to find it among many.
std::string KeyText(const std::vector<CSortKeyValue>& keys)
{
    std::string text;
    for (const CSortKeyValue& key : keys) {
        text += static_cast<char>('0' + static_cast<int>(key.kind));
        text.append(reinterpret_cast<const char*>(&key.integer), sizeof key.integer);
        text.append(reinterpret_cast<const char*>(&key.real), sizeof key.real);
        text += std::to_string(key.bytes.size());
        text += ':';
        text += key.bytes;
    }
    return text;
}

} // namespace

bool CeCountMatchingRecordsMany(HCEDB hDatabase, std::span<const CEPROPVAL> values, WORD wNumVals,
                                std::vector<DWORD>& counts)
{
    counts.clear();
    CHandleCall call(hDatabase);
    if (!call.Usable())
        return false;
    const SORTORDERSPECEX& sortKeys = hDatabase->schema->sortOrders[hDatabase->sortOrder];
    if (wNumVals == 0 || wNumVals > sortKeys.wNumProps || values.size() % wNumVals != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const auto groups = CSortOrderQuery(*hDatabase, false).CountGrouped(wNumVals);
    if (!groups)
        return false;
    std::unordered_map<std::string, DWORD> byKeys;
    byKeys.reserve(groups->size());
    for (const auto& [keys, count] : *groups)
        byKeys.emplace(KeyText(keys), count);
    counts.reserve(values.size() / wNumVals);
    for (size_t at = 0; at < values.size(); at += wNumVals) {
        const auto keys = SeekKeysOf(*hDatabase, values.data() + at, wNumVals);
        const auto found = keys ? byKeys.find(KeyText(*keys)) : byKeys.end();
        counts.push_back(found != byKeys.end() ? found->second : 0);
    }
    return true;
}

bool CeCountDistinctKeys(HCEDB hDatabase, WORD wNumKeys, DWORD& count)
{
    CHandleCall call(hDatabase);
    if (!call.Usable())
        return false;
    if (wNumKeys == 0 || wNumKeys > hDatabase->schema->sortOrders[hDatabase->sortOrder].wNumProps) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const auto groups = CSortOrderQuery(*hDatabase, false).CountGrouped(wNumKeys);
    if (!groups)
        return false;
    count = static_cast<DWORD>(groups->size());
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
        (dwSeekType != CEDB_SEEK_VALUEFIRSTEQUAL && dwSeekType != CEDB_SEEK_VALUENEXTEQUAL &&
         dwSeekType != CEDB_SEEK_VALUEGREATER)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const auto values = SeekKeysOf(*hDatabase, pValues, wNumVals);
    if (!values) { // a value of another type than the key equals nothing
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    CSortOrderQuery query(*hDatabase, true);
    bool failed = false;
    std::optional<CFoundRecord> found;
    if (dwSeekType == CEDB_SEEK_VALUEFIRSTEQUAL) {
        found = query.FirstEqual(*values, failed);
    } else if (dwSeekType == CEDB_SEEK_VALUEGREATER) {
        found = query.FirstGreater(*values, failed);
    } else {
        auto current = CSortOrderQuery::One(query.AtOrAfter(hDatabase->position, failed));
        if (current)
            found = query.Following(*current, failed);
        if (found && !std::equal(values->begin(), values->end(), found->keys.begin()))
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
    CVolumeWrite write(volume);
    if (!write.Begun())
        return 0;
    try {
        std::vector<CEPROPVAL> record;
        CVolumeTextIndex* textIndex = IsTextIndexUpkeepOn() ? volume.TextIndex(schema.oid) : nullptr;
        std::optional<std::vector<CEPROPVAL>> before; // for the text index: what the record held
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
            if (auto stored = DecodeRecordProps(existing->props.data(), existing->props.size())) {
                if (textIndex != nullptr)
                    before = *stored;
                record = std::move(*stored);
            }
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
        CStatementUse statement = volume.Statement(sql);
        if (!statement)
            return 0;
        sqlite3_bind_blob(statement, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
        int index = 2;
        for (const CSortKeyValue& key : keys)
            key.Bind(statement, index++);
        if (oidRecord != 0)
            sqlite3_bind_int64(statement, index, oidRecord);
        const int rc = sqlite3_step(statement);
        statement.End();
        if (rc != SQLITE_DONE) {
            volume.FailWith(ERROR_WRITE_FAULT, "writing a record");
            return 0;
        }
        const sqlite3_int64 written = oidRecord != 0 ? oidRecord : sqlite3_last_insert_rowid(volume.Connection());
        if (written > 0xFFFFFFFFll) { // object ids are 32-bit: refuse rather than wrap
            SetLastError(ERROR_DISK_FULL);
            return 0; // the write is rolled back with its group
        }
        if (textIndex != nullptr && !(oidRecord == 0 ? textIndex->OnInserted(written)
                                                     : textIndex->OnUpdated(written, before ? &*before : nullptr, record)))
            return 0;
        return write.Commit() ? static_cast<CEOID>(written) : 0;
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
    CVolumeWrite write(volume);
    if (!write.Begun())
        return false;
    if (CVolumeTextIndex* textIndex = IsTextIndexUpkeepOn() ? volume.TextIndex(hDatabase->schema->oid) : nullptr;
        textIndex != nullptr && !textIndex->OnDeleting(oidRecord))
        return false;
    CStatementUse statement = volume.Statement(hDatabase->schema->deleteSql);
    if (!statement)
        return false;
    sqlite3_bind_int64(statement, 1, oidRecord);
    const int rc = sqlite3_step(statement);
    const int changed = sqlite3_changes(sqlite3_db_handle(statement));
    statement.End();
    if (rc != SQLITE_DONE) {
        volume.FailWith(ERROR_WRITE_FAULT, "deleting a record");
        return false;
    }
    if (!write.Commit())
        return false;
    if (changed == 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    return true;
}
