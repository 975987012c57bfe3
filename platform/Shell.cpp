#include "platform/Shell.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/Unicode.h"

namespace {

// Set and read on the GUI thread only: the opener is called where the user
// acted.
CShellOpener g_testOpener;

} // namespace

void SetShellOpenerForTesting(CShellOpener opener) { g_testOpener = std::move(opener); }

bool ShellExecuteOpen(const std::wstring& pathOrUrl)
{
    if (pathOrUrl.empty())
        return false;
    if (g_testOpener)
        return g_testOpener(pathOrUrl);
    const std::string target = WideToUtf8(pathOrUrl);
    // "--" is not understood by xdg-open; a target starting with "-" could
    // pose as an option, so it is made a relative path. Made here: between
    // fork and exec only async-signal-safe calls are allowed.
    const std::string safe = target[0] == '-' ? "./" + target : target;
    // The opener tells whether its exec failed through a pipe that a
    // successful exec closes (close-on-exec): end of file means it started.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return false;
    // Fork twice so the opener is adopted by init and never left a zombie,
    // while this process does not wait for the application it starts.
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (child == 0) {
        ::close(report[0]);
        ::setsid();
        const pid_t opener = ::fork();
        if (opener == 0) {
            ::execlp("xdg-open", "xdg-open", safe.c_str(), static_cast<char*>(nullptr));
            const int error = errno;
            [[maybe_unused]] const ssize_t written = ::write(report[1], &error, sizeof error);
            ::_exit(127);
        }
        ::_exit(opener < 0 ? 1 : 0);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t read = 0;
    do {
        read = ::read(report[0], &error, sizeof error);
    } while (read < 0 && errno == EINTR);
    ::close(report[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && read == 0;
}
