#pragma once
// Property databases in database volumes: records of typed properties kept in
// named databases, each with up to four sort orders, walked with a seek
// position that a read advances. A volume is one SQLite file; every call
// below is one short statement (or two) against indexes kept per sort order,
// so a seek or a read costs a look-up, never a scan.
//
// Failing calls return 0 (or false) and leave the reason in GetLastError():
//   ERROR_NO_MORE_ITEMS   a read past the last record of the sort order
//   ERROR_FILE_NOT_FOUND  no database of that name / no record with that id
//   ERROR_INVALID_PARAMETER, ERROR_INVALID_HANDLE  misuse
//   ERROR_INSUFFICIENT_BUFFER  the record could not be held in memory
//   ERROR_DISK_FULL, ERROR_WRITE_FAULT, ERROR_READ_FAULT, ERROR_ACCESS_DENIED,
//   ERROR_BUSY  storage failures; the file is as it was
//   ERROR_FILE_CORRUPT    the file is damaged (or not a volume at all)
//   ERROR_INVALID_DATA    one record is damaged (its properties cannot be read)
//
// Thread use: every call takes the volume's lock, so several threads may use
// the same volume and even the same handle without harm; a handle's seek
// position is still one shared position, which its users must agree on.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/LastError.h"

using WORD = std::uint16_t;
using CEOID = std::uint32_t;
using CEPROPID = std::uint32_t;

// Property types; a property id carries its number in the high 16 bits and
// its type in the low 16 bits.
inline constexpr WORD CEVT_R8 = 5;
inline constexpr WORD CEVT_UI2 = 18;
inline constexpr WORD CEVT_UI4 = 19;
inline constexpr WORD CEVT_LPWSTR = 31;
inline constexpr WORD CEVT_FILETIME = 64;

constexpr CEPROPID PROP_TAG(WORD type, WORD id) { return (CEPROPID{id} << 16) | type; }
constexpr WORD PROP_ID(CEPROPID propid) { return static_cast<WORD>(propid >> 16); }
constexpr WORD TypeFromPropID(CEPROPID propid) { return static_cast<WORD>(propid & 0xFFFF); }

// The value of one property; the member matching the property's type holds it.
struct CEVALUNION {
    std::uint16_t uiVal = 0;
    std::uint32_t ulVal = 0;
    double dblVal = 0;
    FILETIME filetime;
    std::wstring lpwstr;
};

// wFlags: on writing, drop the property; on reading, the record lacks it.
inline constexpr WORD CEDB_PROPDELETE = 0x0002;
inline constexpr WORD CEDB_PROPNOTFOUND = 0x0100;

struct CEPROPVAL {
    CEPROPID propid = 0;
    WORD wFlags = 0;
    CEVALUNION val;
};

// Volume identifier handed out by CeMountDBVol.
struct CEGUID {
    std::uint32_t Data1 = 0;
    bool operator==(const CEGUID&) const = default;
};

// One sort order: up to four properties, each ascending or descending.
inline constexpr WORD CEDB_MAXSORTPROP = 4;
inline constexpr DWORD CEDB_SORT_DESCENDING = 0x00000001;
inline constexpr DWORD CEDB_SORT_UNKNOWNFIRST = 0x00000004;
struct SORTORDERSPECEX {
    WORD wVersion = 2;
    WORD wNumProps = 0;
    WORD wKeyFlags = 0;
    CEPROPID rgPropID[CEDB_MAXSORTPROP] = {};
    DWORD rgdwFlags[CEDB_MAXSORTPROP] = {};
    bool operator==(const SORTORDERSPECEX&) const = default;
};

inline constexpr WORD CEDB_MAXSORTORDER = 4;
struct CEDBASEINFOEX {
    WORD wVersion = 2;
    std::wstring szDbaseName;
    DWORD dwDbaseType = 0;
    WORD wNumSortOrder = 0;
    SORTORDERSPECEX rgSortSpecs[CEDB_MAXSORTORDER];
    DWORD dwNumRecords = 0; // filled in by CeGetDatabaseInfo
};

// Mount flags.
inline constexpr DWORD CREATE_ALWAYS = 2; // start a fresh volume whatever is there
inline constexpr DWORD OPEN_ALWAYS = 4;   // open the volume, creating it when missing

// Open flags: with CEDB_AUTOINCREMENT every read moves the seek position on
// to the next record of the sort order.
inline constexpr DWORD CEDB_AUTOINCREMENT = 0x00000001;

// Seek types.
inline constexpr DWORD CEDB_SEEK_CEOID = 0x00000001;
inline constexpr DWORD CEDB_SEEK_BEGINNING = 0x00000002;
inline constexpr DWORD CEDB_SEEK_VALUEFIRSTEQUAL = 0x00000020;
inline constexpr DWORD CEDB_SEEK_VALUENEXTEQUAL = 0x00000040;
inline constexpr DWORD CEDB_SEEK_VALUEGREATER = 0x00000100;

struct CPropertyDatabaseHandle;
using HCEDB = CPropertyDatabaseHandle*;

// Mounts the volume file. OPEN_ALWAYS opens it, creating it when missing; a
// failure leaves the file exactly as it is, and ERROR_FILE_CORRUPT alone says
// that the file is not a usable volume (damaged, not a database, another
// program's). CREATE_ALWAYS starts a fresh, empty volume in its place; the
// file that was there is not destroyed but kept beside it as
// "<file>.damaged" (with its journal). Mounting a file that is already
// mounted returns the same identifier.
//
// Each volume carries a random identity; a write-ahead journal found beside
// it that was written for another volume is kept aside as "-wal.foreign"
// rather than replayed into it. Damage met while the volume is in use fails
// that call with ERROR_FILE_CORRUPT and is remembered in "<file>-damaged":
// the next mount checks the whole file and fails with ERROR_FILE_CORRUPT
// when the check confirms the damage.
bool CeMountDBVol(CEGUID* pGuid, const std::wstring& path, DWORD flags);
// Writes everything to disk (a checkpoint of the journal).
bool CeFlushDBVol(const CEGUID* pGuid);
// Each mount needs one unmount; the last one closes the file.
bool CeUnmountDBVol(const CEGUID* pGuid);

// Creates a database in the volume; fails with ERROR_ALREADY_EXISTS when
// one of that name exists. Returns the database's object id.
CEOID CeCreateDatabaseEx2(const CEGUID* pGuid, const CEDBASEINFOEX& info);
// Opens the database named (or, with an empty name, the one whose object id
// *pOid holds) in the sort order given, which must be one of its own; null
// when not found (ERROR_FILE_NOT_FOUND). *pOid receives the database's id.
// The seek position starts at the beginning.
HCEDB CeOpenDatabaseEx2(const CEGUID* pGuid, CEOID* pOid, const std::wstring& name,
                        const SORTORDERSPECEX* pSort, DWORD flags);
bool CeGetDatabaseInfo(const CEGUID* pGuid, CEOID oidDb, CEDBASEINFOEX& info);
// Gives a database more sort orders: info keeps its present ones in their
// order and appends new ones; the records are sorted into them before the
// call returns. Nothing else of a database can be changed.
bool CeSetDatabaseInfoEx(const CEGUID* pGuid, CEOID oidDb, const CEDBASEINFOEX& info);
bool CloseHandle(HCEDB hDatabase);

// CEDB_SEEK_BEGINNING: to the record dwValue places from the start.
// CEDB_SEEK_CEOID: to the record whose object id is dwValue.
// Returns the object id of the record now at the seek position, or 0.
CEOID CeSeekDatabaseEx(HCEDB hDatabase, DWORD dwSeekType, DWORD dwValue);
// CEDB_SEEK_VALUEFIRSTEQUAL: to the first record, in sort order, whose first
// wNumVals sort keys equal the values. CEDB_SEEK_VALUENEXTEQUAL: one record
// on from the current one, only when that record's keys equal the values
// (the position is unchanged otherwise). CEDB_SEEK_VALUEGREATER: to the first
// record whose first wNumVals keys come after the values.
CEOID CeSeekDatabaseEx(HCEDB hDatabase, DWORD dwSeekType, const CEPROPVAL* pValues, WORD wNumVals);
// How many records of the handle's sort order have their first wNumVals keys
// equal to the values: one index look-up, whatever the records hold.
bool CeCountMatchingRecords(HCEDB hDatabase, const CEPROPVAL* pValues, WORD wNumVals, DWORD& count);
// The same for many sets of values at once, in one pass over the sort
// order's index: counts[i] for the wNumVals values from values[i * wNumVals].
// For thousands of sets it costs a fraction of one look-up each.
bool CeCountMatchingRecordsMany(HCEDB hDatabase, std::span<const CEPROPVAL> values, WORD wNumVals,
                                std::vector<DWORD>& counts);
// How many distinct values the first wNumKeys sort keys take among the
// records of the handle's sort order: one pass over its index.
bool CeCountDistinctKeys(HCEDB hDatabase, WORD wNumKeys, DWORD& count);

// Reads every property of the record at the seek position, in the order they
// were written; with CEDB_AUTOINCREMENT the position then moves to the next
// record. Returns the record's object id, or 0 (ERROR_NO_MORE_ITEMS at the
// end of the sort order).
CEOID CeReadRecordPropsEx(HCEDB hDatabase, std::vector<CEPROPVAL>& props);
// Reads only the properties named, in that order; one the record lacks comes
// back flagged CEDB_PROPNOTFOUND. Texts not asked for are not converted.
CEOID CeReadRecordPropsEx(HCEDB hDatabase, std::span<const CEPROPID> propids, std::vector<CEPROPVAL>& props);
// Writes properties to the record with that object id (a property already
// in the record is replaced, a new one is appended), or creates a record
// from them when oidRecord is 0. Returns the record's object id, or 0.
CEOID CeWriteRecordProps(HCEDB hDatabase, CEOID oidRecord, std::span<const CEPROPVAL> props);
bool CeDeleteRecord(HCEDB hDatabase, CEOID oidRecord);


// Makes the writes to this volume, from the begin to the matching end, one
// transaction: they reach the file together, or not at all. Ends nest; only
// the outermost commits. A storage failure inside the group (a write, or a
// read it depended on) makes every later write of the group fail at once and
// the end roll the whole group back: the outermost end returns false unless
// every write of the group reached the file. Outside such a group every
// write is committed before its call returns.
bool BeginVolumeWriteGroup(const CEGUID* pGuid);
// commit false: the group is abandoned and rolls back whole at its
// outermost end (which then returns false).
bool EndVolumeWriteGroup(const CEGUID* pGuid, bool commit = true);
