#include "views/DialogFonts.h"

#include <QFont>
#include <QWidget>

void SetControlFont(QWidget* control, int pointSize, bool bold)
{
    if (control == nullptr)
        return;
    QFont font = control->font();
    font.setPointSize(pointSize);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    control->setFont(font);
}
