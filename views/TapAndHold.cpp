#include "views/TapAndHold.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QWidget>

namespace {

// Marks a widget that has a watcher of its own.
constexpr char kOwnWatcher[] = "rssTapAndHold";
constexpr int kSlop = 10;

} // namespace

CTapAndHold::CTapAndHold(QWidget* watched, bool descendants)
    : QObject(watched), m_pWatched(watched), m_bDescendants(descendants)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(kHoldMilliseconds);
    connect(&m_timer, &QTimer::timeout, this, &CTapAndHold::Fire);
    watched->setProperty(kOwnWatcher, true);
    if (descendants)
        qApp->installEventFilter(this);
    else
        watched->installEventFilter(this);
}

CTapAndHold::~CTapAndHold()
{
    if (m_bDescendants)
        qApp->removeEventFilter(this);
}

bool CTapAndHold::eventFilter(QObject* object, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return false;
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr)
        return false;
    if (m_bDescendants) {
        if (widget != m_pWatched && !m_pWatched->isAncestorOf(widget))
            return false;
        // A widget with a watcher of its own, or inside a surface that has
        // one (a dialog over the frame), is that watcher's.
        for (QWidget* step = widget; step != m_pWatched; step = step->parentWidget()) {
            if (step->property(kOwnWatcher).toBool())
                return false;
        }
    }
    auto* mouse = static_cast<QMouseEvent*>(event);
    switch (type) {
    case QEvent::MouseButtonPress:
        // A press a child ignored reaches its parents too: only the first
        // receiver (the widget under the stylus) counts.
        if (mouse->button() != Qt::LeftButton || mouse->timestamp() == m_nPressTime)
            break;
        m_nPressTime = mouse->timestamp();
        m_pTarget = widget;
        m_ptLocal = mouse->position().toPoint();
        m_ptGlobal = mouse->globalPosition().toPoint();
        m_bFired = false;
        m_timer.start();
        break;
    case QEvent::MouseMove:
        if (m_timer.isActive() && (mouse->globalPosition().toPoint() - m_ptGlobal).manhattanLength() > kSlop)
            m_timer.stop();
        break;
    case QEvent::MouseButtonRelease:
        if (mouse->button() != Qt::LeftButton)
            break;
        m_timer.stop();
        if (m_bFired && widget == m_pTarget) {
            m_bFired = false;
            return true;
        }
        break;
    default:
        break;
    }
    return false;
}

void CTapAndHold::Fire()
{
    if (m_pTarget == nullptr || !m_pTarget->isEnabled() || !m_pTarget->isVisible())
        return;
    m_bFired = true;
    QContextMenuEvent request(QContextMenuEvent::Mouse, m_ptLocal, m_ptGlobal);
    QApplication::sendEvent(m_pTarget, &request);
}
