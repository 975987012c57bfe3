// The desktop notice after an automatic update, against a notification
// service of the test's own on a private session bus (a dbus-daemon the
// test starts): what the notice says and when it comes, what a click on it
// does in the window, and the whole road from "rssreader-tool notify
// sync-end" to the notice with the real program.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QStandardPaths>

#include "ReaderWindowTestSupport.h"
#include "app/DesktopNotifier.h"
#include "app/MessageBox.h"
#include "platform/Registry.h"
#include "views/InstallDialogs.h"
#include "views/NewEpisodeListDlg.h"
#include "views/UpdateFeedsDlg.h"

namespace {

// A session bus of the test's own: no service is started on demand, so
// only what the test registers answers.
class CPrivateBus {
public:
    ~CPrivateBus() { Stop(); }

    bool Start(const QString& folder)
    {
        const QString config = folder + QStringLiteral("/bus.conf");
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write("<busconfig><type>session</type><listen>unix:dir=" + folder.toLocal8Bit() +
                   "</listen><policy context='default'><allow send_destination='*' eavesdrop='true'/>"
                   "<allow eavesdrop='true'/><allow own='*'/></policy></busconfig>");
        file.close();
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            return false;
        m_process.start(daemon, {QStringLiteral("--config-file=") + config, QStringLiteral("--print-address=1"),
                                 QStringLiteral("--nofork"), QStringLiteral("--nopidfile")});
        if (!m_process.waitForStarted(5000))
            return false;
        WaitFor([&] { return m_process.canReadLine(); }, 5000);
        m_strAddress = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        return !m_strAddress.isEmpty();
    }
    void Stop()
    {
        for (const QString& name : m_names)
            QDBusConnection::disconnectFromBus(name);
        m_names.clear();
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000))
                m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    QDBusConnection Connect(const QString& name)
    {
        m_names << name;
        return QDBusConnection::connectToBus(m_strAddress, name);
    }
    const QString& Address() const { return m_strAddress; }

private:
    QProcess m_process;
    QString m_strAddress;
    QStringList m_names;
};

// The desktop's notification service, as far as the reader uses it: Notify
// answers with a new id, and is recorded.
class CFakeNotifications : public QDBusVirtualObject {
public:
    struct CCall {
        QString appName;
        uint replaces = 0;
        QString summary;
        QStringList actions;
    };

    bool Register(QDBusConnection bus)
    {
        m_bus = std::make_unique<QDBusConnection>(bus);
        return bus.registerService(QString::fromLatin1(CDesktopNotifier::kService)) &&
               bus.registerVirtualObject(QString::fromLatin1(CDesktopNotifier::kPath), this);
    }
    // A click on a notice.
    void Click(uint id, const QString& action = QStringLiteral("default"))
    {
        QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(CDesktopNotifier::kPath),
                                                         QString::fromLatin1(CDesktopNotifier::kInterface),
                                                         QStringLiteral("ActionInvoked"));
        signal << id << action;
        m_bus->send(signal);
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() != QLatin1String("Notify") || message.arguments().size() != 8)
            return false;
        const QList<QVariant> args = message.arguments();
        calls.push_back({args[0].toString(), args[1].toUInt(), args[3].toString(), args[5].toStringList()});
        connection.send(message.createReply(QVariant::fromValue(++m_nLastId)));
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

    std::vector<CCall> calls;

private:
    std::unique_ptr<QDBusConnection> m_bus;
    uint m_nLastId = 40;
};

class DesktopNoticeTest : public CReaderWindowTest {
protected:
    void SetUp() override
    {
        CReaderWindowTest::SetUp();
        ASSERT_TRUE(m_bus.Start(QString::fromStdString(HomePath("run")))) << "dbus-daemon is needed (scripts/install-deps)";
        ASSERT_TRUE(m_service.Register(m_bus.Connect(QStringLiteral("notification-service"))));
    }
    void TearDown() override
    {
        CReaderWindowTest::TearDown();
        m_bus.Stop();
    }

    void StartNoticedReader()
    {
        CTreeDialogs dialogs;
        InstallAllDialogs(dialogs);
        m_pApp = std::make_unique<CReaderApp>(std::move(dialogs), m_bus.Connect(QStringLiteral("reader")));
        m_pApp->Create();
        Frame().show();
        ASSERT_TRUE(WaitFor([&] { return View().IsInitialised(); }, 20000));
    }

    // An automatic "Update All" (as the timer, the start-up or a
    // synchronisation asks for one), run to its end: its dialog closes itself.
    void AutomaticUpdate()
    {
        const int hits = m_server.Hits("/a");
        View().RequestUpdateAll(true);
        ASSERT_TRUE(WaitFor([&] {
            return m_server.Hits("/a") > hits && CFullScreenDialog::ActiveDialog() == nullptr &&
                   !Session().IsUpdateLocked();
        }, 20000));
    }

    CPrivateBus m_bus;
    CFakeNotifications m_service;
};

} // namespace

TEST_F(DesktopNoticeTest, AnAutomaticUpdateThatBroughtPagesIsToldAndTheNoticeOpensTheNewList)
{
    SetCurrentTimeForTesting(UtcTimePoint(2026, 12, 1, 12, 0)); // the pages are of today
    m_server.SetAnswer("/a", CHttpAnswer::Ok(RssDocument("A", "a", 2)));
    m_server.SetAnswer("/b", CHttpAnswer::Ok(RssDocument("B", "b", 1)));
    WriteTree(FeedOutline("A", "/a") + FeedOutline("B", "/b"));
    StartNoticedReader();

    AutomaticUpdate();
    ASSERT_TRUE(WaitFor([&] { return m_service.calls.size() == 1; }));
    EXPECT_EQ(m_service.calls[0].summary, QStringLiteral("3 new pages in 2 feeds"));
    EXPECT_EQ(m_service.calls[0].appName, QStringLiteral("RSS Reader"));
    EXPECT_EQ(m_service.calls[0].replaces, 0u);
    EXPECT_EQ(m_service.calls[0].actions, (QStringList{QStringLiteral("default"), QStringLiteral("Show")}));
    ASSERT_TRUE(WaitFor([&] { return m_pApp->Notifier().LastId() == 41; }));

    // A click on another program's notice does nothing; on ours, the New list.
    m_service.Click(7);
    QTest::qWait(200);
    EXPECT_EQ(CFullScreenDialog::ActiveDialog(), nullptr);
    int listed = -1;
    CPilot pilot;
    pilot.Then([&](CFullScreenDialog* dialog) {
        auto* list = qobject_cast<CNewEpisodeListDlg*>(dialog);
        if (list == nullptr || !list->IsLoaded())
            return false;
        listed = list->RowCount();
        list->PostCommand(ID_CANCEL);
        return true;
    });
    m_service.Click(41);
    ASSERT_TRUE(WaitFor([&] { return pilot.IsDone() && CFullScreenDialog::ActiveDialog() == nullptr; }));
    EXPECT_EQ(listed, 3);

    // Nothing new: no notice. New pages again: it replaces the last one.
    AutomaticUpdate();
    m_server.SetAnswer("/a", CHttpAnswer::Ok(RssDocument("A", "a", 3)));
    AutomaticUpdate();
    ASSERT_TRUE(WaitFor([&] { return m_service.calls.size() == 2; }));
    EXPECT_EQ(m_service.calls[1].summary, QStringLiteral("1 new page in 1 feed"));
    EXPECT_EQ(m_service.calls[1].replaces, 41u);
}

TEST_F(DesktopNoticeTest, NoNoticeForARunTheUserAskedForOrWithTheOptionOff)
{
    m_server.SetAnswer("/a", CHttpAnswer::Ok(RssDocument("A", "a", 2)));
    WriteTree(FeedOutline("A", "/a"));
    StartNoticedReader();
    CMessageBoxScript boxes(IDOK);

    // "Update All" from the Menu: its dialog waits for Done.
    CPilot pilot;
    pilot.Then([](CFullScreenDialog* dialog) {
        auto* update = qobject_cast<CUpdateFeedsDlg*>(dialog);
        if (update == nullptr || !update->Run().IsFinished())
            return false;
        update->PostCommand(ID_DONE);
        return true;
    });
    Frame().SendCommand(ID_UPDATE_ALL);
    ASSERT_TRUE(WaitFor([&] { return pilot.IsDone() && CFullScreenDialog::ActiveDialog() == nullptr; }, 20000));
    EXPECT_EQ(Entry("A").data().toString(), QStringLiteral("A (2)"));

    CSetting::Instance().SetNotifyNewPages(0);
    m_server.SetAnswer("/a", CHttpAnswer::Ok(RssDocument("A", "a", 4)));
    AutomaticUpdate();
    EXPECT_EQ(Entry("A").data().toString(), QStringLiteral("A (4)"));
    QTest::qWait(300);
    EXPECT_TRUE(m_service.calls.empty());

    // Without a bus a notice goes nowhere, and says so.
    CDesktopNotifier nowhere(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                           QStringLiteral("nowhere")));
    EXPECT_FALSE(nowhere.Notify(QStringLiteral("1 new page in 1 feed")));
    QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
}

TEST_F(DesktopNoticeTest, ASyncScriptsHookLeadsTheRunningProgramToANotice)
{
    m_server.SetAnswer("/a", CHttpAnswer::Ok(RssDocument("A", "a", 2)));
    WriteTree(FeedOutline("A", "/a"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.Address());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    auto tool = [&](const QStringList& args) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(RSSREADER_TOOL), args);
        process.waitForFinished(20000);
        return QString::fromUtf8(process.readAllStandardOutput());
    };
    // The device is in its cradle: a synchronisation's end is heard.
    CRegKey desktop;
    desktop.Create(HKEY_LOCAL_MACHINE, L"System\\State\\Connections\\Desktop");
    desktop.SetDWORDValue(L"Count", 1);
    tool({QStringLiteral("set"), QStringLiteral("UpdateOnConnected"), QStringLiteral("on")});

    QProcess reader;
    reader.setProcessEnvironment(environment);
    reader.start(QStringLiteral(RSSREADER_PROGRAM), {});
    ASSERT_TRUE(reader.waitForStarted(5000));
    // Heard once the program watches its events.
    ASSERT_TRUE(WaitFor([&] {
        return tool({QStringLiteral("notify"), QStringLiteral("sync-end")}).contains(QStringLiteral("\"received\": true"));
    }, 20000));
    const bool noticed = WaitFor([&] { return !m_service.calls.empty(); }, 20000);
    reader.terminate();
    reader.waitForFinished(10000);
    ASSERT_TRUE(noticed) << reader.readAllStandardError().toStdString();
    EXPECT_EQ(m_service.calls[0].summary, QStringLiteral("2 new pages in 1 feed"));
    EXPECT_EQ(reader.exitCode(), 0);
}
