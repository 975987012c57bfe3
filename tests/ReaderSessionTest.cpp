// The reader session: the tree's start-up, its operations and move mode,
// the update lock and the menu rules, on a real store in a private home.

#include <gtest/gtest.h>

#include <filesystem>

#include "StoreTestSupport.h"
#include "platform/Unicode.h"
#include "subscriptions/OpmlFile.h"
#include "session/ReaderSession.h"
#include "update/Setting.h"

namespace fs = std::filesystem;

namespace {

class ReaderSessionTest : public CTempHomeTest {
protected:
    void TearDown() override
    {
        m_session.Shutdown();
        CTempHomeTest::TearDown();
    }

    // default.opml: A (feed), F (folder: B, G (folder: C)), D (feed).
    void WriteTree()
    {
        WriteHomeFile("data/RSSReader/default.opml",
                      "<opml version='1.0'><body>"
                      "<outline title='A' xmlUrl='http://a/'/>"
                      "<outline title='F'><outline title='B' xmlUrl='http://b/'/>"
                      "<outline title='G'><outline title='C' xmlUrl='http://c/'/></outline></outline>"
                      "<outline title='D' xmlUrl='http://d/'/>"
                      "</body></opml>");
    }

    COutline& Find(const std::wstring& name, COutlineList* list = nullptr)
    {
        for (auto& outline : list != nullptr ? *list : m_session.Document().outlines) {
            if (outline->DisplayName() == name)
                return *outline;
            if (COutline* found = FindIn(name, outline->children))
                return *found;
        }
        ADD_FAILURE() << "no outline " << WideToUtf8(name);
        static COutline none;
        return none;
    }
    COutline* FindIn(const std::wstring& name, COutlineList& list)
    {
        for (auto& outline : list) {
            if (outline->DisplayName() == name)
                return outline.get();
            if (COutline* found = FindIn(name, outline->children))
                return found;
        }
        return nullptr;
    }

    // The tree as names: "A F(B G(C)) D".
    static std::string Shape(const COutlineList& list)
    {
        std::string text;
        for (const auto& outline : list) {
            text += (text.empty() ? "" : " ") + WideToUtf8(outline->DisplayName());
            if (!outline->children.empty())
                text += "(" + Shape(outline->children) + ")";
        }
        return text;
    }
    std::string Shape() { return Shape(m_session.Document().outlines); }
    std::string SavedShape() const
    {
        const auto doc = LoadOpmlFile(HomePathW("data/RSSReader/default.opml"));
        return doc ? Shape(doc->outlines) : "(none)";
    }

    CReaderSession m_session;
};

TEST_F(ReaderSessionTest, StartUpMakesRecordsDropsFeedsThatLeftAndPutsCountersRight)
{
    WriteTree();
    const FeedRecord gone = StoreFeed(L"http://gone/");
    StorePage(gone.feedId, L"p", CDateTime::FromParts(2026, 12, 1, 0, 0, 0));
    const auto startUp = m_session.Start();
    EXPECT_FALSE(startUp.treeDamaged);
    EXPECT_TRUE(startUp.storeMessages.empty());
    EXPECT_TRUE(m_session.IsInitialised());
    for (const wchar_t* url : {L"http://a/", L"http://b/", L"http://c/", L"http://d/"})
        EXPECT_EQ(StoredFeed(url).url, url) << "every feed of the tree has its record";
    EXPECT_EQ(StoredFeed(L"http://gone/").url, L"") << "a feed that left the tree goes";
    EXPECT_TRUE(StoredKeys(gone.feedId, true).empty());
    const auto label = m_session.LabelOf(Find(L"A"), false);
    ASSERT_TRUE(label);
    EXPECT_EQ(label->text, L"A");
    EXPECT_EQ(label->icon, kTreeIconRead);
}

TEST_F(ReaderSessionTest, ADamagedTreeIsRebuiltWithEveryStoredFeedAndItsPages)
{
    StoreFeed(L"http://a/");
    const FeedRecord b = StoreFeed(L"http://b/", L"Stored B");
    StorePage(b.feedId, L"p", CDateTime::FromParts(2026, 12, 1, 0, 0, 0));
    WriteHomeFile("data/RSSReader/default.opml", "<opml version='1.0'><body><outline title='A' xmlUrl='http://a/'/>"
                                                 "<outline title='B' xmlU");
    const auto startUp = m_session.Start();
    EXPECT_TRUE(startUp.treeDamaged);
    ASSERT_EQ(startUp.treeMessages.size(), 1u);
    EXPECT_EQ(startUp.treeMessages[0].textId, IDS_OPML_REPAIRED);
    EXPECT_TRUE(m_session.IsTreeComplete());
    EXPECT_TRUE(fs::exists(HomePath("data/RSSReader/default.opml.damaged")));
    EXPECT_EQ(Shape(), "A B Recovered feeds(Stored B)") << "B, cut in its URL, loads as a folder";
    // Saves in that run (a new folder) keep the recovered feed and its page.
    m_session.AddFolder(L"New", true, nullptr);
    EXPECT_EQ(SavedShape(), "A B Recovered feeds(Stored B) New");
    EXPECT_EQ(StoredKeys(StoredFeed(L"http://b/").feedId), std::vector<std::wstring>{L"p"});
}

TEST_F(ReaderSessionTest, AddingPlacesAfterTheSelectionAndMakesTheRecord)
{
    WriteTree();
    m_session.Start();
    auto feed = std::make_unique<COutline>();
    feed->title = L"E";
    feed->xmlUrl = L"http://e/";
    // The target is a feed: its folder takes it, right after the selection.
    const CTreeChange change = m_session.AddFeed(std::move(feed), false, &Find(L"B"));
    EXPECT_EQ(Shape(), "A F(B E G(C)) D");
    EXPECT_TRUE(change.saved);
    EXPECT_EQ(SavedShape(), "A F(B E G(C)) D");
    EXPECT_EQ(StoredFeed(L"http://e/").title, L"E");
    EXPECT_EQ(change.select, &Find(L"E"));

    m_session.AddFolder(L"H", true, &Find(L"B")); // "Create at root": at the end of the top level
    EXPECT_EQ(Shape(), "A F(B E G(C)) D H");
    auto nameless = std::make_unique<COutline>();
    EXPECT_EQ(m_session.AddOutline(std::move(nameless), nullptr, nullptr), nullptr) << "no name, no entry";
}

TEST_F(ReaderSessionTest, DeletingAFolderTakesEveryFeedInsideWithItsPages)
{
    WriteTree();
    m_session.Start();
    const FeedRecord c = StoredFeed(L"http://c/");
    StorePage(c.feedId, L"p", CDateTime::FromParts(2026, 12, 1, 0, 0, 0));
    const CViewMessage question = m_session.DeleteQuestion(Find(L"F"));
    EXPECT_EQ(question.Text(), L"Are you sure you want to delete folder \"F\" and all its contents?");
    EXPECT_EQ(m_session.DeleteQuestion(Find(L"A")).Text(), L"Are you sure you want to delete \"A\"?");
    const CTreeChange change = m_session.Delete(&Find(L"F"));
    EXPECT_EQ(Shape(), "A D");
    EXPECT_EQ(SavedShape(), "A D");
    EXPECT_EQ(StoredFeed(L"http://b/").url, L"");
    EXPECT_EQ(StoredFeed(L"http://c/").url, L"");
    EXPECT_TRUE(StoredKeys(c.feedId, true).empty());

    // The selection goes to the next entry, else the previous one, else
    // the folder that held it.
    EXPECT_EQ(change.select, &Find(L"D"));
    EXPECT_EQ(m_session.Delete(&Find(L"D")).select, &Find(L"A"));
    m_session.AddFolder(L"H", true, nullptr);
    auto feed = std::make_unique<COutline>();
    feed->title = L"E";
    feed->xmlUrl = L"http://e/";
    feed->kind = OutlineKindFeed;
    m_session.AddFeed(std::move(feed), false, &Find(L"H"));
    EXPECT_EQ(m_session.Delete(&Find(L"E")).select, &Find(L"H"));
    EXPECT_EQ(m_session.Delete(&Find(L"H")).select, &Find(L"A"));
    EXPECT_EQ(m_session.Delete(&Find(L"A")).select, nullptr) << "nothing is left";
}

TEST_F(ReaderSessionTest, MarkingAFolderMarksEveryFeedBelowAndItsCounters)
{
    WriteTree();
    m_session.Start();
    const FeedRecord b = StoredFeed(L"http://b/");
    const FeedRecord c = StoredFeed(L"http://c/");
    for (int i = 0; i < 4; ++i) {
        StorePage(b.feedId, L"b" + std::to_wstring(i), CDateTime::FromParts(2026, 12, 1, i, 0, 0));
        StorePage(c.feedId, L"c" + std::to_wstring(i), CDateTime::FromParts(2026, 12, 1, i, 0, 0),
                  i == 0 ? PageStateDeleted : PageStateUnread);
    }
    m_session.MarkSubtree(Find(L"F"), true);
    EXPECT_EQ(StoredFeed(L"http://b/").unreadCount, 0);
    EXPECT_EQ(StoredFeed(L"http://c/").unreadCount, 0) << "the subfolder's feed too";
    EXPECT_EQ(StoredKeys(c.feedId).size(), 3u);
    EXPECT_EQ(StoredKeys(c.feedId, true).size(), 4u) << "a deleted page keeps its state";
    m_session.MarkSubtree(Find(L"C"), false);
    EXPECT_EQ(StoredFeed(L"http://c/").unreadCount, 3);
    EXPECT_EQ(StoredFeed(L"http://c/").pageCount, 3);

    // The menu rules follow the counters.
    auto greyed = m_session.GreyedCommands(&Find(L"C"), false);
    EXPECT_NE(std::find(greyed.begin(), greyed.end(), ID_MARK_UNREAD), greyed.end());
    EXPECT_EQ(std::find(greyed.begin(), greyed.end(), ID_MARK_READ), greyed.end());
    greyed = m_session.GreyedCommands(&Find(L"A"), false);
    EXPECT_NE(std::find(greyed.begin(), greyed.end(), ID_MARK_READ), greyed.end()) << "a feed without pages";
    greyed = m_session.GreyedCommands(&Find(L"F"), false);
    EXPECT_NE(std::find(greyed.begin(), greyed.end(), ID_PROPERTIES), greyed.end());
    EXPECT_EQ(std::find(greyed.begin(), greyed.end(), ID_MARK_READ), greyed.end()) << "a folder keeps both";
    EXPECT_EQ(m_session.GreyedCommands(nullptr, true).size(), 9u);
}

TEST_F(ReaderSessionTest, ImportMakesNewFoldersForNewFeedsOnlyAndSaysHowMany)
{
    WriteTree();
    m_session.Start();
    const std::wstring file = WriteHomeFile("import.opml", "<opml version='1.0'><body>"
                                                           "<outline title='F'><outline title='B' xmlUrl='http://b/'/>"
                                                           "<outline title='N' xmlUrl='http://n/'/></outline>"
                                                           "<outline title='Empty'/></body></opml>");
    CTreeChange change = m_session.ImportFile(file, &Find(L"C")); // inside G
    EXPECT_EQ(Shape(), "A F(B G(C F(N))) D") << "a new folder even where one of that name exists";
    ASSERT_EQ(change.messages.size(), 1u);
    EXPECT_EQ(change.messages[0].Text(), L"\"1\" feeds added.");
    EXPECT_EQ(SavedShape(), Shape());

    change = m_session.ImportFile(file, nullptr);
    ASSERT_EQ(change.messages.size(), 1u);
    EXPECT_EQ(change.messages[0].Text(), L"All rss feeds in the imported OPML file have already been added.");
    EXPECT_EQ(Shape(), "A F(B G(C F(N))) D") << "no folder either";
    // A file missing, or holding no feed, is named.
    EXPECT_EQ(m_session.ImportFile(HomePathW("missing.opml"), nullptr).messages[0].Text(),
              L"The OPML file is incorrect.\r\n\"" + HomePathW("missing.opml") + L"\"");
    const std::wstring folders = WriteHomeFile("folders.opml", "<opml><body><outline title='Only'/></body></opml>");
    change = m_session.ImportFile(folders, nullptr);
    ASSERT_EQ(change.messages.size(), 1u);
    EXPECT_EQ(change.messages[0].Text(), L"The OPML file is incorrect.\r\n\"" + folders + L"\"");

    // Export and import again: nothing new.
    EXPECT_EQ(m_session.Export(HomePathW("export.opml")).textId, IDS_EXPORT_CREATED);
    EXPECT_EQ(m_session.ImportFile(HomePathW("export.opml"), nullptr).messages[0].textId, IDS_ALL_FEEDS_ALREADY_ADDED);
    EXPECT_EQ(m_session.Export(HomePathW("no/such/folder/x.opml")).textId, IDS_EXPORT_FAILED);
}

TEST_F(ReaderSessionTest, MoveStepsFollowTheTreeAndCancelPutsTheEntryBack)
{
    WriteTree(); // A F(B G(C)) D
    m_session.Start();
    ASSERT_TRUE(m_session.StartMove(Find(L"D")));
    EXPECT_FALSE(m_session.RequestUpdateAll(true)) << "the lock is held while moving";
    EXPECT_FALSE(m_session.MoveStepDown()) << "the last top-level entry does not go down";
    EXPECT_TRUE(m_session.MoveStepUp());
    EXPECT_EQ(Shape(), "A F(B G(C) D)") << "into the folder above, last";
    EXPECT_TRUE(m_session.MoveStepUp());
    EXPECT_EQ(Shape(), "A F(B G(C D))");
    EXPECT_TRUE(m_session.MoveStepUp());
    EXPECT_EQ(Shape(), "A F(B G(D C))") << "before a feed above";
    EXPECT_TRUE(m_session.MoveStepUp());
    EXPECT_EQ(Shape(), "A F(B D G(C))") << "the first child goes out, before its folder";
    const CTreeChange cancelled = m_session.MoveCancel();
    EXPECT_EQ(Shape(), "A F(B G(C)) D");
    EXPECT_FALSE(cancelled.saved);
    EXPECT_FALSE(m_session.IsUpdateLocked());

    // A folder moves with its children; down into the next folder, first.
    ASSERT_TRUE(m_session.StartMove(Find(L"A")));
    EXPECT_TRUE(m_session.MoveStepDown());
    EXPECT_EQ(Shape(), "F(A B G(C)) D");
    EXPECT_TRUE(m_session.MoveStepDown());
    EXPECT_EQ(Shape(), "F(B A G(C)) D") << "after a feed below";
    m_session.MoveDone();
    EXPECT_EQ(SavedShape(), "F(B A G(C)) D");
    ASSERT_TRUE(m_session.StartMove(Find(L"G")));
    EXPECT_TRUE(m_session.MoveStepDown());
    EXPECT_EQ(Shape(), "F(B A) G(C) D") << "the last of a folder goes out, after it";
    m_session.MoveDone();
    EXPECT_FALSE(m_session.IsUpdateLocked());
}

TEST_F(ReaderSessionTest, TheLockKeepsASecondUpdateOutAndTheRunsListFollowsTheSelection)
{
    WriteTree();
    m_session.Start();
    std::vector<COutline*> feeds;
    ASSERT_TRUE(m_session.BeginUpdate(&Find(L"F"), false, feeds));
    EXPECT_EQ(feeds.size(), 2u) << "a folder's children";
    EXPECT_FALSE(m_session.RequestUpdateAll(true)) << "a second Update All does nothing";
    std::vector<COutline*> second;
    EXPECT_FALSE(m_session.BeginUpdate(nullptr, true, second));
    m_session.AfterUpdate();
    EXPECT_TRUE(m_session.RequestUpdateAll(true));
    EXPECT_TRUE(m_session.IsAutomaticUpdate());
    ASSERT_TRUE(m_session.BeginUpdate(&Find(L"A"), false, feeds));
    EXPECT_EQ(feeds, std::vector<COutline*>{&Find(L"A")});
    m_session.AfterUpdate();
    EXPECT_FALSE(m_session.IsAutomaticUpdate()) << "cleared after every update";

    // An automatic request that arrives over a window of the view waits for
    // it to close; one the user chose runs.
    EXPECT_TRUE(m_session.RequestUpdateAll(true));
    EXPECT_FALSE(m_session.AcceptUpdateAll(true));
    EXPECT_TRUE(m_session.IsAutomaticUpdate()) << "still asked for";
    EXPECT_TRUE(m_session.AcceptUpdateAll(false));
    EXPECT_TRUE(m_session.RequestUpdateAll(false));
    EXPECT_TRUE(m_session.AcceptUpdateAll(true)) << "a chosen Update All";
    EXPECT_TRUE(m_session.RequestUpdateAll(true));
    EXPECT_TRUE(m_session.AcceptUpdateAll(false));
    EXPECT_TRUE(m_session.IsAutomaticUpdate());
    m_session.AfterUpdate();

    // The periodic check: nothing while a dialog of the view is open.
    CSetting::Instance().SetUpdateMethod(CSetting::kUpdateAutomatic);
    SetCurrentTimeForTesting(UtcTimePoint(2030, 1, 1, 0, 0));
    EXPECT_FALSE(m_session.CheckPeriodicUpdate(true));
    EXPECT_TRUE(m_session.CheckPeriodicUpdate(false));
    m_session.UpdateLock();
    EXPECT_FALSE(m_session.CheckPeriodicUpdate(false));
}

TEST_F(ReaderSessionTest, RenameAndPropertiesGoThroughTheRecord)
{
    WriteTree();
    m_session.Start();
    CViewMessage failure;
    EXPECT_TRUE(m_session.PrepareRename(Find(L"A"), failure));
    const CTreeChange change = m_session.Rename(Find(L"A"), L"Renamed");
    EXPECT_TRUE(change.saved);
    EXPECT_EQ(StoredFeed(L"http://a/").title, L"Renamed") << "the label shows the record's title";
    EXPECT_EQ(m_session.LabelOf(Find(L"Renamed"), false)->text, L"Renamed");
    const auto rows = m_session.Properties(Find(L"Renamed"));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[1].value, L"http://a/");
    EXPECT_EQ(rows[3].value, L"Not yet") << "never updated";
}

} // namespace

TEST(TreeLabelsTest, ALabelFromAnUpdateResultShowsWhatTheRecordNowHoldsOrTheFailure)
{
    CFeedUpdateResult updated;
    updated.name = L"Kernel Notes";
    updated.outcome = CFeedOutcome::Updated;
    updated.unreadCount = 3;
    EXPECT_EQ(ResultLabel(updated, L"old")->text, L"Kernel Notes (3)");
    EXPECT_EQ(ResultLabel(updated, L"old")->icon, kTreeIconUnread);
    updated.unreadCount = 0;
    EXPECT_EQ(ResultLabel(updated, L"old")->text, L"Kernel Notes");
    EXPECT_EQ(ResultLabel(updated, L"old")->icon, kTreeIconRead);

    CFeedUpdateResult failed;
    failed.outcome = CFeedOutcome::Failed;
    failed.failure = CFeedFailure::HttpStatus;
    failed.iconStatus = kOutlineStatusFailed;
    EXPECT_EQ(ResultLabel(failed, L"Shown (2)")->text, L"Shown (2)") << "the count stays";
    EXPECT_EQ(ResultLabel(failed, L"Shown (2)")->icon, kTreeIconFailed);
    failed.failure = CFeedFailure::Cancelled;
    EXPECT_FALSE(ResultLabel(failed, L"Shown (2)")) << "stopped by the user: no failure of the feed";
    failed.failure = CFeedFailure::NotAFeed;
    failed.iconStatus = -1;
    EXPECT_FALSE(ResultLabel(failed, L"Shown (2)")) << "the run leaves the icon";
}
