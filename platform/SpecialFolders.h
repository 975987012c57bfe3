#pragma once
// The shell's special folders, mapped onto the XDG base directories:
//   program files folder -> $XDG_DATA_HOME   (default ~/.local/share)
//   documents folder     -> XDG_DOCUMENTS_DIR of user-dirs.dirs (default ~/Documents)
//   application data     -> $XDG_CONFIG_HOME (default ~/.config), home of the registry file
// Paths come back without a trailing separator. Nothing is created here.

#include <string>

inline constexpr int CSIDL_PERSONAL = 0x0005;
inline constexpr int CSIDL_APPDATA = 0x001A;
inline constexpr int CSIDL_PROGRAM_FILES = 0x0026;

// False, leaving path empty, for an unknown folder id or when no home folder
// can be found.
bool SHGetSpecialFolderPath(int folderId, std::wstring& path);
