#pragma once
// Image lists: a bitmap strip split into square cells, with the transparent
// colour keyed out. The bitmap resources (201 page states, 202 tree icons)
// are stored at 1x and 2x; each cell becomes a QIcon holding both, so lists
// draw crisp icons at either device pixel ratio. Copies share their images.

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <vector>

#include "resources/ResourceIds.h"

inline const QColor kTransparentKey(255, 0, 255);

class CImageList {
public:
    CImageList() = default;

    // The bitmap resource split into cells of cellSize logical pixels, with
    // magenta transparent. Empty when the bitmap does not exist.
    static CImageList FromBitmap(UINT bitmapId, int cellSize = 22, const QColor& key = kTransparentKey);
    // The same from strips in memory; strip2x may be null (then only 1x).
    static CImageList FromStrips(const QImage& strip1x, const QImage& strip2x, int cellSize,
                                 const QColor& key = kTransparentKey);

    int Count() const { return static_cast<int>(m_icons.size()); }
    bool IsEmpty() const { return m_icons.empty(); }
    int CellSize() const { return m_nCellSize; }
    // A null icon for an index out of range.
    QIcon Icon(int index) const;

private:
    std::vector<QIcon> m_icons;
    int m_nCellSize = 0;
};

// Every pixel of the key colour becomes fully transparent.
QImage ApplyColourKey(const QImage& image, const QColor& key = kTransparentKey);

// A bitmap resource as it is stored, at the scale given (1 or 2); a null
// image when there is none.
QImage LoadBitmapResource(UINT bitmapId, int scale = 1);
// The bitmap as a pixmap for a device pixel ratio: the 2x image above 1x.
QPixmap BitmapPixmap(UINT bitmapId, qreal devicePixelRatio);
