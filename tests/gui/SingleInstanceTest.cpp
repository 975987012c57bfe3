// One copy at a time, with real processes: a later start brings the running
// copy to the front and exits with 1, waits while the first copy has no
// window yet, starts anyway when nobody answers, and a copy that died leaves
// nothing in the way.

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTimer>
#include <QTemporaryDir>
#include <signal.h>

#include "GuiTestSupport.h"
#include "app/SingleInstance.h"

namespace {

class SingleInstanceTest : public CGuiTest {
protected:
    void SetUp() override
    {
        CGuiTest::SetUp();
        ASSERT_TRUE(m_runtime.isValid());
        m_savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
    }
    void TearDown() override
    {
        for (QProcess* process : m_processes) {
            process->kill();
            process->waitForFinished(5000);
            delete process;
        }
        qputenv("XDG_RUNTIME_DIR", m_savedRuntime);
        CGuiTest::TearDown();
    }

    // The name the program takes for the private home's data folder.
    QString Name() const { return CSingleInstance::NameOfDataFolder(m_runtime.path() + QStringLiteral("/data/RSSReader")); }

    QProcess* Start(const QString& language = QStringLiteral("C.UTF-8"))
    {
        auto* process = new QProcess;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        environment.insert(QStringLiteral("HOME"), m_runtime.path());
        // The program keeps its data and options under the private home.
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_runtime.path() + QStringLiteral("/data"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_runtime.path() + QStringLiteral("/config"));
        environment.remove(QStringLiteral("XDG_DOCUMENTS_DIR"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("RSSREADER_DEBUG"), QStringLiteral("1"));
        environment.insert(QStringLiteral("LANG"), language);
        environment.remove(QStringLiteral("LANGUAGE"));
        environment.remove(QStringLiteral("LC_ALL"));
        environment.remove(QStringLiteral("LC_MESSAGES"));
        process->setProcessEnvironment(environment);
        process->start(QStringLiteral(RSSREADER_PROGRAM), QStringList{QStringLiteral("--ignored-argument")});
        m_processes.push_back(process);
        return process;
    }

    // Waits for the process to end while this process's event loop runs.
    static bool Finished(QProcess* process, int milliseconds)
    {
        return WaitFor([process] { return process->state() == QProcess::NotRunning; }, milliseconds);
    }

    QTemporaryDir m_runtime;
    QByteArray m_savedRuntime;
    std::vector<QProcess*> m_processes;
};

} // namespace

TEST_F(SingleInstanceTest, ALaterStartBringsTheRunningCopyToTheFrontAndExitsWithOne)
{
    const CSingleInstance names(Name());
    QProcess* first = Start();
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(names.SocketPath()); }, 15000)) << "the first copy never listened";

    QProcess* second = Start();
    ASSERT_TRUE(second->waitForFinished(15000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 1);
    EXPECT_FALSE(second->readAllStandardError().contains("BringToFront"));
    QByteArray firstOutput;
    EXPECT_TRUE(WaitFor([&] {
        firstOutput += first->readAllStandardError();
        return firstOutput.contains("[CMainFrame::BringToFront]");
    }));

    // A termination signal takes the normal way out; the lock goes with it.
    first->terminate();
    ASSERT_TRUE(first->waitForFinished(15000));
    EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first->exitCode(), 0);
    CSingleInstance after(Name());
    EXPECT_EQ(after.Claim(), CSingleInstance::EClaim::First);
}

TEST_F(SingleInstanceTest, StartsInTwoLanguagesOnOneDataFolderMeetTheSameCopy)
{
    QProcess* english = Start();
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(CSingleInstance(Name()).SocketPath()); }, 15000));
    QProcess* german = Start(QStringLiteral("de_DE.UTF-8"));
    ASSERT_TRUE(german->waitForFinished(15000));
    EXPECT_EQ(german->exitCode(), 1) << "a second writer of the same files";
    EXPECT_EQ(english->state(), QProcess::Running);

    // Another data folder is another copy's.
    EXPECT_NE(CSingleInstance::NameOfDataFolder(m_runtime.path() + QStringLiteral("/other")), Name());
    EXPECT_EQ(CSingleInstance::NameOfDataFolder(m_runtime.path() + QStringLiteral("/data/./RSSReader/")), Name());
}

TEST_F(SingleInstanceTest, ALaterStartWaitsForTheFirstCopysWindowThenActivatesIt)
{
    CSingleInstance first(Name());
    ASSERT_EQ(first.Claim(), CSingleInstance::EClaim::First);
    QSignalSpy activations(&first, &CSingleInstance::activationRequested);
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(700, [&] { first.Listen(); });

    QProcess* second = Start();
    ASSERT_TRUE(Finished(second, 15000));
    EXPECT_EQ(second->exitCode(), 1);
    EXPECT_GE(clock.elapsed(), 600);
    EXPECT_EQ(activations.count(), 1);
}

TEST_F(SingleInstanceTest, WithNoAnswerAfterTwentyFiveTriesItStartsAnyway)
{
    CSingleInstance silent(Name());
    ASSERT_EQ(silent.Claim(), CSingleInstance::EClaim::First);
    QElapsedTimer clock;
    clock.start();
    QProcess* second = Start();
    QByteArray output;
    ASSERT_TRUE(WaitFor(
        [&] {
            output += second->readAllStandardError();
            return output.contains("starting anyway");
        },
        15000));
    EXPECT_GE(clock.elapsed(), CSingleInstance::kTries * CSingleInstance::kRetryMilliseconds - 200);
    QTest::qWait(300);
    EXPECT_EQ(second->state(), QProcess::Running) << "a full second copy runs";
    second->terminate();
    ASSERT_TRUE(second->waitForFinished(15000));
    EXPECT_EQ(second->exitCode(), 0);
}

TEST_F(SingleInstanceTest, ACopyThatDiedLeavesNothingInTheWay)
{
    const CSingleInstance names(Name());
    QProcess* crashed = Start();
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(names.SocketPath()); }, 15000));
    ::kill(static_cast<pid_t>(crashed->processId()), SIGKILL);
    ASSERT_TRUE(crashed->waitForFinished(15000));
    ASSERT_TRUE(QFile::exists(names.LockPath()));

    CSingleInstance next(Name());
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(next.Claim(), CSingleInstance::EClaim::First);
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_TRUE(next.Listen()) << "the dead copy's socket file is replaced";
}
