#pragma once
// The choices of each option as the user meets them. A list option offers
// the entries of its options-page list (string ids, in list order), and the
// value stored is the entry's position; the sort choices of the new-items
// list store 1 and 2 in the same way. A flag is a check box: 0 off, any
// other value on. The options pages fill their lists from here, and
// rssreader-tool reads and changes options by the same texts, so both name
// a choice alike in every language.
//
// The table is fixed and process-wide; the texts come from the resource
// module when asked for.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "resources/ResourceIds.h"
#include "update/Setting.h"

struct CSettingChoice {
    const wchar_t* name;              // the registry value name
    DWORD (CSetting::*get)() const;   // the stored value
    void (CSetting::*set)(DWORD);     // stores it (and, but for the sort choices, writes the set)
    std::span<const UINT> textIds;    // the entries; empty for a flag
    DWORD firstValue = 0;             // the value the first entry stores

    bool IsFlag() const { return textIds.empty(); }
    // The entries' texts in order ("on" and "off" for a flag).
    std::vector<std::wstring> Labels() const;
    // The text shown for a stored value; nothing when it is none of the
    // entries (a list then shows no selection).
    std::optional<std::wstring> LabelOf(DWORD stored) const;
    // The value an entry's text stores, case ignored; a flag takes on/off,
    // yes/no, true/false and 1/0. Nothing when the text names no entry.
    std::optional<DWORD> ValueOf(const std::wstring& text) const;
};

// Every option with a fixed set of choices, in the order they are stored.
std::span<const CSettingChoice> SettingChoices();
// The option of that registry name, case ignored; null when there is none.
const CSettingChoice* FindSettingChoice(const std::wstring& name);
