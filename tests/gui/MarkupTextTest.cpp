// Markup drawing on an offscreen image: what a reader of a label sees, the
// styles, the spacing, the colours and the height a caller sizes by.

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include "GuiTestSupport.h"
#include "views/MarkupLabel.h"
#include "views/MarkupText.h"

namespace {

const QChar kBlock(0x2588); // a full block: solid ink of the text colour

class MarkupTextTest : public CGuiTest {
protected:
    MarkupTextTest() : m_image(400, 200, QImage::Format_ARGB32)
    {
        m_font = QFont(QStringLiteral("DejaVu Sans"));
        m_font.setPixelSize(20);
        m_bold = m_font;
        m_bold.setWeight(QFont::Bold);
    }

    // Draws (or measures) the text at the image's top-left corner.
    int Draw(const QString& text, UINT format = DT_WORDBREAK, int width = 400, QRect* out = nullptr, int length = -1)
    {
        m_image.fill(Qt::white);
        QPainter painter(&m_image);
        painter.setFont(m_font);
        painter.setPen(Qt::black);
        QRect rect(0, 0, width, 200);
        const int height = DrawMarkupText(painter, text, length, rect, format);
        if (out != nullptr)
            *out = rect;
        return height;
    }

    int MeasuredWidth(const QString& text)
    {
        QRect rect;
        Draw(text, DT_CALCRECT | DT_WORDBREAK, 400, &rect);
        return rect.width();
    }

    // The box around every pixel that is not white within the columns.
    QRect Ink(int fromX = 0, int toX = 400) const
    {
        QRect box;
        for (int y = 0; y < m_image.height(); ++y) {
            for (int x = fromX; x < std::min(toX, m_image.width()); ++x) {
                if (m_image.pixel(x, y) != qRgb(255, 255, 255))
                    box |= QRect(x, y, 1, 1);
            }
        }
        return box;
    }

    int Width(const QFont& font, const QString& text) const { return QFontMetrics(font).horizontalAdvance(text); }
    int LineHeight() const { return QFontMetrics(m_font).size(Qt::TextSingleLine, QString(QChar(0xD75D))).height(); }

    QImage m_image;
    QFont m_font;
    QFont m_bold;
};

} // namespace

TEST_F(MarkupTextTest, ABoldWordAndAPlainWordStandOneSpaceApart)
{
    const int bold = Width(m_bold, QStringLiteral("Bold"));
    const int space = Width(m_font, QStringLiteral(" "));
    const int plain = Width(m_font, QStringLiteral("plain"));
    ASSERT_NE(bold, Width(m_font, QStringLiteral("Bold"))) << "the test font needs a bold face of its own width";

    EXPECT_EQ(MeasuredWidth(QStringLiteral("<b>Bold</b> plain")), bold + space + plain);
    EXPECT_EQ(MeasuredWidth(QStringLiteral("<STRONG>Bold</strong>\t \r\n  plain")), bold + space + plain);
    EXPECT_EQ(MeasuredWidth(QStringLiteral("Bold plain")), Width(m_font, QStringLiteral("Bold plain")));

    // Drawn: the plain word's ink begins after the bold word and the space.
    Draw(QStringLiteral("<b>Bold</b> plain"));
    EXPECT_LE(Ink(0, bold + 1).right(), bold);
    EXPECT_GE(Ink(bold + 1).left(), bold + space - 1);
    EXPECT_LE(Ink().right(), bold + space + plain);
}

TEST_F(MarkupTextTest, SubscriptIsSmallerAndSitsOnTheLineBottomSuperscriptAtItsTop)
{
    const int letter = Width(m_font, QStringLiteral("H"));
    Draw(QStringLiteral("H2"));
    const QRect digit = Ink(letter);
    Draw(QStringLiteral("H<sub>2</sub>"));
    const QRect subscript = Ink(letter);
    Draw(QStringLiteral("H<sup>2</sup>"));
    const QRect superscript = Ink(letter);

    ASSERT_TRUE(digit.isValid() && subscript.isValid() && superscript.isValid());
    EXPECT_LT(subscript.height(), digit.height() * 0.85);
    EXPECT_LT(superscript.height(), digit.height() * 0.85);
    EXPECT_GT(subscript.bottom(), digit.bottom());
    EXPECT_LT(subscript.bottom(), LineHeight());
    EXPECT_LT(superscript.top(), subscript.top());
    EXPECT_LT(superscript.bottom(), digit.bottom());
}

TEST_F(MarkupTextTest, EveryWayOfWritingAColourGivesTheSameColour)
{
    const QColor blue(0x1E, 0x90, 0xFF);
    const int half = Width(m_font, kBlock) / 2;
    for (const QString& tag : {QStringLiteral("<font color=\"#1E90FF\">"), QStringLiteral("<font color='#1e90ff'>"),
                               QStringLiteral("<font color=1e90ff>"), QStringLiteral("<FONT  COLOR=#1E90FF>")}) {
        Draw(tag + kBlock + QStringLiteral("</font>") + kBlock);
        EXPECT_EQ(m_image.pixelColor(half, LineHeight() / 2), blue) << tag.toStdString();
        EXPECT_EQ(m_image.pixelColor(3 * half, LineHeight() / 2), QColor(Qt::black)) << tag.toStdString();
    }
    // Characters that are not hex digits count as 0.
    Draw(QStringLiteral("<font color=#zz80g0>") + kBlock);
    EXPECT_EQ(m_image.pixelColor(half, LineHeight() / 2), QColor(0, 0x80, 0));
    // A font tag without a colour changes nothing, its end tag restores.
    Draw(QStringLiteral("<B><Font size=10>") + kBlock + QStringLiteral("</font></B>"));
    EXPECT_EQ(m_image.pixelColor(Width(m_bold, kBlock) / 2, LineHeight() / 2), QColor(Qt::black));
}

TEST_F(MarkupTextTest, NineNestedColoursLoseTheSavedColourThatDidNotFit)
{
    QString text;
    for (int level = 1; level <= 9; ++level)
        text += QStringLiteral("<font color=#%1%2%3>").arg(level * 20, 2, 16, QLatin1Char('0')).arg("00").arg("40");
    text += kBlock;
    for (int close = 1; close <= 9; ++close)
        text += QStringLiteral("</font>") + kBlock;
    Draw(text, DT_SINGLELINE);

    const int block = Width(m_font, kBlock);
    const auto colourOf = [&](int index) { return m_image.pixelColor(index * block + block / 2, LineHeight() / 2); };
    EXPECT_EQ(colourOf(0), QColor(180, 0, 0x40));    // the ninth colour
    EXPECT_EQ(colourOf(1), QColor(140, 0, 0x40));    // the eighth was never saved: the seventh
    EXPECT_EQ(colourOf(7), QColor(20, 0, 0x40));     // the first
    EXPECT_EQ(colourOf(8), QColor(Qt::black));       // the colour drawing started with
    EXPECT_EQ(colourOf(9), QColor(Qt::black));       // an empty stack restores it too
}

TEST_F(MarkupTextTest, LineAndParagraphBreaksAndTheHeightReturned)
{
    const int line = LineHeight();
    EXPECT_EQ(Draw(QStringLiteral("text")), line);
    const int top = Ink().top();
    EXPECT_EQ(Draw(QStringLiteral("<p>text")), line) << "a paragraph first adds no space";
    EXPECT_EQ(Ink().top(), top);
    EXPECT_EQ(Draw(QStringLiteral("<i><p>text</i>")), line);
    EXPECT_EQ(Draw(QStringLiteral("one<p>two")), line * 3 / 2 + line);
    EXPECT_EQ(Draw(QStringLiteral("one<br>two<BR>three")), 3 * line);
    EXPECT_EQ(Draw(QStringLiteral("one<br>two<p>three"), DT_SINGLELINE), line);

    // Words wrap where the next one does not fit, unless word break is off.
    const QString words = QStringLiteral("aaa bbb ccc");
    const int twoWords = Width(m_font, QStringLiteral("aaa bbb"));
    QRect rect;
    EXPECT_EQ(Draw(words, DT_WORDBREAK | DT_CALCRECT, twoWords + 2, &rect), 2 * line);
    EXPECT_EQ(rect.width(), twoWords);
    EXPECT_EQ(rect.height(), 2 * line);
    EXPECT_EQ(Draw(words, DT_CALCRECT, twoWords + 2, &rect), line);
    EXPECT_EQ(rect.width(), Width(m_font, words));
    // Measuring draws nothing.
    EXPECT_FALSE(Ink().isValid());
}

TEST_F(MarkupTextTest, TextThatIsNoTagIsDrawnAsText)
{
    const int space = Width(m_font, QStringLiteral(" "));
    EXPECT_EQ(MeasuredWidth(QStringLiteral("a < b")), Width(m_font, QStringLiteral("a")) + space +
                                                           Width(m_font, QStringLiteral("<")) + space +
                                                           Width(m_font, QStringLiteral("b")));
    EXPECT_EQ(MeasuredWidth(QStringLiteral("<foo>bar")), Width(m_font, QStringLiteral("<foo>bar")));
    EXPECT_EQ(MeasuredWidth(QStringLiteral("<b >x")), Width(m_font, QStringLiteral("<b >x")));
    EXPECT_EQ(MeasuredWidth(QStringLiteral("x<")), Width(m_font, QStringLiteral("x<")));
    // Only the length given is drawn.
    QRect rect;
    Draw(QStringLiteral("abc<b>def"), DT_CALCRECT, 400, &rect, 3);
    EXPECT_EQ(rect.width(), Width(m_font, QStringLiteral("abc")));
}

TEST_F(MarkupTextTest, ThePainterIsLeftAsItWas)
{
    QPainter painter(&m_image);
    painter.setFont(m_font);
    painter.setPen(QColor(10, 20, 30));
    QRect rect(0, 0, 400, 100);
    DrawMarkupText(painter, QStringLiteral("<b><i><font color=#FF0000>x"), -1, rect, DT_WORDBREAK);
    EXPECT_EQ(painter.font(), m_font);
    EXPECT_EQ(painter.pen().color(), QColor(10, 20, 30));
}

TEST_F(MarkupTextTest, TheLabelIsAsHighAsItsTextPlusMargins)
{
    CMarkupLabel label(QStringLiteral("<b>Feed Title</b> and a description long enough to wrap at a small width"));
    label.setFont(m_font);
    label.SetMargin(3);
    QImage scratch(1, 1, QImage::Format_ARGB32);
    QPainter painter(&scratch);
    painter.setFont(m_font);
    QRect rect(0, 0, 150 - 6, 1);
    const int drawn = DrawMarkupText(painter, label.Text(), -1, rect, DT_WORDBREAK | DT_CALCRECT);
    painter.end();
    EXPECT_EQ(label.heightForWidth(150), drawn + 6);
    EXPECT_GT(label.heightForWidth(150), label.heightForWidth(1000));

    // Plain text keeps the tags as characters and breaks at "\r\n".
    CMarkupLabel plain(QStringLiteral("<b>x</b>\r\ny"));
    plain.setFont(m_font);
    plain.SetPlainText(true);
    plain.SetMargin(0);
    EXPECT_EQ(plain.heightForWidth(1000), 2 * QFontMetrics(m_font).lineSpacing());
    plain.SetPlainText(false);
    EXPECT_EQ(plain.heightForWidth(1000), LineHeight());
}
