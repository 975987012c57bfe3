#pragma once
// Where the reader keeps its data, and the small file helpers the other
// parts use. Everything lives in one data folder, "RSSReader" under the
// program files folder (off the device: $XDG_DATA_HOME/RSSReader):
//   default.opml           the subscription tree
//   subscriptions.lock     held by every change of default.opml
//   RSS.CDB, RSSITEM.CDB   the feed and item databases
//   FeedSearchKeyword.xml  the stored search keywords

#include <string>

#include "platform/FileSystem.h"

inline constexpr wchar_t kDataFolderName[] = L"RSSReader";
inline constexpr wchar_t kSubscriptionFileName[] = L"default.opml";

// The program files folder, without a trailing separator.
std::wstring GetDataRoot();
// <data root>/RSSReader.
std::wstring GetDataFolder();
// <data folder>/<name>.
std::wstring GetDataFolderFile(const std::wstring& name);

// The folder of the running program.
std::wstring GetProgramFolder();

// Opens a path or URL with its registered application.
bool OpenWithShell(const std::wstring& pathOrUrl);

// Start-up preparation: creates the data folder and, when there is no
// subscription file yet and the feed database is open and holds no feed,
// puts the seed in its place (never overwriting). Returns the path of the
// subscription file.
std::wstring PrepareDataFolder();

// Where the seed subscription file is looked for, first match wins:
//   <program folder>/default.opml
//   <program folder>/../share/rssreader/default.opml
// and when neither exists, the copy built into the program.
std::wstring FindSeedSubscriptionFile();
