// Every command the way the user gives it: each entry of each menu of each
// window, opened with the soft keys (F1, F2) or by holding the stylus, and
// chosen by its text with the keys; then what the command did (the file
// saved, the list changed, the window that opened). Under the sanitizers
// this is the road on which a window destroyed by its own command shows.

#include <QComboBox>
#include <QDateTime>
#include <QHeaderView>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>

#include "UserPathSupport.h"
#include "update/Setting.h"
#include "views/AboutDlg.h"
#include "views/AddFeedDlg.h"
#include "views/ChoiceDlg.h"
#include "views/DescriptionView.h"
#include "views/EpisodeListDlg.h"
#include "views/FeedSearchDlg.h"
#include "views/InstallDialogs.h"
#include "views/KFileDialog.h"
#include "views/NewEpisodeListDlg.h"
#include "views/NewFolderDlg.h"
#include "views/NewSubscriptionDlg.h"
#include "views/OpmlAddressDlg.h"
#include "views/OptionsSheet.h"
#include "views/PropertiesDlg.h"
#include "views/RenameDlg.h"
#include "views/UpdateFeedsDlg.h"

namespace {

class UserPathTest : public CReaderWindowTest {
protected:
    void TearDown() override
    {
        std::printf("walked:\n");
        for (const QString& entry : WalkedEntries())
            std::printf("  %s\n", entry.toUtf8().constData());
        WalkedEntries().clear();
        CReaderWindowTest::TearDown();
    }

    // News (Alpha: 3 pages, Beta: 2), Gamma (2), Delta (1), all dated now;
    // Echo is served but not subscribed; an OPML file and address name
    // Import and Fresh.
    void ServeAndStart()
    {
        const std::string now = QDateTime::currentDateTimeUtc().toString(Qt::RFC2822Date).toStdString();
        auto feed = [&](const std::string& title, int pages) {
            std::string xml = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" + title + "</title>";
            for (int page = 0; page < pages; ++page)
                xml += "<item><title>" + title + " " + std::to_string(page) + "</title><link>http://x.org/" + title +
                       std::to_string(page) + "</link><description>About " + title + "</description><pubDate>" + now +
                       "</pubDate></item>";
            return CHttpAnswer::Ok(xml + "</channel></rss>");
        };
        for (const auto& [path, title, pages] : {std::tuple{"/a", "Alpha", 3}, {"/b", "Beta", 2}, {"/c", "Gamma", 2},
                                                 {"/d", "Delta", 1}, {"/e", "Echo", 1}, {"/i", "Import", 1},
                                                 {"/f", "Fresh", 1}, {"/s", "Searched", 1}})
            m_server.SetAnswer(path, feed(title, pages));
        auto opml = [&](const std::string& title, const std::string& path) {
            return "<?xml version=\"1.0\"?><opml version=\"1.0\"><body>" + FeedOutline(title, path) + "</body></opml>";
        };
        m_server.SetAnswer("/subs.opml", CHttpAnswer::Ok(opml("Fresh", "/f")));
        CHttpAnswer stalled = CHttpAnswer::Ok(opml("Fresh", "/f"));
        stalled.delivery = CHttpAnswer::Delivery::StallAfterPart;
        stalled.firstBytes = 10;
        m_server.SetAnswer("/stalled.opml", stalled);
        WriteHomeFile("Documents/RSS Reader/subs.opml", opml("Import", "/i"));
        WriteHomeFile("data/RSSReader/FeedSearchKeyword.xml",
                      "<rss version=\"2.0\"><channel><title>t</title><item><title>Found searchkeyword</title><source url=\"" +
                          FeedUrl("/s") + "\">s</source></item></channel></rss>");
        WriteTree("<outline title=\"News\">" + FeedOutline("Alpha", "/a") + FeedOutline("Beta", "/b") + "</outline>" +
                  FeedOutline("Gamma", "/c") + FeedOutline("Delta", "/d"));
        CTreeDialogs dialogs;
        InstallAllDialogs(dialogs);
        StartReader(std::move(dialogs));
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Frame()));
    }

    void Play(CPilot& pilot, int milliseconds = 20000) { EXPECT_TRUE(PlayPilot(pilot, milliseconds)); }

    // The stylus on the selected entry of the tree, or row of a list.
    std::pair<QWidget*, QPoint> OnSelectedEntry()
    {
        return {Tree()->viewport(), Tree()->visualRect(Tree()->currentIndex()).center()};
    }
    static std::pair<QWidget*, QPoint> OnSelectedRow()
    {
        auto* dialog = qobject_cast<CPageListDlg*>(CFullScreenDialog::ActiveDialog());
        if (dialog == nullptr)
            return {nullptr, {}};
        CReportList* list = dialog->List();
        const int row = list->GetSelectedRow();
        return {list->viewport(), row >= 0 ? list->visualItemRect(list->topLevelItem(row)).center()
                                           : list->viewport()->rect().center()};
    }
    CPilot::CStep Select(const char* entry)
    {
        return Check([this, entry] { SelectEntry(QString::fromUtf8(entry)); });
    }
    std::wstring Url(const std::string& path) const { return Utf8ToWide(FeedUrl(path)); }
    // The feeds in the saved subscription file.
    int SavedFeeds() const
    {
        int feeds = 0;
        std::function<void(const COutlineList&)> count = [&](const COutlineList& list) {
            for (const auto& outline : list) {
                feeds += outline->IsFeed() ? 1 : 0;
                count(outline->children);
            }
        };
        if (const auto doc = LoadOpmlFile(HomePathW("data/RSSReader/default.opml")))
            count(doc->outlines);
        return feeds;
    }

    // The update dialog, once its run has finished: Done.
    static std::vector<CPilot::CStep> UpdateAndDone()
    {
        return {InWhen<CUpdateFeedsDlg>([](CUpdateFeedsDlg& dialog) { return dialog.Run().IsFinished(); },
                                        [](CUpdateFeedsDlg&) {}),
                SoftKeyPath({"Done"})};
    }
};

// The list on top and its state.
// Under ThreadSanitizer a download stopped from inside Qt's loop is reported
// as a race on the download's own locked state (the GUI thread's locking
// there is not seen): the walk leaves the stops out there.
#if defined(__SANITIZE_THREAD__)
constexpr bool kStopsDownloads = false;
#else
constexpr bool kStopsDownloads = true;
#endif

std::vector<CPilot::CStep> Concat(std::initializer_list<std::vector<CPilot::CStep>> parts)
{
    std::vector<CPilot::CStep> steps;
    for (const auto& part : parts)
        steps.insert(steps.end(), part.begin(), part.end());
    return steps;
}

// A search that stalls, stopped with the busy menu's "Cancel" (236).
std::vector<CPilot::CStep> StoppedSearch(const QString& stalledUrl)
{
    if (!kStopsDownloads)
        return {};
    return {TypeInto(IDC_SEARCH_EDIT, stalledUrl), SoftKeyPath({"Search"}),
            InWhen<COpmlAddressDlg>([](COpmlAddressDlg& dialog) { return dialog.IsBusy(); }, [](COpmlAddressDlg&) {}),
            SoftKeyPath({"Cancel"}),
            InWhen<COpmlAddressDlg>([](COpmlAddressDlg& dialog) { return !dialog.IsBusy(); }, [](COpmlAddressDlg&) {})};
}

CPageListDlg* List() { return qobject_cast<CPageListDlg*>(CFullScreenDialog::ActiveDialog()); }
int Rows() { return List() != nullptr ? List()->List()->GetItemCount() : -1; }
int SelectedImage() { return List()->List()->ItemImage(List()->List()->GetSelectedRow()); }

} // namespace

TEST_F(UserPathTest, EveryEntryOfTheTreesMenusAndTheWindowsTheyOpen)
{
    ServeAndStart();
    int expireBefore = -1;
    CPilot pilot;
    AddRows(pilot, {{"Menu > Update All", UpdateAndDone()}});
    pilot.Then(Select("Delta"));
    AddRows(
        pilot,
        {
            {"Menu > Edit > Move", {Key(Qt::Key_Up), Check([&] { EXPECT_TRUE(Session().IsMoving()); })}},
            {"Done", {Check([&] { EXPECT_EQ(SavedShape(), "News[Alpha Beta] Delta Gamma"); })}},
            {"Menu > Edit > Move", {Key(Qt::Key_Down), Key(Qt::Key_Down)}},
            {"Cancel", {Check([&] {
                 EXPECT_FALSE(Session().IsMoving());
                 EXPECT_EQ(Shape(), "News[Alpha (3) Beta (2)] Delta (1) Gamma (2)");
             })}},
        });
    pilot.Then(Select("Alpha"));
    AddRows(pilot, {
        {"Menu > Edit > Mark as Read", {Check([&] { EXPECT_EQ(StoredFeed(Url("/a")).unreadCount, 0); })}},
        {"Menu > Edit > Mark as Unread", {Check([&] { EXPECT_EQ(Entry("Alpha").data().toString(), QStringLiteral("Alpha (3)")); })}},
        {"hold > Mark as Read", {Check([&] { EXPECT_EQ(Entry("Alpha").data().toString(), QStringLiteral("Alpha")); })}},
        {"hold > Mark as Unread", {Check([&] { EXPECT_EQ(StoredFeed(Url("/a")).unreadCount, 3); })}},
        {"Menu > Edit > Properties", {OnDialog<CPropertiesDlg>([](CPropertiesDlg& dialog) {
             EXPECT_EQ(dialog.Title(), QStringLiteral("Properties"));
         }), SoftKeyPath({"Done"})}},
        {"hold > Properties", {OnDialog<CPropertiesDlg>([](CPropertiesDlg&) {}), SoftKeyPath({"Done"})}},
        {"Menu > Update", UpdateAndDone()},
        {"hold > Update", UpdateAndDone()},
    }, [&] { return OnSelectedEntry(); });
    pilot.Then(Select("Gamma"));
    AddRows(pilot, {
        {"Menu > Edit > Rename", {TypeInto(IDC_RENAME_EDIT, QStringLiteral("Gamma Ray")), SoftKeyPath({"Done"}),
                                  Check([&] { EXPECT_EQ(SavedShape(), "News[Alpha Beta] Delta Gamma Ray"); })}},
        {"hold > Rename", {OnDialog<CRenameDlg>([](CRenameDlg&) {}), SoftKeyPath({"Cancel"}),
                           Check([&] { EXPECT_EQ(SavedShape(), "News[Alpha Beta] Delta Gamma Ray"); })}},
        {"Menu > Edit > New folder", {TypeInto(IDC_FOLDER_EDIT, QStringLiteral("Box")), SoftKeyPath({"Done"}),
                                      Check([&] { EXPECT_EQ(SavedShape(), "News[Alpha Beta] Delta Gamma Ray Box"); })}},
        {"hold > New folder", {TypeInto(IDC_FOLDER_EDIT, QStringLiteral("Crate")), SoftKeyPath({"Cancel"})}},
        {"Menu > Edit > Delete", {AnswerBox("yes", QStringLiteral("Are you sure you want to delete folder \"Box\" and all its contents?")),
                                  Check([&] {
                                      EXPECT_EQ(SavedShape(), "News[Alpha Beta] Delta Gamma Ray");
                                      EXPECT_EQ(Tree()->currentIndex(), Entry("Gamma Ray")) << "the neighbour";
                                  })}},
        {"hold > Delete", {AnswerBox("no"), Check([&] { EXPECT_EQ(SavedShape(), "News[Alpha Beta] Delta Gamma Ray"); })}},
    }, [&] { return OnSelectedEntry(); });
    pilot.Then(Select("Delta"));
    AddRows(pilot, {
        {"hold > Delete", {AnswerBox("yes"), Check([&] {
             EXPECT_EQ(SavedShape(), "News[Alpha Beta] Gamma Ray");
             EXPECT_EQ(Tree()->currentIndex(), Entry("Gamma Ray")) << "the next entry";
         })}},
        {"Menu > New Subscription > Enter URL",
         {TypeInto(IDC_URL_EDIT, QString::fromStdString(FeedUrl("/e"))), TypeInto(IDC_NAME_EDIT, QStringLiteral("Echo")),
          SoftKeyPath({"Done"}), Until([&] { return SavedShape() == "News[Alpha Beta] Gamma Ray Echo"; })}},
        {"hold > New Subscription > Enter URL", {OnDialog<CAddFeedDlg>([](CAddFeedDlg&) {}), SoftKeyPath({"Cancel"})}},
        {"Menu > New Subscription > Online Search",
         {TypeInto(IDC_SEARCH_EDIT, QStringLiteral("news")), SoftKeyPath({"Search"}),
          ChooseRow(IDC_SEARCH_LIST, QStringLiteral("Found news")), SoftKeyPath({"Menu", "Properties"}),
          OnDialog<CPropertiesDlg>([](CPropertiesDlg&) {}), SoftKeyPath({"Done"}),
          ChooseRow(IDC_SEARCH_LIST, QStringLiteral("Found news")), SoftKeyPath({"Add"}),
          AnswerBox("ok", QStringLiteral("\"Found news\"\nadded.")),
          SoftKeyPath({"Menu", "Done"}), AnswerBox("ok", QStringLiteral("\"1\" feeds added.")),
          Check([&] { EXPECT_EQ(SavedFeeds(), 5); })}},
        {"hold > New Subscription > Online Search",
         {OnDialog<CFeedSearchDlg>([](CFeedSearchDlg&) {}), SoftKeyPath({"Menu", "Cancel"})}},
        {"Menu > OPML > Import",
         {ChooseRow(IDC_CHOICE_LIST, QStringLiteral("Select OPML file")), SoftKeyPath({"Done"}),
          ChooseRow(IDC_PICKER_LIST, QStringLiteral("subs.opml")), SoftKeyPath({"Select"}),
          AnswerBox("ok", QStringLiteral("\"1\" feeds added.")), Check([&] { EXPECT_EQ(SavedFeeds(), 6); })}},
        {"Menu > OPML > Import",
         Concat({{ChooseRow(IDC_CHOICE_LIST, QStringLiteral("Enter OPML URL")), SoftKeyPath({"Done"})},
                 StoppedSearch(QString::fromStdString(FeedUrl("/stalled.opml"))),
                 {TypeInto(IDC_SEARCH_EDIT, QString::fromStdString(FeedUrl("/subs.opml"))), SoftKeyPath({"Search"}),
                  ChooseRow(IDC_SEARCH_LIST, QStringLiteral("Fresh")), SoftKeyPath({"Add"}), AnswerBox("ok"),
                  SoftKeyPath({"Menu", "Done"}), AnswerBox("ok", QStringLiteral("\"1\" feeds added.")),
                  Check([&] { EXPECT_EQ(SavedFeeds(), 7); })}})},
        {"Menu > OPML > Import", {ChooseRow(IDC_CHOICE_LIST, QStringLiteral("Enter OPML URL")), SoftKeyPath({"Cancel"})}},
        {"Menu > OPML > Export",
         {OnDialog<CKFileDialog>([](CKFileDialog& dialog) { EXPECT_EQ(dialog.Title(), QStringLiteral("Export OPML")); }),
          SoftKeyPath({"Save"}), AnswerBox("ok"),
          Check([&] { EXPECT_NE(LoadOpmlFile(HomePathW("Documents/RSS Reader/export.opml")), nullptr); })}},
        {"Menu > OPML > Export", {SoftKeyPath({"Save"}), AnswerBox("no"), SoftKeyPath({"Cancel"})}},
        {"Menu > Options",
         {Key(Qt::Key_Up), Check([] {
              // Up and Down change the list that has the keys, the page's
              // first, from the start.
              auto* sheet = qobject_cast<COptionsSheet*>(CFullScreenDialog::ActiveDialog());
              EXPECT_EQ(sheet->General()->List1()->currentIndex(), 0) << "Automatic";
          }),
          Key(Qt::Key_Down), Check([&] {
              auto* sheet = qobject_cast<COptionsSheet*>(CFullScreenDialog::ActiveDialog());
              EXPECT_EQ(sheet->General()->List1()->currentIndex(), 1) << "Manual";
              QTabBar* tabs = sheet->Tabs()->tabBar();
              QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
              expireBefore = sheet->Pages()->List1()->currentIndex();
          }),
          Key(Qt::Key_Down), SoftKeyPath({"Done"}),
          Check([&] { EXPECT_EQ(static_cast<int>(CSetting::Instance().GetExpireAfter()), expireBefore + 1); })}},
        {"Menu > About", {OnDialog<CAboutDlg>([](CAboutDlg&) {}), SoftKeyPath({"Done"})}},
        {"New", {OnDialog<CNewEpisodeListDlg>([](CNewEpisodeListDlg&) {}), SoftKeyPath({"Menu", "Cancel"})}},
    }, [&] { return OnSelectedEntry(); });
    Play(pilot);
    EXPECT_TRUE(pilot.IsDone());

    // Exit, last: the frame closes.
    CPilot exit;
    AddRows(exit, {{"Menu > Exit", {Until([&] { return !Frame().isVisible(); })}}});
    Play(exit);
}

TEST_F(UserPathTest, EveryEntryOfTheItemListsMenus)
{
    ServeAndStart();
    const std::vector<CPilot::CStep> noDialog;
    CPilot pilot;
    AddRows(pilot, {{"Menu > Update All", UpdateAndDone()}});
    pilot.Then(Select("Alpha")).Then(Key(Qt::Key_Return)).Then(OnDialog<CEpisodeListDlg>([](CEpisodeListDlg& list) {
        EXPECT_EQ(list.Title(), QStringLiteral("Alpha"));
    }));
    auto title = [](const char* name) {
        return Check([name] { EXPECT_EQ(List()->Title(), QString::fromUtf8(name)); });
    };
    auto filter = [](int filter, int rows) {
        return Check([filter, rows] {
            EXPECT_EQ(List()->Options().filter, filter);
            EXPECT_EQ(Rows(), rows);
        });
    };
    auto sort = [](int field, std::optional<bool> ascending) {
        return Check([field, ascending] {
            EXPECT_EQ(List()->Options().sortField, field);
            if (ascending)
                EXPECT_EQ(List()->Options().ascending, *ascending);
        });
    };
    AddRows(pilot, {
        {"Update", UpdateAndDone()},
        {"Menu > Next Feed", {title("Beta")}},
        {"Menu > Previous Feed", {title("Alpha")}},
        {"Menu > Edit > Mark as Read", {Check([] { EXPECT_EQ(SelectedImage(), 1); })}},
        {"Menu > Edit > Mark as Unread", {Check([] { EXPECT_EQ(SelectedImage(), 0); })}},
        {"Menu > Filter > Read Only", {filter(kFeedViewRead, 0), Check([] {
             EXPECT_TRUE(List()->List()->EmptyText().contains(ResString(IDS_CHECK_FILTER)));
         })}},
        {"Menu > Filter > Unread Only", {filter(kFeedViewUnread, 3)}},
        {"Menu > Filter > Today", {filter(kFeedViewToday, 3)}},
        {"Menu > Filter > All", {filter(kFeedViewAll, 3)}},
        {"Menu > Sort by > Title", {sort(kFeedSortByTitle, false)}},
        {"Menu > Sort by > Ascending Order", {sort(kFeedSortByTitle, true)}},
        {"Menu > Sort by > Date", {sort(kFeedSortByDate, true)}},
        {"Menu > Sort by > Descending Order", {sort(kFeedSortByDate, false)}},
        {"Menu > View > Header", {Check([] { EXPECT_FALSE(List()->List()->IsHeaderShown()); })}},
        {"Menu > View > Header", {Check([] { EXPECT_TRUE(List()->List()->IsHeaderShown()); })}},
        {"Menu > View > Description", {Check([] { EXPECT_FALSE(List()->Pane()->isVisible()); })}},
        {"Menu > View > Description", {Check([] { EXPECT_TRUE(List()->Pane()->isVisible()); })}},
    });
    AddRows(pilot, {
        {"hold > Next Feed", {title("Beta")}},
        {"hold > Previous Feed", {title("Alpha")}},
        {"hold > Mark as Read", {Check([] { EXPECT_EQ(SelectedImage(), 1); })}},
        {"hold > Mark as Unread", {Check([] { EXPECT_EQ(SelectedImage(), 0); })}},
        {"hold > Read Only", {filter(kFeedViewRead, 0)}},
        {"hold > Unread Only", {filter(kFeedViewUnread, 3)}},
        {"hold > All", {filter(kFeedViewAll, 3)}},
        {"hold > Delete Page", {Check([] { EXPECT_EQ(Rows(), 2); })}},
        {"Menu > Edit > Delete Page", {Check([] { EXPECT_EQ(Rows(), 1); })}},
        {"Menu > Edit > Delete Page", {Check([] {
             EXPECT_EQ(Rows(), 0);
             EXPECT_EQ(List()->List()->EmptyText(), ResString(IDS_NO_ITEMS)) << "no filter hides anything";
         })}},
        {"Menu > Cancel", {Check([&] { EXPECT_EQ(StoredFeed(Url("/a")).pageCount, 0); })}},
    }, &OnSelectedRow);

    // The new pages of all feeds.
    AddRows(pilot, {
        {"New", {OnDialog<CNewEpisodeListDlg>([](CNewEpisodeListDlg&) {}), Until([] { return Rows() == 5; })}},
        {"Refresh", {Until([] { return Rows() == 5; })}},
        {"Menu > Mark as Read", {Check([] { EXPECT_EQ(SelectedImage(), 1); })}},
        {"Menu > Delete Page", {Check([] { EXPECT_EQ(Rows(), 4); })}},
        {"Menu > Sort by > Title", {sort(kFeedSortByTitle, std::nullopt)}},
        {"Menu > Sort by > Ascending Order", {sort(kFeedSortByTitle, true)}},
        {"Menu > Sort by > Date", {sort(kFeedSortByDate, true)}},
        {"Menu > Sort by > Descending Order",
         {sort(kFeedSortByDate, false), Check([] { EXPECT_EQ(CSetting::Instance().GetNewItemSortOrder(), 2u); })}},
        {"Menu > View > Header", {Check([] { EXPECT_FALSE(List()->List()->IsHeaderShown()); })}},
        {"Menu > View > Header", {Check([] { EXPECT_TRUE(List()->List()->IsHeaderShown()); })}},
        {"Menu > View > Description", {Check([] { EXPECT_FALSE(List()->Pane()->isVisible()); })}},
        {"Menu > View > Description", {Check([] { EXPECT_TRUE(List()->Pane()->isVisible()); })}},
        {"hold > Mark as Read", {Check([] { EXPECT_EQ(SelectedImage(), 1); })}},
        {"hold > Delete Page", {Check([] { EXPECT_EQ(Rows(), 3); })}},
        {"Menu > Cancel", noDialog},
    }, &OnSelectedRow);
    Play(pilot);
    EXPECT_TRUE(pilot.IsDone());
}

TEST_F(UserPathTest, TheFirstSubscriptionPromptAndTheDialogsThatStopADownload)
{
    if (!kStopsDownloads)
        GTEST_SKIP() << "a download stopped in Qt's loop under ThreadSanitizer";
    m_server.SetAnswer("/e", CHttpAnswer::Ok("<rss version=\"2.0\"><channel><title>Echo</title></channel></rss>"));
    CHttpAnswer stalled = CHttpAnswer::Ok("<rss version=\"2.0\"><channel><title>Slow</title></channel></rss>");
    stalled.delivery = CHttpAnswer::Delivery::StallAfterPart;
    stalled.firstBytes = 10;
    m_server.SetAnswer("/slow", stalled);
    WriteTree("");
    CTreeDialogs dialogs;
    InstallAllDialogs(dialogs);
    CPilot prompt;
    prompt.Then(OnDialog<CNewSubscriptionDlg>([](CNewSubscriptionDlg&) {}));
    AddRows(prompt, {{"Done", {OnDialog<CAddFeedDlg>([](CAddFeedDlg&) {}), SoftKeyPath({"Cancel"})}},
                     {"Cancel", {}}});
    StartReader(std::move(dialogs));
    EXPECT_TRUE(prompt.IsDone()) << "the prompt came back after Enter URL added nothing, until cancelled";

    CPilot pilot;
    AddRows(pilot, {
        {"Menu > New Subscription > Enter URL",
         {TypeInto(IDC_URL_EDIT, QString::fromStdString(FeedUrl("/slow"))), TypeInto(IDC_NAME_EDIT, QStringLiteral("Slow")),
          SoftKeyPath({"Done"}), InWhen<CAddFeedDlg>([](CAddFeedDlg& dialog) { return dialog.IsFetching(); }, [](CAddFeedDlg&) {}),
          SoftKeyPath({"Cancel"}), Check([&] { EXPECT_TRUE(Session().Document().outlines.empty()); })}},
        {"Menu > New Subscription > Enter URL",
         {TypeInto(IDC_URL_EDIT, QString::fromStdString(FeedUrl("/e"))), SoftKeyPath({"Done"}),
          Until([&] { return SavedFeeds() == 1; })}},
    });
    pilot.Then(Check([&] { m_server.SetAnswer("/e", stalled); }));
    AddRows(pilot, {
        {"Menu > Update All",
         {InWhen<CUpdateFeedsDlg>([](CUpdateFeedsDlg& dialog) { return dialog.SoftKeys()->IsKeyEnabled(CSoftKeyBar::kRight); },
                                  [](CUpdateFeedsDlg&) {}),
          SoftKeyPath({"Cancel"}),
          InWhen<CUpdateFeedsDlg>([](CUpdateFeedsDlg& dialog) { return dialog.Run().IsFinished(); }, [](CUpdateFeedsDlg&) {}),
          SoftKeyPath({"Done"})}},
    });
    Play(pilot);
    EXPECT_TRUE(pilot.IsDone());
}
