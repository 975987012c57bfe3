// The description pane with untrusted descriptions: the document it is
// given, what it refuses to load, pictures from the loopback server (shown,
// cached on disk, fitted to the pane, refused past the size cap), and the
// About view.

#include <QBuffer>
#include <QDir>
#include <QImageWriter>
#include <QLabel>
#include <QTextDocument>

#include "ListViewTestSupport.h"
#include "views/AboutDlg.h"
#include "views/DescriptionView.h"
#include "views/ResText.h"

namespace {

std::string Png(int width, int height, QColor colour = Qt::red)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

class DescriptionViewTest : public CListViewTest {
protected:
    // The picture the document holds for a source, as the pane lays it out.
    static QImage Shown(CDescriptionView& pane, const QString& source)
    {
        return pane.document()->resource(QTextDocument::ImageResource, QUrl(source)).value<QImage>();
    }

    static int CacheFiles()
    {
        return static_cast<int>(QDir(CDescriptionImages::CacheFolder()).entryList(QDir::Files).size());
    }
};

} // namespace

TEST_F(DescriptionViewTest, TheDocumentIsTheDescriptionAsStoredBetweenTheFixedHeadAndTail)
{
    EXPECT_EQ(CDescriptionView::PageDocument(QStringLiteral("plain <b>text</b> &amp; <script>x()</script>")),
              QStringLiteral("<html><body bgcolor='#DCDCDC '>plain <b>text</b> &amp; <script>x()</script></body></html>"));
    EXPECT_EQ(CDescriptionView::EmptyDocument(),
              QStringLiteral("<html><body bgcolor='#DCDCDC'><p>&nbsp;</p></body></html>"));

    CDescriptionView pane;
    pane.resize(300, 200);
    pane.SetFocusStyle(false);
    pane.ShowHtml(CDescriptionView::PageDocument(QStringLiteral("Just words, flowing.")));
    EXPECT_EQ(pane.toPlainText(), QStringLiteral("Just words, flowing."));
    EXPECT_EQ(pane.objectName(), QString::number(IDC_DESCRIPTION));
}

TEST_F(DescriptionViewTest, NothingLocalIsReadAndNoOtherSchemeIsFetched)
{
    const std::wstring secret = WriteHomeFile("secret.html", "<p>secret text</p>");
    const std::string picture = Png(40, 30);
    const std::wstring local = WriteHomeFile("local.png", picture);
    WriteHomeFile("relative.png", picture);
    m_server.SetAnswer("/style.css", CHttpAnswer::Ok("body { color: red }"));

    CDescriptionView pane;
    pane.resize(300, 200);
    pane.setSearchPaths({QString::fromStdString(m_strHome)});
    const QString fileUrl = QUrl::fromLocalFile(ToQString(local)).toString();
    for (int type : {QTextDocument::HtmlResource, QTextDocument::StyleSheetResource, QTextDocument::MarkdownResource})
        EXPECT_EQ(pane.loadResource(type, QUrl::fromLocalFile(ToQString(secret))).toString(), QString());
    EXPECT_EQ(pane.loadResource(QTextDocument::StyleSheetResource, QUrl(QString::fromStdString(m_server.Url("/style.css"))))
                  .toString(),
              QString());

    pane.ShowHtml(CDescriptionView::PageDocument(
        "<img src=\"" + fileUrl + "\" alt=\"local\"><img src=\"relative.png\"><img src=\"qrc:/qt-project.org/styles/commonstyle/images/file-16.png\">"
        "<link rel=\"stylesheet\" href=\"" + QString::fromStdString(m_server.Url("/style.css")) + "\">"));
    for (const QString& source : {fileUrl, QStringLiteral("relative.png")})
        EXPECT_NE(Shown(pane, source).size(), QSize(40, 30)) << source.toStdString();
    EXPECT_NE(Shown(pane, QStringLiteral("qrc:/qt-project.org/styles/commonstyle/images/file-16.png")).size(),
              QSize(16, 16));
    QTest::qWait(50);
    EXPECT_EQ(m_server.Hits("/style.css"), 0);
    EXPECT_TRUE(pane.Images().IsIdle()) << "nothing was queued";
}

TEST_F(DescriptionViewTest, PicturesComeFromTheServerOffTheGuiThreadAreCachedAndFitThePane)
{
    m_server.SetAnswer("/pic.png", CHttpAnswer::Ok(Png(100, 50)));
    m_server.SetAnswer("/wide.png", CHttpAnswer::Ok(Png(2000, 100, Qt::blue)));
    m_server.SetAnswer("/big.png", CHttpAnswer::Ok(Png(100, 100) + std::string(6 * 1024 * 1024, 'x')));
    m_server.SetAnswer("/missing.png", CHttpAnswer::Status(404));
    const QString pic = QString::fromStdString(m_server.Url("/pic.png"));
    const QString wide = QString::fromStdString(m_server.Url("/wide.png"));
    const QString big = QString::fromStdString(m_server.Url("/big.png"));
    const QString missing = QString::fromStdString(m_server.Url("/missing.png"));
    const QString html = CDescriptionView::PageDocument("<p>Look:</p><img src=\"" + pic + "\" alt=\"A picture\"><img src=\"" +
                                                        wide + "\"><img src=\"" + big + "\" alt=\"Too big\"><img src=\"" +
                                                        missing + "\" alt=\"Gone\">");
    {
        CDescriptionView pane;
        pane.resize(320, 240);
        pane.show();
        pane.ShowHtml(html);
        EXPECT_TRUE(pane.toPlainText().startsWith(QStringLiteral("Look:")));
        const QImage before = Shown(pane, pic);
        EXPECT_NE(before.size(), QSize(100, 50)) << "the alt text stands in until the picture comes";
        EXPECT_GT(before.width(), 10);

        ASSERT_TRUE(WaitFor([&] { return pane.Images().IsIdle(); }, 20000));
        QTest::qWait(100); // the pane lays itself out again
        EXPECT_EQ(Shown(pane, pic).size(), QSize(100, 50));
        const QImage fitted = Shown(pane, wide);
        EXPECT_LT(fitted.width(), pane.viewport()->width()) << "a wide picture is scaled to the pane";
        EXPECT_GT(fitted.width(), 200);
        EXPECT_NE(Shown(pane, big).size(), QSize(100, 100)) << "past 5 MB: refused, the alt text stays";
        EXPECT_NE(Shown(pane, missing).size(), QSize(100, 50));
        EXPECT_EQ(CacheFiles(), 2) << "only what was shown is kept";
    }
    EXPECT_EQ(m_server.Hits("/pic.png"), 1);

    // Another pane (another list) takes the pictures from the disk cache.
    CDescriptionView again;
    again.resize(320, 240);
    again.show();
    again.ShowHtml(html);
    ASSERT_TRUE(WaitFor([&] { return again.Images().IsIdle(); }, 20000));
    QTest::qWait(100);
    EXPECT_EQ(Shown(again, pic).size(), QSize(100, 50));
    EXPECT_EQ(m_server.Hits("/pic.png"), 1);
    EXPECT_EQ(m_server.Hits("/wide.png"), 1);
    EXPECT_TRUE(CDescriptionImages::CacheFolder().startsWith(QString::fromStdString(HomePath("cache"))));
}

TEST_F(DescriptionViewTest, ClosingAPaneWhilePicturesAreOnTheirWayNeitherWaitsNorCrashes)
{
    CHttpAnswer stalled;
    stalled.delivery = CHttpAnswer::Delivery::StallBeforeAnswer;
    QString html;
    for (int i = 0; i < 6; ++i) {
        const std::string path = "/slow" + std::to_string(i) + ".png";
        m_server.SetAnswer(path, stalled);
        html += "<img src=\"" + QString::fromStdString(m_server.Url(path)) + "\">";
    }
    auto pane = std::make_unique<CDescriptionView>();
    pane->show();
    pane->ShowHtml(CDescriptionView::PageDocument(html));
    ASSERT_TRUE(WaitFor([&] { return m_server.Hits("/slow3.png") == 1; }));
    QTest::qWait(100);
    EXPECT_EQ(m_server.Hits("/slow4.png"), 0) << "at most four at a time";
    QElapsedTimer timer;
    timer.start();
    pane.reset();
    EXPECT_LT(timer.elapsed(), 3000);
}

TEST_F(DescriptionViewTest, TheAboutViewShowsTheLogoAndTheVersionTable)
{
    CAboutDlg dialog(m_pFrame.get());
    RunScripted(dialog, [&] {
        auto* logo = FindControl<QLabel>(&dialog, IDC_ABOUT_LOGO);
        ASSERT_NE(logo, nullptr);
        EXPECT_FALSE(logo->pixmap().isNull());
        const QString text = dialog.Pane()->toPlainText();
        for (const QString& line : {ResString(IDS_APP_TITLE), QStringLiteral("Version 0.1.0.0"), ResString(IDS_COMPANY_NAME),
                                    ResString(IDS_LEGAL_NOTICE)})
            EXPECT_TRUE(text.contains(line)) << line.toStdString() << " in " << text.toStdString();
        EXPECT_GE(dialog.Pane()->mapTo(&dialog, QPoint(0, 0)).y(), logo->mapTo(&dialog, QPoint(0, logo->height())).y());
    });
    EXPECT_EQ(CAboutDlg::AboutDocument({QStringLiteral("1,2,3,4"), QStringLiteral("C&Co"), QStringLiteral("L")})
                  .count(QStringLiteral("<TR>")),
              4);
    EXPECT_TRUE(CAboutDlg::AboutDocument({QStringLiteral("1,2,3,4"), QStringLiteral("C&Co"), QStringLiteral("L")})
                    .contains(QStringLiteral("Version 1.2.3.4")));
}

