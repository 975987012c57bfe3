#include "store/RecordDatabase.h"

#include <algorithm>
#include <bit>

#include "platform/Debug.h"
#include "store/DataStorage.h"

CRecordDatabase::CRecordDatabase(const wchar_t* volumeFile, CEDBASEINFOEX definition, WORD sortOrder)
    : m_dbInfo(std::move(definition)), m_wSortOrder(sortOrder)
{
    // The databases may be opened before the start-up has made the data
    // folder; they make it themselves rather than stay closed all session.
    m_strVolumePath = GetDataFolderFile(volumeFile);
    MountAndOpen();
}

void CRecordDatabase::MountAndOpen()
{
    CreateFolderPath(GetDataFolder());
    m_dwOpenError = ERROR_SUCCESS;
    // Only a damaged file is started afresh (and kept beside the new one).
    // Any other failure (no space, no permission, busy) leaves the file as it
    // is, and the database closed, for the caller to report.
    m_bMounted = CeMountDBVol(&m_guidVolume, m_strVolumePath, OPEN_ALWAYS);
    if (!m_bMounted && GetLastError() == ERROR_FILE_CORRUPT)
        m_bMounted = CeMountDBVol(&m_guidVolume, m_strVolumePath, CREATE_ALWAYS);
    if (!m_bMounted) {
        m_dwOpenError = GetLastError();
        DebugLogF("CRecordDatabase", "cannot mount %ls (%u)", m_strVolumePath.c_str(), m_dwOpenError);
        return;
    }
    if (!Open(true))
        m_dwOpenError = GetLastError() == ERROR_SUCCESS ? ERROR_READ_FAULT : GetLastError();
}

bool CRecordDatabase::EnsureOpen()
{
    if (m_hDB)
        return true;
    if (m_bMounted)
        CeUnmountDBVol(&m_guidVolume);
    m_bMounted = false;
    MountAndOpen();
    if (m_hDB)
        OnOpened();
    return m_hDB != nullptr;
}

CRecordDatabase::~CRecordDatabase()
{
    if (m_bMounted && CeFlushDBVol(&m_guidVolume))
        CeUnmountDBVol(&m_guidVolume);
    if (m_hDB)
        CloseHandle(m_hDB);
}

// A database made by an earlier version may lack sort orders added since.
bool CRecordDatabase::AddMissingSortOrders()
{
    CEDBASEINFOEX stored;
    if (!CeGetDatabaseInfo(&m_guidVolume, m_oidDB, stored))
        return false;
    if (stored.wNumSortOrder >= m_dbInfo.wNumSortOrder)
        return true;
    DebugLogF("CRecordDatabase", "adding sort orders to %ls", m_dbInfo.szDbaseName.c_str());
    return CeSetDatabaseInfoEx(&m_guidVolume, m_oidDB, m_dbInfo);
}

bool CRecordDatabase::Open(bool first)
{
    const SORTORDERSPECEX& order = m_dbInfo.rgSortSpecs[m_wSortOrder];
    m_hDB = CeOpenDatabaseEx2(&m_guidVolume, &m_oidDB, m_dbInfo.szDbaseName, &order, CEDB_AUTOINCREMENT);
    // Made here, or by another process that opened the volume at the same
    // moment: either way it is there to open.
    if (!m_hDB && GetLastError() == ERROR_FILE_NOT_FOUND &&
        (CeCreateDatabaseEx2(&m_guidVolume, m_dbInfo) || GetLastError() == ERROR_ALREADY_EXISTS))
        m_hDB = CeOpenDatabaseEx2(&m_guidVolume, &m_oidDB, m_dbInfo.szDbaseName, &order, CEDB_AUTOINCREMENT);
    if (m_hDB && first && !AddMissingSortOrders()) {
        CloseHandle(m_hDB);
        m_hDB = nullptr;
    }
    if (!m_hDB) {
        DebugLogF("CRecordDatabase", "cannot open %ls (%u)", m_dbInfo.szDbaseName.c_str(), GetLastError());
        return false;
    }
    // Counting every record costs a pass over an index: once is enough.
    CEDBASEINFOEX info;
    if (first && CeGetDatabaseInfo(&m_guidVolume, m_oidDB, info))
        m_wRecordCount = static_cast<WORD>(info.dwNumRecords);
    return true;
}

bool CRecordDatabase::SelectSortOrder(WORD n)
{
    if (n == m_wSortOrder || n >= m_dbInfo.wNumSortOrder)
        return n == m_wSortOrder && m_hDB;
    if (!m_bMounted)
        return false;
    if (m_hDB)
        CloseHandle(m_hDB);
    m_hDB = nullptr;
    m_wSortOrder = n;
    return Open(false);
}

CEOID CRecordDatabase::SeekBeginning()
{
    return m_hDB ? CeSeekDatabaseEx(m_hDB, CEDB_SEEK_BEGINNING, 0) : 0;
}

CEOID CRecordDatabase::SeekFirstEqual(const CEPROPVAL& value)
{
    return m_hDB ? CeSeekDatabaseEx(m_hDB, CEDB_SEEK_VALUEFIRSTEQUAL, &value, 1) : 0;
}

CEOID CRecordDatabase::SeekNextEqual(const CEPROPVAL& value)
{
    return m_hDB ? CeSeekDatabaseEx(m_hDB, CEDB_SEEK_VALUENEXTEQUAL, &value, 1) : 0;
}

bool CRecordDatabase::Delete(CEOID oid)
{
    return m_hDB && oid != 0 && CeDeleteRecord(m_hDB, oid);
}

CRecordDatabase::CWriteGroup::CWriteGroup(CRecordDatabase& db)
    : m_db(db), m_bBegun(db.m_bMounted && BeginVolumeWriteGroup(&db.m_guidVolume))
{
}

CRecordDatabase::CWriteGroup::~CWriteGroup()
{
    if (m_bBegun && !m_bEnded)
        EndVolumeWriteGroup(&m_db.m_guidVolume, false);
}

bool CRecordDatabase::CWriteGroup::Commit()
{
    if (!m_bBegun || m_bEnded)
        return false;
    m_bEnded = true;
    return EndVolumeWriteGroup(&m_db.m_guidVolume);
}

int CRecordDatabase::DeleteAll()
{
    CWriteGroup group(*this);
    int deleted = 0;
    while (CEOID oid = SeekBeginning()) {
        if (!CeDeleteRecord(m_hDB, oid))
            break;
        ++deleted;
    }
    return group.Commit() ? deleted : 0;
}

CEOID CRecordDatabase::ReadProps(CEOID oid, std::vector<CEPROPVAL>& props)
{
    return ReadSomeProps(oid, {}, props);
}

CEOID CRecordDatabase::ReadSomeProps(CEOID oid, std::span<const CEPROPID> propids, std::vector<CEPROPVAL>& props)
{
    if (!m_hDB) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (oid != 0 && !CeSeekDatabaseEx(m_hDB, CEDB_SEEK_CEOID, oid))
        return 0;
    return CeReadRecordPropsEx(m_hDB, propids, props);
}

CEOID CRecordDatabase::WriteProps(CEOID oid, const std::vector<CEPROPVAL>& props)
{
    return m_hDB ? CeWriteRecordProps(m_hDB, oid, props) : 0;
}

HCEDB CRecordDatabase::OpenHandle(WORD sortOrder)
{
    if (!m_hDB || sortOrder >= m_dbInfo.wNumSortOrder) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    CEOID oid = m_oidDB;
    return CeOpenDatabaseEx2(&m_guidVolume, &oid, L"", &m_dbInfo.rgSortSpecs[sortOrder], CEDB_AUTOINCREMENT);
}

CEPROPVAL MakeProp(WORD id, WORD type)
{
    CEPROPVAL prop;
    prop.propid = PROP_TAG(type, id);
    return prop;
}

CEPROPVAL MakeUI2Prop(WORD id, std::int64_t value)
{
    CEPROPVAL prop = MakeProp(id, CEVT_UI2);
    prop.val.uiVal = static_cast<std::uint16_t>(std::clamp<std::int64_t>(value, 0, 0xFFFF));
    return prop;
}

CEPROPVAL MakeUI4Prop(WORD id, std::uint32_t value)
{
    CEPROPVAL prop = MakeProp(id, CEVT_UI4);
    prop.val.ulVal = value;
    return prop;
}

CEPROPVAL MakeIdSlotProp(WORD id, std::uint32_t value)
{
    CEPROPVAL prop = MakeProp(id, CEVT_R8);
    prop.val.dblVal = std::bit_cast<double>(std::uint64_t{value});
    return prop;
}

CEPROPVAL MakeStringProp(WORD id, const std::wstring& value)
{
    CEPROPVAL prop = MakeProp(id, CEVT_LPWSTR);
    prop.val.lpwstr = value;
    return prop;
}

CEPROPVAL MakeFileTimeProp(WORD id, const FILETIME& value)
{
    CEPROPVAL prop = MakeProp(id, CEVT_FILETIME);
    prop.val.filetime = value;
    return prop;
}

std::uint32_t IdFromSlot(const CEPROPVAL& prop)
{
    return static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(prop.val.dblVal));
}

SORTORDERSPECEX MakeSortOrder(std::initializer_list<std::pair<CEPROPID, DWORD>> keys)
{
    SORTORDERSPECEX sortKeys;
    for (const auto& [propid, flags] : keys) {
        sortKeys.rgPropID[sortKeys.wNumProps] = propid;
        sortKeys.rgdwFlags[sortKeys.wNumProps] = flags;
        ++sortKeys.wNumProps;
    }
    return sortKeys;
}

bool DateToFileTime(const CDateTime& date, FILETIME& fileTime)
{
    CSystemTime fields;
    if (!date.GetAsSystemTime(fields))
        return false;
    fields.wMilliseconds = 0;
    FILETIME converted;
    if (!SystemTimeToFileTime(fields, converted))
        return false;
    fileTime = converted;
    return true;
}

CDateTime DateFromFileTime(const FILETIME& fileTime)
{
    CSystemTime fields;
    if (!FileTimeToSystemTime(fileTime, fields))
        return CDateTime::MakeInvalid();
    const CDateTime date = CDateTime::FromParts(fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute,
                                                fields.wSecond);
    CSystemTime back;
    if (!date.GetAsSystemTime(back) || back.wYear != fields.wYear || back.wMonth != fields.wMonth ||
        back.wDay != fields.wDay || back.wHour != fields.wHour || back.wMinute != fields.wMinute ||
        back.wSecond != fields.wSecond) {
        CDateTime invalid = date;
        invalid.m_status = DateTimeStatus::Invalid;
        return invalid;
    }
    return date;
}

std::wstring DescribeStoreError(DWORD error)
{
    switch (error) {
    case ERROR_SUCCESS:
        return L"no error";
    case ERROR_DISK_FULL:
        return L"the disk is full";
    case ERROR_ACCESS_DENIED:
        return L"permission denied, or the file is read-only";
    case ERROR_BUSY:
        return L"the file is in use by another program";
    case ERROR_FILE_CORRUPT:
        return L"the file is damaged";
    case ERROR_READ_FAULT:
        return L"the file cannot be read";
    case ERROR_WRITE_FAULT:
        return L"the file cannot be written";
    case ERROR_NOT_ENOUGH_MEMORY:
        return L"not enough memory";
    case ERROR_INVALID_HANDLE:
        return L"the database is not open";
    default:
        return L"error " + std::to_wstring(error);
    }
}
