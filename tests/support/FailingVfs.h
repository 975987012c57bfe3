#pragma once
// A storage fault on demand, for tests that cannot fill a real disk: a
// SQLite file system that wraps the default one, made the default for the
// process, and that answers writes as a full disk does (SQLITE_FULL) while a
// test asks it to (or reads, as a failing disk does). Only files whose path ends with the suffix given are hit
// (a volume and its journal: "RSSITEM.CDB" hits "RSSITEM.CDB-wal" as well).

#include <string>

namespace FailingVfs {

// Installs it as the process's default file system (once; later calls do
// nothing). Connections opened before keep their file system.
void Install();
// While set, writes and truncations of matching files fail with SQLITE_FULL.
void FailWrites(const std::string& pathPart);
// While set, reads of matching files fail with SQLITE_IOERR_READ ("disk I/O
// error"), as a failing disk or a lost network share does.
void FailReads(const std::string& pathPart);
void Heal();
// How many writes (or reads) it refused since the last FailWrites (FailReads).
int RefusedWrites();

} // namespace FailingVfs
