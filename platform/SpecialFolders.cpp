#include "platform/SpecialFolders.h"

#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <string>
#include <unistd.h>

#include "platform/FileSystem.h"
#include "platform/Unicode.h"

namespace {

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    const passwd* entry = ::getpwuid(::getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

// An XDG base directory: the variable when it holds an absolute path, else
// the fallback under the home folder.
std::string BaseFolder(const char* variable, const char* fallbackUnderHome)
{
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/')
        return value;
    const std::string home = HomeFolder();
    return home.empty() ? "" : home + "/" + fallbackUnderHome;
}

std::string TrimTrailingSeparators(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// XDG_DOCUMENTS_DIR from user-dirs.dirs: a line XDG_DOCUMENTS_DIR="$HOME/Docs"
// whose value is "$HOME/..." or absolute. A value equal to the home folder
// means the user switched the folder off; the default then applies.
std::string DocumentsFolder()
{
    const std::string home = HomeFolder();
    if (home.empty())
        return "";
    std::ifstream dirs(BaseFolder("XDG_CONFIG_HOME", ".config") + "/user-dirs.dirs");
    std::string line;
    while (std::getline(dirs, line)) {
        const std::string key = "XDG_DOCUMENTS_DIR=\"";
        if (line.rfind(key, 0) != 0)
            continue;
        const size_t end = line.rfind('"');
        if (end <= key.size())
            break;
        std::string value = line.substr(key.size(), end - key.size());
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        if (value.empty() || value[0] != '/')
            break;
        value = TrimTrailingSeparators(value);
        if (value != TrimTrailingSeparators(home))
            return value;
        break;
    }
    return home + "/Documents";
}

} // namespace

bool SHGetSpecialFolderPath(int folderId, std::wstring& path)
{
    std::string folder;
    switch (folderId) {
    case CSIDL_PROGRAM_FILES:
        folder = BaseFolder("XDG_DATA_HOME", ".local/share");
        break;
    case CSIDL_APPDATA:
        folder = BaseFolder("XDG_CONFIG_HOME", ".config");
        break;
    case CSIDL_PERSONAL:
        folder = DocumentsFolder();
        break;
    default:
        break;
    }
    folder = TrimTrailingSeparators(folder);
    path = Utf8ToWide(folder);
    return !folder.empty();
}
