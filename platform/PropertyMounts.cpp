// The registry of mounted volumes: one connection per volume file in the
// process, shared by every mount of it, and the volume-wide calls.
#include <filesystem>
#include <map>
#include <mutex>

#include "platform/Debug.h"
#include "platform/FileSystem.h"
#include "platform/PropertyMounts.h"

namespace {

// ---- Mounted volumes ------------------------------------------------------

struct CMountTable {
    std::mutex lock;
    std::map<std::uint32_t, std::shared_ptr<CPropertyVolume>> byId;
    std::uint32_t nextId = 1;
};

CMountTable& Mounts()
{
    static CMountTable* table = new CMountTable; // lives until the process ends
    return *table;
}

} // namespace

std::shared_ptr<CPropertyVolume> MountedVolume(const CEGUID* pGuid)
{
    if (!pGuid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    CMountTable& mounts = Mounts();
    std::lock_guard guard(mounts.lock);
    auto found = mounts.byId.find(pGuid->Data1);
    if (found == mounts.byId.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return found->second;
}

namespace {

std::string CanonicalPath(const std::wstring& path)
{
    std::error_code error;
    const std::filesystem::path native(NativePath(path));
    const auto absolute = std::filesystem::weakly_canonical(native, error);
    return error ? native.string() : absolute.string();
}

// Moves a damaged file (and its journal) out of the way, to
// "<file>.damaged", or "<file>.damaged.N" when that name is taken. Nothing
// is deleted: the user may still want what is in it.
bool KeepDamagedVolume(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::exists(path, error))
        return true;
    std::string kept = path + ".damaged";
    for (int n = 1; fs::exists(kept, error); ++n)
        kept = path + ".damaged." + std::to_string(n);
    fs::rename(path, kept, error);
    if (error) {
        DebugLogF("CeMountDBVol", "cannot move %s aside: %s", path.c_str(), error.message().c_str());
        return false;
    }
    fs::rename(path + "-wal", kept + "-wal", error);
    fs::remove(path + "-shm", error);
    fs::remove(CPropertyVolume::DamageMarkerPath(path), error);
    DebugLogF("CeMountDBVol", "kept the unusable volume as %s", kept.c_str());
    return true;
}

} // namespace

bool CeMountDBVol(CEGUID* pGuid, const std::wstring& path, DWORD flags)
{
    if (!pGuid || path.empty() || (flags != OPEN_ALWAYS && flags != CREATE_ALWAYS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const std::string file = CanonicalPath(path);
    CMountTable& mounts = Mounts();
    std::lock_guard guard(mounts.lock);
    for (auto& [id, volume] : mounts.byId) {
        if (volume->Path() == file) {
            if (flags == CREATE_ALWAYS) { // the file is in use as a volume
                SetLastError(ERROR_BUSY);
                return false;
            }
            ++volume->m_nMounts;
            pGuid->Data1 = id;
            return true;
        }
    }
    if (flags == CREATE_ALWAYS && !KeepDamagedVolume(file)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    // The file is left exactly as it is when it cannot be opened: the
    // caller decides, by the reason, whether to start afresh.
    auto volume = CPropertyVolume::Open(file);
    if (!volume)
        return false;
    volume->m_nMounts = 1;
    pGuid->Data1 = mounts.nextId++;
    mounts.byId.emplace(pGuid->Data1, std::move(volume));
    return true;
}

bool CeFlushDBVol(const CEGUID* pGuid)
{
    auto volume = MountedVolume(pGuid);
    if (!volume)
        return false;
    std::lock_guard guard(volume->Lock());
    return volume->Execute("PRAGMA wal_checkpoint(PASSIVE)");
}

bool CeUnmountDBVol(const CEGUID* pGuid)
{
    if (!pGuid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::shared_ptr<CPropertyVolume> closing;
    {
        CMountTable& mounts = Mounts();
        std::lock_guard guard(mounts.lock);
        auto found = mounts.byId.find(pGuid->Data1);
        if (found == mounts.byId.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        if (--found->second->m_nMounts > 0)
            return true;
        closing = std::move(found->second);
        mounts.byId.erase(found);
    }
    std::lock_guard guard(closing->Lock());
    closing->Close(); // handles still open now fail with ERROR_INVALID_HANDLE
    return true;
}

bool BeginVolumeWriteGroup(const CEGUID* pGuid)
{
    auto volume = MountedVolume(pGuid);
    if (!volume)
        return false;
    std::lock_guard guard(volume->Lock());
    return volume->BeginWriteGroup();
}

bool EndVolumeWriteGroup(const CEGUID* pGuid, bool commit)
{
    auto volume = MountedVolume(pGuid);
    if (!volume)
        return false;
    std::lock_guard guard(volume->Lock());
    if (!commit)
        volume->SpoilWriteGroup(ERROR_WRITE_FAULT);
    return volume->EndWriteGroup();
}
