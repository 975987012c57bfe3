// Commands over the options.

#include <charconv>
#include <functional>

#include "Commands.h"
#include "JsonOut.h"
#include "content/TextUtil.h"
#include "platform/Unicode.h"
#include "platform/VariantDate.h"
#include "store/DataStorage.h"
#include "update/Setting.h"

namespace {

Json Value(DWORD raw, Json mapped) { return Json{{"raw", raw}, {"mapped", std::move(mapped)}}; }

Json SettingsToJson(CSetting& setting)
{
    Json values;
    values["DefaultDir"] = Json{{"raw", ToUtf8(setting.GetDefaultDir())}};
    values["ShowDescription"] = Value(setting.GetShowDescription(), setting.GetShowDescription() != 0);
    values["ShowHeader"] = Value(setting.GetShowHeader(), setting.GetShowHeader() != 0);
    values["UpdateMethod"] = Value(setting.GetUpdateMethod(), setting.GetUpdateMethod() == CSetting::kUpdateAutomatic
                                                                  ? "Automatic"
                                                                  : "Manual");
    values["UpdateInterval"] = Value(setting.GetUpdateInterval(), setting.GetUpdateIntervalHours());
    values["UpdateOnStartup"] = Value(setting.GetUpdateOnStartup(), setting.GetUpdateOnStartup() != 0);
    values["UpdateOnConnected"] = Value(setting.GetUpdateOnConnected(), setting.GetUpdateOnConnected() != 0);
    values["NewItemDays"] = Value(setting.GetNewItemDays(), setting.GetNewItemDaysValue());
    values["NewItemCount"] = Value(setting.GetNewItemCount(), setting.GetNewItemCountValue());
    values["MaxPages"] = Value(setting.GetMaxPages(), setting.GetMaxPagesValue());
    values["ExpireAfter"] = Value(setting.GetExpireAfter(), setting.GetExpireAfterDays());
    values["LastUpdated"] = Json{{"raw", ToUtf8(VarBstrFromDate(setting.GetLastUpdated()))},
                                 {"mapped", DateToJson(setting.GetLastUpdated())}};
    values["NewItemSortType"] = Value(setting.GetNewItemSortType(),
                                      setting.GetNewItemSortType() == CSetting::kSortByTitle ? "title" : "date");
    values["NewItemSortOrder"] = Value(setting.GetNewItemSortOrder(),
                                       setting.IsSortAscending() ? "ascending" : "descending");
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

// Values with a setter of their own, which writes the whole set.
const std::pair<const wchar_t*, void (CSetting::*)(DWORD)> kSetters[] = {
    {L"ShowDescription", &CSetting::SetShowDescription},
    {L"ShowHeader", &CSetting::SetShowHeader},
    {L"UpdateMethod", &CSetting::SetUpdateMethod},
    {L"UpdateInterval", &CSetting::SetUpdateInterval},
    {L"UpdateOnStartup", &CSetting::SetUpdateOnStartup},
    {L"UpdateOnConnected", &CSetting::SetUpdateOnConnected},
    {L"NewItemDays", &CSetting::SetNewItemDays},
    {L"NewItemCount", &CSetting::SetNewItemCount},
    {L"MaxPages", &CSetting::SetMaxPages},
    {L"ExpireAfter", &CSetting::SetExpireAfter},
    {L"NewItemSortType", &CSetting::SetNewItemSortType},
    {L"NewItemSortOrder", &CSetting::SetNewItemSortOrder},
};

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
        return StoreError("cannot write the options to " + ToUtf8(CRegKey::StorePath()));
    return kExitDone;
}

} // namespace

int CommandSettings(const CArguments& args)
{
    if (!args.empty())
        return UsageError("settings takes no arguments");
    PrintJson(SettingsToJson(CSetting::Instance()));
    return kExitDone;
}

int CommandSet(const CArguments& args)
{
    if (args.size() != 2)
        return UsageError("set takes NAME and VALUE");
    const std::wstring name = Utf8ToWide(args[0]);
    const std::wstring value = Utf8ToWide(args[1]);
    if (EqualsNoCase(name, L"LastUpdated") && value == L"now") {
        CSetting::Instance().SetLastUpdatedNow();
        if (!CSetting::Instance().Write())
            return StoreError("cannot write the options to " + ToUtf8(CRegKey::StorePath()));
    } else if (EqualsNoCase(name, L"LastUpdated") || EqualsNoCase(name, L"DefaultDir")) {
        const int result = WriteRawText(EqualsNoCase(name, L"DefaultDir") ? L"DefaultDir" : L"LastUpdated", value);
        if (result != kExitDone)
            return result;
    } else {
        DWORD number = 0;
        if (!ParseNumber(args[1], number))
            return UsageError("VALUE must be a number for " + args[0]);
        bool known = false;
        for (const auto& [setterName, setter] : kSetters) {
            if (EqualsNoCase(name, setterName)) {
                (CSetting::Instance().*setter)(number);
                // The sort setters only store; keep the change, and say when
                // it could not be kept.
                if (!CSetting::Instance().Write())
                    return StoreError("cannot write the options to " + ToUtf8(CRegKey::StorePath()));
                known = true;
            }
        }
        if (!known)
            return UsageError("unknown setting " + args[0]);
    }
    PrintJson(SettingsToJson(CSetting::Instance()));
    return kExitDone;
}
