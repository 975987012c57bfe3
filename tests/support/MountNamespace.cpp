#include "support/MountNamespace.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <sys/wait.h>

namespace {

std::string UnshareCommand()
{
    // Root may unshare mounts directly; a user maps itself to root in a
    // user namespace first, which gives the same power over its own mounts.
    return ::geteuid() == 0 ? "unshare --mount --propagation private" : "unshare --map-root-user --mount --propagation private";
}

CScriptRun Run(const std::string& command)
{
    CScriptRun run;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return run;
    std::array<char, 4096> buffer{};
    size_t read = 0;
    while ((read = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        run.output.append(buffer.data(), read);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace

std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += '\'';
    return quoted;
}

std::optional<std::string> WhyNoMountNamespace()
{
    static const std::optional<std::string> why = []() -> std::optional<std::string> {
        const CScriptRun probe = RunInMountNamespace(
            "d=$(mktemp -d) && mount -t tmpfs -o size=64k tmpfs \"$d\" && umount \"$d\" && rmdir \"$d\"");
        if (probe.exitCode == 0)
            return std::nullopt;
        return "no mount namespace of our own here (" + UnshareCommand() + "): " + probe.output;
    }();
    return why;
}

CScriptRun RunInMountNamespace(const std::string& script)
{
    return Run(UnshareCommand() + " sh -ec " + ShellQuote(script));
}
