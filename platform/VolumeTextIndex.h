#pragma once
// The full-text index of one database of a mounted volume
// (PropertyTextIndex.h): an FTS5 table without content, "ce_text_<db>", whose
// row ids are (order << 32) | object id so that a search walks it newest
// first and stops at its limit; a queue of records still to index,
// "ce_text_<db>_queue"; and the version each index was built for, in
// "ce_text_indexes". Internal to the property database service: every call
// runs under the volume's lock, the hooks inside the write's transaction.
//
// The one rule that keeps a contentless index sound: a record is either
// queued or indexed with the words its current properties give, never both.
// Its words are taken out with exactly the words put in, computed again from
// the properties; so a record changed while it is indexed loses its old
// words before the change lands, and one whose old properties cannot be read
// (a damaged record) starts the whole index afresh.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/PropertyTextIndex.h"

class CPropertyVolume;
struct CDatabaseSchema;
class CStatementUse;

class CVolumeTextIndex {
public:
    CVolumeTextIndex(CPropertyVolume& volume, const CDatabaseSchema& schema, CRecordTextOf textOf);

    // Makes the tables when they are missing or were built for another
    // version, queueing every record.
    bool Attach(int version);

    // Hooks of the writes. False when the write must fail (a storage
    // failure, the reason set and the write group spoiled).
    bool OnInserted(std::int64_t oid);
    // before: the stored properties, null when they could not be read.
    bool OnUpdated(std::int64_t oid, const std::vector<CEPROPVAL>* before, std::span<const CEPROPVAL> after);
    // Before the record is deleted; reads it itself.
    bool OnDeleting(std::int64_t oid);

    // One transaction's worth of the queue (at most limit records), then how
    // many are left.
    bool IndexBatch(DWORD limit, DWORD& remaining);
    // The words dropped and every record queued, in a transaction of its own.
    bool Rebuild();
    bool Find(const std::wstring& query, DWORD limit, std::vector<CEOID>& found);

private:
    bool IsQueued(std::int64_t oid, bool& queued);
    bool Queue(std::int64_t oid);
    bool Unqueue(std::int64_t oid, bool& wasQueued);
    bool PutWords(std::int64_t oid, const CRecordText& text, bool remove);
    // Reads a record's properties: false on a storage failure; props empty
    // (and damaged set) when the record is missing or cannot be decoded.
    bool ReadRecord(std::int64_t oid, std::vector<CEPROPVAL>& props, bool& found, bool& damaged);
    // The index and the queue emptied, every record queued again.
    bool StartAfresh(const char* why);
    // Runs a statement of the index that returns no rows. A damaged index is
    // started afresh and the statement counts as done (the fresh start did
    // its work); any other failure is the volume's.
    bool Run(CStatementUse statement, const char* what);
    bool IsIndexDamage(int code) const;
    // The query as FTS5 syntax: the words the index's own tokenizer finds in
    // it, each quoted, all required. Empty when it holds none.
    std::string MatchExpression(const std::wstring& query);

    CPropertyVolume& m_volume;
    CEOID m_oidDb;
    CRecordTextOf m_textOf;
    std::string m_strRecords; // the database's table
    std::string m_strIndex;   // "ce_text_<db>"
    std::string m_strQueue;   // "ce_text_<db>_queue"
    // The statements of every write, made once.
    std::string m_sqlIsQueued, m_sqlQueue, m_sqlUnqueue, m_sqlPutWords, m_sqlRemoveWords, m_sqlRecord;
};

// Whether writes keep the indexes in step (CeSetTextIndexUpkeepForTesting).
bool IsTextIndexUpkeepOn();
void SetTextIndexUpkeep(bool on);

// The row id of a record's words: order in the high half, object id in the low.
constexpr std::int64_t TextRowId(std::int32_t order, std::int64_t oid)
{
    return (static_cast<std::int64_t>(order < 0 ? 0 : order) << 32) | (oid & 0xFFFFFFFF);
}
