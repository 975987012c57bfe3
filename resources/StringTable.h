#pragma once
// A string table: texts by number, read from the table's text form
//
//   # comment
//   ID<TAB>text
//
// in UTF-8, where a text may use the escapes \" \\ \r \n \t. The built-in
// table and every language file have this form. Parsing is strict about the
// shape of a line (a number, one tab, the text) so that a broken translation
// is refused as a whole rather than showing half its texts.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

using UINT = std::uint32_t;

class CStringTable {
public:
    // A table, or nothing when a line is malformed, an escape is unknown or
    // an id repeats. error (when given) then names the line and the fault.
    static std::optional<CStringTable> Parse(std::string_view text, std::string* error = nullptr);
    static std::optional<CStringTable> LoadFile(const std::string& path, std::string* error = nullptr);

    // The text, or nothing when the table has no such id.
    const std::wstring* Find(UINT id) const;
    size_t Size() const { return m_mapTexts.size(); }
    template <class F> void ForEach(F&& visit) const
    {
        for (const auto& [id, text] : m_mapTexts)
            visit(id, text);
    }

private:
    std::unordered_map<UINT, std::wstring> m_mapTexts;
};
