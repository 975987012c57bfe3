#pragma once
// Hands a path or URL to the desktop, which opens it with the application
// registered for it (the browser for a web page, a player for an enclosure).
//
// Tests never launch a real opener: they install a recorder with
// SetShellOpenerForTesting, which then receives every hand-off instead.

#include <functional>
#include <string>

// True when the opener could be started; what it then does is its own
// affair. Never waits for the opened application.
bool ShellExecuteOpen(const std::wstring& pathOrUrl);

// Replaces the desktop opener (an empty function restores it). The
// replacement's answer is ShellExecuteOpen's.
using CShellOpener = std::function<bool(const std::wstring& pathOrUrl)>;
void SetShellOpenerForTesting(CShellOpener opener);
