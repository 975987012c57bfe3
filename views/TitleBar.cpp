#include "views/TitleBar.h"

CTitleBar::CTitleBar(QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("title"));
    setFixedHeight(28);
    setTextFormat(Qt::PlainText);
    setStyleSheet(QStringLiteral(
        "CTitleBar { color: white; font-weight: bold; padding-left: 8px;"
        " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #2f63b0, stop:1 #17396e); }"));
}
