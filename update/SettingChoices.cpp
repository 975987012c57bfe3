#include "update/SettingChoices.h"

#include "content/TextUtil.h"
#include "resources/ResourceModule.h"

namespace {

constexpr UINT kMethodTexts[] = {IDS_AUTOMATIC, IDS_MANUAL};
constexpr UINT kIntervalTexts[] = {IDS_INTERVAL_1_HOUR, IDS_INTERVAL_1_HOUR + 1, IDS_INTERVAL_1_HOUR + 2,
                                  IDS_INTERVAL_1_HOUR + 3, IDS_INTERVAL_1_WEEK};
constexpr UINT kNewItemDaysTexts[] = {IDS_TODAY_ONLY, IDS_1_DAY_AGO, IDS_2_DAYS_AGO, IDS_3_DAYS_AGO, IDS_1_WEEK_AGO};
constexpr UINT kCountTexts[] = {IDS_COUNT_20, IDS_COUNT_20 + 1, IDS_COUNT_20 + 2, IDS_COUNT_20 + 3, IDS_COUNT_200};
constexpr UINT kExpireTexts[] = {IDS_NOT_AVAILABLE, IDS_EXPIRE_1_DAY, IDS_EXPIRE_1_DAY + 1, IDS_EXPIRE_1_DAY + 2,
                                IDS_EXPIRE_1_WEEK};
constexpr UINT kSortTypeTexts[] = {IDS_MENU_TITLE, IDS_DATE};
constexpr UINT kSortOrderTexts[] = {IDS_SORT_ASCENDING, IDS_SORT_DESCENDING};

const CSettingChoice kChoices[] = {
    {L"ShowDescription", &CSetting::GetShowDescription, &CSetting::SetShowDescription, {}},
    {L"ShowHeader", &CSetting::GetShowHeader, &CSetting::SetShowHeader, {}},
    {L"UpdateMethod", &CSetting::GetUpdateMethod, &CSetting::SetUpdateMethod, kMethodTexts},
    {L"UpdateInterval", &CSetting::GetUpdateInterval, &CSetting::SetUpdateInterval, kIntervalTexts},
    {L"UpdateOnStartup", &CSetting::GetUpdateOnStartup, &CSetting::SetUpdateOnStartup, {}},
    {L"UpdateOnConnected", &CSetting::GetUpdateOnConnected, &CSetting::SetUpdateOnConnected, {}},
    {L"NewItemDays", &CSetting::GetNewItemDays, &CSetting::SetNewItemDays, kNewItemDaysTexts},
    {L"NewItemCount", &CSetting::GetNewItemCount, &CSetting::SetNewItemCount, kCountTexts},
    {L"MaxPages", &CSetting::GetMaxPages, &CSetting::SetMaxPages, kCountTexts},
    {L"ExpireAfter", &CSetting::GetExpireAfter, &CSetting::SetExpireAfter, kExpireTexts},
    {L"NewItemSortType", &CSetting::GetNewItemSortType, &CSetting::SetNewItemSortType, kSortTypeTexts,
     CSetting::kSortByTitle},
    {L"NewItemSortOrder", &CSetting::GetNewItemSortOrder, &CSetting::SetNewItemSortOrder, kSortOrderTexts,
     CSetting::kSortAscending},
    {L"NotifyNewPages", &CSetting::GetNotifyNewPages, &CSetting::SetNotifyNewPages, {}},
};

// Words for a check box; the first of each pair is the one shown.
constexpr const wchar_t* kOnWords[] = {L"on", L"yes", L"true", L"1"};
constexpr const wchar_t* kOffWords[] = {L"off", L"no", L"false", L"0"};

} // namespace

std::vector<std::wstring> CSettingChoice::Labels() const
{
    if (IsFlag())
        return {kOnWords[0], kOffWords[0]};
    std::vector<std::wstring> labels;
    for (const UINT id : textIds)
        labels.push_back(LoadResString(id));
    return labels;
}

std::optional<std::wstring> CSettingChoice::LabelOf(DWORD stored) const
{
    if (IsFlag())
        return stored != 0 ? kOnWords[0] : kOffWords[0];
    // Unsigned: a value below the first one wraps far past the end.
    const DWORD position = stored - firstValue;
    if (position >= textIds.size())
        return std::nullopt;
    return LoadResString(textIds[position]);
}

std::optional<DWORD> CSettingChoice::ValueOf(const std::wstring& text) const
{
    if (IsFlag()) {
        for (size_t i = 0; i < std::size(kOnWords); ++i) {
            if (EqualsNoCase(text, kOnWords[i]))
                return 1;
            if (EqualsNoCase(text, kOffWords[i]))
                return 0;
        }
        return std::nullopt;
    }
    for (size_t position = 0; position < textIds.size(); ++position) {
        if (EqualsNoCase(text, LoadResString(textIds[position])))
            return firstValue + static_cast<DWORD>(position);
    }
    return std::nullopt;
}

std::span<const CSettingChoice> SettingChoices() { return kChoices; }

const CSettingChoice* FindSettingChoice(const std::wstring& name)
{
    for (const CSettingChoice& choice : kChoices) {
        if (EqualsNoCase(name, choice.name))
            return &choice;
    }
    return nullptr;
}
