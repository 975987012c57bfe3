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

TEST_F(SettingTest, FirstStartIsManualAndNeverUpdated)
{
    CSetting& setting = CSetting::Instance();
    EXPECT_EQ(setting.GetLastUpdated(), CDateTime(0.0));
    EXPECT_FALSE(setting.IsUpdateDue()); // manual
    setting.SetUpdateMethod(CSetting::kUpdateAutomatic);
    EXPECT_TRUE(setting.IsUpdateDue()); // never updated: due at once
}

// The last entry of each list is still in it; past the end (or a list left
// without a selection) counts as the list's default entry, never as 0 hours
// or a handful of pages.
TEST_F(SettingTest, StoredIndexesAtAndPastTheEndOfTheLists)
{
    CSetting& setting = CSetting::Instance();
    for (const DWORD last : {4u, 77u, static_cast<DWORD>(-1)}) {
        setting.SetUpdateInterval(last);
        setting.SetNewItemCount(last);
        setting.SetMaxPages(last);
        setting.SetExpireAfter(last);
        setting.SetNewItemDays(last);
        const bool inList = last == 4;
        EXPECT_EQ(setting.GetUpdateIntervalHours(), inList ? 7 * 24 : kDefaultUpdateIntervalHours) << last;
        EXPECT_EQ(setting.GetNewItemCountValue(), inList ? 200 : kDefaultNewItemCount) << last;
        EXPECT_EQ(setting.GetPageLimit(), inList ? 200 : kDefaultPageLimit) << last;
        EXPECT_EQ(setting.GetExpireAfterDays(), inList ? 7 : 0) << last;
        EXPECT_EQ(setting.GetNewItemDaysValue(), inList ? 7 : 0) << last;
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
    EXPECT_EQ(key.QueryDWORDValue(L"NewItemSortType", value), ERROR_SUCCESS);
    EXPECT_EQ(value, static_cast<DWORD>(CSetting::kSortByTitle));
    std::wstring text;
    EXPECT_EQ(key.QueryStringValue(L"LastUpdated", text), ERROR_SUCCESS);
    EXPECT_EQ(text, L"1899-12-30 00:00:00") << "never updated";

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
