#pragma once
// Hands a path or URL to the desktop, which opens it with the application
// registered for it (the browser for a web page, a player for an enclosure).

#include <string>

// True when the opener could be started; what it then does is its own
// affair. Never waits for the opened application.
bool ShellExecuteOpen(const std::wstring& pathOrUrl);
