// The options sheet: its pages in order with their texts, the interval
// list's enabling rule, values stored as pages are left and read back from
// the registry file, LastUpdated restarted on closing, an out-of-range
// stored index, and a smaller page limit trimming the store afterwards.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QTabWidget>

#include "DialogTestSupport.h"
#include "content/FeedParser.h"
#include "platform/Clock.h"
#include "platform/Unicode.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "session/ReaderSession.h"
#include "update/FeedMerge.h"
#include "update/Setting.h"
#include "views/OptionsSheet.h"
#include "views/SearchAndOptions.h"

namespace {

class OptionsSheetTest : public CDialogTest {
protected:
    static QStringList Entries(const QComboBox* list)
    {
        QStringList entries;
        for (int i = 0; i < list->count(); ++i)
            entries << list->itemText(i);
        return entries;
    }
    static QString Label(const QWidget* page, int id) { return FindControl<QLabel>(page, id)->text(); }
};

} // namespace

TEST_F(OptionsSheetTest, FourPagesInOrderWithTheirTexts)
{
    COptionsSheet sheet(m_pFrame.get());
    RunScripted(sheet, [&] {
        EXPECT_EQ(sheet.Title(), QStringLiteral("Options"));
        QTabWidget* tabs = sheet.Tabs();
        ASSERT_EQ(tabs->count(), 4);
        EXPECT_EQ(tabs->tabText(0), QStringLiteral("General"));
        EXPECT_EQ(tabs->tabText(1), QStringLiteral("New Items"));
        EXPECT_EQ(tabs->tabText(2), QStringLiteral("Page"));
        EXPECT_EQ(tabs->tabText(3), QStringLiteral("Sync"));
        EXPECT_EQ(tabs->tabPosition(), QTabWidget::South);

        CGeneralPage* general = sheet.General();
        EXPECT_EQ(Label(general, IDC_METHOD_LABEL), QStringLiteral("Feed update method:"));
        EXPECT_TRUE(FindControl<QLabel>(general, IDC_METHOD_LABEL)->font().bold());
        EXPECT_FALSE(general->List1()->font().bold());
        EXPECT_EQ(Entries(general->List1()), (QStringList{"Automatic", "Manual"}));
        EXPECT_EQ(Entries(general->List2()), (QStringList{"1 hour", "6 hours", "12 hours", "1 day", "1 week"}));
        EXPECT_EQ(general->UpdateOnStartup()->text(), QStringLiteral("Update feeds on startup"));
        EXPECT_EQ(general->UpdateOnConnected()->text(), QStringLiteral("Update after desktop sync"));
        EXPECT_EQ(general->NotifyNewPages()->text(), QStringLiteral("Notify about new pages"));
        EXPECT_TRUE(general->NotifyNewPages()->isChecked()) << "on unless turned off";
        EXPECT_EQ(Label(sheet.NewItems(), IDC_NEW_ITEM_DAYS_LABEL), QStringLiteral("Setting up new item:"));
        EXPECT_EQ(Entries(sheet.NewItems()->List1()),
                  (QStringList{"Today only", "1 day ago", "2 days ago", "3 days ago", "1 week ago"}));
        EXPECT_EQ(Entries(sheet.NewItems()->List2()), (QStringList{"20", "30", "50", "100", "200"}));
        EXPECT_EQ(Label(sheet.Pages(), IDC_MAX_PAGES_LABEL), QStringLiteral("Delete automatically after these pages:"));
        EXPECT_EQ(Entries(sheet.Pages()->List1()), (QStringList{"Not available", "1 day", "2 days", "3 days", "1 week"}));
        // The defaults: Manual, 1 hour, 50 new items, 100 pages.
        EXPECT_EQ(general->List1()->currentIndex(), 1);
        EXPECT_EQ(sheet.NewItems()->List2()->currentText(), QStringLiteral("50"));
        EXPECT_EQ(sheet.Pages()->List2()->currentText(), QStringLiteral("100"));
    });
}

TEST_F(OptionsSheetTest, TheIntervalFollowsTheMethod)
{
    CSetting::Instance().SetUpdateMethod(CSetting::kUpdateManual);
    COptionsSheet sheet(m_pFrame.get());
    RunScripted(sheet, [&] {
        QComboBox* method = sheet.General()->List1();
        QComboBox* interval = sheet.General()->List2();
        EXPECT_FALSE(interval->isEnabled()) << "Manual opens with the interval greyed";
        method->setFocus();
        QTest::keyClick(method, Qt::Key_Up);
        EXPECT_EQ(method->currentText(), QStringLiteral("Automatic"));
        EXPECT_TRUE(interval->isEnabled());
        QTest::keyClick(method, Qt::Key_Down);
        EXPECT_FALSE(interval->isEnabled());
    });
}

TEST_F(OptionsSheetTest, EveryPageStoresWhenLeftAndTheValuesComeBackFromTheRegistryFile)
{
    const auto now = UtcTimePoint(2026, 12, 8, 9, 30);
    SetCurrentTimeForTesting(now);
    COptionsSheet sheet(m_pFrame.get());
    const int result = RunScripted(sheet, [&] {
        sheet.General()->List1()->setCurrentIndex(0);
        sheet.General()->List2()->setCurrentIndex(3);
        sheet.General()->UpdateOnStartup()->setChecked(true);
        sheet.General()->UpdateOnConnected()->setChecked(true);
        QTest::mouseClick(sheet.General()->NotifyNewPages(), Qt::LeftButton, {},
                          QPoint(5, sheet.General()->NotifyNewPages()->height() / 2));
        sheet.Tabs()->setCurrentIndex(1);
        EXPECT_EQ(CSetting::Instance().GetUpdateInterval(), 3U) << "stored as the page was left";
        EXPECT_EQ(CSetting::Instance().GetUpdateOnStartup(), 1U);
        sheet.NewItems()->List1()->setCurrentIndex(4);
        sheet.NewItems()->List2()->setCurrentIndex(0);
        sheet.Tabs()->setCurrentIndex(2);
        sheet.Pages()->List1()->setCurrentIndex(0);
        sheet.Pages()->List2()->setCurrentIndex(4);
        PressLeftKey(sheet);
    });
    EXPECT_EQ(result, ID_DONE);

    CSetting::DestroyInstance(); // written; the next use reads the file again
    const CSetting& setting = CSetting::Instance();
    EXPECT_EQ(setting.GetUpdateMethod(), CSetting::kUpdateAutomatic);
    EXPECT_EQ(setting.GetUpdateInterval(), 3U);
    EXPECT_EQ(setting.GetUpdateOnStartup(), 1U);
    EXPECT_EQ(setting.GetUpdateOnConnected(), 1U);
    EXPECT_EQ(setting.GetNotifyNewPages(), 0U);
    EXPECT_EQ(setting.GetNewItemDays(), 4U);
    EXPECT_EQ(setting.GetNewItemDaysValue(), 7);
    EXPECT_EQ(setting.GetNewItemCount(), 0U);
    EXPECT_EQ(setting.GetExpireAfter(), 0U);
    EXPECT_EQ(setting.GetMaxPages(), 4U);
    EXPECT_FALSE(setting.IsUpdateDue()) << "closing restarted the interval";
}

TEST_F(OptionsSheetTest, ClosingWithoutChangesRestartsLastUpdatedAndAStrayIndexSelectsNothing)
{
    CSetting::Instance().SetMaxPages(9);
    const CDateTime before = CSetting::Instance().GetLastUpdated();
    SetCurrentTimeForTesting(UtcTimePoint(2026, 12, 8, 10, 0));
    CTreeDialogs dialogs;
    InstallSearchAndOptions(dialogs);
    ScriptNextDialog([&](CFullScreenDialog& shown) {
        auto* sheet = qobject_cast<COptionsSheet*>(&shown);
        ASSERT_NE(sheet, nullptr);
        EXPECT_EQ(sheet->Pages()->List2()->currentIndex(), -1);
        sheet->Tabs()->setCurrentIndex(2);
        QTest::keyClick(sheet->Tabs(), Qt::Key_Escape);
    });
    dialogs.options(m_pFrame.get());
    EXPECT_GT(CSetting::Instance().GetLastUpdated().GetDays(), before.GetDays());
    EXPECT_EQ(CSetting::Instance().GetMaxPages(), 0xFFFFFFFFU) << "no selection stores -1";
    EXPECT_EQ(CSetting::Instance().GetPageLimit(), 100) << "which the page limit takes as the default";
}

TEST_F(OptionsSheetTest, ASmallerPageLimitTrimsTheStoreWhenTheSheetCloses)
{
    WriteHomeFile("data/RSSReader/default.opml",
                  "<opml version='1.0'><body><outline title='Busy' xmlUrl='http://busy.invalid/feed'/></body></opml>");
    CReaderSession session;
    session.Start();
    std::string items;
    for (int i = 0; i < 40; ++i)
        items += "<item><title>Item " + std::to_string(i) + "</title><link>http://busy.invalid/" + std::to_string(i) +
                 "</link><pubDate>Tue, 01 Dec 2026 " + std::to_string(10 + i / 60) + ":" +
                 (i % 60 < 10 ? "0" : "") + std::to_string(i % 60) + ":00 +0000</pubDate></item>";
    const std::wstring file = WriteHomeFile("busy.xml", "<rss version='2.0'><channel><title>Busy</title>" + items +
                                                            "</channel></rss>");
    const auto channel = ParseFeedFile(file);
    ASSERT_NE(channel, nullptr);
    FeedRecord record;
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    ASSERT_TRUE(feeds.ReadFeed(record, feeds.FindFeedByUrl(L"http://busy.invalid/feed")));
    ASSERT_EQ(MergeChannelPages(*channel, record.feedId, 100).written, 40);

    COptionsSheet sheet(m_pFrame.get());
    RunScripted(sheet, [&] {
        sheet.Tabs()->setCurrentIndex(2);
        sheet.Pages()->List2()->setCurrentIndex(0); // "20"
        PressLeftKey(sheet);
    });
    session.AfterOptions(); // as the tree does after the sheet
    std::vector<PageRecord> pages;
    ASSERT_TRUE(CZelviaRssItemDB::Instance().ReadFeedPages(record.feedId, pages));
    EXPECT_EQ(pages.size(), 20U);
    session.Shutdown();
}
