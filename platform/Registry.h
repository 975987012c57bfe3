#pragma once
// The registry: keys holding typed values (REG_DWORD and REG_SZ), under the
// roots HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE.
//
// Off the device both roots live in one text file,
// "<application data folder>/RSSReader/registry.reg", in the .reg layout:
//   [HKEY_CURRENT_USER\Software\vendrix\ZelviaReader\Settings]
//   "ShowDescription"=dword:00000001
//   "DefaultDir"="/home/me/Documents/RSS Reader"
// Key paths and value names compare without regard to case. Every write
// re-reads the file under a lock, changes one value and replaces the file
// atomically, so a crash never leaves a half-written file and two processes
// never lose each other's values. A file that cannot be read counts as empty
// (the callers' defaults apply); it is left in place until the next write,
// which keeps it beside the new file as "registry.reg.damaged".

#include <cstdint>
#include <string>
#include <vector>

#include "platform/LastError.h"

using LONG = long;

enum class HKEY { CurrentUser, LocalMachine };
inline constexpr HKEY HKEY_CURRENT_USER = HKEY::CurrentUser;
inline constexpr HKEY HKEY_LOCAL_MACHINE = HKEY::LocalMachine;

// One typed value as the store keeps it.
struct CRegValue {
    enum class Type { Dword, String };
    std::wstring name; // as last written, for the file
    Type type = Type::Dword;
    DWORD dword = 0;
    std::wstring text;
};

class CRegKey {
public:
    // Opens a key, creating it when missing. A key without values is not
    // written to the file; it comes into being with its first value.
    LONG Create(HKEY root, const std::wstring& subKey);
    LONG Create(const CRegKey& parent, const std::wstring& subKey);
    // Opens an existing key: fails with ERROR_FILE_NOT_FOUND when the file
    // holds no value under it.
    LONG Open(HKEY root, const std::wstring& subKey);
    void Close() { m_strPath.clear(); }
    bool IsOpen() const { return !m_strPath.empty(); }

    LONG QueryDWORDValue(const std::wstring& name, DWORD& value) const;
    LONG QueryStringValue(const std::wstring& name, std::wstring& value) const;
    LONG SetDWORDValue(const std::wstring& name, DWORD value);
    LONG SetStringValue(const std::wstring& name, const std::wstring& value);
    LONG DeleteValue(const std::wstring& name);

    // Full path of the file that holds the registry.
    static std::wstring StorePath();

private:
    friend class CRegWriteBatch;
    LONG QueryValue(const std::wstring& name, bool wantString, DWORD* number, std::wstring* text) const;

    std::wstring m_strPath; // "HKEY_CURRENT_USER\\Software\\..."
};

// Several values of one key written in a single rewrite of the file, for
// callers that store a whole set at once. Nothing reaches the file before
// Commit, which returns the result of that one write.
class CRegWriteBatch {
public:
    explicit CRegWriteBatch(const CRegKey& key) : m_strPath(key.m_strPath) {}
    void SetDWORDValue(const std::wstring& name, DWORD value);
    void SetStringValue(const std::wstring& name, const std::wstring& value);
    LONG Commit();

private:
    std::wstring m_strPath;
    std::vector<CRegValue> m_values;
};
