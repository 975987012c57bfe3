#include "update/Setting.h"

#include "platform/FileSystem.h"
#include "platform/SpecialFolders.h"
#include "platform/VariantDate.h"


namespace {

bool OpenSettingsKey(CRegKey& settings)
{
    CRegKey base;
    return base.Create(HKEY_CURRENT_USER, kSettingsKey) == ERROR_SUCCESS
           && settings.Create(base, kSettingsSubKey) == ERROR_SUCCESS;
}

int MapIndex(DWORD index, std::initializer_list<int> values, int fallback)
{
    return index < values.size() ? values.begin()[index] : fallback;
}

} // namespace

CSetting::CSetting() { Load(); }

CSetting::~CSetting() { Write(); }

void CSetting::Load()
{
    CRegKey key;
    if (!OpenSettingsKey(key))
        return;
    m_strDefaultDir.clear();
    if (key.QueryStringValue(L"DefaultDir", m_strDefaultDir) != ERROR_SUCCESS)
        m_strDefaultDir.clear();

    const std::pair<const wchar_t*, DWORD*> values[] = {
        {L"ShowDescription", &m_dwShowDescription}, {L"ShowHeader", &m_dwShowHeader},
        {L"UpdateMethod", &m_dwUpdateMethod},       {L"UpdateInterval", &m_dwUpdateInterval},
        {L"UpdateOnStartup", &m_dwUpdateOnStartup}, {L"UpdateOnConnected", &m_dwUpdateOnConnected},
        {L"NewItemDays", &m_dwNewItemDays},         {L"NewItemCount", &m_dwNewItemCount},
        {L"MaxPages", &m_dwMaxPages},               {L"ExpireAfter", &m_dwExpireAfter},
    };
    for (const auto& [name, field] : values)
        key.QueryDWORDValue(name, *field); // a missing value keeps the default

    std::wstring lastUpdated;
    if (key.QueryStringValue(L"LastUpdated", lastUpdated) == ERROR_SUCCESS && !lastUpdated.empty()) {
        if (!VarDateFromStr(lastUpdated, m_dtLastUpdated))
            m_dtLastUpdated = CDateTime::GetCurrentTime();
    }
    key.QueryDWORDValue(L"NewItemSortType", m_dwNewItemSortType);
    key.QueryDWORDValue(L"NewItemSortOrder", m_dwNewItemSortOrder);
    key.QueryDWORDValue(L"NotifyNewPages", m_dwNotifyNewPages);
}

bool CSetting::Write() const
{
    CRegKey key;
    if (!OpenSettingsKey(key))
        return false;
    // One rewrite of the store for the whole set, in the fixed order.
    CRegWriteBatch batch(key);
    batch.SetStringValue(L"DefaultDir", m_strDefaultDir);
    batch.SetDWORDValue(L"ShowDescription", m_dwShowDescription);
    batch.SetDWORDValue(L"ShowHeader", m_dwShowHeader);
    batch.SetDWORDValue(L"UpdateMethod", m_dwUpdateMethod);
    batch.SetDWORDValue(L"UpdateInterval", m_dwUpdateInterval);
    batch.SetDWORDValue(L"UpdateOnStartup", m_dwUpdateOnStartup);
    batch.SetDWORDValue(L"UpdateOnConnected", m_dwUpdateOnConnected);
    batch.SetDWORDValue(L"NewItemDays", m_dwNewItemDays);
    batch.SetDWORDValue(L"NewItemCount", m_dwNewItemCount);
    batch.SetDWORDValue(L"MaxPages", m_dwMaxPages);
    batch.SetDWORDValue(L"ExpireAfter", m_dwExpireAfter);
    batch.SetStringValue(L"LastUpdated", VarBstrFromDate(m_dtLastUpdated));
    batch.SetDWORDValue(L"NewItemSortType", m_dwNewItemSortType);
    batch.SetDWORDValue(L"NewItemSortOrder", m_dwNewItemSortOrder);
    batch.SetDWORDValue(L"NotifyNewPages", m_dwNotifyNewPages);
    // The reader goes on when the options cannot be written; the caller
    // that can tell the user is told.
    return batch.Commit() == ERROR_SUCCESS;
}

void CSetting::Store(DWORD& field, DWORD value)
{
    field = value;
    Write();
}

void CSetting::SetShowDescription(DWORD value) { Store(m_dwShowDescription, value); }
void CSetting::SetShowHeader(DWORD value) { Store(m_dwShowHeader, value); }
void CSetting::SetUpdateMethod(DWORD value) { Store(m_dwUpdateMethod, value); }
void CSetting::SetUpdateInterval(DWORD value) { Store(m_dwUpdateInterval, value); }
void CSetting::SetUpdateOnStartup(DWORD value) { Store(m_dwUpdateOnStartup, value); }
void CSetting::SetUpdateOnConnected(DWORD value) { Store(m_dwUpdateOnConnected, value); }
void CSetting::SetNewItemDays(DWORD value) { Store(m_dwNewItemDays, value); }
void CSetting::SetNewItemCount(DWORD value) { Store(m_dwNewItemCount, value); }
void CSetting::SetMaxPages(DWORD value) { Store(m_dwMaxPages, value); }
void CSetting::SetExpireAfter(DWORD value) { Store(m_dwExpireAfter, value); }
void CSetting::SetNotifyNewPages(DWORD value) { Store(m_dwNotifyNewPages, value); }

void CSetting::SetLastUpdatedNow()
{
    m_dtLastUpdated = CDateTime::GetCurrentTime();
    Write();
}

// An index outside a list means what the list's default entry means: an
// interval of 0 hours would make an update due at every periodic check, and
// a count of 2 would hide all but two new pages.
int CSetting::GetUpdateIntervalHours() const
{
    return MapIndex(m_dwUpdateInterval, {1, 6, 12, 24, 168}, kDefaultUpdateIntervalHours);
}
int CSetting::GetNewItemCountValue() const
{
    return MapIndex(m_dwNewItemCount, {20, 30, 50, 100, 200}, kDefaultNewItemCount);
}
int CSetting::GetMaxPagesValue() const { return MapIndex(m_dwMaxPages, {20, 30, 50, 100, 200}, 0); }
int CSetting::GetPageLimit() const
{
    const int pages = GetMaxPagesValue();
    return pages > 0 ? pages : kDefaultPageLimit;
}
int CSetting::GetExpireAfterDays() const { return MapIndex(m_dwExpireAfter, {0, 1, 2, 3, 7}, 0); }
int CSetting::GetNewItemDaysValue() const { return MapIndex(m_dwNewItemDays, {0, 1, 2, 3, 7}, 0); }

bool CSetting::IsUpdateDue() const
{
    if (m_dwUpdateMethod != kUpdateAutomatic)
        return false;
    const CDateTime threshold = CDateTime::GetCurrentTime().AddDays(-GetUpdateIntervalHours() / 24.0);
    if (!threshold.IsValid() || !m_dtLastUpdated.IsValid())
        return false;
    return threshold > m_dtLastUpdated;
}

FILETIME CSetting::MidnightDaysAgo(int days)
{
    CSystemTime day;
    CDateTime::GetCurrentTime().AddDays(-days).GetAsSystemTime(day);
    day.wHour = day.wMinute = day.wSecond = day.wMilliseconds = 0;
    FILETIME cutoff;
    SystemTimeToFileTime(day, cutoff);
    return cutoff;
}

FILETIME CSetting::GetExpireCutoff() const { return MidnightDaysAgo(GetExpireAfterDays()); }

FILETIME CSetting::GetNewItemCutoff() const { return MidnightDaysAgo(GetNewItemDaysValue()); }

std::wstring CSetting::GetDefaultDataFolder(const std::wstring& base)
{
    std::wstring folder = base;
    if (folder.empty())
        SHGetSpecialFolderPath(CSIDL_PERSONAL, folder);
    return JoinPath(folder, L"RSS Reader");
}

std::wstring CSetting::GetDataFilePath(const std::wstring& name)
{
    if (m_strDefaultDir.empty()) {
        m_strDefaultDir = GetDefaultDataFolder();
        CreateFolderPath(m_strDefaultDir);
    }
    return JoinPath(m_strDefaultDir, name);
}
