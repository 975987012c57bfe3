#include "store/DataStorage.h"

#include <sys/stat.h>

#include "platform/Debug.h"
#include "platform/FileSystem.h"
#include "platform/Shell.h"
#include "platform/SpecialFolders.h"
#include "resources/EmbeddedSeed.h"
#include "store/FeedDatabase.h"

namespace {

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
    // A store that holds feeds keeps them as the subscriptions: the tree is
    // rebuilt from it when the file is loaded, never seeded over it.
    std::vector<FeedRecord> stored;
    if (!PathExists(subscriptions) && CZelviaRssDB::Instance().IsOpen() &&
        CZelviaRssDB::Instance().ReadAllFeeds(stored) && stored.empty()) {
        const std::wstring seed = FindSeedSubscriptionFile();
        const bool copied = seed.empty() ? WriteNewFile(subscriptions, EmbeddedSeedSubscriptions())
                                         : CopyFileNoOverwrite(seed, subscriptions);
        DebugLogF("DataStorage::PrepareDataFolder", "seed %s", copied ? "copied" : "not copied");
    }
    return subscriptions;
}
