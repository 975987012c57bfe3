#include "resources/ResourceModule.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <mutex>
#include <unistd.h>

#include "platform/Debug.h"
#include "resources/StringTable.h"

namespace {

struct CLocaleLanguage {
    const char* name; // "ll_CC", or "ll" for the language's main country
    const char* id;
};

// Common locales and their language ids; a language without its country
// falls back to the "ll" entry.
constexpr std::array kLocales{
    CLocaleLanguage{"ar", "0401"},    CLocaleLanguage{"bg", "0402"},    CLocaleLanguage{"ca", "0403"},
    CLocaleLanguage{"zh_TW", "0404"}, CLocaleLanguage{"zh_HK", "0c04"}, CLocaleLanguage{"zh_CN", "0804"},
    CLocaleLanguage{"zh_SG", "1004"}, CLocaleLanguage{"zh", "0804"},    CLocaleLanguage{"cs", "0405"},
    CLocaleLanguage{"da", "0406"},    CLocaleLanguage{"de_AT", "0c07"}, CLocaleLanguage{"de_CH", "0807"},
    CLocaleLanguage{"de_LU", "1007"}, CLocaleLanguage{"de_LI", "1407"}, CLocaleLanguage{"de", "0407"},
    CLocaleLanguage{"el", "0408"},    CLocaleLanguage{"en_GB", "0809"}, CLocaleLanguage{"en_AU", "0c09"},
    CLocaleLanguage{"en_CA", "1009"}, CLocaleLanguage{"en_NZ", "1409"}, CLocaleLanguage{"en_IE", "1809"},
    CLocaleLanguage{"en_ZA", "1c09"}, CLocaleLanguage{"en_IN", "4009"}, CLocaleLanguage{"en", "0409"},
    CLocaleLanguage{"es_MX", "080a"}, CLocaleLanguage{"es_AR", "2c0a"}, CLocaleLanguage{"es_CO", "240a"},
    CLocaleLanguage{"es_CL", "340a"}, CLocaleLanguage{"es_US", "540a"}, CLocaleLanguage{"es", "0c0a"},
    CLocaleLanguage{"fi", "040b"},    CLocaleLanguage{"fr_BE", "080c"}, CLocaleLanguage{"fr_CA", "0c0c"},
    CLocaleLanguage{"fr_CH", "100c"}, CLocaleLanguage{"fr_LU", "140c"}, CLocaleLanguage{"fr", "040c"},
    CLocaleLanguage{"he", "040d"},    CLocaleLanguage{"hu", "040e"},    CLocaleLanguage{"is", "040f"},
    CLocaleLanguage{"it_CH", "0810"}, CLocaleLanguage{"it", "0410"},    CLocaleLanguage{"ja", "0411"},
    CLocaleLanguage{"ko", "0412"},    CLocaleLanguage{"nl_BE", "0813"}, CLocaleLanguage{"nl", "0413"},
    CLocaleLanguage{"nb", "0414"},    CLocaleLanguage{"no", "0414"},    CLocaleLanguage{"nn", "0814"},
    CLocaleLanguage{"pl", "0415"},    CLocaleLanguage{"pt_PT", "0816"}, CLocaleLanguage{"pt", "0416"},
    CLocaleLanguage{"ro", "0418"},    CLocaleLanguage{"ru", "0419"},    CLocaleLanguage{"hr", "041a"},
    CLocaleLanguage{"sk", "041b"},    CLocaleLanguage{"sq", "041c"},    CLocaleLanguage{"sv_FI", "081d"},
    CLocaleLanguage{"sv", "041d"},    CLocaleLanguage{"th", "041e"},    CLocaleLanguage{"tr", "041f"},
    CLocaleLanguage{"id", "0421"},    CLocaleLanguage{"uk", "0422"},    CLocaleLanguage{"sl", "0424"},
    CLocaleLanguage{"et", "0425"},    CLocaleLanguage{"lv", "0426"},    CLocaleLanguage{"lt", "0427"},
    CLocaleLanguage{"vi", "042a"},    CLocaleLanguage{"eu", "042d"},    CLocaleLanguage{"hi", "0439"},
    CLocaleLanguage{"ms", "043e"},    CLocaleLanguage{"gl", "0456"},    CLocaleLanguage{"sr", "241a"},
};

const char* FindLocale(std::string_view name)
{
    for (const CLocaleLanguage& entry : kLocales) {
        if (name == entry.name)
            return entry.id;
    }
    return nullptr;
}

// The module in use; replaced whole, so a reader holding the old one keeps a
// valid table.
struct CModule {
    std::shared_ptr<const CStringTable> pTable;
    std::string strFile;
};

std::mutex g_moduleLock;
CModule g_module;

std::shared_ptr<const CStringTable> BuiltInTable()
{
    static const std::shared_ptr<const CStringTable> table = [] {
        std::string error;
        auto parsed = CStringTable::Parse(BuiltInStringTableText(), &error);
        if (!parsed) {
            DebugLog("ResourceModule", "built-in string table: " + error);
            return std::make_shared<const CStringTable>();
        }
        return std::make_shared<const CStringTable>(std::move(*parsed));
    }();
    return table;
}

std::shared_ptr<const CStringTable> CurrentTable()
{
    {
        std::lock_guard lock(g_moduleLock);
        if (g_module.pTable)
            return g_module.pTable;
    }
    return BuiltInTable();
}

// The printf conversions of a text in order ("%d%d%s"), and "%1" style
// inserts, which is what a caller's arguments must match.
std::string Conversions(const std::wstring& text)
{
    std::string out;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'%')
            continue;
        size_t j = i + 1;
        if (text[j] == L'%') {
            i = j;
            continue;
        }
        while (j < text.size() && std::wcschr(L"-+ #0123456789.hlLzjt", text[j]) != nullptr &&
               !(j == i + 1 && text[j] >= L'1' && text[j] <= L'9'))
            ++j;
        if (j < text.size()) {
            out += '%';
            out += static_cast<char>(text[j] < 128 ? text[j] : '?');
        }
        i = j;
    }
    return out;
}

// A language file must hold every text of the built-in table with the same
// conversions: the callers format with fixed arguments, so a "%s" where the
// program passes an int would read memory that is not a string.
bool FitsBuiltInTable(const CStringTable& table, std::string& error)
{
    bool fits = true;
    BuiltInTable()->ForEach([&](UINT id, const std::wstring& text) {
        if (!fits)
            return;
        const std::wstring* translated = table.Find(id);
        if (translated == nullptr) {
            error = "no text " + std::to_string(id);
            fits = false;
        } else if (Conversions(*translated) != Conversions(text)) {
            error = "text " + std::to_string(id) + " has conversions " + Conversions(*translated) + " instead of " +
                    Conversions(text);
            fits = false;
        }
    });
    return fits;
}

} // namespace

std::string LanguageIdForLocale(std::string_view locale)
{
    // "ll_CC.codeset@modifier": only language and country count.
    locale = locale.substr(0, std::min(locale.find('.'), locale.find('@')));
    if (locale == "C" || locale == "POSIX")
        return "0409";
    std::string name;
    for (char c : locale)
        name += c == '-' ? '_' : c;
    const size_t underscore = name.find('_');
    for (size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        name[i] = static_cast<char>(i < underscore ? std::tolower(c) : std::toupper(c));
    }
    if (const char* id = FindLocale(name))
        return id;
    if (underscore != std::string::npos) {
        if (const char* id = FindLocale(std::string_view(name).substr(0, underscore)))
            return id;
    }
    return {};
}

std::string UserLanguageId()
{
    for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value == nullptr || value[0] == '\0')
            continue;
        std::string_view first(value);
        first = first.substr(0, first.find(':'));
        if (first.empty())
            continue;
        return LanguageIdForLocale(first);
    }
    return "0409";
}

std::string ResourceModulePath(const std::string& programPath, const std::string& languageId)
{
    return programPath + "." + languageId + ".mui";
}

bool LoadResourceModule(const std::string& path)
{
    std::string error;
    auto table = CStringTable::LoadFile(path, &error);
    if (!table || !FitsBuiltInTable(*table, error)) {
        DebugLog("ResourceModule", path + ": " + error);
        return false;
    }
    auto shared = std::make_shared<const CStringTable>(std::move(*table));
    std::lock_guard lock(g_moduleLock);
    g_module = CModule{std::move(shared), path};
    return true;
}

bool SelectResourceModule(const std::string& programPath)
{
    const std::string language = UserLanguageId();
    if (!language.empty()) {
        const std::string path = ResourceModulePath(programPath, language);
        if (::access(path.c_str(), R_OK) == 0 && LoadResourceModule(path))
            return true;
    }
    UseBuiltInResources();
    return false;
}

void UseBuiltInResources()
{
    std::lock_guard lock(g_moduleLock);
    g_module = CModule{};
}

std::string ResourceModuleFile()
{
    std::lock_guard lock(g_moduleLock);
    return g_module.strFile;
}

std::wstring LoadResString(UINT id)
{
    const auto table = CurrentTable();
    const std::wstring* text = table->Find(id);
    return text != nullptr ? *text : std::wstring();
}
