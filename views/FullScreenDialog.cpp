#include "views/FullScreenDialog.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "views/ResText.h"
#include "views/SoftKeyBar.h"
#include "views/TapAndHold.h"
#include "views/TitleBar.h"

namespace {

std::vector<CFullScreenDialog*> g_dialogs; // running dialogs, the active one last

constexpr QSize kOwnWindowSize(480, 640);

// Where the Back key edits instead of leaving.
bool IsEditBox(const QWidget* widget)
{
    if (widget == nullptr)
        return false;
    if (const auto* line = qobject_cast<const QLineEdit*>(widget))
        return !line->isReadOnly();
    if (const auto* text = qobject_cast<const QTextEdit*>(widget))
        return !text->isReadOnly();
    if (const auto* plain = qobject_cast<const QPlainTextEdit*>(widget))
        return !plain->isReadOnly();
    if (const auto* combo = qobject_cast<const QComboBox*>(widget))
        return combo->isEditable();
    return qobject_cast<const QAbstractSpinBox*>(widget) != nullptr;
}

bool IsBackKeyEvent(const QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        return static_cast<const QKeyEvent*>(event)->key() == Qt::Key_Escape;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
        return static_cast<const QMouseEvent*>(event)->button() == Qt::BackButton;
    default:
        return false;
    }
}

} // namespace

QSize FirstWindowSize(const QWidget* window, QSize wanted)
{
    const QScreen* screen = window->screen();
    return screen != nullptr ? wanted.boundedTo(screen->availableGeometry().size()) : wanted;
}

void SetNavigationTitle(QWidget* anyWidgetOfWindow, const QString& title)
{
    if (anyWidgetOfWindow != nullptr)
        anyWidgetOfWindow->window()->setWindowTitle(title);
}

CFullScreenDialog::CFullScreenDialog(QWidget* host, UINT templateId)
    : QWidget(host != nullptr ? host->window() : nullptr), m_pHostWindow(host != nullptr ? host->window() : nullptr)
{
    hide();
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    if (m_pHostWindow == nullptr)
        resize(FirstWindowSize(this, kOwnWindowSize));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_pTitleBar = new CTitleBar(this);
    m_pClient = new QWidget(this);
    m_pClient->setObjectName(QStringLiteral("client"));
    m_pClientLayout = new QVBoxLayout(m_pClient);
    m_pClientLayout->setContentsMargins(8, 8, 8, 8);
    m_pClientLayout->setSpacing(6);
    m_pSoftKeys = new CSoftKeyBar(this);
    layout->addWidget(m_pTitleBar);
    layout->addWidget(m_pClient, 1);
    layout->addWidget(m_pSoftKeys);

    connect(m_pSoftKeys, &CSoftKeyBar::command, this, [this](int id) { OnCommand(id); });
    connect(m_pSoftKeys, &CSoftKeyBar::popupAboutToShow, this, [this](QMenu* popup) { OnInitMenuPopup(popup); });
    new CTapAndHold(this, true);

    if (templateId != 0) {
        m_controls = CDialogControls(m_pClient, templateId);
        for (QWidget* control : m_controls.Widgets())
            m_pClientLayout->addWidget(control);
        if (const CDialogTemplate* dialog = m_controls.Template()) {
            if (dialog->titleId != 0)
                SetTitle(ResString(dialog->titleId));
            if (dialog->menuId != 0)
                SetMenuBar(dialog->menuId);
        }
    }
}

CFullScreenDialog::~CFullScreenDialog()
{
    // Destroyed while running (its host went away): leave the loop and the
    // list of running dialogs.
    if (m_pLoop != nullptr)
        m_pLoop->exit(0);
    g_dialogs.erase(std::remove(g_dialogs.begin(), g_dialogs.end(), this), g_dialogs.end());
    qApp->removeEventFilter(this);
}

CFullScreenDialog* CFullScreenDialog::ActiveDialog() { return g_dialogs.empty() ? nullptr : g_dialogs.back(); }

int CFullScreenDialog::DoModal()
{
    if (m_bRunning)
        return IDCANCEL;
    m_bRunning = true;
    m_bEnded = false;
    m_nResult = IDCANCEL;
    m_bBackPressed = false;
    m_pPreviousFocus = QApplication::focusWidget();
    g_dialogs.push_back(this);
    qApp->installEventFilter(this);

    if (!OnInitDialog() && !m_bEnded) {
        m_bEnded = true;
        m_nResult = IDCANCEL;
    }
    if (!m_bEnded) {
        CloseOpenPopups();
        Cover();
        show();
        raise();
        activateWindow();
        SetTitle(m_strTitle);
        if (!isAncestorOf(QApplication::focusWidget())) {
            QWidget* first = this;
            for (QWidget* child : m_pClient->findChildren<QWidget*>()) {
                if (child->isVisible() && child->isEnabled() && (child->focusPolicy() & Qt::TabFocus) != 0) {
                    first = child;
                    break;
                }
            }
            first->setFocus(Qt::OtherFocusReason);
        }
        QTimer::singleShot(0, this, [this] {
            if (m_bRunning && !m_bEnded)
                emit shown();
        });
        QEventLoop loop;
        m_pLoop = &loop;
        if (!m_bEnded)
            loop.exec(QEventLoop::DialogExec);
        m_pLoop = nullptr;
        hide();
        Uncover();
    }

    qApp->removeEventFilter(this);
    g_dialogs.erase(std::remove(g_dialogs.begin(), g_dialogs.end(), this), g_dialogs.end());
    m_bRunning = false;
    QWidget* surface = ActiveDialog() != nullptr ? static_cast<QWidget*>(ActiveDialog()) : m_pHostWindow;
    if (surface != nullptr)
        QCoreApplication::postEvent(surface, new QEvent(static_cast<QEvent::Type>(kSurfaceActivatedEvent)));
    // The focus goes back where it was; where that is gone (a menu that
    // opened the dialog, a control that went meanwhile), to the window
    // below, so the keys still reach something.
    QWidget* restore = m_pPreviousFocus;
    if (restore == nullptr || !restore->isEnabled() || !restore->isVisible() ||
        (surface != nullptr && restore->window() != surface->window()))
        restore = surface != nullptr && surface->focusWidget() != nullptr ? surface->focusWidget() : surface;
    if (restore != nullptr)
        restore->setFocus(Qt::OtherFocusReason);
    return m_nResult;
}

void CFullScreenDialog::CloseOpenPopups()
{
    // A submenu whose opening was already under way when its menu ended
    // (a hover's delay) would stay over the dialog and take every key and
    // tap meant for it.
    for (int left = 8; left > 0; --left) {
        QWidget* popup = QApplication::activePopupWidget();
        if (popup == nullptr)
            return;
        popup->close();
        if (QApplication::activePopupWidget() == popup)
            popup->hide();
    }
}

void CFullScreenDialog::EndDialog(int result)
{
    if (!m_bRunning || m_bEnded)
        return;
    m_bEnded = true;
    m_nResult = result;
    if (m_pLoop != nullptr)
        m_pLoop->exit(0);
}

void CFullScreenDialog::Cover()
{
    if (m_pHostWindow == nullptr)
        return;
    // Everything else in the window goes grey, so neither taps nor the
    // keyboard reach the frame or a dialog below while this one runs.
    m_disabled.clear();
    for (QObject* child : m_pHostWindow->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget == nullptr || widget == this || widget->isWindow() || !widget->isEnabled())
            continue;
        widget->setEnabled(false);
        m_disabled.emplace_back(widget);
    }
    setGeometry(m_pHostWindow->rect());
}

void CFullScreenDialog::Uncover()
{
    for (const QPointer<QWidget>& widget : m_disabled) {
        if (widget != nullptr)
            widget->setEnabled(true);
    }
    m_disabled.clear();
}

void CFullScreenDialog::SetTitle(const QString& title)
{
    m_strTitle = title;
    m_pTitleBar->setText(title);
    setWindowTitle(title);
    if (m_bRunning && ActiveDialog() == this)
        SetNavigationTitle(this, title);
}

bool CFullScreenDialog::SetMenuBar(UINT menuId) { return m_pSoftKeys->SetMenuBar(menuId); }

void CFullScreenDialog::PostCommand(int id)
{
    QMetaObject::invokeMethod(this, [this, id] { OnCommand(id); }, Qt::QueuedConnection);
}

void CFullScreenDialog::OnCommand(int id)
{
    if (id == ID_DONE || id == ID_CANCEL || id == IDOK || id == IDCANCEL)
        EndDialog(id);
}

void CFullScreenDialog::OnInitMenuPopup(QMenu*) {}

void CFullScreenDialog::OnActivate() { SetTitle(m_strTitle); }

void CFullScreenDialog::OnContextMenu(const QPoint&) {}

void CFullScreenDialog::contextMenuEvent(QContextMenuEvent* event)
{
    OnContextMenu(event->globalPos());
    event->accept();
}

bool CFullScreenDialog::event(QEvent* event)
{
    if (event->type() == static_cast<QEvent::Type>(kSurfaceActivatedEvent)) {
        if (m_bRunning && ActiveDialog() == this)
            OnActivate();
        return true;
    }
    return QWidget::event(event);
}

bool CFullScreenDialog::eventFilter(QObject* object, QEvent* event)
{
    if (!m_bRunning)
        return false;
    if (object == m_pHostWindow && event->type() == QEvent::Resize) {
        setGeometry(m_pHostWindow->rect());
        return false;
    }
    if (ActiveDialog() != this || !IsBackKeyEvent(event))
        return false;
    auto* target = qobject_cast<QWidget*>(object);
    if (target == nullptr || (target != this && !isAncestorOf(target)))
        return false;
    return HandleBackKey(target, event);
}

bool CFullScreenDialog::HandleBackKey(QWidget* target, QEvent* event)
{
    const bool press = event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress;
    const bool repeat = (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
                        static_cast<QKeyEvent*>(event)->isAutoRepeat();
    // A key goes to the focused control, so the receiver is the one that
    // edits; a mouse button acts on the focused control.
    const bool isKey = event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
    QWidget* focus = isKey ? target : QApplication::focusWidget();
    const bool editing = IsEditBox(focus) && isAncestorOf(focus);
    if (press) {
        if (editing) {
            QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
            QApplication::sendEvent(focus, &backspace);
            QKeyEvent backspaceUp(QEvent::KeyRelease, Qt::Key_Backspace, Qt::NoModifier);
            QApplication::sendEvent(focus, &backspaceUp);
        } else if (!repeat) {
            m_bBackPressed = true;
        }
        return true;
    }
    if (!repeat && m_bBackPressed) {
        m_bBackPressed = false;
        OnCommand(ID_CANCEL);
    }
    return true;
}
