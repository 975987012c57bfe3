#include "support/FailingVfs.h"

#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

std::mutex g_lock;
std::string g_pathPart; // empty: nothing fails
bool g_bReads = false;  // what fails: reads, or writes
std::atomic<int> g_refused{0};
sqlite3_vfs* g_real = nullptr;
sqlite3_vfs g_vfs;

struct CFailingFile {
    sqlite3_file base;  // our methods
    char path[1024];    // which file it is
    sqlite3_file* real; // the real file, right after this struct
};

CFailingFile& Self(sqlite3_file* file) { return *reinterpret_cast<CFailingFile*>(file); }
sqlite3_file* Real(sqlite3_file* file) { return Self(file).real; }

bool Refuse(sqlite3_file* file, bool reading)
{
    std::lock_guard guard(g_lock);
    if (g_pathPart.empty() || reading != g_bReads || std::strstr(Self(file).path, g_pathPart.c_str()) == nullptr)
        return false;
    ++g_refused;
    return true;
}

int Close(sqlite3_file* f)
{
    const int rc = Real(f)->pMethods ? Real(f)->pMethods->xClose(Real(f)) : SQLITE_OK;
    return rc;
}
int Read(sqlite3_file* f, void* data, int amount, sqlite3_int64 offset)
{
    return Refuse(f, true) ? SQLITE_IOERR_READ : Real(f)->pMethods->xRead(Real(f), data, amount, offset);
}
int Write(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset)
{
    return Refuse(f, false) ? SQLITE_FULL : Real(f)->pMethods->xWrite(Real(f), data, amount, offset);
}
int Truncate(sqlite3_file* f, sqlite3_int64 size)
{
    return Refuse(f, false) ? SQLITE_FULL : Real(f)->pMethods->xTruncate(Real(f), size);
}
int Sync(sqlite3_file* f, int flags) { return Real(f)->pMethods->xSync(Real(f), flags); }
int FileSize(sqlite3_file* f, sqlite3_int64* size) { return Real(f)->pMethods->xFileSize(Real(f), size); }
int Lock(sqlite3_file* f, int level) { return Real(f)->pMethods->xLock(Real(f), level); }
int Unlock(sqlite3_file* f, int level) { return Real(f)->pMethods->xUnlock(Real(f), level); }
int CheckReservedLock(sqlite3_file* f, int* out) { return Real(f)->pMethods->xCheckReservedLock(Real(f), out); }
int FileControl(sqlite3_file* f, int op, void* arg) { return Real(f)->pMethods->xFileControl(Real(f), op, arg); }
int SectorSize(sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
int DeviceCharacteristics(sqlite3_file* f) { return Real(f)->pMethods->xDeviceCharacteristics(Real(f)); }
int ShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out)
{
    return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, out);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) { return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags); }
void ShmBarrier(sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); }
int ShmUnmap(sqlite3_file* f, int deleteFlag) { return Real(f)->pMethods->xShmUnmap(Real(f), deleteFlag); }
int Fetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out)
{
    return Real(f)->pMethods->xFetch(Real(f), offset, amount, out);
}
int Unfetch(sqlite3_file* f, sqlite3_int64 offset, void* page) { return Real(f)->pMethods->xUnfetch(Real(f), offset, page); }

const sqlite3_io_methods g_methods = {
    3,        Close,       Read,      Write,    Truncate,  Sync,         FileSize,   Lock,
    Unlock,   CheckReservedLock, FileControl, SectorSize, DeviceCharacteristics, ShmMap, ShmLock, ShmBarrier,
    ShmUnmap, Fetch,       Unfetch,
};

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags)
{
    CFailingFile& self = Self(file);
    self.real = reinterpret_cast<sqlite3_file*>(&self + 1);
    std::memset(self.real, 0, static_cast<size_t>(g_real->szOsFile));
    std::snprintf(self.path, sizeof self.path, "%s", name ? name : "");
    const int rc = g_real->xOpen(g_real, name, self.real, flags, outFlags);
    self.base.pMethods = rc == SQLITE_OK ? &g_methods : nullptr;
    return rc;
}

int Delete(sqlite3_vfs*, const char* name, int syncDir) { return g_real->xDelete(g_real, name, syncDir); }
int Access(sqlite3_vfs*, const char* name, int flags, int* out) { return g_real->xAccess(g_real, name, flags, out); }
int FullPathname(sqlite3_vfs*, const char* name, int size, char* out)
{
    return g_real->xFullPathname(g_real, name, size, out);
}

} // namespace

namespace FailingVfs {

void Install()
{
    static std::once_flag once;
    std::call_once(once, [] {
        g_real = sqlite3_vfs_find(nullptr);
        g_vfs = *g_real;
        g_vfs.zName = "failing";
        g_vfs.szOsFile = static_cast<int>(sizeof(CFailingFile)) + g_real->szOsFile;
        g_vfs.xOpen = Open;
        g_vfs.xDelete = Delete;
        g_vfs.xAccess = Access;
        g_vfs.xFullPathname = FullPathname;
        g_vfs.pAppData = nullptr;
        sqlite3_vfs_register(&g_vfs, 1);
    });
}

void FailWrites(const std::string& pathPart)
{
    std::lock_guard guard(g_lock);
    g_pathPart = pathPart;
    g_bReads = false;
    g_refused = 0;
}

void FailReads(const std::string& pathPart)
{
    std::lock_guard guard(g_lock);
    g_pathPart = pathPart;
    g_bReads = true;
    g_refused = 0;
}

void Heal() { FailWrites(""); }

int RefusedWrites() { return g_refused; }

} // namespace FailingVfs
