#include "platform/NamedEvent.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/Debug.h"
#include "platform/Unicode.h"

namespace {

// A folder we may trust with the events: ours, not a link, and closed to
// everybody else (another user could otherwise set or swallow our events).
bool IsPrivateFolder(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & 077) == 0;
}

bool MakePrivateFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    return IsPrivateFolder(path);
}

// The name as a file name: anything but letters, digits, '.', '-' and '_'
// becomes '_', so a name can never climb out of the folder.
std::string FileNameFor(const std::wstring& name)
{
    std::string file = "ev-";
    for (const char ch : WideToUtf8(name)) {
        const bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
                           ch == '.' || ch == '-' || ch == '_';
        file += plain ? ch : '_';
    }
    return file;
}

// Reads away everything waiting; true when anything was there.
bool Drain(int fd)
{
    bool any = false;
    char buffer[64];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            any = true;
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        return any;
    }
}

// The FIFO's path in the private folder; empty when there is no such folder.
std::string NamedEventPath(const std::wstring& name, std::string_view scope)
{
    const std::string folder = GetNamedEventFolder();
    if (folder.empty()) {
        DebugLog(scope, "no private folder for named events");
        return std::string();
    }
    return folder + "/" + FileNameFor(name);
}

// A FIFO of ours, not something another user planted under the name.
bool IsOurFifo(int fd)
{
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISFIFO(info.st_mode) && info.st_uid == ::getuid();
}

// Writes one byte with SIGPIPE held back for this thread: a reader that
// closes between our open and our write must give EPIPE, not end the
// process. A SIGPIPE that was already pending before is left pending.
ssize_t WriteWithoutSigPipe(int fd)
{
    sigset_t pipeOnly, previous, pending;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    sigpending(&pending);
    const bool wasPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
    ssize_t written;
    do {
        written = ::write(fd, "1", 1);
    } while (written < 0 && errno == EINTR);
    const int writeError = errno;
    if (written < 0 && writeError == EPIPE && !wasPending) {
        const timespec now{0, 0};
        while (sigtimedwait(&pipeOnly, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = writeError;
    return written;
}

bool Readable(int fd)
{
    pollfd entry{fd, POLLIN, 0};
    while (::poll(&entry, 1, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return (entry.revents & POLLIN) != 0;
}

} // namespace

std::string GetNamedEventFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/' && IsPrivateFolder(runtime)) {
        const std::string folder = std::string(runtime) + "/rssreader";
        if (MakePrivateFolder(folder))
            return folder;
    }
    const char* temporary = std::getenv("TMPDIR");
    const std::string base = temporary != nullptr && temporary[0] == '/' ? temporary : "/tmp";
    const std::string folder = base + "/rssreader-" + std::to_string(::getuid());
    return MakePrivateFolder(folder) ? folder : std::string();
}

CEvent::CEvent(CEvent&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_bManualReset(other.m_bManualReset), m_bNamed(other.m_bNamed)
{
}

CEvent& CEvent::operator=(CEvent&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
        m_bManualReset = other.m_bManualReset;
        m_bNamed = other.m_bNamed;
    }
    return *this;
}

bool CEvent::Create(bool manualReset, bool initialState, const std::wstring& name)
{
    Close();
    m_bManualReset = manualReset;
    m_bNamed = !name.empty();
    if (!m_bNamed) {
        m_fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    } else {
        const std::string path = NamedEventPath(name, "CEvent::Create");
        if (path.empty())
            return false;
        if (::mkfifo(path.c_str(), 0600) != 0 && errno != EEXIST)
            return false;
        // Read and write ends in one descriptor: the pipe, and so the state,
        // lives as long as we hold it, and opening never blocks.
        m_fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
        if (m_fd >= 0 && !IsOurFifo(m_fd)) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    if (m_fd < 0)
        return false;
    return !initialState || Set();
}

void CEvent::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool CEvent::Set()
{
    if (m_fd < 0)
        return false;
    if (!m_bNamed) {
        const std::uint64_t one = 1;
        return ::write(m_fd, &one, sizeof one) == sizeof one || errno == EAGAIN;
    }
    // One byte is enough; a second setter racing us adds another, which the
    // next take or reset drains with the first.
    if (Readable(m_fd))
        return true;
    return ::write(m_fd, "1", 1) == 1 || errno == EAGAIN;
}

bool CEvent::Reset()
{
    if (m_fd < 0)
        return false;
    Drain(m_fd);
    return true;
}

bool CEvent::IsSet() const { return m_fd >= 0 && Readable(m_fd); }

bool CEvent::TryAcquire()
{
    if (m_fd < 0)
        return false;
    return m_bManualReset ? Readable(m_fd) : Drain(m_fd);
}

CEventSignal SignalNamedEvent(const std::wstring& name)
{
    const std::string path = NamedEventPath(name, "SignalNamedEvent");
    if (path.empty())
        return CEventSignal::Failed;
    // Write-only and non-blocking: the open fails with ENXIO when no process
    // has the FIFO open for reading, and every holder reads it. A name never
    // made has no holder either.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return errno == ENXIO || errno == ENOENT ? CEventSignal::NoListener : CEventSignal::Failed;
    CEventSignal result = CEventSignal::Failed;
    if (IsOurFifo(fd)) {
        // A full pipe is an event that is set many times over.
        if (WriteWithoutSigPipe(fd) == 1 || errno == EAGAIN)
            result = CEventSignal::Received;
        else if (errno == EPIPE)
            result = CEventSignal::NoListener;
    }
    ::close(fd);
    return result;
}

DWORD WaitForSingleObject(CEvent& event, DWORD milliseconds)
{
    CEvent* events[] = {&event};
    return WaitForMultipleObjects(events, milliseconds);
}

DWORD WaitForMultipleObjects(std::span<CEvent* const> events, DWORD milliseconds)
{
    std::vector<pollfd> fds;
    for (CEvent* event : events) {
        if (event == nullptr || !event->IsValid())
            return WAIT_FAILED;
        fds.push_back({event->GetFd(), POLLIN, 0});
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        for (size_t i = 0; i < events.size(); ++i) {
            if (events[i]->TryAcquire())
                return WAIT_OBJECT_0 + static_cast<DWORD>(i);
        }
        int timeout = -1;
        if (milliseconds != INFINITE) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return WAIT_TIMEOUT;
            timeout = static_cast<int>(std::min<long long>(left, 1 << 30));
        }
        // An auto-reset event another waiter took between poll and take sends
        // us round again; the deadline still holds.
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
            return WAIT_FAILED;
    }
}
