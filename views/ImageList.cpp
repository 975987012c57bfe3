#include "views/ImageList.h"

namespace {

const char* BitmapName(UINT bitmapId)
{
    switch (bitmapId) {
    case IDB_PAGE_STATES: return "page-states";
    case IDB_TREE_ICONS: return "tree-icons";
    case IDB_ABOUT_LOGO: return "about-logo";
    default: return nullptr;
    }
}

QImage Cell(const QImage& strip, int index, int side)
{
    return strip.copy(index * side, 0, side, side);
}

} // namespace

QImage ApplyColourKey(const QImage& image, const QColor& key)
{
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb keyRgb = key.rgb() & 0x00FFFFFFu;
    for (int y = 0; y < out.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if ((line[x] & 0x00FFFFFFu) == keyRgb)
                line[x] = 0;
        }
    }
    return out;
}

QImage LoadBitmapResource(UINT bitmapId, int scale)
{
    const char* name = BitmapName(bitmapId);
    if (name == nullptr)
        return {};
    const QString suffix = scale >= 2 ? QStringLiteral("@2x") : QString();
    return QImage(QStringLiteral(":/bitmaps/%1%2.png").arg(QLatin1String(name), suffix));
}

QPixmap BitmapPixmap(UINT bitmapId, qreal devicePixelRatio)
{
    const int scale = devicePixelRatio > 1.0 ? 2 : 1;
    QImage image = LoadBitmapResource(bitmapId, scale);
    if (image.isNull() && scale == 2)
        return BitmapPixmap(bitmapId, 1.0);
    image.setDevicePixelRatio(scale);
    return QPixmap::fromImage(image);
}

CImageList CImageList::FromBitmap(UINT bitmapId, int cellSize, const QColor& key)
{
    return FromStrips(LoadBitmapResource(bitmapId, 1), LoadBitmapResource(bitmapId, 2), cellSize, key);
}

CImageList CImageList::FromStrips(const QImage& strip1x, const QImage& strip2x, int cellSize, const QColor& key)
{
    CImageList list;
    if (strip1x.isNull() || cellSize <= 0 || strip1x.height() < cellSize)
        return list;
    list.m_nCellSize = cellSize;
    const QImage keyed1x = ApplyColourKey(strip1x, key);
    const bool has2x = !strip2x.isNull() && strip2x.width() == 2 * strip1x.width() &&
                       strip2x.height() >= 2 * cellSize;
    const QImage keyed2x = has2x ? ApplyColourKey(strip2x, key) : QImage();
    const int count = strip1x.width() / cellSize;
    for (int index = 0; index < count; ++index) {
        QIcon icon;
        icon.addPixmap(QPixmap::fromImage(Cell(keyed1x, index, cellSize)));
        if (has2x)
            icon.addPixmap(QPixmap::fromImage(Cell(keyed2x, index, 2 * cellSize)));
        list.m_icons.push_back(icon);
    }
    return list;
}

QIcon CImageList::Icon(int index) const
{
    return index >= 0 && index < Count() ? m_icons[static_cast<size_t>(index)] : QIcon();
}
