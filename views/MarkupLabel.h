#pragma once
// The label control of the dialogs: draws its text plainly, or (unless the
// plain-text flag is set) through the markup drawing of MarkupText.h, word
// wrapped to its width. Its height for a width is the drawn height plus its
// margins, so a layout sizes it to its text. "\r\n" in a plain text is a
// line break; in markup only <br> and <p> break lines.

#include <QWidget>

class CMarkupLabel : public QWidget {
    Q_OBJECT
public:
    explicit CMarkupLabel(const QString& text = QString(), QWidget* parent = nullptr);

    void SetText(const QString& text);
    QString Text() const { return m_strText; }
    void SetPlainText(bool plain);
    bool IsPlainText() const { return m_bPlain; }
    void SetMargin(int margin);
    int Margin() const { return m_nMargin; }

    // The height the text takes at this width, margins included.
    int heightForWidth(int width) const override;
    bool hasHeightForWidth() const override { return true; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int DrawnHeight(QPainter& painter, int width, bool measureOnly) const;
    QString PlainText() const;

    QString m_strText;
    bool m_bPlain = false;
    int m_nMargin = 2;
};
