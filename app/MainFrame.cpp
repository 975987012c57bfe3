#include "app/MainFrame.h"

#include <QCloseEvent>
#include <QVBoxLayout>

#include "platform/Debug.h"
#include "views/FullScreenDialog.h"
#include "views/ResText.h"
#include "views/SoftKeyBar.h"
#include "views/TapAndHold.h"
#include "views/TitleBar.h"

CMainFrame::CMainFrame()
{
    setObjectName(QStringLiteral("frame"));
    resize(FirstWindowSize(this, kDefaultSize));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_pTitleBar = new CTitleBar(this);
    m_pClientArea = new QWidget(this);
    m_pClientArea->setObjectName(QStringLiteral("client"));
    auto* clientLayout = new QVBoxLayout(m_pClientArea);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    m_pSoftKeys = new CSoftKeyBar(this);
    layout->addWidget(m_pTitleBar);
    layout->addWidget(m_pClientArea, 1);
    layout->addWidget(m_pSoftKeys);

    connect(m_pSoftKeys, &CSoftKeyBar::command, this, &CMainFrame::SendCommand);
    connect(m_pSoftKeys, &CSoftKeyBar::popupAboutToShow, this, &CMainFrame::OnInitMenuPopup);
    new CTapAndHold(this, true);

    m_hWnd = CreateMessageWindow([this](HWND, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == WM_COMMAND) {
            SendCommand(static_cast<int>(wParam));
            return 0;
        }
        return m_messageHandler ? m_messageHandler(message, wParam, lParam) : 0;
    });
    SetTitle(ResString(IDS_APP_TITLE));
}

CMainFrame::~CMainFrame() { DestroyWindow(m_hWnd); }

void CMainFrame::SetClient(QWidget* view, IFrameClient* client)
{
    if (m_pView != nullptr && m_pView != view)
        delete m_pView;
    m_pView = view;
    m_pClient = client;
    if (view != nullptr)
        m_pClientArea->layout()->addWidget(view);
}

bool CMainFrame::SetMenuBar(UINT menuId) { return m_pSoftKeys->SetMenuBar(menuId); }

void CMainFrame::SetTitle(const QString& title)
{
    m_strTitle = title;
    m_pTitleBar->setText(title);
    // A dialog on top owns the navigation bar until it ends.
    if (CFullScreenDialog::ActiveDialog() == nullptr || CFullScreenDialog::ActiveDialog()->window() != this)
        setWindowTitle(title);
}

void CMainFrame::SendCommand(int id)
{
    // The frame has no command of its own: everything is the client's.
    if (m_pClient != nullptr)
        m_pClient->OnCommand(id);
}

void CMainFrame::PostCommand(int id)
{
    QMetaObject::invokeMethod(this, [this, id] { SendCommand(id); }, Qt::QueuedConnection);
}

void CMainFrame::SetMessageHandler(std::function<LRESULT(UINT, WPARAM, LPARAM)> handler)
{
    m_messageHandler = std::move(handler);
}

void CMainFrame::BringToFront()
{
    DebugLog("CMainFrame::BringToFront", "a later start asked for the running copy");
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void CMainFrame::OnActivate()
{
    // A client that keeps its own title (move mode) gets it back on the
    // navigation bar; otherwise the frame's title is string 128 again.
    if (m_pClient != nullptr && m_pClient->KeepsTitle())
        SetTitle(m_strTitle);
    else
        SetTitle(ResString(IDS_APP_TITLE));
}

void CMainFrame::OnInitMenuPopup(QMenu* popup)
{
    if (m_pClient == nullptr || !m_pClient->IsInitialised()) {
        DebugLog("CMainFrame::OnInitMenuPopup", "===================Init menu none===================");
        return;
    }
    m_pClient->OnInitMenuPopup(popup);
}

bool CMainFrame::event(QEvent* event)
{
    if (event->type() == static_cast<QEvent::Type>(kSurfaceActivatedEvent) ||
        (event->type() == QEvent::WindowActivate && CFullScreenDialog::ActiveDialog() == nullptr)) {
        OnActivate();
        if (event->type() != QEvent::WindowActivate)
            return true;
    }
    return QWidget::event(event);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    emit closing();
    event->accept();
}
