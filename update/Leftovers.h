#pragma once
// Files that a killed process leaves behind, and their removal at start-up
// (the window's and the tool's).
//
// Downloads go to "temp-<process>-<...>.xml" in the DefaultDir folder; a
// file being saved is written first as "<file>.tmp-<process>-<n>" beside it
// (default.opml in the data folder, the options' registry.reg). A process
// removes its own when it ends; one that was killed cannot. Such a file is
// a leftover when no process has its id any more, or when it is older than
// a day (the id may have gone to another process since). Files of live
// processes are theirs and are left alone; names of any other form are
// never touched, whatever folder DefaultDir names.
#include <string>
#include <vector>

inline constexpr long long kLeftoverMaxAgeSeconds = 24 * 60 * 60;

// The leftovers of these folders' kinds of names: downloads in the first,
// saves in the others. The paths removed.
std::vector<std::wstring> RemoveLeftoverFiles(const std::wstring& downloadFolder,
                                              const std::vector<std::wstring>& saveFolders);
// The same for the reader's own folders: DefaultDir, the data folder, the
// options' folder.
std::vector<std::wstring> RemoveLeftoverFiles();
