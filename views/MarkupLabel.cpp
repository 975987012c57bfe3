#include "views/MarkupLabel.h"

#include <QImage>
#include <QPainter>
#include <QTextOption>
#include <QtMath>

#include "views/MarkupText.h"

CMarkupLabel::CMarkupLabel(const QString& text, QWidget* parent) : QWidget(parent), m_strText(text)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void CMarkupLabel::SetText(const QString& text)
{
    m_strText = text;
    updateGeometry();
    update();
}

void CMarkupLabel::SetPlainText(bool plain)
{
    m_bPlain = plain;
    updateGeometry();
    update();
}

void CMarkupLabel::SetMargin(int margin)
{
    m_nMargin = std::max(0, margin);
    updateGeometry();
    update();
}

QString CMarkupLabel::PlainText() const
{
    QString text = m_strText;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

int CMarkupLabel::DrawnHeight(QPainter& painter, int width, bool measureOnly) const
{
    QRect area(m_nMargin, m_nMargin, std::max(1, width - 2 * m_nMargin), 1);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    if (m_bPlain) {
        // A word longer than the line (an address, say) is broken where it
        // must, rather than cut off at the label's edge.
        QTextOption option(Qt::AlignLeft | Qt::AlignTop);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        const QRectF bounds =
            painter.boundingRect(QRectF(area.topLeft(), QSizeF(area.width(), 100000)), PlainText(), option);
        if (!measureOnly)
            painter.drawText(QRectF(area.topLeft(), QSizeF(area.width(), bounds.height())), PlainText(), option);
        return qCeil(bounds.height());
    }
    return DrawMarkupText(painter, m_strText, -1, area, DT_WORDBREAK | DT_NOPREFIX | (measureOnly ? DT_CALCRECT : 0));
}

int CMarkupLabel::heightForWidth(int width) const
{
    // Measuring needs a painter; a one-pixel image of the widget's scale
    // gives the same font metrics as the screen.
    QImage scratch(1, 1, QImage::Format_ARGB32_Premultiplied);
    scratch.setDevicePixelRatio(devicePixelRatioF());
    QPainter painter(&scratch);
    return DrawnHeight(painter, width, true) + 2 * m_nMargin;
}

QSize CMarkupLabel::sizeHint() const
{
    const int width = std::max(this->width(), 120);
    return QSize(width, heightForWidth(width));
}

void CMarkupLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    DrawnHeight(painter, width(), false);
}
