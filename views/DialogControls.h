#pragma once
// The controls of a dialog template (resources/DialogTemplates.h) as Qt
// widgets: each is created as a child of the given parent, named by its
// control id (QString::number(id), so tests and windows find it with
// FindControl) and given its text from the string table. The parent owns the
// widgets; this object only indexes them and may be dropped at any time.
//
//   Label -> QLabel (word-wrapped), Edit -> QLineEdit (maxLength = limit),
//   CheckBox -> QCheckBox, ReportList -> CReportList (one column titled by
//   the text, header hidden), Tree -> QTreeWidget, ProgressBar ->
//   QProgressBar (0..100), DropDownList -> QComboBox, Picture -> QLabel with
//   the bitmap.

#include <QWidget>
#include <vector>

#include "resources/DialogTemplates.h"

class CDialogControls {
public:
    CDialogControls() = default;
    // No controls when the template does not exist.
    CDialogControls(QWidget* parent, UINT templateId);

    const CDialogTemplate* Template() const { return m_pTemplate; }
    // Template order.
    const std::vector<QWidget*>& Widgets() const { return m_widgets; }
    QWidget* Control(int id) const;
    template <class T> T* Get(int id) const { return qobject_cast<T*>(Control(id)); }

private:
    const CDialogTemplate* m_pTemplate = nullptr;
    std::vector<QWidget*> m_widgets;
};

// Names a control by its id.
void SetControlId(QWidget* control, int id);
int ControlId(const QWidget* control);
// Sets a label's, button's or list column's text from the string table.
void SetControlText(QWidget* control, UINT textId);
// The descendant of root with the control id; nullptr when none.
QWidget* FindControl(const QWidget* root, int id);
template <class T> T* FindControl(const QWidget* root, int id) { return qobject_cast<T*>(FindControl(root, id)); }
