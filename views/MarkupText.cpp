#include "views/MarkupText.h"

#include <QFontMetrics>
#include <QPainter>
#include <array>
#include <optional>
#include <vector>

namespace {

enum EStyle : unsigned {
    kBold = 1,
    kItalic = 2,
    kUnderline = 4,
    kSuperscript = 8,
    kSubscript = 16,
};

constexpr size_t kColourStackDepth = 8;

// One font per style combination, made from the base font on first use and
// dropped when the drawing ends.
class CFontCache {
public:
    explicit CFontCache(const QFont& base) : m_base(base) {}

    const QFont& Font(unsigned style)
    {
        std::optional<QFont>& slot = m_fonts[style & 31];
        if (!slot) {
            QFont font = m_base;
            font.setWeight((style & kBold) != 0 ? QFont::Bold : QFont::Normal);
            font.setItalic((style & kItalic) != 0);
            font.setUnderline((style & kUnderline) != 0);
            if ((style & (kSuperscript | kSubscript)) != 0) {
                if (m_base.pixelSize() > 0)
                    font.setPixelSize(std::max(1, m_base.pixelSize() * 7 / 10));
                else
                    font.setPointSizeF(m_base.pointSizeF() * 0.7);
            }
            slot = font;
        }
        return *slot;
    }

private:
    QFont m_base;
    std::array<std::optional<QFont>, 32> m_fonts;
};

int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return 0;
}

// The value after "color=": optional quote, optional "#", then six digits
// RRGGBB where any other character (or a missing one) counts as 0.
QColor ParseColour(QStringView value)
{
    if (!value.isEmpty() && (value.front() == u'"' || value.front() == u'\''))
        value = value.mid(1);
    if (!value.isEmpty() && value.front() == u'#')
        value = value.mid(1);
    int digits[6] = {};
    for (int i = 0; i < 6 && i < value.size(); ++i)
        digits[i] = HexDigit(value[i]);
    return QColor(digits[0] * 16 + digits[1], digits[2] * 16 + digits[3], digits[4] * 16 + digits[5]);
}

enum class ETag { None, Style, StyleOff, FontOpen, FontClose, LineBreak, Paragraph };

struct CTag {
    ETag kind = ETag::None;
    unsigned style = 0;
    std::optional<QColor> colour;
};

unsigned StyleOfName(QStringView name)
{
    if (name.compare(u"b", Qt::CaseInsensitive) == 0 || name.compare(u"strong", Qt::CaseInsensitive) == 0)
        return kBold;
    if (name.compare(u"i", Qt::CaseInsensitive) == 0 || name.compare(u"em", Qt::CaseInsensitive) == 0)
        return kItalic;
    if (name.compare(u"u", Qt::CaseInsensitive) == 0)
        return kUnderline;
    if (name.compare(u"sub", Qt::CaseInsensitive) == 0)
        return kSubscript;
    if (name.compare(u"sup", Qt::CaseInsensitive) == 0)
        return kSuperscript;
    return 0;
}

// The tag between "<" and ">" (inner is the text between them).
CTag ReadTag(QStringView inner)
{
    CTag tag;
    const bool closing = inner.startsWith(u'/');
    const QStringView name = closing ? inner.mid(1) : inner;
    if (const unsigned style = StyleOfName(name)) {
        tag.kind = closing ? ETag::StyleOff : ETag::Style;
        tag.style = style;
        return tag;
    }
    if (!closing && (name.compare(u"br", Qt::CaseInsensitive) == 0)) {
        tag.kind = ETag::LineBreak;
        return tag;
    }
    if (!closing && (name.compare(u"p", Qt::CaseInsensitive) == 0)) {
        tag.kind = ETag::Paragraph;
        return tag;
    }
    if (name.size() >= 4 && name.first(4).compare(u"font", Qt::CaseInsensitive) == 0 &&
        (name.size() == 4 || name[4].isSpace())) {
        if (closing) {
            tag.kind = name.size() == 4 ? ETag::FontClose : ETag::None;
            return tag;
        }
        tag.kind = ETag::FontOpen;
        const QStringView attributes = name.mid(4).trimmed();
        if (attributes.size() >= 6 && attributes.first(6).compare(u"color=", Qt::CaseInsensitive) == 0)
            tag.colour = ParseColour(attributes.mid(6));
    }
    return tag;
}

class CMarkupPainter {
public:
    CMarkupPainter(QPainter& painter, const QRect& rect, UINT format)
        : m_painter(painter), m_rect(rect), m_fonts(painter.font()), m_initialColour(painter.pen().color()),
          m_colour(m_initialColour), m_bWordBreak((format & DT_WORDBREAK) != 0 && (format & DT_SINGLELINE) == 0),
          m_bSingleLine((format & DT_SINGLELINE) != 0), m_bMeasure((format & DT_CALCRECT) != 0)
    {
        // A tall Hangul syllable gives the height of the tallest line the
        // base font can draw.
        m_nLineHeight = QFontMetrics(painter.font()).size(Qt::TextSingleLine, QString(QChar(0xD75D))).height();
    }

    void Run(QStringView text)
    {
        qsizetype i = 0;
        while (i < text.size()) {
            const QChar c = text[i];
            if (c.isSpace()) {
                m_bSpaceBefore = true;
                ++i;
                continue;
            }
            if (c == u'<') {
                const qsizetype close = text.indexOf(u'>', i + 1);
                if (close > i) {
                    const CTag tag = ReadTag(text.mid(i + 1, close - i - 1));
                    if (tag.kind != ETag::None) {
                        Apply(tag);
                        i = close + 1;
                        continue;
                    }
                }
            }
            // A word: up to the next white space or "<" (a "<" that starts
            // no tag belongs to the word it begins).
            qsizetype end = i + 1;
            while (end < text.size() && !text[end].isSpace() && text[end] != u'<')
                ++end;
            DrawWord(text.mid(i, end - i));
            i = end;
        }
    }

    int Height() const { return m_nY + m_nLineHeight; }
    int Widest() const { return m_nWidest; }

private:
    void Apply(const CTag& tag)
    {
        switch (tag.kind) {
        case ETag::Style:
            m_nStyle |= tag.style;
            break;
        case ETag::StyleOff:
            m_nStyle &= ~tag.style;
            break;
        case ETag::FontOpen:
            if (tag.colour) {
                // A full stack keeps the new colour but cannot save the old.
                if (m_colours.size() < kColourStackDepth)
                    m_colours.push_back(m_colour);
                m_colour = *tag.colour;
            }
            break;
        case ETag::FontClose:
            if (m_colours.empty()) {
                m_colour = m_initialColour;
            } else {
                m_colour = m_colours.back();
                m_colours.pop_back();
            }
            break;
        case ETag::LineBreak:
            if (!m_bSingleLine)
                NewLine(m_nLineHeight);
            break;
        case ETag::Paragraph:
            if (!m_bSingleLine && m_bStarted)
                NewLine(m_nLineHeight * 3 / 2);
            break;
        case ETag::None:
            break;
        }
    }

    void NewLine(int advance)
    {
        m_nY += advance;
        m_nX = 0;
        m_bSpaceBefore = false;
        m_bStarted = true;
    }

    void DrawWord(QStringView word)
    {
        m_bStarted = true;
        const QFont& font = m_fonts.Font(m_nStyle);
        const QFontMetrics metrics(font);
        const QString text = word.toString();
        const int width = metrics.horizontalAdvance(text);
        int space = m_bSpaceBefore && m_nX > 0 ? metrics.horizontalAdvance(QLatin1Char(' ')) : 0;
        if (m_bWordBreak && m_nX > 0 && m_nX + space + width > m_rect.width()) {
            m_nY += m_nLineHeight;
            m_nX = 0;
            space = 0;
        }
        if (!m_bMeasure) {
            m_painter.setFont(font);
            m_painter.setPen(m_colour);
            const bool underlinedSpace = space > 0 && (m_nStyle & kUnderline) != 0;
            const int left = m_rect.left() + m_nX + (underlinedSpace ? 0 : space);
            const QRect cell(left, m_rect.top() + m_nY, width + (underlinedSpace ? space : 0) + 1, m_nLineHeight);
            const int vertical = (m_nStyle & kSubscript) != 0 ? Qt::AlignBottom : Qt::AlignTop;
            m_painter.drawText(cell, Qt::AlignLeft | vertical | Qt::TextSingleLine | Qt::TextDontClip,
                               underlinedSpace ? QLatin1Char(' ') + text : text);
        }
        m_nX += space + width;
        m_nWidest = std::max(m_nWidest, m_nX);
        m_bSpaceBefore = false;
    }

    QPainter& m_painter;
    QRect m_rect;
    CFontCache m_fonts;
    QColor m_initialColour;
    QColor m_colour;
    std::vector<QColor> m_colours;
    bool m_bWordBreak;
    bool m_bSingleLine;
    bool m_bMeasure;
    int m_nLineHeight = 0;
    unsigned m_nStyle = 0;
    int m_nX = 0;
    int m_nY = 0;
    int m_nWidest = 0;
    bool m_bSpaceBefore = false;
    bool m_bStarted = false;
};

} // namespace

int DrawMarkupText(QPainter& painter, const QString& text, int length, QRect& rect, UINT format)
{
    // Always left-aligned and without prefix processing.
    format &= ~(DT_CENTER | DT_RIGHT);
    const QStringView view =
        length < 0 ? QStringView(text) : QStringView(text).first(std::min<qsizetype>(length, text.size()));

    const QFont savedFont = painter.font();
    const QPen savedPen = painter.pen();
    CMarkupPainter markup(painter, rect, format);
    markup.Run(view);
    painter.setFont(savedFont);
    painter.setPen(savedPen);

    const int height = markup.Height();
    if ((format & DT_CALCRECT) != 0) {
        rect.setWidth(markup.Widest());
        rect.setHeight(height);
    }
    return height;
}
