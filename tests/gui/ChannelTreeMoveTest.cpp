// Move mode in the real window: each rule of a step by key and by stylus,
// what the tree shows while an entry moves, Done (saved) and Cancel (put
// back, file untouched).

#include <QMouseEvent>

#include "ReaderWindowTestSupport.h"

namespace {

class ChannelTreeMoveTest : public CReaderWindowTest {
protected:
    // E (folder: X), F (folder: B, G (folder: C)), D.
    void SetUp() override
    {
        CReaderWindowTest::SetUp();
        WriteTree("<outline title=\"E\">" + FeedOutline("X", "/x") + "</outline><outline title=\"F\">" +
                  FeedOutline("B", "/b") + "<outline title=\"G\">" + FeedOutline("C", "/c") + "</outline></outline>" +
                  FeedOutline("D", "/d"));
        StartReader();
        m_strSaved = ReadWholeFile(HomePath("data/RSSReader/default.opml"));
    }

    void StartMoving(const char* name)
    {
        SelectEntry(QString::fromLatin1(name));
        View().OnCommand(ID_MOVE);
        ASSERT_TRUE(Session().IsMoving());
    }

    // Presses on the moving entry and drags the stylus by the offsets.
    void Drag(std::initializer_list<int> offsets)
    {
        QWidget* viewport = Tree()->viewport();
        QPoint at = Tree()->visualRect(Tree()->MovingIndex()).center();
        QTest::mousePress(viewport, Qt::LeftButton, {}, at);
        for (int offset : offsets) {
            at.ry() += offset;
            QMouseEvent move(QEvent::MouseMove, at, viewport->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, {});
            QCoreApplication::sendEvent(viewport, &move);
        }
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
    }

    std::string m_strSaved;
};

} // namespace

TEST_F(ChannelTreeMoveTest, AFeedLeavesItsFolderUpwardsThenEntersTheFolderAboveAndDoneSaves)
{
    EXPECT_EQ(Shape(), "E[X] F[B G+] D");
    StartMoving("B");
    EXPECT_EQ(Frame().Title(), QStringLiteral("Move Feed"));
    EXPECT_EQ(Keys()->MenuBarId(), IDR_MOVE);
    EXPECT_EQ(Keys()->KeyText(CSoftKeyBar::kLeft), QStringLiteral("Done"));
    EXPECT_EQ(Tree()->MovingIndex(), Entry("B"));

    PressKey(Qt::Key_Up);
    EXPECT_EQ(Shape(), "E[X] B F[G+] D") << "directly before its folder";
    EXPECT_EQ(Tree()->MovingIndex(), Entry("B"));
    EXPECT_EQ(Tree()->currentIndex(), Entry("B"));
    PressKey(Qt::Key_Up);
    EXPECT_EQ(Shape(), "E[X B] F[G+] D") << "into the folder above, last";
    EXPECT_EQ(SavedShape(), "E[X] F[B G[C]] D") << "nothing is saved before Done";

    Keys()->PressKey(CSoftKeyBar::kLeft); // Done
    EXPECT_FALSE(Session().IsMoving());
    EXPECT_FALSE(Tree()->IsMoving());
    EXPECT_EQ(SavedShape(), "E[X B] F[G[C]] D");
    EXPECT_EQ(Frame().Title(), QStringLiteral("RSS Reader"));
    EXPECT_EQ(Keys()->MenuBarId(), IDR_MAIN_MENU);
    EXPECT_EQ(Tree()->currentIndex(), Entry("B"));
    EXPECT_FALSE(Session().IsUpdateLocked());
}

TEST_F(ChannelTreeMoveTest, AFolderMovesWithoutShowingItsChildrenAndGetsThemBackInOrder)
{
    Tree()->expand(Entry("G"));
    StartMoving("F");
    EXPECT_EQ(Frame().Title(), QStringLiteral("Move Folder"));
    EXPECT_EQ(Shape(), "E[X] F D") << "its children are hidden while it moves";
    EXPECT_EQ(CChannelTreeView::IconOf(Entry("F")), kTreeIconFolderClosed);
    PressKey(Qt::Key_Down);
    EXPECT_EQ(Shape(), "E[X] D F") << "after the feed below";
    PressKey(Qt::Key_Down);
    EXPECT_EQ(Shape(), "E[X] D F") << "the last entry does not move down";
    PressKey(Qt::Key_Up);
    PressKey(Qt::Key_Up);
    EXPECT_EQ(Shape(), "E[X F] D") << "into the folder above, last";

    View().OnCommand(ID_MOVE_CANCEL);
    EXPECT_EQ(Shape(), "E[X] F[B G[C]] D") << "back, open as it was, children in order";
    EXPECT_EQ(ReadWholeFile(HomePath("data/RSSReader/default.opml")), m_strSaved) << "Cancel leaves the file";
    EXPECT_EQ(Tree()->currentIndex(), Entry("F"));
    EXPECT_EQ(Frame().Title(), QStringLiteral("RSS Reader"));
    EXPECT_FALSE(Session().IsUpdateLocked());

    // The same steps with Done keep the place and the children.
    StartMoving("F");
    PressKey(Qt::Key_Up);
    View().OnCommand(ID_MOVE_DONE);
    EXPECT_EQ(Shape(), "E[X F[B G[C]]] D");
    EXPECT_EQ(SavedShape(), "E[X F[B G[C]]] D");
}

TEST_F(ChannelTreeMoveTest, DownOutOfAFolderAndIntoTheNextFolderFirst)
{
    StartMoving("X");
    PressKey(Qt::Key_Down);
    EXPECT_EQ(Shape(), "E X F[B G+] D") << "the last of its folder goes out, after the folder";
    PressKey(Qt::Key_Down);
    EXPECT_EQ(Shape(), "E F[X B G+] D") << "into the next folder, first";
    View().OnCommand(ID_MOVE_CANCEL);
    EXPECT_EQ(Shape(), "E[X] F[B G+] D");

    StartMoving("E");
    PressKey(Qt::Key_Up);
    EXPECT_EQ(Shape(), "E F[B G+] D") << "the first entry does not move up";
    View().OnCommand(ID_MOVE_CANCEL);
}

TEST_F(ChannelTreeMoveTest, TheStylusStepsEveryFivePixelsAndTapsElsewhereDoNothing)
{
    StartMoving("D");
    Drag({-4});
    EXPECT_EQ(Shape(), "E[X] F[B G+] D") << "4 pixels make no step";
    Drag({-5});
    EXPECT_EQ(Shape(), "E[X] F[B G+ D]") << "5 pixels up: into the folder above, last";
    Drag({5});
    EXPECT_EQ(Shape(), "E[X] F[B G+] D") << "5 pixels down: out again";

    // A tap on another entry selects nothing, and a drag that starts there
    // moves nothing.
    QWidget* viewport = Tree()->viewport();
    const QPoint other = Tree()->visualRect(Entry("E")).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, other);
    EXPECT_EQ(Tree()->currentIndex(), Entry("D"));
    QTest::mousePress(viewport, Qt::LeftButton, {}, other);
    QMouseEvent move(QEvent::MouseMove, other + QPoint(0, 20), viewport->mapToGlobal(other + QPoint(0, 20)),
                     Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(viewport, &move);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, other + QPoint(0, 20));
    EXPECT_EQ(Shape(), "E[X] F[B G+] D");

    // Selecting another entry by key brings the selection back.
    PressKey(Qt::Key_Home);
    EXPECT_TRUE(WaitFor([&] { return Tree()->currentIndex() == Entry("D"); }));
    View().OnCommand(ID_MOVE_DONE);
}

TEST_F(ChannelTreeMoveTest, WhileAnEntryMovesNoUpdateStartsAndOtherCommandsWait)
{
    StartMoving("B");
    EXPECT_TRUE(Session().IsUpdateLocked());
    View().RequestUpdateAll(true);
    View().OnCommand(ID_UPDATE_ALL);
    View().OnCommand(ID_DELETE);
    QTest::qWait(50);
    EXPECT_EQ(CFullScreenDialog::ActiveDialog(), nullptr) << "no update dialog";
    EXPECT_EQ(Shape(), "E[X] F[B G+] D") << "nothing deleted";
    // The frame keeps the move's title when it is activated again.
    QEvent activated(static_cast<QEvent::Type>(kSurfaceActivatedEvent));
    QCoreApplication::sendEvent(&Frame(), &activated);
    EXPECT_EQ(Frame().Title(), QStringLiteral("Move Feed"));
    View().OnCommand(ID_MOVE_CANCEL);
    EXPECT_FALSE(Session().IsUpdateLocked());
}
