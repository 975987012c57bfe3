#pragma once
// The reader's options: one object for the whole process, backed by the
// registry key HKEY_CURRENT_USER\Software\vendrix\ZelviaReader\Settings.
// Most options are stored as the index of the user's choice in its option
// list and mapped to their quantity here.

#include <string>

#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/ProcessWide.h"
#include "platform/Registry.h"

// What the default entry of a list means; an index outside its list means
// the same.
inline constexpr int kDefaultPageLimit = 100;
inline constexpr int kDefaultUpdateIntervalHours = 1;
inline constexpr int kDefaultNewItemCount = 50;

class CSetting {
public:
    // The single instance, created and loaded on first use.
    static CSetting& Instance() { return CProcessWide<CSetting>::Get(); }
    // Destroys the instance (writing every value a last time); the next
    // Instance() loads afresh.
    static void DestroyInstance() { CProcessWide<CSetting>::DestroyInstance(); }

    CSetting();  // loads every value
    ~CSetting(); // writes every value
    CSetting(const CSetting&) = delete;
    CSetting& operator=(const CSetting&) = delete;

    // Stored values: the index or flag as kept in the registry.
    const std::wstring& GetDefaultDir() const { return m_strDefaultDir; }
    DWORD GetShowDescription() const { return m_dwShowDescription; }
    DWORD GetShowHeader() const { return m_dwShowHeader; }
    DWORD GetUpdateMethod() const { return m_dwUpdateMethod; }
    DWORD GetUpdateInterval() const { return m_dwUpdateInterval; }
    DWORD GetUpdateOnStartup() const { return m_dwUpdateOnStartup; }
    DWORD GetUpdateOnConnected() const { return m_dwUpdateOnConnected; }
    DWORD GetNewItemDays() const { return m_dwNewItemDays; }
    DWORD GetNewItemCount() const { return m_dwNewItemCount; }
    DWORD GetMaxPages() const { return m_dwMaxPages; }
    DWORD GetExpireAfter() const { return m_dwExpireAfter; }
    const CDateTime& GetLastUpdated() const { return m_dtLastUpdated; }
    DWORD GetNewItemSortType() const { return m_dwNewItemSortType; }
    DWORD GetNewItemSortOrder() const { return m_dwNewItemSortOrder; }
    // A desktop notice after an automatic update that brought new pages.
    DWORD GetNotifyNewPages() const { return m_dwNotifyNewPages; }

    // Mapped values.
    int GetUpdateIntervalHours() const;  // 1, 6, 12, 24, 168; other -> 1
    int GetNewItemCountValue() const;    // 20, 30, 50, 100, 200; other -> 50
    int GetMaxPagesValue() const;        // 20, 30, 50, 100, 200; other -> 0
    // The pages kept per feed: the mapped MaxPages, or 100 for an index
    // outside the list (taken literally, 0 would delete every page).
    int GetPageLimit() const;
    int GetExpireAfterDays() const;      // 0, 1, 2, 3, 7; other -> 0
    int GetNewItemDaysValue() const;     // 0, 1, 2, 3, 7; other -> 0
    bool IsSortAscending() const { return m_dwNewItemSortOrder == kSortAscending; }

    // Each setter stores the value and writes the whole set.
    void SetShowDescription(DWORD value);
    void SetShowHeader(DWORD value);
    void SetUpdateMethod(DWORD value);
    void SetUpdateInterval(DWORD value);
    void SetUpdateOnStartup(DWORD value);
    void SetUpdateOnConnected(DWORD value);
    void SetNewItemDays(DWORD value);
    void SetNewItemCount(DWORD value);
    void SetMaxPages(DWORD value);
    void SetExpireAfter(DWORD value);
    void SetNotifyNewPages(DWORD value);
    // The sort choice is only stored; it reaches the registry with the next
    // full write.
    void SetNewItemSortType(DWORD value) { m_dwNewItemSortType = value; }
    void SetNewItemSortOrder(DWORD value) { m_dwNewItemSortOrder = value; }
    // LastUpdated becomes the current local time; writes the whole set.
    void SetLastUpdatedNow();

    // Automatic updates only: true when now minus the interval is strictly
    // later than LastUpdated.
    bool IsUpdateDue() const;

    // Local midnight of the day that lies the mapped number of days back, as
    // a file time: the expiry and new-item cutoffs.
    FILETIME GetExpireCutoff() const;
    FILETIME GetNewItemCutoff() const;

    // DefaultDir + separator + name. An empty DefaultDir is first set (in
    // memory) to the default data folder, which is created.
    std::wstring GetDataFilePath(const std::wstring& name);
    // base + "/RSS Reader"; the documents folder when base is empty.
    static std::wstring GetDefaultDataFolder(const std::wstring& base = L"");

    // Writes every value, in the fixed order, in one rewrite of the store;
    // false when it could not be written (the values stay in memory).
    bool Write() const;

    static constexpr DWORD kUpdateAutomatic = 0;
    static constexpr DWORD kUpdateManual = 1;
    static constexpr DWORD kSortByTitle = 1;
    static constexpr DWORD kSortByDate = 2;
    static constexpr DWORD kSortAscending = 1;
    static constexpr DWORD kSortDescending = 2;

private:
    void Load();
    void Store(DWORD& field, DWORD value);
    static FILETIME MidnightDaysAgo(int days);

    std::wstring m_strDefaultDir;
    DWORD m_dwShowDescription = 1;
    DWORD m_dwShowHeader = 1;
    DWORD m_dwUpdateMethod = kUpdateManual;
    DWORD m_dwUpdateInterval = 0;
    DWORD m_dwUpdateOnStartup = 0;
    DWORD m_dwUpdateOnConnected = 0;
    DWORD m_dwNewItemDays = 0;
    DWORD m_dwNewItemCount = 2;
    DWORD m_dwMaxPages = 3;
    DWORD m_dwExpireAfter = 0;
    CDateTime m_dtLastUpdated; // 1899-12-30 00:00 until first set: an update is due at once
    DWORD m_dwNewItemSortType = kSortByDate;
    DWORD m_dwNewItemSortOrder = kSortAscending;
    DWORD m_dwNotifyNewPages = 1;

    // Owned here but never destroyed implicitly at exit: only the shutdown
    // (DestroyInstance) writes the set a last time.
};

// Registry location and value names.
inline constexpr wchar_t kSettingsKey[] = L"Software\\vendrix\\ZelviaReader";
inline constexpr wchar_t kSettingsSubKey[] = L"Settings";
