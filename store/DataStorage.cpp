#include "store/DataStorage.h"

#include <sys/stat.h>

#include "platform/Debug.h"
#include "platform/FileSystem.h"
#include "platform/Shell.h"
#include "platform/SpecialFolders.h"
#include "resources/EmbeddedSeed.h"

namespace {

bool Stat(const std::wstring& path, struct stat& info) { return ::stat(NativePath(path).c_str(), &info) == 0; }

size_t LastSeparator(const std::wstring& path) { return path.find_last_of(L"/\\"); }

} // namespace

std::wstring GetDataRoot()
{
    std::wstring root;
    SHGetSpecialFolderPath(CSIDL_PROGRAM_FILES, root);
    return root;
}

std::wstring GetDataFolder() { return JoinPath(GetDataRoot(), kDataFolderName); }

std::wstring GetDataFolderFile(const std::wstring& name) { return JoinPath(GetDataFolder(), name); }

bool PathExists(const std::wstring& path)
{
    struct stat info {};
    return Stat(path, info);
}

bool IsFile(const std::wstring& path)
{
    struct stat info {};
    return Stat(path, info) && !S_ISDIR(info.st_mode);
}

bool IsFolder(const std::wstring& path)
{
    struct stat info {};
    return Stat(path, info) && S_ISDIR(info.st_mode);
}

bool CreateFolderPath(const std::wstring& path)
{
    if (path.empty())
        return false;
    if (PathExists(path))
        return true;
    for (size_t pos = path.find_first_of(L"/\\", 1); pos != std::wstring::npos; pos = path.find_first_of(L"/\\", pos + 1))
        CreateDirectory(path.substr(0, pos)); // failures (folders that exist) are expected
    return CreateDirectory(path);
}

std::wstring CSplitPath::Compose() const { return folder + kPathSeparator + baseName + L"." + extension; }

CSplitPath SplitPath(const std::wstring& path)
{
    CSplitPath parts;
    const size_t slash = LastSeparator(path);
    const size_t nameStart = slash == std::wstring::npos ? 0 : slash + 1;
    if (slash != std::wstring::npos)
        parts.folder = path.substr(0, slash);
    const size_t dot = path.find_last_of(L'.');
    if (dot != std::wstring::npos && dot >= nameStart) {
        parts.baseName = path.substr(nameStart, dot - nameStart);
        parts.extension = path.substr(dot + 1);
    }
    return parts;
}

std::wstring GetProgramFolder()
{
    const std::wstring program = GetModuleFileName();
    const size_t slash = LastSeparator(program);
    return slash == std::wstring::npos ? std::wstring() : program.substr(0, slash);
}

bool OpenWithShell(const std::wstring& pathOrUrl) { return ShellExecuteOpen(pathOrUrl); }

std::wstring FindSeedSubscriptionFile()
{
    const std::wstring programFolder = GetProgramFolder();
    if (programFolder.empty())
        return L"";
    for (const std::wstring& candidate :
         {JoinPath(programFolder, kSubscriptionFileName),
          JoinPath(programFolder, std::wstring(L"../share/rssreader/") + kSubscriptionFileName)}) {
        if (IsFile(candidate))
            return candidate;
    }
    return L"";
}

std::wstring PrepareDataFolder()
{
    const std::wstring folder = GetDataFolder();
    CreateFolderPath(folder);
    const std::wstring subscriptions = JoinPath(folder, kSubscriptionFileName);
    if (!PathExists(subscriptions)) {
        const std::wstring seed = FindSeedSubscriptionFile();
        const bool copied = seed.empty() ? WriteNewFile(subscriptions, EmbeddedSeedSubscriptions())
                                         : CopyFileNoOverwrite(seed, subscriptions);
        DebugLogF("DataStorage::PrepareDataFolder", "seed %s", copied ? "copied" : "not copied");
    }
    return subscriptions;
}
