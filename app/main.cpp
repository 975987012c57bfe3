// rssreader: the program entry. The order below is the start-up order of the
// reader; the steps that belong to the channel tree view and its session are
// marked where they go.
//
// Exit codes: the event loop's (0), 1 when a running copy was brought to the
// front instead, 2 when the single-instance rule could not run (no title
// text, no runtime folder).
#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "app/MainFrame.h"
#include "app/MessageBridge.h"
#include "app/SingleInstance.h"
#include "platform/Debug.h"
#include "views/FullScreenDialog.h"
#include "views/SoftKeyBar.h"
#include "views/ResText.h"

namespace {

constexpr int kExitActivatedOther = 1;
constexpr int kExitSingleInstanceFailed = 2;

// Stands in the client area until the channel tree view takes its place; it
// does what the view does with Exit and nothing else.
class CEmptyView : public QWidget, public IFrameClient {
public:
    explicit CEmptyView(CMainFrame& frame) : m_frame(frame) { setObjectName(QString::number(IDD_CHANNEL_TREE)); }

    void OnCommand(int id) override
    {
        if (id == ID_APP_EXIT)
            QMetaObject::invokeMethod(&m_frame, &QWidget::close, Qt::QueuedConnection);
    }

private:
    CMainFrame& m_frame;
};

// SIGTERM and SIGINT close the frame through the event loop, so a session
// that ends takes the same way out as Exit. The handler only writes a byte.
int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

void CloseOnTerminationSignal(CMainFrame& frame)
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
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
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    // The command line is ignored: a later start only activates this one.

    // 1. The resource module: the language file beside the program, else
    //    the built-in texts.
    if (SelectResourceModule(QCoreApplication::applicationFilePath().toStdString()))
        DebugLog("main", "texts from " + ResourceModuleFile());

    // 2. One copy at a time, named by string 128.
    CSingleInstance instance(ResString(IDS_APP_TITLE));
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

    // 6-7. The frame: title and soft keys from the resources.
    CMainFrame frame;
    frame.SetMenuBar(IDR_MAIN_MENU);

    // 8-13. Creation of the frame's contents, in this order when the session
    //    lands: the documents folder ("RSS Reader" in the user's documents,
    //    created on every start); the feed and item databases; the
    //    connection manager with frame.GetWindow() and the two notification
    //    messages (frame.SetMessageHandler takes them).
    // 14. The client view (the channel tree view, template 213).
    auto* view = new CEmptyView(frame);
    frame.SetClient(view, view);
    frame.SoftKeys()->EnableKey(CSoftKeyBar::kLeft, false);

    // 15. A later start brings this copy to the front.
    QObject::connect(&instance, &CSingleInstance::activationRequested, &frame, &CMainFrame::BringToFront);
    instance.Listen();
    CloseOnTerminationSignal(frame);

    // 16. The view initialises once the loop runs.
    frame.PostCommand(ID_INIT_CHANNEL);

    // 17. Show the frame and run the loop until the frame closes.
    frame.show();
    const int result = QApplication::exec();

    // Shutdown, in this order when the session lands: settings (written as
    // they go), item database, feed database, connection manager, the XML
    // parser's state; then the view, which frees the subscriptions without
    // saving them.
    DebugLog("main", "End >>");
    return result;
}
