#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/FileSystem.h"

namespace {

int OpenLockFile(const std::wstring& path) { return ::open(NativePath(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600); }

} // namespace

bool CFileLock::TryLock(const std::wstring& path)
{
    Unlock();
    const int fd = OpenLockFile(path);
    if (fd < 0)
        return false;
    // Each open file description holds its own flock, so a second object in
    // this process is refused just like another process.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

bool CFileLock::Lock(const std::wstring& path, int timeoutMs)
{
    Unlock();
    const int fd = OpenLockFile(path);
    if (fd < 0)
        return false;
    // Polled rather than a blocking flock: a holder that hangs (stopped in a
    // debugger, say) must not hang the caller for ever.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto pause = std::chrono::milliseconds(1);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
            ::close(fd);
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
    m_fd = fd;
    return true;
}

void CFileLock::Unlock()
{
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
        m_fd = -1;
    }
}
