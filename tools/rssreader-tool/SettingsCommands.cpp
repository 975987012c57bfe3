// Commands over the options. Options are read and changed by the texts the
// user meets (the options pages' list entries), or by their stored index.

#include <charconv>
#include <cstdio>

#include "Commands.h"
#include "JsonOut.h"
#include "content/TextUtil.h"
#include "platform/Unicode.h"
#include "platform/VariantDate.h"
#include "store/DataStorage.h"
#include "update/Setting.h"
#include "update/SettingChoices.h"

namespace {

// The stored index, the text the options show for it (null when it is none
// of the entries) and the quantity the reader goes by.
Json Value(const CSetting& setting, const wchar_t* name, Json mapped)
{
    const CSettingChoice& choice = *FindSettingChoice(name);
    const auto label = choice.LabelOf((setting.*choice.get)());
    return Json{{"raw", (setting.*choice.get)()},
                {"label", label ? Json(ToUtf8(*label)) : Json(nullptr)},
                {"mapped", std::move(mapped)}};
}

Json SettingsToJson(CSetting& setting)
{
    Json values;
    values["DefaultDir"] = Json{{"raw", ToUtf8(setting.GetDefaultDir())}};
    values["ShowDescription"] = Value(setting, L"ShowDescription", setting.GetShowDescription() != 0);
    values["ShowHeader"] = Value(setting, L"ShowHeader", setting.GetShowHeader() != 0);
    values["UpdateMethod"] = Value(setting, L"UpdateMethod",
                                   setting.GetUpdateMethod() == CSetting::kUpdateAutomatic ? "Automatic" : "Manual");
    values["UpdateInterval"] = Value(setting, L"UpdateInterval", setting.GetUpdateIntervalHours());
    values["UpdateOnStartup"] = Value(setting, L"UpdateOnStartup", setting.GetUpdateOnStartup() != 0);
    values["UpdateOnConnected"] = Value(setting, L"UpdateOnConnected", setting.GetUpdateOnConnected() != 0);
    values["NewItemDays"] = Value(setting, L"NewItemDays", setting.GetNewItemDaysValue());
    values["NewItemCount"] = Value(setting, L"NewItemCount", setting.GetNewItemCountValue());
    // The clean-up's limit, which stands in for an index outside the list.
    values["MaxPages"] = Value(setting, L"MaxPages", setting.GetPageLimit());
    values["ExpireAfter"] = Value(setting, L"ExpireAfter", setting.GetExpireAfterDays());
    values["LastUpdated"] = Json{{"raw", ToUtf8(VarBstrFromDate(setting.GetLastUpdated()))},
                                 {"mapped", DateToJson(setting.GetLastUpdated())}};
    values["NewItemSortType"] = Value(setting, L"NewItemSortType",
                                      setting.GetNewItemSortType() == CSetting::kSortByTitle ? "title" : "date");
    values["NewItemSortOrder"] = Value(setting, L"NewItemSortOrder",
                                       setting.IsSortAscending() ? "ascending" : "descending");
    values["NotifyNewPages"] = Value(setting, L"NotifyNewPages", setting.GetNotifyNewPages() != 0);
    Json result{{"settings", values},
                {"updateDue", setting.IsUpdateDue()},
                {"expireCutoff", FileTimeToJson(setting.GetExpireCutoff())},
                {"newItemCutoff", FileTimeToJson(setting.GetNewItemCutoff())},
                {"dataFolder", ToUtf8(GetDataFolder())}};
    // Last: the path rule fills an empty DefaultDir (in memory only).
    result["dataFilePath"] = ToUtf8(setting.GetDataFilePath(L"temp.xml"));
    return result;
}

bool ParseNumber(const std::string& text, DWORD& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// "a", "b" or "c"
std::string AllowedValues(const CSettingChoice& choice)
{
    const std::vector<std::wstring> labels = choice.Labels();
    std::string list;
    for (size_t i = 0; i < labels.size(); ++i) {
        if (i > 0)
            list += i + 1 == labels.size() ? " or " : ", ";
        list += '"' + ToUtf8(labels[i]) + '"';
    }
    return list;
}

std::string SettingNames()
{
    std::string names;
    for (const CSettingChoice& choice : SettingChoices())
        names += ToUtf8(choice.name) + ", ";
    return names + "DefaultDir, LastUpdated";
}

int CannotWrite() { return StoreError("cannot write the options to " + ToUtf8(CRegKey::StorePath())); }

// DefaultDir and LastUpdated texts have no setter: they are written to the
// registry as given, as a user editing the registry would.
int WriteRawText(const std::wstring& name, const std::wstring& value)
{
    // The instance writes the whole set when it goes, so it goes first and
    // the next one loads the new text.
    CSetting::DestroyInstance();
    CRegKey base, key;
    if (base.Create(HKEY_CURRENT_USER, kSettingsKey) != ERROR_SUCCESS || key.Create(base, kSettingsSubKey) != ERROR_SUCCESS
        || key.SetStringValue(name, value) != ERROR_SUCCESS)
        return CannotWrite();
    return kExitDone;
}

int SetText(const std::wstring& name, const std::wstring& value)
{
    if (EqualsNoCase(name, L"LastUpdated") && EqualsNoCase(value, L"now")) {
        CSetting::Instance().SetLastUpdatedNow();
        return CSetting::Instance().Write() ? kExitDone : CannotWrite();
    }
    return WriteRawText(EqualsNoCase(name, L"DefaultDir") ? L"DefaultDir" : L"LastUpdated", value);
}

} // namespace

void PrintSettingsHelp()
{
    std::puts("\nSettings (set NAME VALUE, names and values in any case):");
    for (const CSettingChoice& choice : SettingChoices()) {
        std::string values;
        for (const std::wstring& label : choice.Labels()) {
            if (!values.empty())
                values += " | ";
            values += ToUtf8(label);
        }
        if (choice.IsFlag())
            values += "  (also yes/no, true/false, 1/0)";
        std::printf("  %-18s %s\n", ToUtf8(choice.name).c_str(), values.c_str());
    }
    std::puts("  DefaultDir         the folder for downloads\n"
              "  LastUpdated        now, or a date and time such as \"2026-01-02 03:04:05\"\n"
              "set --index NAME N stores the position N in the list as it is, even one\n"
              "outside the list (the settings command then shows its label as null).");
}

int CommandSettings(const CArguments& args)
{
    if (!args.empty())
        return UsageError("settings takes no arguments");
    PrintJson(SettingsToJson(CSetting::Instance()));
    return kExitDone;
}

int CommandSet(const CArguments& args)
{
    const bool byIndex = !args.empty() && args[0] == "--index";
    if (args.size() != (byIndex ? 3u : 2u))
        return UsageError("set takes NAME VALUE, or --index NAME N");
    const std::string& nameText = args[byIndex ? 1 : 0];
    const std::string& valueText = args[byIndex ? 2 : 1];
    const std::wstring name = Utf8ToWide(nameText);
    const std::wstring value = Utf8ToWide(valueText);

    if (EqualsNoCase(name, L"LastUpdated") || EqualsNoCase(name, L"DefaultDir")) {
        if (byIndex)
            return UsageError(nameText + " is a text, not a list: set " + nameText + " TEXT");
        if (const int result = SetText(name, value); result != kExitDone)
            return result;
    } else {
        const CSettingChoice* choice = FindSettingChoice(name);
        if (choice == nullptr)
            return UsageError("unknown setting " + nameText + "; the settings are " + SettingNames());
        DWORD stored = 0;
        if (byIndex) {
            if (!ParseNumber(valueText, stored))
                return UsageError("--index takes a number, not \"" + valueText + "\"");
        } else if (const auto chosen = choice->ValueOf(value)) {
            stored = *chosen;
        } else {
            return UsageError("\"" + valueText + "\" is not a choice of " + nameText + ": choose " +
                              AllowedValues(*choice) + ", or give a position with set --index");
        }
        (CSetting::Instance().*choice->set)(stored);
        // The sort setters only store; keep the change, and say when it
        // could not be kept.
        if (!CSetting::Instance().Write())
            return CannotWrite();
    }
    PrintJson(SettingsToJson(CSetting::Instance()));
    return kExitDone;
}
