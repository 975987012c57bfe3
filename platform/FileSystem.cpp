#include "platform/FileSystem.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Unicode.h"

namespace fs = std::filesystem;

namespace {

bool SyncPath(const std::string& path, int flags)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

std::string ParentFolder(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::wstring JoinPath(std::wstring_view folder, std::wstring_view name)
{
    std::wstring path(folder);
    if (path.empty())
        return std::wstring(name);
    if (!IsPathSeparator(path.back()))
        path += kPathSeparator;
    while (!name.empty() && IsPathSeparator(name.front()))
        name.remove_prefix(1);
    path += name;
    return path;
}

std::string NativePath(std::wstring_view path) { return WideToUtf8(path); }

bool CreateDirectory(const std::wstring& path)
{
    return ::mkdir(NativePath(path).c_str(), 0755) == 0;
}

bool CopyFileNoOverwrite(const std::wstring& source, const std::wstring& target)
{
    std::error_code error;
    return fs::copy_file(fs::path(NativePath(source)), fs::path(NativePath(target)), fs::copy_options::none, error);
}

bool WriteNewFile(const std::wstring& path, std::string_view bytes)
{
    const std::string native = NativePath(path);
    const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            ::close(fd);
            ::unlink(native.c_str());
            return false;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    const bool ok = ::fsync(fd) == 0;
    if (::close(fd) != 0 || !ok) {
        ::unlink(native.c_str());
        return false;
    }
    return true;
}

bool DeleteFile(const std::wstring& path) { return ::unlink(NativePath(path).c_str()) == 0; }

std::wstring MakeTemporarySibling(const std::wstring& target)
{
    static std::atomic<unsigned> counter{0};
    const std::wstring prefix = target + L".tmp-" + std::to_wstring(::getpid()) + L"-";
    std::wstring name;
    struct stat info {};
    do
        name = prefix + std::to_wstring(counter++);
    while (::lstat(NativePath(name).c_str(), &info) == 0);
    return name;
}

CFileStamp GetFileStamp(const std::wstring& path)
{
    CFileStamp stamp;
    struct stat info {};
    if (::stat(NativePath(path).c_str(), &info) != 0)
        return stamp;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.modifiedNs = info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec;
    stamp.changedNs = info.st_ctim.tv_sec * 1000000000LL + info.st_ctim.tv_nsec;
    return stamp;
}

bool ReplaceFileAtomically(const std::wstring& temporary, const std::wstring& target)
{
    const std::string from = NativePath(temporary);
    const std::string to = NativePath(target);
    if (!SyncPath(from, O_RDONLY) || ::rename(from.c_str(), to.c_str()) != 0) {
        ::unlink(from.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder's entry.
    SyncPath(ParentFolder(to), O_RDONLY | O_DIRECTORY);
    return true;
}

std::wstring GetModuleFileName()
{
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::wstring() : Utf8ToWide(self.string());
}

namespace {

bool Stat(const std::wstring& path, struct stat& info) { return ::stat(NativePath(path).c_str(), &info) == 0; }

} // namespace

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
    const size_t slash = path.find_last_of(L"/\\");
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
