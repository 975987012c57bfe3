// The file and folder picker on a temporary folder tree: what it lists,
// how it walks, what Done hands back, the overwrite question, and folders
// and cards that vanish or appear while it is open.
#include <QLabel>
#include <filesystem>

#include "DialogTestSupport.h"
#include "platform/Unicode.h"
#include "views/FeedDialogs.h"
#include "views/KFileDialog.h"
#include "views/MountWatcher.h"
#include "views/ReportList.h"

namespace fs = std::filesystem;

namespace {

class KFileDialogTest : public CDialogTest {
protected:
    void SetUp() override
    {
        CDialogTest::SetUp();
        m_root = HomePath("tree");
        for (const char* folder : {"docs/sub", "docs/.secret", "docs/zeta"})
            fs::create_directories(m_root + "/" + folder);
        for (const char* file : {"docs/a.opml", "docs/B.OPML", "docs/c.xml", "docs/d.txt", "docs/.hidden.opml",
                                 "docs/noextension"})
            WriteWholeFile(m_root + "/" + file, "x");
    }

    std::wstring Path(const std::string& relative) const { return Utf8ToWide(m_root + "/" + relative); }

    static QStringList Rows(const CKFileDialog& dialog)
    {
        QStringList rows;
        for (int row = 0; row < dialog.List()->GetItemCount(); ++row)
            rows << dialog.List()->ItemText(row, 0);
        return rows;
    }

    static int RowOf(const CKFileDialog& dialog, const QString& name) { return Rows(dialog).indexOf(name); }

    std::string m_root;
};

} // namespace

TEST_F(KFileDialogTest, TheListingShowsFoldersThenTheFilesTheFilterLets)
{
    CKFileDialog dialog(m_pFrame.get(), CKFileDialog::kSelectFile, Path("docs"), L"", L"opml, XML");
    RunScripted(dialog, [&] {
        EXPECT_EQ(Rows(dialog), (QStringList{"..", "sub", "zeta", "a.opml", "B.OPML", "c.xml"}))
            << "hidden entries and other extensions are left out; extensions compare without case";
        EXPECT_FALSE(FindControl<QLineEdit>(&dialog, IDC_PICKER_NAME)->isVisible()) << "only Save As has a name";
        EXPECT_EQ(dialog.List()->GetSelectedRow(), 0);
        EXPECT_EQ(dialog.List()->headerItem()->text(0), QStringLiteral("filename"));
        // Each row has room for its text around the style's focus frame.
        const CReportList* list = dialog.List();
        EXPECT_GE(list->visualItemRect(list->topLevelItem(0)).height(), list->fontMetrics().height() + 4);
    });

    CKFileDialog all(m_pFrame.get(), CKFileDialog::kSelectFile, Path("docs"), L"", L"*.*");
    RunScripted(all, [&] { EXPECT_EQ(Rows(all), (QStringList{"..", "sub", "zeta", "a.opml", "B.OPML", "c.xml", "d.txt", "noextension"})); });

    CKFileDialog folders(m_pFrame.get(), CKFileDialog::kSelectFolder, Path("docs"), L"", L"");
    RunScripted(folders, [&] {
        EXPECT_EQ(Rows(folders), (QStringList{"..", "sub", "zeta"}));
        EXPECT_EQ(folders.Title(), QStringLiteral("Select Folder"));
    });
}

TEST_F(KFileDialogTest, ItWalksDownAndUpButNotAboveItsRoot)
{
    CKFileDialog dialog(m_pFrame.get(), CKFileDialog::kSelectFile, Path("docs"), L"", L"opml");
    dialog.SetRootFolder(Path("docs"));
    dialog.SetTitleId(IDS_IMPORT_OPML);
    dialog.SetMenuId(IDR_PICKER_SELECT);
    const int result = RunScripted(dialog, [&] {
        EXPECT_EQ(dialog.Title(), QStringLiteral("Import OPML"));
        EXPECT_EQ(dialog.SoftKeys()->KeyText(CSoftKeyBar::kLeft), QStringLiteral("Select"));
        EXPECT_EQ(Rows(dialog).first(), QStringLiteral("sub")) << "no \"..\" at the root folder";
        dialog.ActivateRow(RowOf(dialog, "sub"));
        EXPECT_EQ(dialog.CurrentFolder(), Path("docs/sub"));
        EXPECT_EQ(FindControl<QLabel>(&dialog, IDC_PICKER_FOLDER)->toolTip(), ToQString(Path("docs/sub")));
        EXPECT_EQ(Rows(dialog), QStringList{".."});
        // Done on a folder opens it rather than choosing nothing.
        dialog.List()->SelectRow(0);
        PressLeftKey(dialog);
        EXPECT_EQ(dialog.CurrentFolder(), Path("docs"));
        dialog.List()->SelectRow(RowOf(dialog, "B.OPML"));
        PressLeftKey(dialog);
    });
    EXPECT_EQ(result, ID_DONE);
    EXPECT_EQ(dialog.ChosenPath(), Path("docs/B.OPML"));
}

TEST_F(KFileDialogTest, ATapOpensAFolderAndADoubleTapOpensOnlyOne)
{
    fs::create_directories(m_root + "/docs/sub/inner");
    CKFileDialog dialog(m_pFrame.get(), CKFileDialog::kSelectFile, Path("docs"), L"", L"opml");
    RunScripted(dialog, [&] {
        auto tap = [&](const QString& name, bool twice) {
            QTreeWidgetItem* item = dialog.List()->topLevelItem(RowOf(dialog, name));
            ASSERT_NE(item, nullptr);
            const QPoint at = dialog.List()->visualItemRect(item).center();
            QTest::mouseClick(dialog.List()->viewport(), Qt::LeftButton, {}, at);
            if (twice)
                QTest::mouseDClick(dialog.List()->viewport(), Qt::LeftButton, {}, at);
        };
        tap("sub", false);
        EXPECT_EQ(dialog.CurrentFolder(), Path("docs/sub"));
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        tap("..", true);
        EXPECT_EQ(dialog.CurrentFolder(), Path("docs"));
    });
}

TEST_F(KFileDialogTest, SaveAsAsksBeforeOverwritingAndNoKeepsItOpen)
{
    CKFileDialog dialog(m_pFrame.get(), CKFileDialog::kSaveAs, Path("docs"), L"a.opml", L"opml");
    m_pBoxes->QueueAnswer(IDNO);
    const int result = RunScripted(dialog, [&] {
        auto* name = FindControl<QLineEdit>(&dialog, IDC_PICKER_NAME);
        EXPECT_TRUE(name->isVisible());
        EXPECT_EQ(name->text(), QStringLiteral("a.opml"));
        EXPECT_EQ(dialog.SoftKeys()->KeyText(CSoftKeyBar::kLeft), QStringLiteral("Save"));
        PressLeftKey(dialog);
        EXPECT_TRUE(dialog.IsRunning());
        EXPECT_EQ(name->text(), QStringLiteral("a.opml"));
        TypeInto(name, QString());
        PressLeftKey(dialog);
        EXPECT_TRUE(dialog.IsRunning()) << "an empty name saves nothing";
        // Tapping a file takes its name.
        dialog.ActivateRow(RowOf(dialog, "B.OPML"));
        EXPECT_EQ(name->text(), QStringLiteral("B.OPML"));
    });
    EXPECT_EQ(result, -1);
    ASSERT_EQ(Boxes(), QStringList{QStringLiteral("Are you sure you want to overwrite this file?")});
    EXPECT_EQ(m_pBoxes->Shown()[0].style & 0xFF, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));

    CKFileDialog fresh(m_pFrame.get(), CKFileDialog::kSaveAs, Path("docs"), L"export.opml", L"opml");
    EXPECT_EQ(RunScripted(fresh, [&] { PressLeftKey(fresh); }), ID_DONE);
    EXPECT_EQ(fresh.ChosenPath(), Path("docs/export.opml"));
    EXPECT_EQ(Boxes().size(), 1) << "a new file is not asked about";
}

TEST_F(KFileDialogTest, AFolderRemovedWhileOpenFallsBackToTheDeepestThatExists)
{
    fs::create_directories(m_root + "/docs/sub/deep/deeper");
    CKFileDialog dialog(m_pFrame.get(), CKFileDialog::kSelectFile, Path("docs/sub/deep/deeper"), L"", L"");
    RunScripted(dialog, [&] {
        fs::remove_all(m_root + "/docs/sub");
        dialog.ActivateRow(RowOf(dialog, ".."));
        EXPECT_EQ(dialog.CurrentFolder(), Path("docs"));
        EXPECT_EQ(RowOf(dialog, "sub"), -1);
    });

    CKFileDialog missing(m_pFrame.get(), CKFileDialog::kSelectFile, Path("gone/away"), L"", L"");
    RunScripted(missing, [&] { EXPECT_EQ(missing.CurrentFolder(), Utf8ToWide(m_root)); });

    std::wstring path = Path("docs/a.opml/x");
    EXPECT_TRUE(CKFileDialog::GetValidFolder(path));
    EXPECT_EQ(path, Path("docs"));
    std::wstring empty;
    EXPECT_FALSE(CKFileDialog::GetValidFolder(empty));
}

TEST_F(KFileDialogTest, CardsMountedAndPulledWhileOpenChangeTheListing)
{
    const std::string media = HomePath("media/user");
    fs::create_directories(media);
    QStringList mounts;
    CKFileDialog dialog(m_pFrame.get(), CKFileDialog::kSelectFile, Utf8ToWide(media), L"", L"");
    RunScripted(dialog, [&] {
        dialog.MountWatcher()->SetSource([&] { return mounts; });
        EXPECT_EQ(Rows(dialog), QStringList{".."});

        const QString card = QString::fromStdString(media + "/CARD");
        fs::create_directories(media + "/CARD/feeds/old");
        mounts << card;
        dialog.MountWatcher()->Poll();
        ASSERT_TRUE(WaitFor([&] { return RowOf(dialog, "CARD") >= 0; }));

        dialog.ActivateRow(RowOf(dialog, "CARD"));
        dialog.ActivateRow(RowOf(dialog, "feeds"));
        dialog.ActivateRow(RowOf(dialog, "old"));
        EXPECT_EQ(dialog.CurrentFolder(), Utf8ToWide(media + "/CARD/feeds/old"));

        fs::remove_all(media + "/CARD");
        mounts.clear();
        dialog.MountWatcher()->Poll();
        ASSERT_TRUE(WaitFor([&] { return dialog.CurrentFolder() == Utf8ToWide(media); }));
        EXPECT_EQ(Rows(dialog), QStringList{".."});
    });
}

TEST_F(KFileDialogTest, TheWatcherTellsEachCardThatComesAndGoes)
{
    QStringList mounts{"/media/u/A"};
    CMountWatcher watcher(nullptr, [&] { return mounts; }, 60000);
    QStringList arrived;
    QStringList removed;
    QObject::connect(&watcher, &CMountWatcher::arrived, [&](const QString& mount) { arrived << mount; });
    QObject::connect(&watcher, &CMountWatcher::removed, [&](const QString& mount) { removed << mount; });
    watcher.Poll();
    EXPECT_TRUE(arrived.isEmpty()) << "what was there at the start is no news";
    mounts = {"/media/u/B", "/media/u/C"};
    watcher.Poll();
    EXPECT_EQ(arrived, (QStringList{"/media/u/B", "/media/u/C"}));
    EXPECT_EQ(removed, QStringList{"/media/u/A"});
    EXPECT_EQ(CMountWatcher::MediaRoots().size(), 2);
}

TEST_F(KFileDialogTest, ImportStartsInTheDocumentsFolderAndHandsBackTheChosenFile)
{
    WriteHomeFile("Documents/RSS Reader/mine.opml", "<opml/>");
    EXPECT_EQ(ImportExportFolder(), HomePathW("Documents/RSS Reader"));
    CTreeDialogs dialogs;
    InstallFeedDialogs(dialogs);
    ScriptNextDialog([&](CFullScreenDialog& shown) {
        auto* picker = qobject_cast<CKFileDialog*>(&shown);
        ASSERT_NE(picker, nullptr);
        EXPECT_EQ(picker->Title(), QStringLiteral("Import OPML"));
        picker->List()->SelectRow(RowOf(*picker, "mine.opml"));
        PressLeftKey(*picker);
    });
    CTreeDialogs::CFileRequest request;
    request.mode = CKFileDialog::kSelectFile;
    request.extensions = L"opml";
    request.titleId = IDS_IMPORT_OPML;
    request.menuId = IDR_PICKER_SELECT;
    EXPECT_EQ(dialogs.pickFile(m_pFrame.get(), request), HomePathW("Documents/RSS Reader/mine.opml"));
}

TEST_F(KFileDialogTest, ALongPathLosesItsMiddleFolders)
{
    const QFontMetrics metrics(QApplication::font());
    const QString path = QStringLiteral("/home/someone/Documents/very/deep/folder/structure/RSS Reader");
    EXPECT_EQ(ElidePath(path, metrics, 10000), path);
    const int width = metrics.horizontalAdvance(QStringLiteral("/home/.../structure/RSS Reader")) + 2;
    EXPECT_EQ(ElidePath(path, metrics, width), QStringLiteral("/home/.../structure/RSS Reader"));
    EXPECT_LE(metrics.horizontalAdvance(ElidePath(path, metrics, 60)), 60);
}
