#pragma once
// Whether the write-ahead journal beside a volume file belongs to it.
//
// SQLite replays a "-wal" file into whatever database file sits beside it:
// a journal copied from another install would be written into the user's
// volume as if it were its own. Every volume therefore carries a random
// identity in its header (the user version), and every write transaction of
// ours rewrites that header page, so each committed transaction in a journal
// holds a copy of the identity it was written for. A journal is foreign when
// one of its committed transactions carries another identity (or none).
//
// The journal is read as SQLite validates it (salts and checksums, up to the
// last commit frame), so a torn tail or an old generation is never judged.
#include <cstdint>
#include <string>

enum class CJournalVerdict {
    Ours,     // no journal, an empty or invalid one, or every transaction is ours
    Foreign,  // written for another volume: must not be replayed
    Unknown,  // the volume has no identity yet (new, or from an older version)
};

// The identity kept in the volume file's header (0 when none, or no file).
std::uint32_t ReadVolumeIdentity(const std::string& volumePath);
CJournalVerdict CheckVolumeJournal(const std::string& volumePath);
// Moves a foreign journal to "<volume>-wal.foreign" (".N" when taken) and
// drops the shared-memory index built over it.
bool SetForeignJournalAside(const std::string& volumePath);
