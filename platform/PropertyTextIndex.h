#pragma once
// A full-text index over the records of one database of a volume: the words
// of each record's texts (what a function of the owner's makes of its
// properties), found again by a query of words, newest first in an order of
// the owner's. It lives in the volume file beside the database (an SQLite
// FTS5 table that keeps the words only, not the texts) and is kept in step
// by every write and delete this process makes through PropertyDatabase.h
// once the index is attached.
//
// Keeping in step is split in two so that writes stay cheap: a record
// written is only queued; its words reach the index when the queue is
// worked off (IndexQueuedText, which a search runs first). Changing or
// deleting a record already indexed takes its old words out at once. A
// damaged index is started afresh (every record queued again), never
// reported as a damaged volume.
//
// Failing calls return false with the reason in GetLastError(), as the
// other calls of the service do.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/PropertyDatabase.h"

// What a record gives the index: its words, and where it sorts among the
// results (higher first). The index keeps its words in that order, so a
// coarse order (few records share one) keeps it small and a search of the
// newest cheap.
struct CRecordText {
    std::wstring title;
    std::wstring body;
    std::int32_t order = 0; // 0 or more

    bool operator==(const CRecordText&) const = default;
};
// Nothing keeps the record out of the index. Must give the same result for
// the same properties for as long as the version given to CeAttachTextIndex
// stays the same: the words taken out of the index are computed again from
// the record.
using CRecordTextOf = std::optional<CRecordText> (*)(std::span<const CEPROPVAL> props);

// Attaches the index of a database for this process. An index built for
// another version (or none at all) is started afresh with every record of
// the database queued; that costs one statement, the words come later.
bool CeAttachTextIndex(const CEGUID* pGuid, CEOID oidDb, int version, CRecordTextOf textOf);

// Works off up to limit queued records (0: all of them), a few hundred to a
// transaction so that other writers get their turn; remaining receives how
// many are still queued.
bool CeIndexQueuedText(const CEGUID* pGuid, CEOID oidDb, DWORD limit, DWORD& remaining);

// The records whose indexed texts hold every word of the query (case and
// accents ignored, English word endings folded: "updates" finds "update"),
// highest order first: the first limit of them, and every further one of the
// same order as the last, so that the caller can order each order's records
// by a finer key and still have the first limit. Words are what the index
// takes as words; a query without any finds nothing. Records still queued
// are not found.
bool CeFindText(const CEGUID* pGuid, CEOID oidDb, const std::wstring& query, DWORD limit,
                std::vector<CEOID>& found);

// Starts the index afresh: its words dropped, every record queued again.
bool CeRebuildTextIndex(const CEGUID* pGuid, CEOID oidDb);

// For the benchmarks: while off, writes and deletes leave every text index
// alone, so a store written meanwhile must be rebuilt before it is searched.
// On unless turned off.
void CeSetTextIndexUpkeepForTesting(bool on);
