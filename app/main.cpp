// rssreader: the program entry. The order below is the start-up order of the
// reader; the frame's own steps are CReaderApp's (app/ReaderApp.h).
//
// Exit codes: the event loop's (0), 1 when a running copy was brought to the
// front instead, 2 when the single-instance rule could not run (no data
// folder or no runtime folder).
#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "app/MainFrame.h"
#include "app/MessageBridge.h"
#include "app/ReaderApp.h"
#include "app/SingleInstance.h"
#include "platform/Debug.h"
#include "store/DataStorage.h"
#include "views/FullScreenDialog.h"
#include "views/InstallDialogs.h"
#include "views/ResText.h"

namespace {

constexpr int kExitActivatedOther = 1;
constexpr int kExitSingleInstanceFailed = 2;

// SIGTERM and SIGINT close the frame through the event loop, so a session
// that ends takes the same way out as Exit. The handler only writes a byte.
int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

// Installed first thing: a signal that comes during start-up waits in the
// pipe until the frame can close, instead of killing the start half-way.
void CatchTerminationSignals()
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

void CloseOnTerminationSignal(CMainFrame& frame)
{
    if (g_signalPipe[0] < 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &frame);
    QObject::connect(notifier, &QSocketNotifier::activated, &frame, [&frame] {
        char byte = 0;
        while (::read(g_signalPipe[0], &byte, 1) > 0) {
        }
        // Dialogs first: their nested loops must return before the frame's.
        while (CFullScreenDialog* dialog = CFullScreenDialog::ActiveDialog()) {
            dialog->EndDialog(IDCANCEL);
            if (CFullScreenDialog::ActiveDialog() == dialog)
                break;
        }
        frame.close();
    });
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    CatchTerminationSignals();
    // The command line is ignored: a later start only activates this one.

    // 1. The resource module: the language file beside the program, else
    //    the built-in texts.
    if (SelectResourceModule(QCoreApplication::applicationFilePath().toStdString()))
        DebugLog("main", "texts from " + ResourceModuleFile());

    // 2. One copy at a time per data folder: named after the folder, not
    //    after the title, which changes with the language.
    CSingleInstance instance(CSingleInstance::NameOfDataFolder(QString::fromStdWString(GetDataFolder())));
    switch (instance.Claim()) {
    case CSingleInstance::EClaim::OtherActivated:
        return kExitActivatedOther;
    case CSingleInstance::EClaim::Failed:
        return kExitSingleInstanceFailed;
    case CSingleInstance::EClaim::First:
    case CSingleInstance::EClaim::Unclaimed:
        break;
    }

    // 3-5. Platform set-up: the core's window messages join the Qt loop.
    CMessageBridge bridge;

    // The windows the tree opens (views/InstallDialogs.h).
    CTreeDialogs dialogs;
    InstallAllDialogs(dialogs);

    // 6-14. The frame, the databases, the connection manager and the
    //    channel tree view as the client (CReaderApp::Create).
    CReaderApp reader(std::move(dialogs));
    reader.Create();
    CMainFrame& frame = reader.Frame();

    // 15. A later start brings this copy to the front.
    QObject::connect(&instance, &CSingleInstance::activationRequested, &frame, &CMainFrame::BringToFront);
    instance.Listen();
    CloseOnTerminationSignal(frame);

    // 16. The start-up command is posted: the tree starts once the loop runs.
    // 17. Show the frame and run the loop until the frame closes.
    frame.show();
    const int result = QApplication::exec();

    // Shutdown: settings (written a last time), item database, feed
    // database, connection manager, the XML parser's state; then the view's
    // timer and the windows. The subscriptions are freed without a save.
    reader.Shutdown();
    DebugLog("main", "End >>");
    return result;
}
