// The options object: defaults, mappings, persistence, the update-due test,
// the cutoffs and the data-file path rule.

#include <cwctype>
#include <filesystem>
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "content/DateText.h"
#include "platform/Registry.h"
#include "platform/Unicode.h"
#include "update/Setting.h"
#include "update/SettingChoices.h"

namespace fs = std::filesystem;

namespace {

class SettingTest : public CTempHomeTest {
protected:
    void SetUp() override
    {
        CTempHomeTest::SetUp();
        SetTimeZone("Europe/Berlin");
        SetCurrentTimeForTesting(LocalTimePoint(2026, 12, 8, 15, 30));
    }

    static CRegKey SettingsKey()
    {
        CRegKey base, key;
        base.Create(HKEY_CURRENT_USER, kSettingsKey);
        key.Create(base, kSettingsSubKey);
        return key;
    }

    static std::wstring FileTimeText(const FILETIME& time)
    {
        CSystemTime st;
        EXPECT_TRUE(FileTimeToSystemTime(time, st));
        return FormatSystemTime(st, L"%Y-%m-%d %H:%M:%S");
    }
};

} // namespace

TEST_F(SettingTest, FirstStartUsesTheDefaults)
{
    CSetting& setting = CSetting::Instance();
    EXPECT_EQ(setting.GetDefaultDir(), L"");
    EXPECT_EQ(setting.GetShowDescription(), 1u);
    EXPECT_EQ(setting.GetShowHeader(), 1u);
    EXPECT_EQ(setting.GetUpdateMethod(), CSetting::kUpdateManual);
    EXPECT_EQ(setting.GetUpdateIntervalHours(), 1);
    EXPECT_EQ(setting.GetUpdateOnStartup(), 0u);
    EXPECT_EQ(setting.GetUpdateOnConnected(), 0u);
    EXPECT_EQ(setting.GetNewItemDaysValue(), 0);
    EXPECT_EQ(setting.GetNewItemCountValue(), 50);
    EXPECT_EQ(setting.GetMaxPagesValue(), 100);
    EXPECT_EQ(setting.GetExpireAfterDays(), 0);
    EXPECT_EQ(setting.GetNewItemSortType(), CSetting::kSortByDate);
    EXPECT_TRUE(setting.IsSortAscending());
    EXPECT_EQ(setting.GetLastUpdated(), CDateTime(0.0));
    EXPECT_FALSE(setting.IsUpdateDue()); // manual
    setting.SetUpdateMethod(CSetting::kUpdateAutomatic);
    EXPECT_TRUE(setting.IsUpdateDue()); // never updated: due at once
}

TEST_F(SettingTest, MapsStoredIndexesToQuantities)
{
    CSetting& setting = CSetting::Instance();
    const int hours[] = {1, 6, 12, 24, 168, 1};
    const int counts[] = {20, 30, 50, 100, 200, 50};
    const int pages[] = {20, 30, 50, 100, 200, 0};
    const int days[] = {0, 1, 2, 3, 7, 0};
    for (DWORD index = 0; index < 6; ++index) {
        const DWORD stored = index == 5 ? 77 : index; // 77: out of range
        setting.SetUpdateInterval(stored);
        setting.SetNewItemCount(stored);
        setting.SetMaxPages(stored);
        setting.SetExpireAfter(stored);
        setting.SetNewItemDays(stored);
        EXPECT_EQ(setting.GetUpdateIntervalHours(), hours[index]) << stored;
        EXPECT_EQ(setting.GetNewItemCountValue(), counts[index]) << stored;
        EXPECT_EQ(setting.GetMaxPagesValue(), pages[index]) << stored;
        EXPECT_EQ(setting.GetExpireAfterDays(), days[index]) << stored;
        EXPECT_EQ(setting.GetNewItemDaysValue(), days[index]) << stored;
    }
    setting.SetNewItemSortOrder(0);
    EXPECT_FALSE(setting.IsSortAscending());
    setting.SetNewItemSortOrder(CSetting::kSortDescending);
    EXPECT_FALSE(setting.IsSortAscending());
}

TEST_F(SettingTest, SettersWriteTheWholeSetAndSortChoicesWaitForTheNextWrite)
{
    CSetting& setting = CSetting::Instance();
    setting.SetNewItemSortType(CSetting::kSortByTitle); // stored only
    DWORD value = 0;
    EXPECT_EQ(SettingsKey().QueryDWORDValue(L"NewItemSortType", value), ERROR_FILE_NOT_FOUND);

    setting.SetMaxPages(4); // writes everything, the pending sort type too
    CRegKey key = SettingsKey();
    for (const wchar_t* name : {L"ShowDescription", L"ShowHeader", L"UpdateMethod", L"UpdateInterval",
                                L"UpdateOnStartup", L"UpdateOnConnected", L"NewItemDays", L"NewItemCount",
                                L"MaxPages", L"ExpireAfter", L"NewItemSortType", L"NewItemSortOrder"})
        EXPECT_EQ(key.QueryDWORDValue(name, value), ERROR_SUCCESS) << WideToUtf8(name);
    std::wstring text;
    EXPECT_EQ(key.QueryStringValue(L"DefaultDir", text), ERROR_SUCCESS);
    EXPECT_EQ(key.QueryStringValue(L"LastUpdated", text), ERROR_SUCCESS);
    EXPECT_EQ(text, L"1899-12-30 00:00:00");

    CSetting::DestroyInstance();
    CSetting& reloaded = CSetting::Instance();
    EXPECT_EQ(reloaded.GetMaxPagesValue(), 200);
    EXPECT_EQ(reloaded.GetNewItemSortType(), CSetting::kSortByTitle);
}

TEST_F(SettingTest, UpdateIsDueOnceTheIntervalHasPassed)
{
    CSetting& setting = CSetting::Instance();
    setting.SetUpdateMethod(CSetting::kUpdateAutomatic);
    setting.SetUpdateInterval(1); // 6 hours
    setting.SetLastUpdatedNow();
    EXPECT_FALSE(setting.IsUpdateDue());

    SetCurrentTimeForTesting(LocalTimePoint(2026, 12, 8, 21, 30)); // exactly 6 hours later
    EXPECT_FALSE(setting.IsUpdateDue());
    SetCurrentTimeForTesting(LocalTimePoint(2026, 12, 8, 21, 31));
    EXPECT_TRUE(setting.IsUpdateDue());

    // The baseline survives a restart.
    CSetting::DestroyInstance();
    EXPECT_TRUE(CSetting::Instance().IsUpdateDue());
    SetCurrentTimeForTesting(LocalTimePoint(2026, 12, 8, 16, 0));
    EXPECT_FALSE(CSetting::Instance().IsUpdateDue());
}

// "1 day" is a day, and an interval outside the list is the default hour:
// never an update at every periodic check.
TEST_F(SettingTest, TheIntervalOfADayAndOneOutsideTheList)
{
    CSetting& setting = CSetting::Instance();
    setting.SetUpdateMethod(CSetting::kUpdateAutomatic);
    setting.SetUpdateInterval(3);
    setting.SetLastUpdatedNow();
    SetCurrentTimeForTesting(LocalTimePoint(2026, 12, 9, 15, 0));
    EXPECT_FALSE(setting.IsUpdateDue());
    SetCurrentTimeForTesting(LocalTimePoint(2026, 12, 9, 15, 31));
    EXPECT_TRUE(setting.IsUpdateDue());

    setting.SetUpdateInterval(static_cast<DWORD>(-1)); // a list left without a selection
    setting.SetLastUpdatedNow();
    SetCurrentTimeForTesting(LocalTimePoint(2026, 12, 9, 15, 36));
    EXPECT_FALSE(setting.IsUpdateDue());
    SetCurrentTimeForTesting(LocalTimePoint(2026, 12, 9, 16, 32));
    EXPECT_TRUE(setting.IsUpdateDue());
}

// Each entry's text leads to the value that shows that text again, in any
// case; values beside the list (below a list that starts at 1, too) show none.
TEST_F(SettingTest, ChoicesReadBackTheirOwnTexts)
{
    for (const CSettingChoice& choice : SettingChoices()) {
        const std::wstring name = choice.name;
        for (const std::wstring& label : choice.Labels()) {
            const auto value = choice.ValueOf(label);
            ASSERT_TRUE(value.has_value()) << WideToUtf8(name + L" " + label);
            EXPECT_EQ(choice.LabelOf(*value), label) << WideToUtf8(name);
            std::wstring shouted = label;
            for (wchar_t& ch : shouted)
                ch = std::towupper(ch);
            EXPECT_EQ(choice.ValueOf(shouted), value) << WideToUtf8(name);
        }
        if (!choice.IsFlag()) {
            EXPECT_FALSE(choice.LabelOf(choice.firstValue - 1)) << WideToUtf8(name);
            EXPECT_FALSE(choice.LabelOf(choice.firstValue + choice.textIds.size())) << WideToUtf8(name);
        }
    }
    EXPECT_EQ(FindSettingChoice(L"maxpages"), FindSettingChoice(L"MaxPages"));
    EXPECT_EQ(FindSettingChoice(L"LastUpdated"), nullptr) << "a text, not a choice";
}

TEST_F(SettingTest, AnUnreadableLastUpdatedCountsAsNow)
{
    CRegKey key = SettingsKey();
    key.SetDWORDValue(L"UpdateMethod", CSetting::kUpdateAutomatic);
    key.SetStringValue(L"LastUpdated", L"the day before yesterday");
    CSetting& setting = CSetting::Instance();
    EXPECT_EQ(FormatDateTime(setting.GetLastUpdated(), L"%Y-%m-%d %H:%M"), L"2026-12-08 15:30");
    EXPECT_FALSE(setting.IsUpdateDue());
    setting.Write(); // rewritten in the current form
    std::wstring text;
    SettingsKey().QueryStringValue(L"LastUpdated", text);
    EXPECT_EQ(text, L"2026-12-08 15:30:00");

    // An empty text keeps the never-updated baseline. (Destroying the
    // instance writes it, so the registry is edited afterwards.)
    CSetting::DestroyInstance();
    SettingsKey().SetStringValue(L"LastUpdated", L"");
    EXPECT_EQ(CSetting::Instance().GetLastUpdated(), CDateTime(0.0));
}

TEST_F(SettingTest, CutoffsAreLocalMidnightDaysAgo)
{
    CSetting& setting = CSetting::Instance();
    EXPECT_EQ(FileTimeText(setting.GetExpireCutoff()), L"2026-12-08 00:00:00");
    setting.SetExpireAfter(1);
    EXPECT_EQ(FileTimeText(setting.GetExpireCutoff()), L"2026-12-07 00:00:00");
    setting.SetExpireAfter(4);
    EXPECT_EQ(FileTimeText(setting.GetExpireCutoff()), L"2026-12-01 00:00:00");
    setting.SetNewItemDays(3);
    EXPECT_EQ(FileTimeText(setting.GetNewItemCutoff()), L"2026-12-05 00:00:00");
    // A week back from the day the clocks change.
    SetCurrentTimeForTesting(LocalTimePoint(2026, 3, 29, 12, 0));
    setting.SetNewItemDays(4);
    EXPECT_EQ(FileTimeText(setting.GetNewItemCutoff()), L"2026-03-22 00:00:00");
}

TEST_F(SettingTest, DataFilePathsHaveExactlyOneSeparator)
{
    const std::string folder = HomePath("files");
    SettingsKey().SetStringValue(L"DefaultDir", Utf8ToWide(folder));
    CSetting::DestroyInstance();
    EXPECT_EQ(CSetting::Instance().GetDataFilePath(L"temp.xml"), Utf8ToWide(folder + "/temp.xml"));

    for (const std::string ending : {"/", "\\"}) {
        CSetting::DestroyInstance();
        SettingsKey().SetStringValue(L"DefaultDir", Utf8ToWide(folder + ending));
        EXPECT_EQ(CSetting::Instance().GetDataFilePath(L"temp.xml"), Utf8ToWide(folder + ending + "temp.xml"));
    }
}

TEST_F(SettingTest, AnEmptyDataFolderBecomesRssReaderInTheDocumentsFolder)
{
    fs::create_directories(HomePath("config"));
    WriteWholeFile(HomePath("config/user-dirs.dirs"), "# written by xdg-user-dirs-update\n"
                                                      "XDG_DOCUMENTS_DIR=\"$HOME/My Papers\"\n");
    CSetting& setting = CSetting::Instance();
    const std::wstring path = setting.GetDataFilePath(L"temp.xml");
    EXPECT_EQ(path, HomePathW("My Papers/RSS Reader/temp.xml"));
    EXPECT_TRUE(fs::is_directory(HomePath("My Papers/RSS Reader")));
    EXPECT_EQ(setting.GetDefaultDir(), HomePathW("My Papers/RSS Reader"));

    // Filled in memory only; the next full write stores it.
    std::wstring stored;
    EXPECT_NE(SettingsKey().QueryStringValue(L"DefaultDir", stored), ERROR_SUCCESS);
    setting.SetShowHeader(0);
    SettingsKey().QueryStringValue(L"DefaultDir", stored);
    EXPECT_EQ(stored, HomePathW("My Papers/RSS Reader"));

    EXPECT_EQ(CSetting::GetDefaultDataFolder(L"/base"), L"/base/RSS Reader");
}

TEST_F(SettingTest, DestroyingTheInstanceWritesEveryValue)
{
    CSetting::Instance().SetNewItemSortOrder(CSetting::kSortDescending);
    CSetting::DestroyInstance();
    DWORD order = 0;
    ASSERT_EQ(SettingsKey().QueryDWORDValue(L"NewItemSortOrder", order), ERROR_SUCCESS);
    EXPECT_EQ(order, CSetting::kSortDescending);
}
