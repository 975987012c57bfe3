// The window while rssreader-tool changes the same subscription file: the
// tree follows the file and keeps the selection and the open folders; the
// window's own edits (a new folder through the menu, a move) are made on
// the file as the tool left it, and keep the tool's feed with its pages.
// A reload is a reset of the tree's model: no entry outlives the outline it
// stands for.

#include <QMenu>
#include <QLineEdit>
#include <atomic>
#include <thread>

#include "ReaderWindowTestSupport.h"
#include "app/MessageBox.h"
#include "support/ToolRunner.h"
#include "views/DialogControls.h"
#include "views/FeedDialogs.h"
#include "views/NewFolderDlg.h"
#include "views/ResourceMenu.h"

namespace {

class ChannelTreeReloadTest : public CReaderWindowTest {
protected:
    // The tool as a process of its own; the window's loop runs meanwhile.
    CToolRun Tool(const std::vector<std::string>& args)
    {
        CToolRun run;
        std::atomic<bool> done = false;
        std::thread tool([&] {
            run = RunRssReaderTool(args);
            done = true;
        });
        EXPECT_TRUE(WaitFor([&] { return done.load(); }, 60000));
        tool.join();
        return run;
    }

    // Opens the "Menu" soft key and picks the item by its texts with the
    // keys, as the user does: Down to each, Right into a popup, Return on
    // the command.
    void ChooseFromMenu(const QStringList& texts)
    {
        Keys()->PressKey(CSoftKeyBar::kRight);
        QMenu* menu = Keys()->KeyMenu(CSoftKeyBar::kRight);
        ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }));
        for (int at = 0; at < texts.size(); ++at) {
            for (int step = 0; step < 30 && (menu->activeAction() == nullptr ||
                                             menu->activeAction()->text().remove('&') != texts[at]);
                 ++step)
                QTest::keyClick(menu, Qt::Key_Down);
            ASSERT_NE(menu->activeAction(), nullptr);
            ASSERT_EQ(menu->activeAction()->text().remove('&'), texts[at]);
            if (at + 1 == texts.size()) {
                QTest::keyClick(menu, Qt::Key_Return);
            } else {
                QTest::keyClick(menu, Qt::Key_Right);
                menu = menu->activeAction()->menu();
                ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }));
            }
        }
    }
};

} // namespace

TEST_F(ChannelTreeReloadTest, TheTreeFollowsTheToolAndTheWindowsEditsKeepWhatTheToolSaved)
{
    m_server.SetAnswer("/news.xml", CHttpAnswer::Ok(RssDocument("Daily News", "n", 3)));
    WriteTree("<outline title=\"F\">" + FeedOutline("A", "/a") + "</outline><outline title=\"G\"/>");
    CTreeDialogs dialogs;
    InstallFeedDialogs(dialogs);
    StartReader(std::move(dialogs));
    SelectEntry("A");
    EXPECT_EQ(Shape(), "F[A] G");

    // The tool subscribes, updates and makes a folder while the window runs:
    // the tree shows it, the selection and the open folder kept.
    ASSERT_EQ(Tool({"subscribe", FeedUrl("/news.xml"), "--root"}).exitCode, 0);
    ASSERT_EQ(Tool({"update", "--feed", FeedUrl("/news.xml")}).exitCode, 0);
    ASSERT_EQ(Tool({"mkdir", "Tool folder"}).exitCode, 0);
    EXPECT_TRUE(WaitFor([&] { return Shape() == "F[A] G Daily News (3) Tool folder"; })) << Shape();
    ASSERT_TRUE(Tree()->currentIndex().isValid());
    EXPECT_EQ(Tree()->currentIndex().data().toString(), QStringLiteral("A"));

    // Menu > Edit > New folder in the window saves the tool's entries too,
    // and the clean-up of that save keeps the tool's feed and its pages.
    CPilot pilot;
    pilot.Then(OnDialog<CNewFolderDlg>([](CNewFolderDlg& dialog) {
        QLineEdit* name = FindControl<QLineEdit>(&dialog, IDC_FOLDER_EDIT);
        name->setFocus();
        name->selectAll();
        QTest::keyClicks(name, QStringLiteral("Mine"));
        dialog.SoftKeys()->PressKey(CSoftKeyBar::kLeft);
    }));
    ChooseFromMenu({ResString(IDS_MENU_EDIT), ResString(IDS_NEW_FOLDER)});
    EXPECT_TRUE(WaitFor([&] { return pilot.IsDone(); }));
    EXPECT_EQ(SavedShape(), "F[A Mine] G Daily News Tool folder");
    const FeedRecord news = StoredFeed(Utf8ToWide(FeedUrl("/news.xml")));
    ASSERT_NE(news.feedId, 0u) << "the window's save deleted the tool's feed";
    EXPECT_EQ(StoredKeys(news.feedId).size(), 3u);

    // While an entry moves, the tree stays as it is; Done makes the move on
    // the file as the tool left it.
    SelectEntry("G");
    View().OnCommand(ID_MOVE);
    ASSERT_TRUE(Session().IsMoving());
    PressKey(Qt::Key_Up); // into F, last
    ASSERT_EQ(Tool({"mkdir", "During"}).exitCode, 0);
    QTest::qWait(300);
    EXPECT_EQ(Shape(), "F[A Mine G] Daily News (3) Tool folder") << "reloaded under the move";
    Keys()->PressKey(CSoftKeyBar::kLeft); // Done
    EXPECT_FALSE(Session().IsMoving());
    EXPECT_EQ(SavedShape(), "F[A Mine G] Daily News Tool folder During");
    EXPECT_EQ(Shape(), "F[A Mine G] Daily News (3) Tool folder During");
    ASSERT_TRUE(Tree()->currentIndex().isValid());
    EXPECT_EQ(Tree()->currentIndex().data().toString(), QStringLiteral("G"));
}

TEST_F(ChannelTreeReloadTest, AReloadKeepsTheSelectionAndOpenFoldersByIdAndNoEntryOutlivesItsOutline)
{
    // The entries stand for outlines of the document the session holds: the
    // model's walk of the document finds each of them (an entry left on an
    // outline let go would be missed, and read freed memory when drawn).
    auto entriesFollowTheDocument = [&] {
        int found = 0;
        View().Model()->ForEachId([&](const QModelIndex&, const std::wstring&) { ++found; });
        return found == View().Model()->EntryCount();
    };
    auto tree = [&](const std::string& f, const std::string& g) {
        WriteTree("<outline title=\"F\">" + f + "<outline title=\"G\">" + g + "</outline></outline>" +
                  "<outline title=\"H\">" + FeedOutline("I", "/i") + "</outline>" + FeedOutline("E", "/e"));
    };
    tree(FeedOutline("A", "/a"), FeedOutline("C", "/c") + FeedOutline("D", "/d"));
    StartReader();
    Tree()->expand(Entry("G"));
    Tree()->collapse(Entry("H"));
    SelectEntry("D");
    ASSERT_EQ(Shape(), "F[A G[C D]] H+ E");
    const QPersistentModelIndex former = Entry("D");

    // Another process drops A and adds B: every entry is made anew, the
    // feed selected and the folders open or closed as they were.
    tree(FeedOutline("B", "/b"), FeedOutline("C", "/c") + FeedOutline("D", "/d"));
    ASSERT_TRUE(WaitFor([&] { return Shape() == "F[B G[C D]] H+ E"; })) << Shape();
    EXPECT_FALSE(former.isValid()) << "an entry of the tree read before";
    EXPECT_EQ(Tree()->currentIndex(), Entry("D"));
    EXPECT_EQ(CChannelTreeView::IconOf(Entry("G")), kTreeIconFolderOpen);
    EXPECT_EQ(CChannelTreeView::IconOf(Entry("H")), kTreeIconFolderClosed);
    EXPECT_TRUE(entriesFollowTheDocument());

    // The selected feed goes too, and with this reload the session lets go
    // of the tree A was in: the first entry is selected, and labels,
    // drawing and keys reach only outlines of the tree shown.
    tree(FeedOutline("B", "/b"), FeedOutline("C", "/c"));
    ASSERT_TRUE(WaitFor([&] { return Shape() == "F[B G[C]] H+ E"; })) << Shape();
    EXPECT_EQ(Tree()->currentIndex(), Entry("F"));
    EXPECT_TRUE(entriesFollowTheDocument());
    View().RefreshAll();
    PressKey(Qt::Key_Down);
    EXPECT_EQ(Tree()->currentIndex(), Entry("B"));
    Frame().grab();

    // An outline deleted in the window takes its entry; its folder, empty,
    // shows closed.
    SelectEntry("C");
    {
        CMessageBoxScript answers(IDYES);
        View().OnCommand(ID_DELETE);
    }
    EXPECT_EQ(Shape(), "F[B G] H+ E");
    EXPECT_EQ(CChannelTreeView::IconOf(Entry("G")), kTreeIconFolderClosed);
    EXPECT_TRUE(entriesFollowTheDocument());
    View().RefreshAll();
    Frame().grab();
}

TEST_F(ChannelTreeReloadTest, WhatAnEntryShowedPassesOnlyToAnOutlineOfItsKindAtTheSameAddress)
{
    WriteTree(FeedOutline("A", "/a") + FeedOutline("B", "/b") + "<outline title=\"F\"/>");
    StartReader();
    CChannelTreeModel& model = *View().Model();
    // B's outline as if it now lay where a gone outline was: the states
    // taken from that one's entry must not reach it.
    CChannelTreeModel::CEntryStates states;
    const QModelIndex a = Entry("A"), f = Entry("F");
    states.insert(View().OutlineOf(Entry("B")), {QStringLiteral("Gone (5)"), kTreeIconUnread, false, model.KindOf(a)});
    states.insert(View().OutlineOf(f), {QStringLiteral("Kept"), kTreeIconFolderOpen, false, model.KindOf(f)});
    model.Rebuild(nullptr, states);
    EXPECT_EQ(Shape(), "A B Kept") << "a state of the same kind passes on";
    EXPECT_EQ(CChannelTreeView::IconOf(Entry("B")), kTreeIconRead) << "labelled from the store";
}
