#include "update/Leftovers.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <filesystem>

#include "platform/Debug.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Unicode.h"
#include "store/DataStorage.h"
#include "update/Setting.h"

namespace fs = std::filesystem;

namespace {

// "<pid>-<rest>": the process id, and what follows its "-" in rest.
bool ParseProcessId(std::string_view text, pid_t& pid, std::string_view& rest)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), pid);
    if (error != std::errc() || end == text.data() || pid <= 0 || end == text.data() + text.size() || *end != '-')
        return false;
    rest = std::string_view(end + 1, static_cast<size_t>(text.data() + text.size() - end - 1));
    return true;
}

bool AllDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "temp-<pid>-<anything>.xml"
bool IsDownloadName(std::string_view name, pid_t& pid)
{
    constexpr std::string_view prefix = "temp-", suffix = ".xml";
    if (name.size() <= prefix.size() + suffix.size() || name.substr(0, prefix.size()) != prefix ||
        name.substr(name.size() - suffix.size()) != suffix)
        return false;
    std::string_view rest;
    return ParseProcessId(name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()), pid, rest);
}

// "<file>.tmp-<pid>-<n>"
bool IsSaveName(std::string_view name, pid_t& pid)
{
    const size_t at = name.rfind(".tmp-");
    if (at == std::string_view::npos || at == 0)
        return false;
    std::string_view counter;
    return ParseProcessId(name.substr(at + 5), pid, counter) && AllDigits(counter);
}

bool IsProcessGone(pid_t pid) { return pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH; }

bool IsOlderThanADay(const fs::directory_entry& entry)
{
    std::error_code error;
    const auto written = entry.last_write_time(error);
    if (error)
        return false;
    return fs::file_time_type::clock::now() - written > std::chrono::seconds(kLeftoverMaxAgeSeconds);
}

void RemoveIn(const std::wstring& folder, bool (*isLeftoverName)(std::string_view, pid_t&),
              std::vector<std::wstring>& removed)
{
    std::error_code error;
    for (fs::directory_iterator it(NativePath(folder), error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        pid_t pid = 0;
        std::error_code typeError;
        if (!isLeftoverName(name, pid) || !it->is_regular_file(typeError))
            continue;
        if (!IsProcessGone(pid) && !IsOlderThanADay(*it))
            continue;
        std::error_code removeError;
        if (fs::remove(it->path(), removeError)) {
            removed.push_back(Utf8ToWide(it->path().string()));
            DebugLogF("RemoveLeftoverFiles", "%s removed (process %d)", it->path().c_str(), static_cast<int>(pid));
        }
    }
}

} // namespace

std::vector<std::wstring> RemoveLeftoverFiles(const std::wstring& downloadFolder,
                                              const std::vector<std::wstring>& saveFolders)
{
    std::vector<std::wstring> removed;
    RemoveIn(downloadFolder, IsDownloadName, removed);
    for (const std::wstring& folder : saveFolders)
        RemoveIn(folder, IsSaveName, removed);
    return removed;
}

std::vector<std::wstring> RemoveLeftoverFiles()
{
    const std::wstring downloads = SplitPath(CSetting::Instance().GetDataFilePath(L"temp.xml")).folder;
    return RemoveLeftoverFiles(downloads, {GetDataFolder(), SplitPath(CRegKey::StorePath()).folder});
}
