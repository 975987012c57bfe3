#pragma once
// The inside of a property database handle: its seek position, the records
// read ahead of a walk, and the queries that find records in one sort order.
// Internal to the property database service.
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/PropertyDatabase.h"
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

// Finds records in the handle's sort order. failed reports a storage
// failure (the reason in GetLastError), as against finding nothing.
class CSortOrderQuery {
public:
    CSortOrderQuery(CPropertyDatabaseHandle& handle, bool withProps);

    // The record at the position (inclusive) or the first one after it, and
    // up to limit - 1 records after that.
    std::vector<CFoundRecord> AtOrAfter(const CSeekPosition& position, bool& failed, int limit = 1);
    std::optional<CFoundRecord> Following(const CFoundRecord& record, bool& failed);
    std::optional<CFoundRecord> FirstEqual(const std::vector<CSortKeyValue>& values, bool& failed);
    std::optional<CFoundRecord> FirstGreater(const std::vector<CSortKeyValue>& values, bool& failed);
    std::optional<CFoundRecord> WithOid(std::int64_t oid, bool& failed);
    std::optional<CFoundRecord> AtOffset(DWORD offset, bool& failed);
    // How many records have their first keys equal to the values.
    std::optional<DWORD> CountEqual(const std::vector<CSortKeyValue>& values);
    // Every distinct value of the first keys, with how many records have it.
    std::optional<std::vector<std::pair<std::vector<CSortKeyValue>, DWORD>>> CountGrouped(size_t keys);

    static std::optional<CFoundRecord> One(std::vector<CFoundRecord>&& found);

private:
    std::vector<CFoundRecord> Run(const std::string& sql, const std::vector<CSortKeyValue>& keys,
                                  std::optional<std::int64_t> oid, int limit, bool& failed);

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

CSeekPosition PositionAt(const CFoundRecord& record);
std::vector<CSortKeyValue> SortKeysOf(const CDatabaseSchema& schema, size_t order, std::span<const CEPROPVAL> props);
// Puts the position at a record found by a seek, keeping the record for the
// read that usually follows.
void SeekTo(CPropertyDatabaseHandle& handle, CFoundRecord&& record);
// The record at the seek position: from the records read ahead when they are
// still current, else from the database (reading ahead more the longer the
// walk goes on).
std::optional<CFoundRecord> RecordToRead(CPropertyDatabaseHandle& handle, bool& failed);
