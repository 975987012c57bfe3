#include "views/DialogControls.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

#include "views/ImageList.h"
#include "views/ReportList.h"
#include "views/ResText.h"

namespace {

QWidget* CreateControl(const CControlTemplate& control, QWidget* parent)
{
    switch (control.kind) {
    case EControlKind::Label: {
        auto* label = new QLabel(parent);
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
        return label;
    }
    case EControlKind::Edit: {
        auto* edit = new QLineEdit(parent);
        if (control.limit > 0)
            edit->setMaxLength(control.limit);
        return edit;
    }
    case EControlKind::CheckBox:
        return new QCheckBox(parent);
    case EControlKind::ReportList: {
        auto* list = new CReportList(parent);
        list->ShowHeader(false);
        return list;
    }
    case EControlKind::Tree: {
        auto* tree = new QTreeWidget(parent);
        tree->setHeaderHidden(true);
        return tree;
    }
    case EControlKind::ProgressBar: {
        auto* bar = new QProgressBar(parent);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        return bar;
    }
    case EControlKind::DropDownList:
        return new QComboBox(parent);
    case EControlKind::Picture: {
        auto* picture = new QLabel(parent);
        picture->setAlignment(Qt::AlignCenter);
        picture->setPixmap(BitmapPixmap(control.textId, parent->devicePixelRatioF()));
        return picture;
    }
    case EControlKind::Button:
        return new QPushButton(parent);
    }
    return nullptr;
}

} // namespace

CDialogControls::CDialogControls(QWidget* parent, UINT templateId) : m_pTemplate(FindDialogTemplate(templateId))
{
    if (m_pTemplate == nullptr)
        return;
    for (const CControlTemplate& control : m_pTemplate->controls) {
        QWidget* widget = CreateControl(control, parent);
        SetControlId(widget, control.id);
        if (control.kind == EControlKind::ReportList && control.textId != 0) {
            auto* list = static_cast<CReportList*>(widget);
            list->InsertColumn(0, ResString(control.textId), parent->width() - 25);
        } else if (control.kind != EControlKind::Picture && control.textId != 0) {
            SetControlText(widget, control.textId);
        }
        m_widgets.push_back(widget);
    }
}

QWidget* CDialogControls::Control(int id) const
{
    for (QWidget* widget : m_widgets) {
        if (ControlId(widget) == id)
            return widget;
    }
    return nullptr;
}

void SetControlId(QWidget* control, int id) { control->setObjectName(QString::number(id)); }

int ControlId(const QWidget* control)
{
    bool ok = false;
    const int id = control->objectName().toInt(&ok);
    return ok ? id : 0;
}

void SetControlText(QWidget* control, UINT textId)
{
    const QString text = ResString(textId);
    if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->setText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->setText(text);
    else if (auto* list = qobject_cast<QTreeWidget*>(control))
        list->headerItem()->setText(0, text);
    else
        control->setWindowTitle(text);
}

QWidget* FindControl(const QWidget* root, int id)
{
    return root->findChild<QWidget*>(QString::number(id));
}
