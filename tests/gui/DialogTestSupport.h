#pragma once
// Shared by the tests of the feed dialogs, the picker, the search and the
// options: a private home with a loopback server (CNetTest), the built-in
// texts, a frame to host the dialogs, the bridge that delivers the core's
// window messages, and message boxes answered by a script.
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>
#include <ostream>
#include <memory>

#include "GuiTestSupport.h"
#include "app/MainFrame.h"
#include "app/MessageBox.h"
#include "app/MessageBridge.h"
#include "support/NetTest.h"
#include "views/FullScreenDialog.h"
#include "views/ResText.h"
#include "views/SoftKeyBar.h"

// Readable failures.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList& texts, std::ostream* out)
{
    *out << "{";
    for (const QString& text : texts)
        *out << " \"" << text.toStdString() << "\"";
    *out << " }";
}

// Long enough for a download to have reached a stalling server; its hit
// count is not polled meanwhile, since the server's thread is writing it.
inline constexpr int kRequestOnItsWay = 300;

// Under ThreadSanitizer, a download stopped from inside Qt's event loop is
// reported as a race on the download's own mutex-guarded state: the locking
// of the GUI thread there is not seen. The download's stop is covered under
// ThreadSanitizer by the network tests; these GUI tests skip it.
#if defined(__SANITIZE_THREAD__)
#define SKIP_STOPPED_DOWNLOAD_UNDER_TSAN() GTEST_SKIP() << "a download stopped in Qt's loop under ThreadSanitizer"
#else
#define SKIP_STOPPED_DOWNLOAD_UNDER_TSAN() static_cast<void>(0)
#endif

class CDialogTest : public CNetTest {
protected:
    void SetUp() override
    {
        CNetTest::SetUp();
        UseBuiltInResources();
        m_pBridge = std::make_unique<CMessageBridge>();
        m_pFrame = std::make_unique<CMainFrame>();
        m_pFrame->show();
        m_pBoxes = std::make_unique<CMessageBoxScript>(IDYES);
    }

    void TearDown() override
    {
        m_pBoxes.reset();
        m_pFrame.reset();
        m_pBridge.reset();
        CNetTest::TearDown();
        UseBuiltInResources();
    }

    // The texts of the boxes shown so far, in order.
    QStringList Boxes() const
    {
        QStringList texts;
        for (const CMessageBoxRequest& box : m_pBoxes->Shown())
            texts << box.text;
        return texts;
    }

    // A small RSS document.
    static std::string Rss(const std::string& title, const std::string& link = "http://example.invalid/")
    {
        return "<?xml version='1.0'?><rss version='2.0'><channel><title>" + title + "</title><link>" + link +
               "</link><description>About " + title +
               "</description><item><title>One</title><link>http://example.invalid/1</link></item></channel></rss>";
    }

    std::unique_ptr<CMessageBridge> m_pBridge;
    std::unique_ptr<CMainFrame> m_pFrame;
    std::unique_ptr<CMessageBoxScript> m_pBoxes;
};

// Runs the dialog modally and plays the script once it shows; a dialog the
// script leaves running is ended with -1, so no test hangs.
inline int RunScripted(CFullScreenDialog& dialog, const std::function<void()>& script)
{
    QObject::connect(&dialog, &CFullScreenDialog::shown, &dialog, [&dialog, script] {
        // Focus moves, and the soft keys with it, only in an active window.
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.window()));
        script();
        dialog.EndDialog(-1);
    });
    return dialog.DoModal();
}

// Plays the script on the next dialog that opens (one the code under test
// creates itself), then ends it if the script did not.
inline void ScriptNextDialog(const std::function<void(CFullScreenDialog&)>& script)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, script] {
        CFullScreenDialog* dialog = CFullScreenDialog::ActiveDialog();
        if (dialog == nullptr || !dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog->window()));
        script(*dialog);
        dialog->EndDialog(-1);
    });
    poll->start();
}

// Types into an edit as the user does: the old text selected and replaced.
inline void TypeInto(QLineEdit* edit, const QString& text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

inline void PressLeftKey(CFullScreenDialog& dialog) { dialog.SoftKeys()->PressKey(CSoftKeyBar::kLeft); }
inline bool LeftKeyEnabled(CFullScreenDialog& dialog) { return dialog.SoftKeys()->IsKeyEnabled(CSoftKeyBar::kLeft); }
