#pragma once
// What the feed and item databases share: one database in its own volume
// file of the data folder, mounted and created on first use, one handle kept
// open in the sort order last selected, with reads that advance through it.
#include <mutex>
#include <string>
#include <vector>

#include "platform/DateTime.h"
#include "platform/ProcessWide.h"
#include "platform/PropertyDatabase.h"

class CRecordDatabase {
public:
    CRecordDatabase(const CRecordDatabase&) = delete;
    CRecordDatabase& operator=(const CRecordDatabase&) = delete;

    bool IsOpen() const { return m_hDB != nullptr; }
    // Why the volume or the database could not be opened (ERROR_SUCCESS
    // when it is open). ERROR_FILE_CORRUPT never stays here: a damaged file
    // is set aside and a fresh one started.
    DWORD GetOpenError() const { return m_dwOpenError; }
    // When the database could not be opened (a full disk, a file in use),
    // tries again: a store left closed at start-up need not stay closed for
    // the whole session. True when it is open.
    bool EnsureOpen();
    // The volume file's path.
    const std::wstring& GetVolumePath() const { return m_strVolumePath; }
    // The mounted volume, for further databases kept in it.
    const CEGUID& GetVolumeId() const { return m_guidVolume; }
    WORD GetSortOrder() const { return m_wSortOrder; }
    // The record count reported when the database was opened.
    WORD GetOpenRecordCount() const { return m_wRecordCount; }

    // Nothing when n is the current order; otherwise reopens in order n.
    bool SelectSortOrder(WORD n);
    // To the beginning of the current order; the first record's id or 0.
    CEOID SeekBeginning();
    CEOID SeekFirstEqual(const CEPROPVAL& value);
    CEOID SeekNextEqual(const CEPROPVAL& value);
    bool Delete(CEOID oid);
    // Deletes the record at the beginning until there is none; the count.
    int DeleteAll();

    // Makes the writes of its lifetime one transaction of the volume, so
    // that many writes cost one commit and land together, or not at all.
    // Commit() says whether they landed (inside another group: whether they
    // are still part of a group that can land); a group left without
    // Commit() rolls back. After a storage failure inside the group every
    // later write of it fails at once.
    class CWriteGroup {
    public:
        explicit CWriteGroup(CRecordDatabase& db);
        ~CWriteGroup();
        CWriteGroup(const CWriteGroup&) = delete;
        CWriteGroup& operator=(const CWriteGroup&) = delete;

        bool Begun() const { return m_bBegun; }
        bool Commit();

    private:
        CRecordDatabase& m_db;
        bool m_bBegun;
        bool m_bEnded = false;
    };

protected:
    CRecordDatabase(const wchar_t* volumeFile, CEDBASEINFOEX definition, WORD sortOrder);
    // Flushes and unmounts the volume and closes the handle.
    virtual ~CRecordDatabase();
    // The database has been opened again by EnsureOpen (a derived
    // constructor sees the first opening through IsOpen).
    virtual void OnOpened() {}

    // Reads the record with that id (or, for 0, the one at the seek
    // position); 0 on failure, with the platform's reason in GetLastError.
    CEOID ReadProps(CEOID oid, std::vector<CEPROPVAL>& props);
    // The same for only the properties named (see CeReadRecordPropsEx).
    CEOID ReadSomeProps(CEOID oid, std::span<const CEPROPID> propids, std::vector<CEPROPVAL>& props);
    CEOID WriteProps(CEOID oid, const std::vector<CEPROPVAL>& props);
    // A further handle on the database in that sort order, for work that
    // must not move the shared walk position; the caller closes it.
    HCEDB OpenHandle(WORD sortOrder);

    HCEDB m_hDB = nullptr;
    WORD m_wRecordCount = 0;
    CEOID m_oidDB = 0;
    CEGUID m_guidVolume;
    CEDBASEINFOEX m_dbInfo;
    WORD m_wSortOrder;

private:
    void MountAndOpen();
    bool Open(bool first);
    bool AddMissingSortOrders();
    bool m_bMounted = false;
    DWORD m_dwOpenError = ERROR_SUCCESS;
    std::wstring m_strVolumePath;
};

// A store failure in words, for the user: "the disk is full", "permission
// denied", ...
std::wstring DescribeStoreError(DWORD error);

// Property builders and readers shared by the two record layouts.
CEPROPVAL MakeProp(WORD id, WORD type);
CEPROPVAL MakeUI2Prop(WORD id, std::int64_t value); // kept within 0..65535
CEPROPVAL MakeUI4Prop(WORD id, std::uint32_t value);
CEPROPVAL MakeIdSlotProp(WORD id, std::uint32_t value); // a 32-bit id in the low half of an 8-byte slot
CEPROPVAL MakeStringProp(WORD id, const std::wstring& value);
CEPROPVAL MakeFileTimeProp(WORD id, const FILETIME& value);
std::uint32_t IdFromSlot(const CEPROPVAL& prop);
SORTORDERSPECEX MakeSortOrder(std::initializer_list<std::pair<CEPROPID, DWORD>> keys);

// Dates are stored as file times of their calendar fields (milliseconds
// dropped). False, leaving fileTime alone, when the value has no such form.
bool DateToFileTime(const CDateTime& date, FILETIME& fileTime);
// The date of a stored file time; invalid when it does not convert back to
// the same calendar fields.
CDateTime DateFromFileTime(const FILETIME& fileTime);
