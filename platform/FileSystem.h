#pragma once
// Files and folders. Paths are wide strings; either "/" or "\\" is accepted
// as a separator where a path is taken apart, and "/" is written.

#include <string>
#include <string_view>

inline constexpr wchar_t kPathSeparator = L'/';

inline bool IsPathSeparator(wchar_t ch) { return ch == L'/' || ch == L'\\'; }

// folder + separator + name, with exactly one separator between them.
std::wstring JoinPath(std::wstring_view folder, std::wstring_view name);

// The path in the byte form the operating system takes.
std::string NativePath(std::wstring_view path);

// Creates one folder; false when it could not be created (also when it exists).
bool CreateDirectory(const std::wstring& path);

// Copies a file; fails, leaving the target alone, when the target exists.
bool CopyFileNoOverwrite(const std::wstring& source, const std::wstring& target);

// Writes bytes to a new file; fails, leaving it alone, when the file exists.
bool WriteNewFile(const std::wstring& path, std::string_view bytes);

bool DeleteFile(const std::wstring& path);

// A path in the target's folder for writing a replacement of the target:
// "<target>.tmp-<process>-<n>", never the name of a file that is there (a
// process killed while saving leaves its file, and a later process may get
// the same process id).
std::wstring MakeTemporarySibling(const std::wstring& target);

// What tells one version of a file from another without reading it: a
// replacement written beside the file and renamed over it is a new file.
struct CFileStamp {
    unsigned long long device = 0, inode = 0;
    long long size = -1; // -1: no file
    long long modifiedNs = 0, changedNs = 0;
    bool operator==(const CFileStamp&) const = default;
};
// The stamp of the file at path; size -1 when there is none.
CFileStamp GetFileStamp(const std::wstring& path);

// Makes a fully written temporary file the target in one step: the temporary
// file is flushed to disk, then renamed over the target, so that a crash or a
// full disk leaves either the old or the new file, never a torn one.
// On failure the temporary file is removed and the target is untouched.
bool ReplaceFileAtomically(const std::wstring& temporary, const std::wstring& target);

// Full path of the running executable.
std::wstring GetModuleFileName();

bool PathExists(const std::wstring& path);
bool IsFile(const std::wstring& path);   // exists and is not a folder
bool IsFolder(const std::wstring& path); // exists and is a folder

// Creates every missing folder along the path ("/" and "\\" both separate).
// True when the path already existed or its last folder was created.
bool CreateFolderPath(const std::wstring& path);

// A full path taken apart at its last separator and its last ".": a name
// without "." leaves base name and extension empty.
struct CSplitPath {
    std::wstring folder;
    std::wstring baseName;
    std::wstring extension;
    // "folder/baseName.extension"
    std::wstring Compose() const;
};
CSplitPath SplitPath(const std::wstring& path);
