#pragma once
// Point sizes and weights of the dialogs' controls, on the application font.
class QWidget;

// No change for a null control.
void SetControlFont(QWidget* control, int pointSize, bool bold);
