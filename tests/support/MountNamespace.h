#pragma once
// Mounts of a test's own, for faults the machine's disks cannot be made to
// show on demand: a small tmpfs that fills up, a folder bound read-only. A
// shell script runs in a mount namespace of its own (as root, or as a user
// through a user namespace), so nothing it mounts is seen outside it, and
// all of it is gone when the script ends.

#include <optional>
#include <string>

struct CScriptRun {
    int exitCode = -1;
    std::string output; // stdout and stderr
};

// Why this machine cannot give a test mounts of its own (nullopt when it
// can): the test then skips and says so.
std::optional<std::string> WhyNoMountNamespace();

// Runs the script with sh in a mount namespace of its own.
CScriptRun RunInMountNamespace(const std::string& script);

// A text quoted for sh.
std::string ShellQuote(const std::string& text);
