// The message box: the shortening of long quoted texts, what a box shows
// (caption, style, line breaks) and the answer the caller gets back.

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "GuiTestSupport.h"
#include "app/MessageBox.h"
#include "views/ResText.h"

using MessageBoxTest = CGuiTest;

TEST_F(MessageBoxTest, LongQuotedTextsAreShortenedBeforeTheirLastQuote)
{
    // The unsupported-URL text with a long address: 196 characters, the
    // address's last one, "..." and the closing quote.
    const QString url = QStringLiteral("http://example.org/") + QString(300, QLatin1Char('p')) + QStringLiteral("z");
    const QString text = QStringLiteral("Unsupported URL\r\n\"") + url + QStringLiteral("\"");
    const QString shortened = ShortenMessageText(text);
    EXPECT_EQ(shortened, text.left(196) + QStringLiteral("z...\""));
    EXPECT_EQ(shortened.size(), 201);

    // A quote inside the text: what follows it stays whole.
    const QString middle = QString(150, QLatin1Char('x')) + QStringLiteral("\"") + QString(60, QLatin1Char('y'));
    EXPECT_EQ(ShortenMessageText(middle),
              QString(137, QLatin1Char('x')) + QStringLiteral("...\"") + QString(60, QLatin1Char('y')));

    // At exactly 198 characters the rule still applies (and adds three).
    const QString edge = QString(197, QLatin1Char('a')) + QStringLiteral("\"");
    EXPECT_EQ(ShortenMessageText(edge), QString(197, QLatin1Char('a')) + QStringLiteral("...\""));

    const QString under = QString(196, QLatin1Char('a')) + QStringLiteral("\"");
    EXPECT_EQ(ShortenMessageText(under), under);
    const QString noQuote(400, QLatin1Char('n'));
    EXPECT_EQ(ShortenMessageText(noQuote), noQuote);
    // A last quote too far from the end leaves nothing the rule could keep:
    // the text is shown whole rather than cut at a negative length.
    const QString early = QStringLiteral("\"") + QString(300, QLatin1Char('e'));
    EXPECT_EQ(ShortenMessageText(early), early);
}

TEST_F(MessageBoxTest, ABoxShowsItsTextCaptionAndStyleAndReturnsTheAnswer)
{
    CMessageBoxScript script;
    script.QueueAnswer(IDNO);
    EXPECT_EQ(ShowMessageBox(nullptr, ResFormat(IDS_FEEDS_TO_ADD, 2), MB_YESNO | MB_ICONASTERISK), IDNO);
    EXPECT_EQ(ShowMessageBox(nullptr, ResFormat(IDS_FEEDS_TO_ADD, 2), MB_YESNO | MB_ICONASTERISK), IDYES);
    // An OK box answers OK whatever the script would say.
    script.QueueAnswer(IDNO);
    EXPECT_EQ(ShowMessageBox(nullptr, IDS_UNABLE_TO_CONNECT, MB_OK | MB_ICONHAND | MB_TOPMOST), IDOK);
    EXPECT_EQ(ShowMessageBox(nullptr, QStringLiteral("Control (ID:5) DoDataExchange fail"),
                             MB_OK | MB_ICONEXCLAMATION, IDS_DDX_ERROR),
              IDOK);

    const auto& shown = script.Shown();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].text, QStringLiteral("\"2\" feed(s) exist for adding.\nClick Yes to add feeds."));
    EXPECT_EQ(shown[0].caption, QStringLiteral("RSS Reader"));
    EXPECT_EQ(shown[0].style, MB_YESNO | MB_ICONASTERISK | MB_SETFOREGROUND);
    EXPECT_TRUE(shown[2].text.startsWith(QStringLiteral("Unable to connect.")));
    EXPECT_EQ(shown[2].style & (MB_TOPMOST | MB_ICONHAND), MB_TOPMOST | MB_ICONHAND);
    EXPECT_EQ(shown[3].caption, QStringLiteral("DDX Error"));
}

TEST_F(MessageBoxTest, TheRealBoxReturnsTheButtonTheUserChose)
{
    const auto answer = [](const char* button) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                EXPECT_EQ(box->windowTitle(), QStringLiteral("RSS Reader"));
                EXPECT_EQ(box->icon(), QMessageBox::Question);
                if (auto* chosen = box->findChild<QPushButton*>(QString::fromLatin1(button)))
                    chosen->click();
            }
        });
        poll.start(20);
        return ShowMessageBox(nullptr, QStringLiteral("Delete?"), MB_YESNO | MB_ICONQUESTION);
    };
    EXPECT_EQ(answer("yes"), IDYES);
    EXPECT_EQ(answer("no"), IDNO);
}
