#pragma once
// Tap-and-hold: a left press held still for 0.7 s becomes a context-menu
// request (a QContextMenuEvent of reason Mouse at the press point), as a
// right click already is; the release that ends the hold is swallowed so the
// press does not also count as a tap. Watches one widget, or with
// descendants a whole window surface (its widgets that watch for themselves,
// like the report list, are left to their own watcher). Parented to the
// watched widget, so it lives and dies with it.

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QTimer>

class QWidget;

class CTapAndHold : public QObject {
    Q_OBJECT
public:
    static constexpr int kHoldMilliseconds = 700;

    explicit CTapAndHold(QWidget* watched, bool descendants = false);
    ~CTapAndHold() override;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    void Fire();

    QWidget* m_pWatched;
    bool m_bDescendants;
    QTimer m_timer;
    QPointer<QWidget> m_pTarget;
    QPoint m_ptLocal;
    QPoint m_ptGlobal;
    quint64 m_nPressTime = 0;
    bool m_bFired = false;
};
