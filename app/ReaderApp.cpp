#include "app/ReaderApp.h"

#include "app/DesktopNotifier.h"
#include "app/MainFrame.h"
#include "platform/Debug.h"
#include "platform/FileSystem.h"
#include "platform/SpecialFolders.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "update/ConnectionManager.h"
#include "views/ChannelTreeView.h"

CReaderApp::CReaderApp(CTreeDialogs dialogs, std::optional<QDBusConnection> noticeBus)
    : m_dialogs(std::move(dialogs)), m_noticeBus(std::move(noticeBus))
{
}

CReaderApp::~CReaderApp() { Shutdown(); }

void CReaderApp::Create()
{
    if (m_bCreated)
        return;
    m_bCreated = true;
    m_pFrame = std::make_unique<CMainFrame>();
    m_pFrame->SetMenuBar(IDR_MAIN_MENU);
    // The documents folder, where import and export start, on every start.
    std::wstring documents;
    if (SHGetSpecialFolderPath(CSIDL_PERSONAL, documents))
        CreateFolderPath(JoinPath(documents, L"RSS Reader"));
    // Opened here, so that a store that cannot open is known when the tree
    // starts; the session tells the user why.
    CZelviaRssDB::Instance();
    CZelviaRssItemDB::Instance();
    if (!CConnectionManager::Instance().Init(m_pFrame->GetWindow(), WM_CONNECTED_NOTIFY, WM_CONNECTION_STATUS))
        DebugLog("CMainFrame::OnCreate", "the connection notifications could not be started");
    m_pView = new CChannelTreeView(*m_pFrame, m_session, std::move(m_dialogs));
    m_pFrame->SetClient(m_pView, m_pView);
    m_pFrame->SetMessageHandler(
        [view = m_pView](UINT message, WPARAM wParam, LPARAM lParam) { return view->OnFrameMessage(message, wParam, lParam); });
    m_pNotifier = std::make_unique<CDesktopNotifier>(m_noticeBus ? *m_noticeBus : QDBusConnection::sessionBus());
    QObject::connect(m_pView, &CChannelTreeView::newPagesNotice, m_pNotifier.get(), &CDesktopNotifier::Notify);
    QObject::connect(m_pNotifier.get(), &CDesktopNotifier::activated, m_pView, [this] {
        m_pFrame->BringToFront();
        m_pView->ShowNewPagesOnRequest();
    });
    m_pFrame->PostCommand(ID_INIT_CHANNEL);
}

void CReaderApp::Shutdown()
{
    if (m_bShutDown || !m_bCreated)
        return;
    m_bShutDown = true;
    // The notifications stop with the connection manager; nothing may reach
    // the view after this.
    m_pFrame->SetMessageHandler({});
    m_session.Shutdown();
    m_pView->StopTimer();
    m_pNotifier.reset();
    m_pFrame.reset();
    m_pView = nullptr;
    DebugLog("CMainFrame::OnDestroy", "End >>");
}
