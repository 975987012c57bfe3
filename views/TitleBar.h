#pragma once
// The title strip at the top of the frame and of every full-screen dialog:
// one line of bold text on the shell's dark blue. It shows what the set-title
// operation of its surface gave it and nothing else.

#include <QLabel>

class CTitleBar : public QLabel {
    Q_OBJECT
public:
    explicit CTitleBar(QWidget* parent = nullptr);
};
