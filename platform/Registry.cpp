#include "platform/Registry.h"

#include <cwctype>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileSystem.h"
#include "platform/SpecialFolders.h"
#include "platform/Unicode.h"

namespace {

struct CRegSection {
    std::wstring path;
    std::map<std::wstring, CRegValue> values; // by lower-case name
};

using CRegContent = std::map<std::wstring, CRegSection>; // by lower-case path

std::wstring Lower(std::wstring text)
{
    for (auto& ch : text)
        ch = static_cast<wchar_t>(std::towlower(ch));
    return text;
}

std::wstring RootName(HKEY root)
{
    return root == HKEY_LOCAL_MACHINE ? L"HKEY_LOCAL_MACHINE" : L"HKEY_CURRENT_USER";
}

// Joins key path parts with single backslashes, accepting "/" as well.
std::wstring JoinKey(const std::wstring& base, const std::wstring& sub)
{
    std::wstring path = base;
    std::wstring part;
    auto flush = [&] {
        if (!part.empty()) {
            path += L'\\';
            path += part;
            part.clear();
        }
    };
    for (wchar_t ch : sub) {
        if (IsPathSeparator(ch))
            flush();
        else
            part += ch;
    }
    flush();
    return path;
}

std::string Quote(const std::wstring& text)
{
    std::string out = "\"";
    for (char c : WideToUtf8(text)) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (byte < 0x20) {
                static const char kHex[] = "0123456789abcdef";
                out += "\\x";
                out += kHex[byte >> 4];
                out += kHex[byte & 15];
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

// Reads a quoted string starting at line[pos]; pos ends after the closing quote.
std::optional<std::wstring> Unquote(const std::string& line, size_t& pos)
{
    if (pos >= line.size() || line[pos] != '"')
        return std::nullopt;
    std::string bytes;
    for (++pos; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '"') {
            ++pos;
            return Utf8ToWide(bytes);
        }
        if (c != '\\') {
            bytes += c;
            continue;
        }
        if (++pos >= line.size())
            return std::nullopt;
        switch (line[pos]) {
        case '\\': bytes += '\\'; break;
        case '"': bytes += '"'; break;
        case 'n': bytes += '\n'; break;
        case 'r': bytes += '\r'; break;
        case 't': bytes += '\t'; break;
        case 'x': {
            if (pos + 2 >= line.size())
                return std::nullopt;
            const std::string hex = line.substr(pos + 1, 2);
            if (hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return std::nullopt;
            bytes += static_cast<char>(std::stoi(hex, nullptr, 16));
            pos += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<CRegContent> ParseStore(std::istream& in)
{
    CRegContent content;
    CRegSection* section = nullptr;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            if (line.back() != ']')
                return std::nullopt;
            const std::wstring path = Utf8ToWide(line.substr(1, line.size() - 2));
            section = &content[Lower(path)];
            section->path = path;
            continue;
        }
        size_t pos = 0;
        const auto name = Unquote(line, pos);
        if (!name || section == nullptr || pos >= line.size() || line[pos] != '=')
            return std::nullopt;
        ++pos;
        CRegValue value;
        value.name = *name;
        if (line.compare(pos, 6, "dword:") == 0) {
            const std::string hex = line.substr(pos + 6);
            if (hex.empty() || hex.size() > 8 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return std::nullopt;
            value.dword = static_cast<DWORD>(std::stoul(hex, nullptr, 16));
        } else {
            const auto text = Unquote(line, pos);
            if (!text || pos != line.size())
                return std::nullopt;
            value.type = CRegValue::Type::String;
            value.text = *text;
        }
        section->values[Lower(*name)] = value;
    }
    return content;
}

std::string SerializeStore(const CRegContent& content)
{
    std::ostringstream out;
    out << "; Settings of Zelvia Reader. Written by the program; a line it cannot read\n"
           "; makes it ignore the whole file.\n";
    for (const auto& [key, section] : content) {
        if (section.values.empty())
            continue;
        out << "\n[" << WideToUtf8(section.path) << "]\n";
        for (const auto& [lower, value] : section.values) {
            out << Quote(value.name) << '=';
            if (value.type == CRegValue::Type::Dword) {
                char hex[16];
                std::snprintf(hex, sizeof hex, "dword:%08x", value.dword);
                out << hex;
            } else {
                out << Quote(value.text);
            }
            out << '\n';
        }
    }
    return out.str();
}

// The file behind the registry. Threads of this process take the mutex;
// processes take an advisory lock on a lock file beside the store.
class CRegistryStore {
public:
    // Never destroyed, so that writes from other objects' destructors at
    // exit still find it.
    static CRegistryStore& Instance()
    {
        static auto* store = new CRegistryStore;
        return *store;
    }

    // Present content, or empty when the file is missing or unreadable.
    CRegContent Read()
    {
        std::lock_guard lock(m_mutex);
        bool readable = true;
        return Load(readable);
    }

    template <typename Change>
    LONG Modify(Change change)
    {
        std::lock_guard lock(m_mutex);
        const std::wstring path = CRegKey::StorePath();
        const std::wstring folder = path.substr(0, path.find_last_of(kPathSeparator));
        std::wstring parent;
        SHGetSpecialFolderPath(CSIDL_APPDATA, parent);
        if (parent.empty())
            return ERROR_ACCESS_DENIED;
        CreateDirectory(parent);
        CreateDirectory(folder);
        const int lockFd = ::open(NativePath(path + L".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (lockFd < 0)
            return ERROR_ACCESS_DENIED;
        ::flock(lockFd, LOCK_EX);
        bool readable = true;
        CRegContent content = Load(readable);
        LONG result = change(content);
        if (result == ERROR_SUCCESS) {
            if (!readable) // keep what could not be read instead of destroying it
                ::rename(NativePath(path).c_str(), NativePath(path + L".damaged").c_str());
            const std::wstring temporary = MakeTemporarySibling(path);
            if (!WriteNewFile(temporary, SerializeStore(content)) || !ReplaceFileAtomically(temporary, path))
                result = ERROR_WRITE_FAULT;
        }
        ::flock(lockFd, LOCK_UN);
        ::close(lockFd);
        return result;
    }

private:
    // Reads the file, or reuses the last reading while the file is the same
    // one (writes replace it, so a new inode or time means new content).
    CRegContent Load(bool& readable)
    {
        const std::string path = NativePath(CRegKey::StorePath());
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0)
            return {};
        const CFileIdentity identity{path, info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec,
                                     info.st_mtim.tv_nsec};
        if (m_cached && m_cachedIdentity == identity) {
            readable = m_bCachedReadable;
            return *m_cached;
        }
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return {};
        auto content = ParseStore(in);
        readable = content.has_value();
        m_cached = content ? std::move(*content) : CRegContent{};
        m_cachedIdentity = identity;
        m_bCachedReadable = readable;
        return *m_cached;
    }

    struct CFileIdentity {
        std::string path;
        dev_t device;
        ino_t inode;
        off_t size;
        time_t seconds;
        long nanoseconds;
        bool operator==(const CFileIdentity&) const = default;
    };

    std::mutex m_mutex;
    std::optional<CRegContent> m_cached;
    CFileIdentity m_cachedIdentity{};
    bool m_bCachedReadable = true;
};

const CRegValue* FindValue(const CRegContent& content, const std::wstring& keyPath, const std::wstring& name)
{
    const auto section = content.find(Lower(keyPath));
    if (section == content.end())
        return nullptr;
    const auto value = section->second.values.find(Lower(name));
    return value == section->second.values.end() ? nullptr : &value->second;
}

LONG SetValues(const std::wstring& keyPath, const std::vector<CRegValue>& values)
{
    if (keyPath.empty())
        return ERROR_INVALID_HANDLE;
    return CRegistryStore::Instance().Modify([&](CRegContent& content) {
        CRegSection& section = content[Lower(keyPath)];
        if (section.path.empty())
            section.path = keyPath;
        for (const CRegValue& value : values)
            section.values[Lower(value.name)] = value;
        return ERROR_SUCCESS;
    });
}

} // namespace

std::wstring CRegKey::StorePath()
{
    std::wstring folder;
    SHGetSpecialFolderPath(CSIDL_APPDATA, folder);
    return JoinPath(JoinPath(folder, L"RSSReader"), L"registry.reg");
}

LONG CRegKey::Create(HKEY root, const std::wstring& subKey)
{
    m_strPath = JoinKey(RootName(root), subKey);
    return ERROR_SUCCESS;
}

LONG CRegKey::Create(const CRegKey& parent, const std::wstring& subKey)
{
    if (!parent.IsOpen())
        return ERROR_INVALID_HANDLE;
    m_strPath = JoinKey(parent.m_strPath, subKey);
    return ERROR_SUCCESS;
}

LONG CRegKey::Open(HKEY root, const std::wstring& subKey)
{
    const std::wstring path = JoinKey(RootName(root), subKey);
    const std::wstring prefix = Lower(path);
    for (const auto& [key, section] : CRegistryStore::Instance().Read()) {
        if (!section.values.empty() && (key == prefix || key.rfind(prefix + L"\\", 0) == 0)) {
            m_strPath = path;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG CRegKey::QueryValue(const std::wstring& name, bool wantString, DWORD* number, std::wstring* text) const
{
    if (!IsOpen())
        return ERROR_INVALID_HANDLE;
    const CRegContent content = CRegistryStore::Instance().Read();
    const CRegValue* found = FindValue(content, m_strPath, name);
    if (found == nullptr)
        return ERROR_FILE_NOT_FOUND;
    if ((found->type == CRegValue::Type::String) != wantString)
        return ERROR_INVALID_DATA; // no conversion between the types
    if (wantString)
        *text = found->text;
    else
        *number = found->dword;
    return ERROR_SUCCESS;
}

LONG CRegKey::QueryDWORDValue(const std::wstring& name, DWORD& value) const
{
    return QueryValue(name, false, &value, nullptr);
}

LONG CRegKey::QueryStringValue(const std::wstring& name, std::wstring& value) const
{
    return QueryValue(name, true, nullptr, &value);
}

LONG CRegKey::SetDWORDValue(const std::wstring& name, DWORD value)
{
    CRegValue entry;
    entry.name = name;
    entry.dword = value;
    return SetValues(m_strPath, {entry});
}

LONG CRegKey::SetStringValue(const std::wstring& name, const std::wstring& value)
{
    CRegValue entry;
    entry.name = name;
    entry.type = CRegValue::Type::String;
    entry.text = value;
    return SetValues(m_strPath, {entry});
}

LONG CRegKey::DeleteValue(const std::wstring& name)
{
    if (!IsOpen())
        return ERROR_INVALID_HANDLE;
    const std::wstring keyPath = m_strPath;
    return CRegistryStore::Instance().Modify([&](CRegContent& content) {
        auto section = content.find(Lower(keyPath));
        if (section == content.end() || section->second.values.erase(Lower(name)) == 0)
            return ERROR_FILE_NOT_FOUND;
        return ERROR_SUCCESS;
    });
}

void CRegWriteBatch::SetDWORDValue(const std::wstring& name, DWORD value)
{
    m_values.push_back({name, CRegValue::Type::Dword, value, {}});
}

void CRegWriteBatch::SetStringValue(const std::wstring& name, const std::wstring& value)
{
    m_values.push_back({name, CRegValue::Type::String, 0, value});
}

LONG CRegWriteBatch::Commit()
{
    const LONG result = SetValues(m_strPath, m_values);
    m_values.clear();
    return result;
}
