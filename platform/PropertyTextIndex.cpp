#include "platform/PropertyTextIndex.h"

#include <algorithm>
#include <mutex>

#include "platform/PropertyMounts.h"
#include "platform/VolumeTextIndex.h"

namespace {

// The queue is worked off in transactions of this many records, each under
// the volume's lock on its own: a reader or writer of another thread or
// process waits for one of them at most.
constexpr DWORD kIndexBatch = 256;

} // namespace

bool CeAttachTextIndex(const CEGUID* pGuid, CEOID oidDb, int version, CRecordTextOf textOf)
{
    auto volume = MountedVolume(pGuid);
    if (!volume)
        return false;
    std::lock_guard guard(volume->Lock());
    return volume->AttachTextIndex(oidDb, version, textOf);
}

bool CeIndexQueuedText(const CEGUID* pGuid, CEOID oidDb, DWORD limit, DWORD& remaining)
{
    auto volume = MountedVolume(pGuid);
    if (!volume)
        return false;
    DWORD done = 0;
    for (;;) {
        std::lock_guard guard(volume->Lock());
        CVolumeTextIndex* index = volume->TextIndex(oidDb);
        if (index == nullptr || !volume->IsOpen()) {
            SetLastError(index == nullptr ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE);
            return false;
        }
        const DWORD batch = limit == 0 ? kIndexBatch : std::min(kIndexBatch, limit - done);
        if (!index->IndexBatch(batch, remaining))
            return false;
        done += batch;
        if (remaining == 0 || (limit != 0 && done >= limit))
            return true;
    }
}

bool CeFindText(const CEGUID* pGuid, CEOID oidDb, const std::wstring& query, DWORD limit, std::vector<CEOID>& found)
{
    found.clear();
    auto volume = MountedVolume(pGuid);
    if (!volume)
        return false;
    std::lock_guard guard(volume->Lock());
    CVolumeTextIndex* index = volume->TextIndex(oidDb);
    if (index == nullptr || !volume->IsOpen()) {
        SetLastError(index == nullptr ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE);
        return false;
    }
    return index->Find(query, limit, found);
}

bool CeRebuildTextIndex(const CEGUID* pGuid, CEOID oidDb)
{
    auto volume = MountedVolume(pGuid);
    if (!volume)
        return false;
    std::lock_guard guard(volume->Lock());
    CVolumeTextIndex* index = volume->TextIndex(oidDb);
    if (index == nullptr || !volume->IsOpen()) {
        SetLastError(index == nullptr ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE);
        return false;
    }
    return index->Rebuild();
}

void CeSetTextIndexUpkeepForTesting(bool on) { SetTextIndexUpkeep(on); }
