// Enter URL, New folder, Rename, Properties and the import source as the
// user meets them: what each shows, when "Done" may be pressed, what it
// refuses and in which words, what the fetch fills in, and what reaches the
// tree and default.opml.
#include <QCheckBox>

#include "DialogTestSupport.h"
#include "platform/Unicode.h"
#include "support/FailingVfs.h"
#include "store/FeedDatabase.h"
#include "subscriptions/OpmlFile.h"
#include "session/ReaderSession.h"
#include "views/AddFeedDlg.h"
#include "views/ChoiceDlg.h"
#include "views/FeedDialogs.h"
#include "views/MarkupLabel.h"
#include "views/NewFolderDlg.h"
#include "views/PropertiesDlg.h"
#include "views/RenameDlg.h"
#include "views/ReportList.h"

namespace {

class FeedDialogsTest : public CDialogTest {
protected:
    void TearDown() override
    {
        m_session.Shutdown();
        CDialogTest::TearDown();
    }

    CReaderSession m_session;
};

QLineEdit* UrlEdit(CFullScreenDialog& dialog) { return FindControl<QLineEdit>(&dialog, IDC_URL_EDIT); }
QLineEdit* NameEdit(CFullScreenDialog& dialog) { return FindControl<QLineEdit>(&dialog, IDC_NAME_EDIT); }
QCheckBox* FetchBox(CFullScreenDialog& dialog) { return FindControl<QCheckBox>(&dialog, IDC_FETCH_NAME); }

} // namespace

TEST_F(FeedDialogsTest, EnterUrlEnablesDoneAndTheNameFetchByTheTrimmedTexts)
{
    CAddFeedDlg dialog(m_pFrame.get());
    RunScripted(dialog, [&] {
        EXPECT_EQ(dialog.Title(), QStringLiteral("Enter feed URL"));
        EXPECT_EQ(UrlEdit(dialog)->text(), QStringLiteral("http://"));
        EXPECT_EQ(NameEdit(dialog)->text(), QStringLiteral("New Feed"));
        EXPECT_TRUE(UrlEdit(dialog)->hasFocus());
        EXPECT_FALSE(FetchBox(dialog)->isChecked());
        EXPECT_FALSE(FindControl<QCheckBox>(&dialog, IDC_CREATE_AT_ROOT)->isChecked());
        // Exactly "http://" is not enough; one character more is.
        EXPECT_FALSE(LeftKeyEnabled(dialog));
        EXPECT_FALSE(FetchBox(dialog)->isEnabled());
        QTest::keyClick(UrlEdit(dialog), Qt::Key_A);
        EXPECT_TRUE(LeftKeyEnabled(dialog));
        EXPECT_TRUE(FetchBox(dialog)->isEnabled());
        // Blanks around the address do not count.
        TypeInto(UrlEdit(dialog), QStringLiteral("   http://   "));
        EXPECT_FALSE(LeftKeyEnabled(dialog));
        EXPECT_FALSE(FetchBox(dialog)->isEnabled());
        TypeInto(UrlEdit(dialog), QStringLiteral("http://feeds.invalid/x"));
        // A name of blanks keeps "Done" greyed, but the name can be fetched.
        TypeInto(NameEdit(dialog), QStringLiteral("   "));
        EXPECT_FALSE(LeftKeyEnabled(dialog));
        EXPECT_TRUE(FetchBox(dialog)->isEnabled());
    });
    EXPECT_TRUE(Boxes().isEmpty());
}

TEST_F(FeedDialogsTest, EnterUrlRefusesOtherSchemesBeforeFetchingAnything)
{
    CAddFeedDlg dialog(m_pFrame.get());
    const int result = RunScripted(dialog, [&] {
        for (const QString& url : {QStringLiteral("ftp://feeds.invalid/rss"), QStringLiteral("file:///etc/passwd")}) {
            TypeInto(UrlEdit(dialog), url);
            PressLeftKey(dialog);
            EXPECT_TRUE(dialog.IsRunning()) << "a refusal leaves the dialog open";
            EXPECT_TRUE(LeftKeyEnabled(dialog)) << "and Done usable again";
        }
    });
    EXPECT_EQ(result, -1);
    ASSERT_EQ(m_pBoxes->Shown().size(), 2U);
    EXPECT_EQ(Boxes()[0], QStringLiteral("Unsupported URL\n\"ftp://feeds.invalid/rss\""));
    EXPECT_EQ(Boxes()[1], QStringLiteral("Unsupported URL\n\"file:///etc/passwd\""));
    EXPECT_EQ(m_pBoxes->Shown()[0].style & 0xF0, MB_ICONHAND);
}

TEST_F(FeedDialogsTest, TheNameFetchFillsTheNameAndDoneNeedsNoSecondDownload)
{
    m_server.SetAnswer("/feed.xml", CHttpAnswer::Ok(Rss("Served Title", "http://home.invalid/")));
    const QString url = QString::fromStdString(m_server.Url("/feed.xml"));
    CAddFeedDlg dialog(m_pFrame.get());
    const int result = RunScripted(dialog, [&] {
        TypeInto(UrlEdit(dialog), url);
        FindControl<QCheckBox>(&dialog, IDC_CREATE_AT_ROOT)->setChecked(true);
        QTest::mouseClick(FetchBox(dialog), Qt::LeftButton, {}, QPoint(5, FetchBox(dialog)->height() / 2));
        ASSERT_TRUE(WaitFor([&] { return NameEdit(dialog)->text() == QStringLiteral("Served Title"); }));
        EXPECT_FALSE(FetchBox(dialog)->isChecked());
        EXPECT_TRUE(dialog.IsRunning());
        TypeInto(NameEdit(dialog), QStringLiteral("  My name  "));
        PressLeftKey(dialog);
    });
    ASSERT_EQ(result, ID_DONE);
    EXPECT_EQ(m_server.Hits("/feed.xml"), 1);
    EXPECT_TRUE(dialog.AtRoot());
    const auto feed = dialog.TakeFeed();
    ASSERT_NE(feed, nullptr);
    EXPECT_EQ(feed->title, L"My name");
    EXPECT_EQ(feed->xmlUrl, ToWide(url));
    EXPECT_EQ(feed->htmlUrl, L"http://home.invalid/");
    EXPECT_EQ(feed->description, L"About Served Title");
    EXPECT_TRUE(feed->IsFeed());
    EXPECT_TRUE(Boxes().isEmpty());
}

TEST_F(FeedDialogsTest, DoneFetchesRefusesAKnownFeedBeforeDownloadingAndANonFeed)
{
    m_session.Start();
    m_server.SetAnswer("/known.xml", CHttpAnswer::Ok(Rss("Known")));
    m_server.SetAnswer("/page.html", CHttpAnswer::Ok("<html><body>no feed</body></html>"));
    const std::string known = m_server.Url("/known.xml");
    FeedRecord record = MakeNewFeedRecord(Utf8ToWide(known), L"Known", L"");
    ASSERT_TRUE(CZelviaRssDB::Instance().WriteFeed(record));

    CAddFeedDlg dialog(m_pFrame.get());
    RunScripted(dialog, [&] {
        TypeInto(UrlEdit(dialog), QString::fromStdString(known));
        PressLeftKey(dialog);
        EXPECT_EQ(Boxes(), QStringList{QStringLiteral("This feed already exists.")});
        for (const char* path : {"/missing.xml", "/page.html"}) {
            TypeInto(UrlEdit(dialog), QString::fromStdString(m_server.Url(path)));
            PressLeftKey(dialog);
            ASSERT_TRUE(WaitFor([&] { return !dialog.IsFetching(); }));
            EXPECT_TRUE(LeftKeyEnabled(dialog));
        }
    });
    EXPECT_EQ(m_server.Hits("/known.xml"), 0);
    ASSERT_EQ(Boxes().size(), 3);
    EXPECT_EQ(Boxes()[1], QStringLiteral("Unsupported URL\n\"%1\"").arg(QString::fromStdString(m_server.Url("/missing.xml"))));
    EXPECT_EQ(Boxes()[2], QStringLiteral("Unsupported URL\n\"%1\"").arg(QString::fromStdString(m_server.Url("/page.html"))));
}

TEST_F(FeedDialogsTest, CancelStopsAFetchFromASlowServer)
{
    SKIP_STOPPED_DOWNLOAD_UNDER_TSAN();
    CHttpAnswer stall;
    stall.delivery = CHttpAnswer::Delivery::StallBeforeAnswer;
    m_server.SetAnswer("/slow.xml", stall);
    CAddFeedDlg dialog(m_pFrame.get());
    const int result = RunScripted(dialog, [&] {
        TypeInto(UrlEdit(dialog), QString::fromStdString(m_server.Url("/slow.xml")));
        PressLeftKey(dialog);
        ASSERT_TRUE(dialog.IsFetching());
        EXPECT_FALSE(LeftKeyEnabled(dialog)) << "Done is greyed while the fetch runs";
        QTest::qWait(kRequestOnItsWay);
        dialog.SoftKeys()->PressKey(CSoftKeyBar::kRight);
    });
    EXPECT_EQ(result, ID_CANCEL);
    EXPECT_TRUE(Boxes().isEmpty());
}

TEST_F(FeedDialogsTest, NoConnectionSaysSoTwice)
{
    ConnMgrSetNetworkAvailableForTesting(false);
    CAddFeedDlg dialog(m_pFrame.get());
    RunScripted(dialog, [&] {
        TypeInto(UrlEdit(dialog), QString::fromStdString(m_server.Url("/feed.xml")));
        PressLeftKey(dialog);
    });
    EXPECT_EQ(Boxes(), (QStringList{ResString(IDS_UNABLE_TO_CONNECT), ResString(IDS_DISCONNECTED)}));
    EXPECT_EQ(m_server.Hits("/feed.xml"), 0);
}

TEST_F(FeedDialogsTest, EnterUrlThroughTheTreeEndsInDefaultOpml)
{
    m_session.Start();
    m_server.SetAnswer("/round.xml", CHttpAnswer::Ok(Rss("Round Trip", "http://round.invalid/")));
    const std::string url = m_server.Url("/round.xml");
    CTreeDialogs dialogs;
    InstallFeedDialogs(dialogs);
    ScriptNextDialog([&](CFullScreenDialog& dialog) {
        TypeInto(UrlEdit(dialog), QString::fromStdString(url));
        TypeInto(NameEdit(dialog), QStringLiteral("Round Trip"));
        PressLeftKey(dialog);
        auto* add = qobject_cast<CAddFeedDlg*>(&dialog);
        ASSERT_NE(add, nullptr);
        WaitFor([&] { return !add->IsFetching(); });
    });
    auto added = dialogs.addFeed(m_pFrame.get(), m_session);
    ASSERT_TRUE(added.has_value());
    const CTreeChange change = m_session.AddFeed(std::move(added->feed), added->atRoot, nullptr);
    EXPECT_TRUE(change.saved);

    const auto saved = LoadOpmlFile(m_session.SubscriptionPath());
    ASSERT_NE(saved, nullptr);
    const COutline* found = nullptr;
    for (const auto& outline : saved->outlines) {
        if (outline->xmlUrl == Utf8ToWide(url))
            found = outline.get();
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->title, L"Round Trip");
    EXPECT_EQ(found->htmlUrl, L"http://round.invalid/");
    EXPECT_NE(CZelviaRssDB::Instance().FindFeedByUrl(Utf8ToWide(url)), 0U) << "the feed has its record";
}

TEST_F(FeedDialogsTest, NewFolderTakesATrimmedNameAndCreateAtRoot)
{
    CNewFolderDlg dialog(m_pFrame.get());
    const int result = RunScripted(dialog, [&] {
        auto* edit = FindControl<QLineEdit>(&dialog, IDC_FOLDER_EDIT);
        EXPECT_EQ(dialog.Title(), QStringLiteral("New folder"));
        EXPECT_EQ(edit->text(), QStringLiteral("New folder"));
        QTest::qWait(20);
        EXPECT_EQ(edit->selectedText(), QStringLiteral("New folder")) << "typing replaces the preset";
        TypeInto(edit, QStringLiteral("   "));
        EXPECT_FALSE(LeftKeyEnabled(dialog));
        PressLeftKey(dialog);
        EXPECT_TRUE(dialog.IsRunning());
        TypeInto(edit, QStringLiteral("  Mine  "));
        EXPECT_TRUE(LeftKeyEnabled(dialog));
        FindControl<QCheckBox>(&dialog, IDC_CREATE_AT_ROOT)->setChecked(true);
        PressLeftKey(dialog);
    });
    EXPECT_EQ(result, ID_DONE);
    EXPECT_EQ(dialog.Name(), L"Mine");
    EXPECT_TRUE(dialog.AtRoot());
}

TEST_F(FeedDialogsTest, RenameMakesAMissingFeedRecordAndKeepsABlankNameOpen)
{
    m_session.Start();
    COutline feed;
    feed.title = L"Old name";
    feed.xmlUrl = L"http://rename.invalid/feed";
    feed.kind = OutlineKindFeed;
    ASSERT_EQ(CZelviaRssDB::Instance().FindFeedByUrl(feed.xmlUrl), 0U);

    CRenameDlg dialog(m_pFrame.get(), m_session, &feed);
    const int result = RunScripted(dialog, [&] {
        auto* edit = FindControl<QLineEdit>(&dialog, IDC_RENAME_EDIT);
        EXPECT_EQ(dialog.Title(), QStringLiteral("Rename Feed"));
        EXPECT_EQ(edit->text(), QStringLiteral("Old name"));
        EXPECT_NE(CZelviaRssDB::Instance().FindFeedByUrl(feed.xmlUrl), 0U) << "made when the dialog opened";
        TypeInto(edit, QStringLiteral("   "));
        PressLeftKey(dialog);
        EXPECT_TRUE(dialog.IsRunning());
        TypeInto(edit, QStringLiteral(" New name "));
        PressLeftKey(dialog);
    });
    EXPECT_EQ(result, ID_DONE);
    EXPECT_EQ(dialog.NewName(), L"New name");
    EXPECT_TRUE(Boxes().isEmpty());

    COutline folder;
    folder.title = L"Folder";
    folder.kind = OutlineKindFolder;
    CRenameDlg folderDialog(m_pFrame.get(), m_session, &folder);
    RunScripted(folderDialog, [&] { EXPECT_EQ(folderDialog.Title(), QStringLiteral("Rename folder")); });

    CRenameDlg nothing(m_pFrame.get(), m_session, nullptr);
    EXPECT_EQ(nothing.DoModal(), ID_CANCEL);
}

TEST_F(FeedDialogsTest, RenameEndsAsCancelWhenTheMissingRecordCannotBeWritten)
{
    FailingVfs::Install(); // before the store opens
    m_session.Start();
    COutline feed;
    feed.title = L"No record";
    feed.xmlUrl = L"http://norecord.invalid/feed";
    feed.kind = OutlineKindFeed;
    FailingVfs::FailWrites("RSS.CDB");
    CRenameDlg dialog(m_pFrame.get(), m_session, &feed);
    const int result = dialog.DoModal();
    FailingVfs::Heal();
    EXPECT_EQ(result, ID_CANCEL);
    EXPECT_EQ(Boxes(), QStringList{QStringLiteral("Error in writing in the feed database.")});
    EXPECT_EQ(m_pBoxes->Shown()[0].style & 0xF0, MB_ICONHAND);
}

TEST_F(FeedDialogsTest, PropertiesDrawsLabelsBoldAndValuesAsTheyAre)
{
    m_session.Start();
    COutline feed;
    feed.title = L"Never updated";
    feed.xmlUrl = L"http://props.invalid/feed";
    feed.htmlUrl = L"http://props.invalid/";
    feed.description = L"a < b, and <b>not bold</b>";
    feed.kind = OutlineKindFeed;
    FeedRecord record = MakeNewFeedRecord(feed.xmlUrl, feed.title, L"");
    ASSERT_TRUE(CZelviaRssDB::Instance().WriteFeed(record));

    CPropertiesDlg dialog(m_pFrame.get(), m_session.Properties(feed));
    const int result = RunScripted(dialog, [&] {
        EXPECT_EQ(dialog.Title(), QStringLiteral("Properties"));
        QStringList labels;
        QStringList values;
        for (int id = IDC_PROPERTY_FIRST; id < IDC_PROPERTY_FIRST + 10; id += 2) {
            auto* label = FindControl<CMarkupLabel>(&dialog, id);
            auto* value = FindControl<CMarkupLabel>(&dialog, id + 1);
            ASSERT_NE(label, nullptr);
            ASSERT_NE(value, nullptr);
            EXPECT_FALSE(label->IsPlainText());
            EXPECT_TRUE(value->IsPlainText()) << "a feed's text is not markup";
            labels << label->Text();
            values << value->Text();
            EXPECT_GT(value->height(), 0);
        }
        EXPECT_EQ(labels.first(), QStringLiteral("<B><Font size=10>Feed Title</font></B>"));
        EXPECT_EQ(labels[3], QStringLiteral("<B><Font size=10>Last update</font></B>"));
        EXPECT_EQ(values, (QStringList{QStringLiteral("Never updated"), QStringLiteral("http://props.invalid/feed"),
                                       QStringLiteral("http://props.invalid/"), QStringLiteral("Not yet"),
                                       QStringLiteral("a < b, and <b>not bold</b>")}));
        EXPECT_EQ(dialog.SoftKeys()->KeyText(CSoftKeyBar::kLeft), QStringLiteral("Done"));
        PressLeftKey(dialog);
    });
    EXPECT_EQ(result, ID_DONE);
}

TEST_F(FeedDialogsTest, ALongAddressInAPlainLabelBreaksInsteadOfRunningOff)
{
    CMarkupLabel shortText(QStringLiteral("http://a.invalid/"));
    CMarkupLabel longText(QStringLiteral("http://feeds.invalid/") + QString(200, QLatin1Char('x')));
    for (CMarkupLabel* label : {&shortText, &longText})
        label->SetPlainText(true);
    EXPECT_GE(longText.heightForWidth(200), 3 * shortText.heightForWidth(200) - 2 * 2 * shortText.Margin());
}

TEST_F(FeedDialogsTest, TheImportSourceIsAFileOrAnAddress)
{
    CTreeDialogs dialogs;
    InstallFeedDialogs(dialogs);
    QStringList rows;
    ScriptNextDialog([&](CFullScreenDialog& dialog) {
        auto* list = FindControl<CReportList>(&dialog, IDC_CHOICE_LIST);
        for (int row = 0; row < list->GetItemCount(); ++row)
            rows << list->ItemText(row, 0);
        EXPECT_EQ(list->GetSelectedRow(), 0);
        PressLeftKey(dialog);
    });
    EXPECT_EQ(dialogs.importSource(m_pFrame.get()), ID_IMPORT_FILE);
    EXPECT_EQ(rows, (QStringList{QStringLiteral("Select OPML file"), QStringLiteral("Enter OPML URL")}));

    ScriptNextDialog([&](CFullScreenDialog& dialog) {
        auto* list = FindControl<CReportList>(&dialog, IDC_CHOICE_LIST);
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Return);
    });
    EXPECT_EQ(dialogs.importSource(m_pFrame.get()), ID_IMPORT_URL);

    ScriptNextDialog([&](CFullScreenDialog& dialog) { dialog.SoftKeys()->PressKey(CSoftKeyBar::kRight); });
    EXPECT_EQ(dialogs.importSource(m_pFrame.get()), ID_CANCEL);
}
