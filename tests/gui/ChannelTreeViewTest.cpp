// The channel tree in the real window: the first start without
// subscriptions, a stored tree with its labels and icons, the keys, the
// menus and their greying, Delete and Mark on folders, and a language file.

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>

#include "ReaderWindowTestSupport.h"
#include "views/NewSubscriptionDlg.h"
#include "views/ReportList.h"
#include "views/ResourceMenu.h"
#include "app/MessageBox.h"

namespace {

class ChannelTreeViewTest : public CReaderWindowTest {
protected:
    // F (A: 3 unread, record title "Alpha Record"; B: all read), H (D, no
    // pages), E (empty folder), C (last update failed, 2 unread).
    void WriteStoredTree()
    {
        WriteTree("<outline title=\"F\">" + FeedOutline("A", "/a") + FeedOutline("B", "/b") + "</outline>" +
                  "<outline text=\"H\">" + FeedOutline("D", "/d") + "</outline>" + "<outline title=\"E\"/>" +
                  FeedOutline("C", "/c"));
        const CDateTime day = CDateTime::GetCurrentTime();
        const FeedRecord a = StoreFeed(Url("/a"), L"Alpha Record");
        for (int page = 0; page < 3; ++page)
            StorePage(a.feedId, L"http://x/a" + std::to_wstring(page), day);
        const FeedRecord b = StoreFeed(Url("/b"), L"B");
        StorePage(b.feedId, L"http://x/b", day, PageStateRead);
        FeedRecord c = StoreFeed(Url("/c"), L"C");
        StorePage(c.feedId, L"http://x/c0", day);
        StorePage(c.feedId, L"http://x/c1", day);
        c.updateStatus = kFeedStatusFailed;
        CZelviaRssDB::Instance().WriteFeed(c, CZelviaRssDB::Instance().FindFeedByUrl(Url("/c")));
    }
    std::wstring Url(const std::string& path) const { return Utf8ToWide(FeedUrl(path)); }

    // Opens the soft key "Menu" and returns it, greyed as the rules say.
    QMenu* OpenMenu()
    {
        Keys()->PressKey(CSoftKeyBar::kRight);
        QMenu* menu = Keys()->KeyMenu(CSoftKeyBar::kRight);
        EXPECT_TRUE(WaitFor([&] { return menu->isVisible(); }));
        return menu;
    }
    static bool Enabled(QMenu* menu, int command)
    {
        const QAction* action = FindMenuCommand(menu, command);
        EXPECT_NE(action, nullptr) << command;
        return action != nullptr && action->isEnabled();
    }
};

} // namespace

TEST_F(ChannelTreeViewTest, AFirstStartWithoutSubscriptionsPromptsUntilCancelledAndShowsTheEmptyText)
{
    WriteTree("");
    int addFeedShown = 0;
    CTreeDialogs dialogs;
    dialogs.addFeed = [&](QWidget*, CReaderSession&) {
        ++addFeedShown;
        return std::optional<CTreeDialogs::CAddedFeed>(); // the user backs out
    };
    QStringList rowsSeen;
    QList<bool> rowsEnabled;
    CPilot pilot;
    pilot
        .Then(OnDialog<CNewSubscriptionDlg>([&](CNewSubscriptionDlg& prompt) {
            for (int row = 0; row < prompt.List()->GetItemCount(); ++row) {
                rowsSeen << prompt.List()->ItemText(row, 0);
                rowsEnabled << ((prompt.List()->topLevelItem(row)->flags() & Qt::ItemIsEnabled) != 0);
            }
            EXPECT_EQ(prompt.Title(), QStringLiteral("New Subscription"));
            EXPECT_EQ(prompt.List()->GetSelectedRow(), 0);
            QTest::keyClick(prompt.List(), Qt::Key_Return); // a double tap or Enter: Done
        }))
        .Then(OnDialog<CNewSubscriptionDlg>([&](CNewSubscriptionDlg& prompt) {
            EXPECT_EQ(addFeedShown, 1) << "Enter URL ran between the two prompts";
            prompt.SoftKeys()->PressKey(CSoftKeyBar::kRight); // Cancel
        }));
    StartReader(std::move(dialogs));

    EXPECT_TRUE(pilot.IsDone()) << "the prompt came back after Enter URL added nothing";
    EXPECT_EQ(rowsSeen, (QStringList{QStringLiteral("Enter feed URL"), QStringLiteral("Online Search"),
                                     QStringLiteral("Select OPML file"), QStringLiteral("Enter OPML URL")}));
    EXPECT_EQ(rowsEnabled, (QList<bool>{true, false, false, false})) << "windows not in this build are greyed";
    EXPECT_EQ(Tree()->model()->rowCount(), 0);
    EXPECT_EQ(Tree()->EmptyText(), QStringLiteral("Click \"New Subscription\" \nto create new feed."));
    EXPECT_TRUE(Tree()->EmptyTextFont().bold());
    EXPECT_EQ(Tree()->EmptyTextFont().pointSize(), 12);
    EXPECT_FALSE(Keys()->IsKeyEnabled(CSoftKeyBar::kLeft)) << "\"New\" needs a subscription";
    EXPECT_TRUE(Keys()->IsKeyEnabled(CSoftKeyBar::kRight));

    // The prompt runs once a run: the empty tree stays until the user acts.
    QMenu* menu = OpenMenu();
    for (int command : {ID_MOVE, ID_DELETE, ID_EXPORT, ID_MARK_READ, ID_MARK_UNREAD, ID_UPDATE, ID_UPDATE_ALL})
        EXPECT_FALSE(Enabled(menu, command)) << command;
    EXPECT_TRUE(Enabled(menu, ID_ENTER_URL));
    EXPECT_TRUE(Enabled(menu, ID_APP_EXIT));
    menu->hide();
}

TEST_F(ChannelTreeViewTest, APromptAnsweredWithAFeedEndsWithItsEntryAndSavesIt)
{
    WriteTree("");
    CTreeDialogs dialogs;
    dialogs.addFeed = [&](QWidget*, CReaderSession&) {
        CTreeDialogs::CAddedFeed added;
        added.feed = std::make_unique<COutline>();
        added.feed->title = L"Fresh";
        added.feed->xmlUrl = Url("/fresh");
        return std::optional<CTreeDialogs::CAddedFeed>(std::move(added));
    };
    dialogs.newItems = [](QWidget*, CReaderSession&) {};
    CPilot pilot;
    pilot.Then(OnDialog<CNewSubscriptionDlg>([](CNewSubscriptionDlg& prompt) { prompt.PostCommand(ID_DONE); }));
    StartReader(std::move(dialogs));
    EXPECT_EQ(Shape(), "Fresh");
    EXPECT_EQ(SavedShape(), "Fresh");
    EXPECT_EQ(StoredFeed(Url("/fresh")).title, L"Fresh") << "its record was made";
    EXPECT_TRUE(Keys()->IsKeyEnabled(CSoftKeyBar::kLeft));
}

TEST_F(ChannelTreeViewTest, AStoredTreeShowsRecordTitlesCountsAndIconsWithTopFoldersOpen)
{
    WriteStoredTree();
    StartReader();
    EXPECT_EQ(Shape(), "F[Alpha Record (3) B] H[D] E C (2)");
    EXPECT_EQ(CChannelTreeView::IconOf(Entry("F")), kTreeIconFolderOpen);
    EXPECT_EQ(CChannelTreeView::IconOf(Entry("Alpha Record")), kTreeIconUnread);
    EXPECT_EQ(CChannelTreeView::IconOf(Entry("B")), kTreeIconRead);
    EXPECT_EQ(CChannelTreeView::IconOf(Entry("E")), kTreeIconFolderClosed) << "nothing to open";
    EXPECT_EQ(CChannelTreeView::IconOf(Entry("C")), kTreeIconFailed) << "failed, whatever the count";
    EXPECT_EQ(Tree()->currentIndex(), Entry("F")) << "the first entry is selected";
    EXPECT_EQ(Frame().Title(), QStringLiteral("RSS Reader"));
    EXPECT_EQ(Tree()->font().pointSize(), 9);
    EXPECT_FALSE(Keys()->IsKeyEnabled(CSoftKeyBar::kLeft)) << "\"New\" waits for its window";
    EXPECT_EQ(Tree()->geometry().height(), View().height() - 26) << "the strip below the tree";
}

TEST_F(ChannelTreeViewTest, KeysTypedDuringStartUpAreDroppedAndLeftRightNeverFoldEntries)
{
    WriteStoredTree();
    m_pApp = std::make_unique<CReaderApp>();
    m_pApp->Create();
    Frame().show();
    // Queued behind the start-up command, as keys typed while it runs are.
    for (int press = 0; press < 3; ++press) {
        QCoreApplication::postEvent(Tree(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier));
        QCoreApplication::postEvent(Tree(), new QKeyEvent(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier));
    }
    ASSERT_TRUE(WaitFor([&] { return View().IsInitialised(); }));
    QTest::qWait(CChannelTreeView::kStartupKeyGraceMs + 100);
    EXPECT_EQ(Tree()->currentIndex(), Entry("F")) << "no key moved the selection";

    PressKey(Qt::Key_Down);
    EXPECT_EQ(Tree()->currentIndex(), Entry("Alpha Record"));
    // A tree wider than the window: Left and Right scroll, nothing folds.
    Tree()->resize(60, Tree()->height());
    QTest::qWait(50);
    SelectEntry("F");
    PressKey(Qt::Key_Right);
    EXPECT_GT(Tree()->horizontalScrollBar()->value(), 0);
    PressKey(Qt::Key_Left);
    PressKey(Qt::Key_Left);
    EXPECT_EQ(Tree()->horizontalScrollBar()->value(), 0);
    EXPECT_TRUE(Tree()->isExpanded(Entry("F")));

    // Enter folds and unfolds a folder, and its icon follows.
    PressKey(Qt::Key_Return);
    EXPECT_FALSE(Tree()->isExpanded(Entry("F")));
    EXPECT_EQ(CChannelTreeView::IconOf(Entry("F")), kTreeIconFolderClosed);
    PressKey(Qt::Key_Return);
    EXPECT_TRUE(Tree()->isExpanded(Entry("F")));
    EXPECT_EQ(CChannelTreeView::IconOf(Entry("F")), kTreeIconFolderOpen);
}

TEST_F(ChannelTreeViewTest, MenusGreyWhatTheSelectionCannotDoAndWhatHasNoWindowYet)
{
    WriteStoredTree();
    CTreeDialogs dialogs;
    dialogs.rename = [](QWidget*, CReaderSession&, COutline&) { return std::optional<std::wstring>(); };
    dialogs.properties = [](QWidget*, const std::vector<CPropertyRow>&) {};
    StartReader(std::move(dialogs));

    SelectEntry("F");
    QMenu* menu = OpenMenu();
    EXPECT_FALSE(Enabled(menu, ID_PROPERTIES)) << "a folder has none";
    EXPECT_TRUE(Enabled(menu, ID_MARK_READ));
    EXPECT_TRUE(Enabled(menu, ID_MARK_UNREAD));
    EXPECT_TRUE(Enabled(menu, ID_RENAME));
    EXPECT_TRUE(Enabled(menu, ID_MOVE));
    EXPECT_TRUE(Enabled(menu, ID_UPDATE_ALL));
    for (int command : {ID_ENTER_URL, ID_ONLINE_SEARCH, ID_NEW_FOLDER, ID_IMPORT, ID_EXPORT, ID_OPTIONS, ID_APP_ABOUT})
        EXPECT_FALSE(Enabled(menu, command)) << command << ": its window is not in this build";
    menu->hide();

    SelectEntry("Alpha Record"); // every page unread
    menu = OpenMenu();
    EXPECT_TRUE(Enabled(menu, ID_PROPERTIES));
    EXPECT_FALSE(Enabled(menu, ID_MARK_UNREAD));
    EXPECT_TRUE(Enabled(menu, ID_MARK_READ));
    menu->hide();

    SelectEntry("B"); // every page read
    menu = OpenMenu();
    EXPECT_TRUE(Enabled(menu, ID_MARK_UNREAD));
    EXPECT_FALSE(Enabled(menu, ID_MARK_READ));
    menu->hide();

    // The context menu follows the same rules, at the held entry.
    SelectEntry("D");
    QMenu* context = nullptr;
    bool markReadEnabled = true;
    QTimer::singleShot(50, [&] {
        context = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (context == nullptr)
            return;
        markReadEnabled = Enabled(context, ID_MARK_READ);
        context->close();
    });
    const QRect entry = Tree()->visualRect(Entry("D"));
    QContextMenuEvent hold(QContextMenuEvent::Mouse, entry.center(), Tree()->viewport()->mapToGlobal(entry.center()));
    QCoreApplication::sendEvent(Tree()->viewport(), &hold);
    ASSERT_NE(context, nullptr) << "no context menu";
    EXPECT_FALSE(markReadEnabled) << "a feed without pages has nothing to mark";
}

TEST_F(ChannelTreeViewTest, DeletingAFolderAsksThenTakesItsFeedsAndPagesAndSaves)
{
    WriteStoredTree();
    StartReader();
    const std::uint32_t alpha = StoredFeed(Url("/a")).feedId;
    SelectEntry("F");
    {
        CMessageBoxScript answers(IDNO);
        View().OnCommand(ID_DELETE);
        ASSERT_EQ(answers.Shown().size(), 1u);
        EXPECT_EQ(answers.Shown()[0].text, QStringLiteral("Are you sure you want to delete folder \"F\" and all its contents?"));
    }
    EXPECT_EQ(Shape(), "F[Alpha Record (3) B] H[D] E C (2)") << "No changes nothing";

    CMessageBoxScript answers(IDYES);
    View().OnCommand(ID_DELETE);
    EXPECT_EQ(Shape(), "H[D] E C (2)");
    EXPECT_EQ(SavedShape(), "H[D] E C");
    EXPECT_EQ(StoredFeed(Url("/a")).feedId, 0u) << "the record went";
    EXPECT_EQ(StoredFeed(Url("/b")).feedId, 0u);
    EXPECT_TRUE(StoredKeys(alpha).empty()) << "and the pages";

    // Deleting the last entries leaves the empty tree and greys "New".
    for (const char* name : {"H", "E", "C"}) {
        SelectEntry(QString::fromLatin1(name));
        View().OnCommand(ID_DELETE);
    }
    EXPECT_EQ(Tree()->model()->rowCount(), 0);
    EXPECT_EQ(SavedShape(), "");
    EXPECT_FALSE(Keys()->IsKeyEnabled(CSoftKeyBar::kLeft));
}

TEST_F(ChannelTreeViewTest, MarkAsReadOnAFolderClearsTheCountsOfEveryFeedInside)
{
    WriteTree("<outline title=\"Top\"><outline title=\"Inner\">" + FeedOutline("A", "/a") + "</outline>" +
              FeedOutline("B", "/b") + "</outline>" + FeedOutline("C", "/c"));
    const CDateTime day = CDateTime::GetCurrentTime();
    for (const char* path : {"/a", "/b", "/c"}) {
        const FeedRecord feed = StoreFeed(Url(path), Utf8ToWide(path + 1));
        StorePage(feed.feedId, Url(path) + L"/1", day);
        StorePage(feed.feedId, Url(path) + L"/2", day);
    }
    StartReader();
    Tree()->expand(Entry("Inner"));
    EXPECT_EQ(Shape(), "Top[Inner[a (2)] b (2)] c (2)");
    SelectEntry("Top");
    View().OnCommand(ID_MARK_READ);
    EXPECT_EQ(Shape(), "Top[Inner[a] b] c (2)");
    EXPECT_EQ(CChannelTreeView::IconOf(Entry("a")), kTreeIconRead);
    EXPECT_EQ(StoredFeed(Url("/a")).unreadCount, 0);
    SelectEntry("Inner");
    View().OnCommand(ID_MARK_UNREAD);
    EXPECT_EQ(Shape(), "Top[Inner[a (2)] b] c (2)");
    EXPECT_EQ(CChannelTreeView::IconOf(Entry("a")), kTreeIconUnread);
}

TEST_F(ChannelTreeViewTest, TheGermanFileReplacesTheTreesTexts)
{
    ASSERT_TRUE(LoadResourceModule(QCoreApplication::applicationDirPath().toStdString() + "/rssreader.0407.mui"));
    WriteTree(FeedOutline("A", "/a"));
    StartReader();
    EXPECT_EQ(Frame().Title(), QStringLiteral("RSS-Reader"));
    EXPECT_EQ(Keys()->KeyText(CSoftKeyBar::kLeft), QStringLiteral("Neu"));
    EXPECT_TRUE(Entry("A").isValid());
    EXPECT_EQ(Tree()->EmptyText(), ResString(IDS_EMPTY_TREE));
    EXPECT_TRUE(Tree()->EmptyText().startsWith(QStringLiteral("Tippen Sie"))) << Tree()->EmptyText().toStdString();

    SelectEntry("A");
    View().OnCommand(ID_MOVE);
    EXPECT_EQ(Frame().Title(), QStringLiteral("Feed verschieben"));
    EXPECT_EQ(Keys()->KeyText(CSoftKeyBar::kRight), QStringLiteral("Abbrechen"));
    View().OnCommand(ID_MOVE_CANCEL);

    QStringList prompt;
    CPilot pilot;
    pilot.Then(OnDialog<CNewSubscriptionDlg>([&](CNewSubscriptionDlg& dialog) {
        prompt << dialog.Title();
        for (int row = 0; row < dialog.List()->GetItemCount(); ++row)
            prompt << dialog.List()->ItemText(row, 0);
        dialog.PostCommand(ID_CANCEL);
    }));
    CNewSubscriptionDlg dialog(&Frame());
    dialog.DoModal();
    EXPECT_EQ(prompt, (QStringList{ResString(IDS_NEW_SUBSCRIPTION), ResString(IDS_ENTER_FEED_URL),
                                   ResString(IDS_ONLINE_SEARCH), ResString(IDS_SELECT_OPML_FILE),
                                   ResString(IDS_ENTER_OPML_URL)}));
    EXPECT_EQ(prompt.front(), QStringLiteral("Neues Abonnement"));
}

TEST_F(ChannelTreeViewTest, EnterOpensAFeedWithItsLevelAndExitLeavesTheFileAsItWas)
{
    WriteStoredTree();
    std::vector<std::wstring> level;
    std::wstring opened;
    CTreeDialogs dialogs;
    dialogs.feedList = [&](QWidget*, CReaderSession&, std::vector<COutline*> outlines, COutline* feed) {
        for (COutline* outline : outlines)
            level.push_back(outline->DisplayName());
        opened = feed->DisplayName();
        // Reading the feed's pages marks one read.
        const FeedRecord record = StoredFeed(Url("/a"));
        std::vector<PageRecord> pages;
        CZelviaRssItemDB::Instance().ReadFeedPages(record.feedId, pages);
        pages.front().state = PageStateRead;
        CZelviaRssItemDB::Instance().WritePage(pages.front());
        FeedRecord counted = record;
        counted.unreadCount = 2;
        CZelviaRssDB::Instance().WriteFeed(counted, CZelviaRssDB::Instance().FindFeedByUrl(Url("/a")));
    };
    StartReader(std::move(dialogs));
    const std::string saved = ReadWholeFile(HomePath("data/RSSReader/default.opml"));

    SelectEntry("F");
    PressKey(Qt::Key_Down);
    PressKey(Qt::Key_Return);
    EXPECT_EQ(opened, L"A");
    EXPECT_EQ(level, (std::vector<std::wstring>{L"A", L"B"}));
    EXPECT_EQ(Entry("Alpha Record").data().toString(), QStringLiteral("Alpha Record (2)")) << "labels after the list";
    EXPECT_EQ(Tree()->currentIndex(), Entry("Alpha Record"));
    // Enter on a folder without entries below opens nothing.
    opened.clear();
    SelectEntry("E");
    PressKey(Qt::Key_Return);
    EXPECT_TRUE(opened.empty());

    // The outline takes the record's title in memory (Properties); Exit
    // neither saves it nor asks.
    Session().Properties(*View().OutlineOf(Entry("Alpha Record")));
    CMessageBoxScript boxes;
    View().OnCommand(ID_APP_EXIT);
    EXPECT_TRUE(WaitFor([&] { return !Frame().isVisible(); }));
    m_pApp->Shutdown();
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_EQ(ReadWholeFile(HomePath("data/RSSReader/default.opml")), saved);
}
