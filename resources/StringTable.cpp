#include "resources/StringTable.h"

#include <fstream>
#include <sstream>

#include "platform/Unicode.h"

namespace {

bool Fail(std::string* error, size_t line, const char* what)
{
    if (error != nullptr)
        *error = "line " + std::to_string(line) + ": " + what;
    return false;
}

// Undoes the escapes of one text; false on a lone or unknown backslash.
bool Unescape(std::string_view raw, std::string& out)
{
    out.clear();
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') {
            out += raw[i];
            continue;
        }
        if (++i == raw.size())
            return false;
        switch (raw[i]) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        default: return false;
        }
    }
    return true;
}

} // namespace

std::optional<CStringTable> CStringTable::Parse(std::string_view text, std::string* error)
{
    CStringTable table;
    size_t lineNumber = 0;
    std::string unescaped;
    while (!text.empty()) {
        ++lineNumber;
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (lineNumber == 1 && line.starts_with("\xEF\xBB\xBF"))
            line.remove_prefix(3);
        if (line.empty() || line.front() == '#')
            continue;

        const size_t tab = line.find('\t');
        if (tab == 0 || tab == std::string_view::npos || tab > 9) {
            Fail(error, lineNumber, "expected a number, a tab and the text");
            return std::nullopt;
        }
        UINT id = 0;
        for (char digit : line.substr(0, tab)) {
            if (digit < '0' || digit > '9') {
                Fail(error, lineNumber, "the id is not a number");
                return std::nullopt;
            }
            id = id * 10 + static_cast<UINT>(digit - '0');
        }
        if (!Unescape(line.substr(tab + 1), unescaped)) {
            Fail(error, lineNumber, "unknown escape (use \\\" \\\\ \\r \\n \\t)");
            return std::nullopt;
        }
        if (!table.m_mapTexts.emplace(id, Utf8ToWide(unescaped)).second) {
            Fail(error, lineNumber, "the id is used twice");
            return std::nullopt;
        }
    }
    return table;
}

std::optional<CStringTable> CStringTable::LoadFile(const std::string& path, std::string* error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        if (error != nullptr)
            *error = "cannot read " + path;
        return std::nullopt;
    }
    std::ostringstream content;
    content << file.rdbuf();
    return Parse(content.str(), error);
}

const std::wstring* CStringTable::Find(UINT id) const
{
    const auto found = m_mapTexts.find(id);
    return found == m_mapTexts.end() ? nullptr : &found->second;
}
