#include <sqlite3.h>

#include <algorithm>
#include <iterator>

#include "platform/Clock.h"
#include "platform/PropertyHandle.h"

CSortOrderQuery::CSortOrderQuery(CPropertyDatabaseHandle& handle, bool withProps)
    : m_handle(handle), m_sql(handle.schema->sql[handle.sortOrder][withProps ? 1 : 0]),
      m_nKeys(handle.schema->sortOrders[handle.sortOrder].wNumProps), m_bWithProps(withProps)
{
}

std::vector<CFoundRecord> CSortOrderQuery::AtOrAfter(const CSeekPosition& position, bool& failed, int limit)
{
    if (position.kind == CSeekPosition::Kind::Beginning)
        return Run(m_sql.first, {}, std::nullopt, limit, failed);
    return Run(m_sql.following[position.kind == CSeekPosition::Kind::At ? 1 : 0], position.keys, position.oid, limit,
               failed);
}

std::optional<CFoundRecord> CSortOrderQuery::Following(const CFoundRecord& record, bool& failed)
{
    return One(Run(m_sql.following[0], record.keys, record.oid, 1, failed));
}

std::optional<CFoundRecord> CSortOrderQuery::FirstEqual(const std::vector<CSortKeyValue>& values, bool& failed)
{
    return One(Run(m_sql.firstEqual[values.size() - 1], values, std::nullopt, 1, failed));
}

std::optional<CFoundRecord> CSortOrderQuery::FirstGreater(const std::vector<CSortKeyValue>& values, bool& failed)
{
    return One(Run(m_sql.firstGreater[values.size() - 1], values, std::nullopt, 1, failed));
}

std::optional<CFoundRecord> CSortOrderQuery::WithOid(std::int64_t oid, bool& failed)
{
    return One(Run(m_sql.withOid, {}, oid, 1, failed));
}

std::optional<CFoundRecord> CSortOrderQuery::AtOffset(DWORD offset, bool& failed)
{
    return One(Run(m_sql.fromOffset + std::to_string(offset), {}, std::nullopt, 1, failed));
}

std::optional<DWORD> CSortOrderQuery::CountEqual(const std::vector<CSortKeyValue>& values)
{
    CPropertyVolume& volume = *m_handle.volume;
    CStatementUse statement = volume.Statement(m_sql.countEqual[values.size() - 1]);
    if (!statement)
        return std::nullopt;
    int index = 1;
    for (const CSortKeyValue& value : values)
        value.Bind(statement, index++);
    std::optional<DWORD> count;
    if (sqlite3_step(statement) == SQLITE_ROW)
        count = static_cast<DWORD>(sqlite3_column_int64(statement, 0));
    else
        volume.FailWith(ERROR_READ_FAULT, "counting");
    return count;
}

std::optional<std::vector<std::pair<std::vector<CSortKeyValue>, DWORD>>> CSortOrderQuery::CountGrouped(size_t keys)
{
    const CDatabaseSchema& schema = *m_handle.schema;
    std::string columns;
    for (size_t key = 0; key < keys; ++key)
        columns.append(key ? ", " : "").append(CDatabaseSchema::KeyColumn(m_handle.sortOrder, key));
    CPropertyVolume& volume = *m_handle.volume;
    CStatementUse statement =
        volume.Statement("SELECT " + columns + ", count(*) FROM " + schema.table + " GROUP BY " + columns);
    if (!statement)
        return std::nullopt;
    std::vector<std::pair<std::vector<CSortKeyValue>, DWORD>> groups;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        auto& group = groups.emplace_back();
        for (size_t key = 0; key < keys; ++key)
            group.first.push_back(CSortKeyValue::FromColumn(statement, static_cast<int>(key)));
        group.second = static_cast<DWORD>(sqlite3_column_int64(statement, static_cast<int>(keys)));
    }
    if (step != SQLITE_DONE) {
        volume.FailWith(ERROR_READ_FAULT, "counting");
        return std::nullopt;
    }
    return groups;
}

std::optional<CFoundRecord> CSortOrderQuery::One(std::vector<CFoundRecord>&& found)
{
    if (found.empty())
        return std::nullopt;
    return std::move(found.front());
}

std::vector<CFoundRecord> CSortOrderQuery::Run(const std::string& sql, const std::vector<CSortKeyValue>& keys,
                                               std::optional<std::int64_t> oid, int limit, bool& failed)
{
    failed = false;
    std::vector<CFoundRecord> found;
    CPropertyVolume& volume = *m_handle.volume;
    CStatementUse statement = volume.Statement(sql);
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
        found.clear();
    }
    return found;
}

CSeekPosition PositionAt(const CFoundRecord& record) { return {CSeekPosition::Kind::At, record.keys, record.oid}; }

std::vector<CSortKeyValue> SortKeysOf(const CDatabaseSchema& schema, size_t order, std::span<const CEPROPVAL> props)
{
    const SORTORDERSPECEX& sortKeys = schema.sortOrders[order];
    std::vector<CSortKeyValue> keys;
    for (WORD key = 0; key < sortKeys.wNumProps; ++key)
        keys.push_back(MakeSortKey(props, sortKeys.rgPropID[key], sortKeys.rgdwFlags[key]));
    return keys;
}

void SeekTo(CPropertyDatabaseHandle& handle, CFoundRecord&& record)
{
    handle.MoveTo(PositionAt(record));
    CReadAhead& ahead = handle.readAhead;
    ahead.changeCount = handle.volume->ChangeCount();
    ahead.fetchedAt = GetTickCount();
    ahead.records.push_back(std::move(record));
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

} // namespace

std::optional<CFoundRecord> RecordToRead(CPropertyDatabaseHandle& handle, bool& failed)
{
    failed = false;
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
