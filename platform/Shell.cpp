#include "platform/Shell.h"

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
    // Fork twice so the opener is adopted by init and never left a zombie,
    // while this process does not wait for the application it starts.
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        ::setsid();
        if (::fork() == 0) {
            // "--" is not understood by xdg-open; a target starting with "-"
            // could pose as an option, so it is made a relative path.
            const std::string safe = target[0] == '-' ? "./" + target : target;
            ::execlp("xdg-open", "xdg-open", safe.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
