#pragma once
// The resource module: where every text of the program comes from. At
// start-up the program forms "<program path>.<language id>.mui" from its own
// full path and the user's language id (four hex digits, "0407" for German)
// and, when that file is a valid string table, uses it for the whole run;
// otherwise the table built into the program is used and nothing is reported.
// Menus and dialog templates carry string ids, so a language file replaces
// their labels too.
//
// The module is process-wide: selected once on the GUI thread before other
// threads start; LoadResString may be called from any thread (the update
// worker formats its texts with it). Tests switch modules with
// LoadResourceModule and UseBuiltInResources.

#include <string>
#include <string_view>

#include "resources/ResourceIds.h"

// The language id of a locale name such as "de_DE.UTF-8" or "pt_BR" ("de"
// alone gives the language's main country); "0409" for "C" and "POSIX";
// empty when the language is not known.
std::string LanguageIdForLocale(std::string_view locale);

// The user's language id from LANGUAGE (its first entry), LC_ALL,
// LC_MESSAGES and LANG, the first one set; "0409" when none is.
std::string UserLanguageId();

// "<programPath>.<languageId>.mui".
std::string ResourceModulePath(const std::string& programPath, const std::string& languageId);

// Uses the file as the resource module when it is a valid string table that
// holds every text of the built-in table with the same printf conversions
// (so no caller formats a text with arguments it does not expect); false,
// with a debug line, and the current module kept otherwise.
bool LoadResourceModule(const std::string& path);
// The choice made at start-up: the language file of programPath for the
// user's language, else the built-in table. True when a language file is in
// use.
bool SelectResourceModule(const std::string& programPath);
void UseBuiltInResources();
// The language file in use; empty for the built-in table.
std::string ResourceModuleFile();

// The text of the string id in the resource module; empty when it has none.
// Texts keep their "\r\n" line breaks.
std::wstring LoadResString(UINT id);

// The texts built into the program, in the string table's text form.
std::string_view BuiltInStringTableText();
