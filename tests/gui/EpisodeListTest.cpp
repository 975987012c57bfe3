// The item lists as the user meets them, over a store filled by real
// updates from the loopback server: rows, dates and images, sorting and
// filtering kept where they belong, marking and deleting without losing the
// place, stepping between feeds, opening pages and tapping links.

#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "ListViewTestSupport.h"
#include "StoreTestSupport.h"
#include "app/MessageBox.h"
#include "update/Setting.h"
#include "views/DescriptionView.h"
#include "views/EpisodeListDlg.h"
#include "views/NewEpisodeListDlg.h"
#include "views/ReportList.h"
#include "views/ResText.h"
#include "views/ResourceMenu.h"
#include "views/SoftKeyBar.h"

namespace {

const std::string kToday = "Tue, 08 Dec 2026 10:05:00 +0000";

class EpisodeListTest : public CListViewTest {
protected:
    void SetUp() override
    {
        CListViewTest::SetUp();
        m_server.SetAnswer(
            "/a.xml",
            CHttpAnswer::Ok(RssDocument(
                "A",
                RssItem("beta", "http://x.org/beta", kToday,
                        "<p>Beta <a href=\"http://example.org/elsewhere\">elsewhere</a> "
                        "<a href=\"file:///etc/passwd\">local</a> <a href=\"javascript:alert(1)\">script</a></p>") +
                    RssItem("Alpha", "http://x.org/alpha", kToday, "Alpha text") +
                    RssItem("gamma", "http://x.org/gamma", "Mon, 07 Dec 2026 09:00:00 +0000", "Gamma text") +
                    RssItem("Episode", "", "Sun, 06 Dec 2026 09:00:00 +0000", "Listen", "http://x.org/ep.mp3") +
                    RssItem("Undated", "http://x.org/undated", "", "No date"))));
        m_server.SetAnswer("/b.xml", CHttpAnswer::Ok(RssDocument("B", RssItem("b one", "http://x.org/b1", kToday))));
        StartSession("<outline title='A' xmlUrl='@/a.xml'/>"
                     "<outline title='Folder'><outline title='C' xmlUrl='@/c.xml'/></outline>"
                     "<outline title='B' xmlUrl='@/b.xml'/>"
                     "<outline title='Empty folder'/>");
        UpdateAll();
        m_feedA = m_session.Document().outlines[0].get();
        m_feedB = m_session.Document().outlines[2].get();
    }

    std::unique_ptr<CEpisodeListDlg> Open(COutline* feed, CRunUpdate update = {})
    {
        return std::make_unique<CEpisodeListDlg>(m_pFrame.get(), m_session, TopLevel(), feed, std::move(update));
    }

    static QStringList Titles(const CReportList* list)
    {
        QStringList titles;
        for (int row = 0; row < list->GetItemCount(); ++row)
            titles << list->ItemText(row, 0);
        return titles;
    }

    // Opens the soft key's Menu popup and its submenus, letting the dialog
    // apply its rules, and gives the action of the command.
    static QAction* MenuEntry(CPageListDlg& dialog, int command)
    {
        QMenu* menu = dialog.SoftKeys()->KeyMenu(CSoftKeyBar::kRight);
        std::function<void(QMenu*)> prepare = [&](QMenu* popup) {
            emit dialog.SoftKeys()->popupAboutToShow(popup);
            for (QAction* action : popup->actions()) {
                if (action->menu() != nullptr)
                    prepare(action->menu());
            }
        };
        prepare(menu);
        return FindMenuCommand(menu, command);
    }

    static void Key(QWidget* widget, Qt::Key key)
    {
        QTest::keyClick(widget, key);
        QTest::qWait(0);
    }

    COutline* m_feedA = nullptr;
    COutline* m_feedB = nullptr;
};

} // namespace

TEST_F(EpisodeListTest, AFeedListShowsItsPagesNewestFirstWithDatesAndStateImages)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    auto dialog = Open(m_feedA);
    RunScripted(*dialog, [&] {
        CReportList* list = FindControl<CReportList>(dialog.get(), IDC_EPISODE_LIST);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(dialog->Title(), QStringLiteral("A"));
        EXPECT_EQ(Titles(list), QStringList({"Alpha", "beta", "gamma", "Episode", "Undated"}))
            << "equal dates, descending: the alphabetically earlier first; the undated page last";
        EXPECT_EQ(list->ItemText(0, 1), QStringLiteral("10:05 AM")) << "today: the time in the user's locale";
        EXPECT_EQ(list->ItemText(2, 1), QStringLiteral("07/12/26"));
        EXPECT_EQ(list->ItemText(4, 1), QString()) << "no date, no text";
        for (int row = 0; row < list->GetItemCount(); ++row)
            EXPECT_EQ(list->ItemImage(row), 0) << "unread";
        EXPECT_EQ(list->headerItem()->text(0), ResString(IDS_HEADLINE));
        EXPECT_EQ(list->headerItem()->text(1), ResString(IDS_DATE));
        EXPECT_EQ(list->columnWidth(1), list->fontMetrics().horizontalAdvance(QStringLiteral("00:00 AM")) + 5);
        EXPECT_EQ(list->columnWidth(0) + list->columnWidth(1), list->viewport()->width());
        EXPECT_EQ(list->font().pointSize(), 9);
        EXPECT_EQ(list->GetSelectedRow(), 0);
        EXPECT_EQ(dialog->Pane()->Html(), CDescriptionView::PageDocument(QStringLiteral("Alpha text")));
        EXPECT_GT(dialog->Pane()->y(), list->y() + list->height() - 2) << "the pane lies below the list";

        // Sorting by title, ascending, is the feed's own choice from now on.
        dialog->PostCommand(ID_SORT_TITLE);
        dialog->PostCommand(ID_SORT_ASCENDING);
        QTest::qWait(0);
        EXPECT_EQ(Titles(list), QStringList({"Alpha", "beta", "Episode", "gamma", "Undated"}));
        EXPECT_TRUE(MenuEntry(*dialog, ID_SORT_TITLE)->isChecked());
        EXPECT_TRUE(MenuEntry(*dialog, ID_SORT_ASCENDING)->isChecked());
        EXPECT_FALSE(MenuEntry(*dialog, ID_SORT_DATE)->isChecked());
    });
    QLocale::setDefault(QLocale::c());
    const FeedRecord stored = StoredFeed(m_feedA->xmlUrl);
    EXPECT_EQ(stored.sortField, kFeedSortByTitle);
    EXPECT_EQ(stored.sortOrder, kFeedSortAscending);
    EXPECT_EQ(stored.unreadCount, 5) << "the counters are left as they were";

    auto again = Open(m_feedA);
    RunScripted(*again, [&] {
        EXPECT_EQ(Titles(again->List()).front(), QStringLiteral("Alpha"));
        EXPECT_EQ(Titles(again->List())[2], QStringLiteral("Episode"));
    });
}

TEST_F(EpisodeListTest, FiltersHidePagesAndMarkAndDeleteKeepThePlaceAcrossAnUpdate)
{
    std::vector<COutline*> updated;
    auto dialog = Open(m_feedA, [&](std::vector<COutline*> feeds) {
        updated = feeds;
        RunUpdate(feeds);
    });
    RunScripted(*dialog, [&] {
        CReportList* list = dialog->List();
        dialog->PostCommand(ID_FILTER_TODAY);
        QTest::qWait(0);
        EXPECT_EQ(Titles(list), QStringList({"Alpha", "beta"}));
        dialog->PostCommand(ID_FILTER_READ);
        QTest::qWait(0);
        EXPECT_EQ(list->GetItemCount(), 0);
        EXPECT_TRUE(list->EmptyText().contains(ResString(IDS_NO_ITEMS)));
        EXPECT_TRUE(list->EmptyText().contains(ResString(IDS_CHECK_FILTER))) << "pages exist, the filter hides them";
        EXPECT_FALSE(MenuEntry(*dialog, ID_PAGE_MARK_READ)->isEnabled());
        EXPECT_FALSE(MenuEntry(*dialog, ID_DELETE_PAGE)->isEnabled());
        EXPECT_TRUE(MenuEntry(*dialog, ID_FILTER_READ)->isChecked());
        dialog->PostCommand(ID_FILTER_ALL);
        QTest::qWait(0);
        ASSERT_EQ(list->GetItemCount(), 5);

        list->SelectRow(1);
        EXPECT_FALSE(MenuEntry(*dialog, ID_PAGE_MARK_UNREAD)->isEnabled()) << "an unread page";
        dialog->PostCommand(ID_PAGE_MARK_READ);
        QTest::qWait(0);
        EXPECT_EQ(list->GetSelectedRow(), 1) << "the selection stays";
        EXPECT_EQ(list->ItemImage(1), 1);
        EXPECT_FALSE(MenuEntry(*dialog, ID_PAGE_MARK_READ)->isEnabled());
        EXPECT_TRUE(MenuEntry(*dialog, ID_PAGE_MARK_UNREAD)->isEnabled());
        EXPECT_EQ(StoredFeed(m_feedA->xmlUrl).unreadCount, 4);

        list->SelectRow(4);
        dialog->PostCommand(ID_DELETE_PAGE);
        QTest::qWait(0);
        EXPECT_EQ(Titles(list), QStringList({"Alpha", "beta", "gamma", "Episode"}));
        EXPECT_EQ(list->GetSelectedRow(), 3) << "the new last row";
        EXPECT_EQ(StoredFeed(m_feedA->xmlUrl).pageCount, 4);

        // The feed still carries the deleted page: the update brings it not back.
        dialog->SoftKeys()->PressKey(CSoftKeyBar::kLeft);
        QTest::qWait(0);
        EXPECT_EQ(updated, std::vector<COutline*>{m_feedA});
        EXPECT_EQ(Titles(list), QStringList({"Alpha", "beta", "gamma", "Episode"}));
        EXPECT_EQ(list->ItemImage(1), 1) << "read stays read";
        EXPECT_FALSE(m_session.IsUpdateLocked());
    });
    EXPECT_EQ(m_server.Hits("/a.xml"), 2);
    EXPECT_EQ(StoredFeed(m_feedA->xmlUrl).viewFilter, kFeedViewAll);
    EXPECT_EQ(StoredFeed(m_feedA->xmlUrl).unreadCount, 3);

    // While the tree holds the lock, Update does nothing.
    ASSERT_TRUE(m_session.UpdateLock());
    updated.clear();
    auto locked = Open(m_feedA, [&](std::vector<COutline*> feeds) { updated = feeds; });
    RunScripted(*locked, [&] { locked->UpdateFeed(); });
    EXPECT_TRUE(updated.empty());
    m_session.UpdateUnlock();

    auto noUpdate = Open(m_feedA);
    RunScripted(*noUpdate, [&] { EXPECT_FALSE(noUpdate->SoftKeys()->IsKeyEnabled(CSoftKeyBar::kLeft)); });
}

TEST_F(EpisodeListTest, PreviousAndNextFeedPassOverFoldersAndGreyAtTheEnds)
{
    auto dialog = Open(m_feedA);
    RunScripted(*dialog, [&] {
        EXPECT_FALSE(MenuEntry(*dialog, ID_PREVIOUS_FEED)->isEnabled());
        EXPECT_TRUE(MenuEntry(*dialog, ID_NEXT_FEED)->isEnabled());
        dialog->PostCommand(ID_NEXT_FEED);
        QTest::qWait(0);
        EXPECT_EQ(dialog->CurrentFeed(), m_feedB) << "the folder is passed over";
        EXPECT_EQ(dialog->Title(), QStringLiteral("B"));
        EXPECT_EQ(Titles(dialog->List()), QStringList({"b one"}));
        EXPECT_FALSE(MenuEntry(*dialog, ID_NEXT_FEED)->isEnabled()) << "only a folder follows";
        EXPECT_FALSE(dialog->StepFeed(1));
        EXPECT_EQ(dialog->CurrentFeed(), m_feedB);
        dialog->PostCommand(ID_PREVIOUS_FEED);
        QTest::qWait(0);
        EXPECT_EQ(dialog->CurrentFeed(), m_feedA);
        EXPECT_EQ(dialog->List()->GetItemCount(), 5);
    });

    // A feed whose record is gone: an empty list, and nothing to mark.
    CZelviaRssDB::Instance().DeleteFeed(m_feedB->xmlUrl);
    auto missing = Open(m_feedB);
    RunScripted(*missing, [&] {
        EXPECT_EQ(missing->List()->GetItemCount(), 0);
        EXPECT_EQ(missing->List()->EmptyText(), ResString(IDS_NO_ITEMS));
        EXPECT_FALSE(MenuEntry(*missing, ID_PAGE_MARK_UNREAD)->isEnabled());
    });

    COutline stranger;
    auto notInLevel = Open(&stranger);
    EXPECT_EQ(notInLevel->DoModal(), IDCANCEL);
}

TEST_F(EpisodeListTest, OpeningAPageHandsItsLinkOrEnclosureToTheBrowserAndMarksItRead)
{
    auto dialog = Open(m_feedA);
    RunScripted(*dialog, [&] {
        CReportList* list = dialog->List();
        list->setFocus();
        Key(list, Qt::Key_Return);
        EXPECT_EQ(m_opened, std::vector<std::wstring>{L"http://x.org/alpha"});
        EXPECT_EQ(list->ItemImage(0), 1);
        emit list->itemDoubleClicked(list->topLevelItem(1), 0);
        QTest::qWait(0);
        EXPECT_EQ(m_opened.back(), L"http://x.org/beta") << "a double tap opens the row";
        EXPECT_EQ(list->ItemImage(1), 1);
        const int episode = static_cast<int>(Titles(list).indexOf("Episode"));
        list->SelectRow(episode);
        Key(list, Qt::Key_Enter);
        EXPECT_EQ(m_opened.back(), L"http://x.org/ep.mp3") << "no link: the enclosure";
        EXPECT_EQ(list->ItemImage(episode), 1);
    });
    EXPECT_EQ(StoredFeed(m_feedA->xmlUrl).unreadCount, 2);
}

TEST_F(EpisodeListTest, APageWhoseLinkCannotOpenStaysUnreadAndTheUserIsTold)
{
    SetShellOpenerForTesting([](const std::wstring&) { return false; }); // no opener could start
    CMessageBoxScript boxes;
    const auto unread = StoredFeed(m_feedA->xmlUrl).unreadCount;
    auto dialog = Open(m_feedA);
    RunScripted(*dialog, [&] {
        CReportList* list = dialog->List();
        list->setFocus();
        Key(list, Qt::Key_Return);
        EXPECT_EQ(list->ItemImage(0), 0);
    });
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, QStringLiteral("Unable to open the link:\n\"http://x.org/alpha\""));
    EXPECT_EQ(StoredFeed(m_feedA->xmlUrl).unreadCount, unread);
}

TEST_F(EpisodeListTest, LinkTapsMarkTheSelectedPageReadAndOnlyWebLinksLeave)
{
    CMessageBoxScript boxes;
    auto dialog = Open(m_feedA);
    RunScripted(*dialog, [&] {
        CReportList* list = dialog->List();
        list->SelectRow(static_cast<int>(Titles(list).indexOf("beta")));
        CDescriptionView* pane = dialog->Pane();
        QTest::qWait(0);
        const QString document = pane->Html();
        auto tap = [&](const QString& text) {
            QTextCursor found = pane->document()->find(text);
            ASSERT_FALSE(found.isNull()) << text.toStdString();
            found.setPosition(found.selectionStart() + 1);
            const QPoint point = pane->cursorRect(found).center();
            QTest::mouseClick(pane->viewport(), Qt::LeftButton, {}, point);
            QTest::qWait(0);
        };
        tap(QStringLiteral("local"));
        tap(QStringLiteral("script"));
        EXPECT_TRUE(m_opened.empty()) << "file: and javascript: targets are refused";
        ASSERT_EQ(boxes.Shown().size(), 2u);
        EXPECT_EQ(boxes.Shown()[1].text, QStringLiteral("Unable to open the link:\n\"javascript:alert(1)\""));
        EXPECT_EQ(list->ItemImage(list->GetSelectedRow()), 0) << "what did not open is not read";
        tap(QStringLiteral("elsewhere"));
        EXPECT_EQ(m_opened, std::vector<std::wstring>{L"http://example.org/elsewhere"});
        const int row = list->GetSelectedRow();
        EXPECT_EQ(list->ItemText(row, 0), QStringLiteral("beta")) << "the selection stays on the page";
        EXPECT_EQ(list->ItemImage(row), 1) << "the page is marked read though the link leads elsewhere";
        EXPECT_EQ(pane->Html(), document) << "the pane never navigates";
        EXPECT_TRUE(pane->source().isEmpty());
    });
}

TEST_F(EpisodeListTest, ThePaneIsBlueWhileItHasTheFocusAndTheSameRowIsNotReloaded)
{
    auto dialog = Open(m_feedA);
    RunScripted(*dialog, [&] {
        CReportList* list = dialog->List();
        CDescriptionView* pane = dialog->Pane();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog->window()));
        // What the user sees near the pane's lower corner.
        auto colour = [&] {
            const QPoint corner = pane->viewport()->mapTo(dialog->window(), QPoint(pane->viewport()->width() - 4,
                                                                                   pane->viewport()->height() - 4));
            const QImage shot = dialog->window()->grab().toImage();
            return shot.pixelColor(corner * shot.devicePixelRatio());
        };
        list->setFocus();
        QTest::qWait(0);
        EXPECT_EQ(colour(), CDescriptionView::GreyColour());
        Key(list, Qt::Key_Right);
        EXPECT_TRUE(pane->hasFocus());
        EXPECT_EQ(colour(), CDescriptionView::FocusColour());
        Key(pane, Qt::Key_Left);
        EXPECT_TRUE(list->hasFocus());
        EXPECT_EQ(colour(), CDescriptionView::GreyColour());

        const int loads = pane->DocumentCount();
        Key(list, Qt::Key_Down);
        EXPECT_EQ(pane->DocumentCount(), loads + 1);
        EXPECT_EQ(pane->Html(), CDescriptionView::PageDocument(ToQString(dialog->PageOfRow(1)->description)));
        list->SelectRow(1);
        dialog->FillList(1);
        dialog->ShowDescription(1);
        EXPECT_EQ(pane->DocumentCount(), loads + 1) << "the same page is not put in again";

        // Hidden, the pane keeps its document; shown again, it follows the list.
        dialog->PostCommand(ID_VIEW_DESCRIPTION);
        QTest::qWait(0);
        EXPECT_FALSE(pane->isVisible());
        EXPECT_EQ(list->height(), list->parentWidget()->height() + 2) << "the list takes the whole client area";
        list->SelectRow(2);
        dialog->PostCommand(ID_VIEW_DESCRIPTION);
        QTest::qWait(0);
        EXPECT_TRUE(pane->isVisible());
        EXPECT_EQ(pane->Html(), CDescriptionView::PageDocument(ToQString(dialog->PageOfRow(2)->description)));
        dialog->PostCommand(ID_VIEW_HEADER);
        QTest::qWait(0);
        EXPECT_FALSE(list->IsHeaderShown());
    });
    EXPECT_EQ(CSetting::Instance().GetShowHeader(), 0u);
    EXPECT_EQ(CSetting::Instance().GetShowDescription(), 1u);
}

TEST_F(EpisodeListTest, TheNewListTakesTheNewestUnreadPagesAndKeepsReadOnesUntilRefresh)
{
    std::string items;
    for (int i = 0; i < 30; ++i)
        items += RssItem("New " + std::to_string(100 + i), "http://x.org/n" + std::to_string(i),
                         "Tue, 08 Dec 2026 0" + std::to_string(i / 10) + ":" + std::to_string(10 + i) + ":00 +0000");
    m_server.SetAnswer("/b.xml", CHttpAnswer::Ok(RssDocument("B", items)));
    UpdateAll();
    CSetting::Instance().SetNewItemDays(0);  // today only
    CSetting::Instance().SetNewItemCount(0); // 20
    CSetting::Instance().SetNewItemSortType(CSetting::kSortByDate);
    CSetting::Instance().SetNewItemSortOrder(CSetting::kSortAscending);

    CNewEpisodeListDlg dialog(m_pFrame.get());
    RunScripted(dialog, [&] {
        ASSERT_TRUE(WaitFor([&] { return dialog.IsLoaded(); }));
        CReportList* list = dialog.List();
        // 33 unread pages today (31 of B, Alpha and beta of A): the 20 newest.
        ASSERT_EQ(list->GetItemCount(), 20);
        EXPECT_EQ(list->ItemText(0, 0), QStringLiteral("New 113")) << "ascending: the oldest of the 20 first";
        EXPECT_EQ(list->ItemText(17, 0), QStringLiteral("beta")) << "equal dates: the alphabetically later first";
        EXPECT_EQ(list->ItemText(18, 0), QStringLiteral("b one"));
        EXPECT_EQ(list->ItemText(19, 0), QStringLiteral("Alpha"));
        EXPECT_TRUE(dialog.SoftKeys()->IsKeyEnabled(CSoftKeyBar::kLeft));
        EXPECT_EQ(FindMenuCommand(dialog.SoftKeys()->KeyMenu(CSoftKeyBar::kRight), ID_FILTER_ALL), nullptr);

        list->SelectRow(0);
        dialog.PostCommand(ID_PAGE_MARK_READ);
        QTest::qWait(0);
        EXPECT_EQ(list->ItemText(0, 0), QStringLiteral("New 113")) << "read, and still listed";
        EXPECT_EQ(list->ItemImage(0), 1);
        list->SelectRow(1);
        dialog.PostCommand(ID_DELETE_PAGE);
        QTest::qWait(0);
        EXPECT_EQ(list->GetItemCount(), 19) << "deleted: gone at once";
        EXPECT_EQ(list->GetSelectedRow(), 1);

        dialog.PostCommand(ID_REFRESH);
        QTest::qWait(0);
        ASSERT_TRUE(WaitFor([&] { return dialog.SoftKeys()->IsKeyEnabled(CSoftKeyBar::kLeft); }));
        EXPECT_EQ(list->GetItemCount(), 20);
        EXPECT_EQ(list->ItemText(0, 0), QStringLiteral("New 111")) << "two older pages come in for the two gone";

        dialog.PostCommand(ID_SORT_TITLE);
        dialog.PostCommand(ID_SORT_DESCENDING);
        QTest::qWait(0);
        EXPECT_EQ(list->ItemText(0, 0), QStringLiteral("New 129"));
        EXPECT_EQ(list->ItemText(1, 0), QStringLiteral("New 128"));
    });
    EXPECT_EQ(CSetting::Instance().GetNewItemSortType(), CSetting::kSortByTitle);
    EXPECT_EQ(CSetting::Instance().GetNewItemSortOrder(), CSetting::kSortDescending);
}
