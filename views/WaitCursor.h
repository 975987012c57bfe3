#pragma once
// The wait cursor: Qt's override cursor, shown for the life of the object
// (or until Restore). Overrides nest, so a wait inside a wait is fine. Only
// for short work that must stay on the GUI thread; long work belongs on a
// worker.

#include <QGuiApplication>

class CWaitCursor {
public:
    CWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CWaitCursor() { Restore(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

    void Restore()
    {
        if (m_bShown) {
            QGuiApplication::restoreOverrideCursor();
            m_bShown = false;
        }
    }

private:
    bool m_bShown = true;
};
