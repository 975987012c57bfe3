#include "BitmapArt.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kCell = 22;
const QColor kKey(255, 0, 255);

// Cells are drawn antialiased on a transparent strip; the colour key then
// turns every pixel that is more than half covered opaque and the rest
// magenta, so no pink fringe survives the keying.
QImage KeyToMagenta(const QImage& drawn)
{
    QImage out(drawn.size(), QImage::Format_RGB32);
    const QImage source = drawn.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < source.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < source.width(); ++x)
            line[x] = qAlpha(in[x]) >= 128 ? (in[x] | 0xFF000000u) : kKey.rgb();
    }
    return out;
}

// A strip of count cells; draw(painter, index) paints one cell in a 22x22
// coordinate space.
template <class Draw> QImage DrawStrip(int count, int scale, Draw draw)
{
    QImage strip(kCell * count * scale, kCell * scale, QImage::Format_ARGB32_Premultiplied);
    strip.fill(Qt::transparent);
    QPainter painter(&strip);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int index = 0; index < count; ++index) {
        painter.save();
        painter.scale(scale, scale);
        painter.translate(kCell * index, 0);
        draw(painter, index);
        painter.restore();
    }
    painter.end();
    return KeyToMagenta(strip);
}

QPen Outline(const QColor& colour, qreal width = 1.0)
{
    QPen pen(colour, width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

// The web feed sign: a rounded tile with a dot and two arcs.
void DrawFeedTile(QPainter& p, const QRectF& tile, const QColor& light, const QColor& dark, const QColor& mark)
{
    QLinearGradient fill(tile.topLeft(), tile.bottomRight());
    fill.setColorAt(0, light);
    fill.setColorAt(1, dark);
    p.setPen(Outline(dark.darker(130), tile.width() / 18));
    p.setBrush(fill);
    const qreal radius = tile.width() * 0.2;
    p.drawRoundedRect(tile, radius, radius);

    const qreal unit = tile.width() / 16;
    const QPointF origin(tile.left() + 4.2 * unit, tile.bottom() - 4.2 * unit);
    p.setBrush(mark);
    p.setPen(Qt::NoPen);
    p.drawEllipse(origin, 1.5 * unit, 1.5 * unit);
    p.setBrush(Qt::NoBrush);
    p.setPen(Outline(mark, 1.9 * unit));
    for (const qreal r : {5.6 * unit, 9.6 * unit})
        p.drawArc(QRectF(origin.x() - r, origin.y() - r, 2 * r, 2 * r), 0, 90 * 16);
}

void DrawClosedFolder(QPainter& p)
{
    const QColor edge(150, 100, 20);
    p.setPen(Outline(edge));
    p.setBrush(QColor(236, 178, 60));
    QPainterPath back;
    back.moveTo(2.5, 5.5);
    back.lineTo(8.5, 5.5);
    back.lineTo(10.5, 7.5);
    back.lineTo(19.5, 7.5);
    back.lineTo(19.5, 17.5);
    back.lineTo(2.5, 17.5);
    back.closeSubpath();
    p.drawPath(back);
    QLinearGradient front(0, 9, 0, 18);
    front.setColorAt(0, QColor(255, 222, 120));
    front.setColorAt(1, QColor(244, 186, 66));
    p.setBrush(front);
    p.drawRect(QRectF(2.5, 9.5, 17, 8));
}

void DrawOpenFolder(QPainter& p)
{
    const QColor edge(150, 100, 20);
    p.setPen(Outline(edge));
    p.setBrush(QColor(214, 152, 44));
    QPainterPath back;
    back.moveTo(2.5, 4.5);
    back.lineTo(8.5, 4.5);
    back.lineTo(10.5, 6.5);
    back.lineTo(18.5, 6.5);
    back.lineTo(18.5, 17.5);
    back.lineTo(2.5, 17.5);
    back.closeSubpath();
    p.drawPath(back);
    // A sheet standing in the open folder.
    p.setBrush(Qt::white);
    p.setPen(Outline(QColor(140, 140, 140)));
    p.drawRect(QRectF(5.5, 7.5, 11, 7));
    QLinearGradient flap(0, 10, 0, 18);
    flap.setColorAt(0, QColor(255, 226, 130));
    flap.setColorAt(1, QColor(244, 186, 66));
    p.setBrush(flap);
    p.setPen(Outline(edge));
    QPainterPath front;
    front.moveTo(5.5, 10.5);
    front.lineTo(21.0, 10.5);
    front.lineTo(18.5, 17.5);
    front.lineTo(2.5, 17.5);
    front.closeSubpath();
    p.drawPath(front);
}

void DrawBadge(QPainter& p, const QPointF& centre, qreal radius, const QColor& fill)
{
    p.setPen(Outline(Qt::white, 1.2));
    p.setBrush(fill);
    p.drawEllipse(centre, radius, radius);
}

void DrawCross(QPainter& p, const QPointF& centre, qreal half, const QColor& colour, qreal width)
{
    p.setPen(Outline(colour, width));
    p.drawLine(centre + QPointF(-half, -half), centre + QPointF(half, half));
    p.drawLine(centre + QPointF(-half, half), centre + QPointF(half, -half));
}

// A bookmark ribbon: the mark of a page not yet read.
void DrawRibbon(QPainter& p)
{
    QPainterPath ribbon;
    ribbon.moveTo(6.5, 2.5);
    ribbon.lineTo(15.5, 2.5);
    ribbon.lineTo(15.5, 19.5);
    ribbon.lineTo(11.0, 15.5);
    ribbon.lineTo(6.5, 19.5);
    ribbon.closeSubpath();
    QLinearGradient fill(6, 0, 16, 0);
    fill.setColorAt(0, QColor(232, 86, 42));
    fill.setColorAt(1, QColor(196, 48, 24));
    p.setPen(Outline(QColor(128, 30, 14)));
    p.setBrush(fill);
    p.drawPath(ribbon);
    p.setPen(Outline(QColor(255, 180, 150), 1.0));
    p.drawLine(QPointF(8.5, 4.5), QPointF(8.5, 15));
}

// A sheet with a folded corner and lines of text: a page already read.
void DrawSheet(QPainter& p)
{
    QPainterPath sheet;
    sheet.moveTo(4.5, 2.5);
    sheet.lineTo(13.5, 2.5);
    sheet.lineTo(17.5, 6.5);
    sheet.lineTo(17.5, 19.5);
    sheet.lineTo(4.5, 19.5);
    sheet.closeSubpath();
    p.setPen(Outline(QColor(110, 110, 120)));
    p.setBrush(QColor(250, 250, 252));
    p.drawPath(sheet);
    p.setBrush(QColor(210, 210, 220));
    QPainterPath fold;
    fold.moveTo(13.5, 2.5);
    fold.lineTo(13.5, 6.5);
    fold.lineTo(17.5, 6.5);
    fold.closeSubpath();
    p.drawPath(fold);
    p.setPen(Outline(QColor(150, 160, 180), 1.0));
    for (const qreal y : {9.5, 12.0, 14.5, 17.0})
        p.drawLine(QPointF(7, y), QPointF(y < 10 ? 12.0 : 15.0, y));
}

// "N" drawn as strokes, so the generator needs no font for the cells.
void DrawLetterN(QPainter& p, const QRectF& box, const QColor& colour)
{
    p.setPen(Outline(colour, box.width() / 4));
    p.setBrush(Qt::NoBrush);
    QPainterPath n;
    n.moveTo(box.bottomLeft());
    n.lineTo(box.topLeft());
    n.lineTo(box.bottomRight());
    n.lineTo(box.topRight());
    p.drawPath(n);
}

} // namespace

QImage DrawPageStates(int scale)
{
    return DrawStrip(4, scale, [](QPainter& p, int index) {
        switch (index) {
        case 0:
            DrawRibbon(p);
            break;
        case 1:
            DrawSheet(p);
            break;
        case 2:
            DrawRibbon(p);
            DrawBadge(p, QPointF(15.5, 15.5), 5.2, QColor(40, 90, 200));
            DrawCross(p, QPointF(15.5, 15.5), 2.3, Qt::white, 1.6);
            break;
        case 3:
            DrawRibbon(p);
            DrawBadge(p, QPointF(15.5, 15.5), 5.4, QColor(34, 150, 60));
            DrawLetterN(p, QRectF(13.4, 13.2, 4.2, 4.8), Qt::white);
            break;
        }
    });
}

QImage DrawTreeIcons(int scale)
{
    return DrawStrip(5, scale, [](QPainter& p, int index) {
        const QRectF tile(3.5, 3.5, 15, 15);
        switch (index) {
        case 0:
            DrawOpenFolder(p);
            break;
        case 1:
            DrawClosedFolder(p);
            break;
        case 2:
            DrawFeedTile(p, tile, QColor(255, 176, 60), QColor(232, 96, 10), Qt::white);
            break;
        case 3:
            DrawFeedTile(p, tile, QColor(200, 200, 200), QColor(140, 140, 140), QColor(245, 245, 245));
            DrawBadge(p, QPointF(15.5, 15.5), 5.2, QColor(210, 30, 30));
            DrawCross(p, QPointF(15.5, 15.5), 2.2, Qt::white, 1.6);
            break;
        case 4:
            DrawFeedTile(p, tile, QColor(170, 196, 226), QColor(92, 126, 170), Qt::white);
            break;
        }
    });
}

QImage DrawAboutLogo(int scale)
{
    QImage logo(240 * scale, 72 * scale, QImage::Format_RGB32);
    logo.fill(Qt::white);
    QPainter p(&logo);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(scale, scale);
    DrawFeedTile(p, QRectF(12, 10, 52, 52), QColor(255, 176, 60), QColor(232, 96, 10), Qt::white);

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(26);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(40, 48, 64));
    p.drawText(QRectF(76, 10, 160, 32), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Zelvia"));
    QFont subtitle(QStringLiteral("DejaVu Sans"));
    subtitle.setPixelSize(17);
    p.setFont(subtitle);
    p.setPen(QColor(232, 96, 10));
    p.drawText(QRectF(77, 40, 160, 24), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Reader"));
    p.end();
    return logo;
}

QImage DrawAppIcon(int size)
{
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal margin = size / 16.0;
    DrawFeedTile(p, QRectF(margin, margin, size - 2 * margin, size - 2 * margin), QColor(255, 176, 60),
                 QColor(232, 96, 10), Qt::white);
    p.end();
    return icon;
}
