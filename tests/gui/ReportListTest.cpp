// The report list and its image lists: rows and columns as the owner sets
// them, the focused-row signal, the grey text of an empty list, and images
// keyed out of their magenta strips at either pixel ratio.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>

#include "GuiTestSupport.h"
#include "views/DialogControls.h"
#include "views/ImageList.h"
#include "views/ReportList.h"

namespace {

// A strip of cells filled with a colour each on a magenta ground, with a
// one-cell-pixel magenta border, at 1x or 2x.
QImage Strip(const std::vector<QColor>& colours, int scale)
{
    const int cell = 22 * scale;
    QImage strip(cell * static_cast<int>(colours.size()), cell, QImage::Format_RGB32);
    strip.fill(QColor(255, 0, 255));
    QPainter painter(&strip);
    for (size_t i = 0; i < colours.size(); ++i)
        painter.fillRect(static_cast<int>(i) * cell + scale, scale, cell - 2 * scale, cell - 2 * scale, colours[i]);
    return strip;
}

} // namespace

using ImageListTest = CGuiTest;
using ReportListTest = CGuiTest;

TEST_F(ImageListTest, CellsAreCutFromTheStripWithMagentaTransparent)
{
    const CImageList list = CImageList::FromStrips(Strip({Qt::red, Qt::green, Qt::blue}, 1),
                                                   Strip({Qt::darkRed, Qt::darkGreen, Qt::darkBlue}, 2), 22);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_TRUE(list.Icon(3).isNull());
    EXPECT_TRUE(list.Icon(-1).isNull());

    const QImage second = list.Icon(1).pixmap(QSize(22, 22), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(second.size(), QSize(22, 22));
    EXPECT_EQ(qAlpha(second.pixel(0, 0)), 0);
    EXPECT_EQ(second.pixelColor(11, 11), QColor(Qt::green));

    // At 2x the list draws the 2x cell, not the 1x one enlarged.
    const QImage crisp = list.Icon(2).pixmap(QSize(22, 22), 2.0).toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(crisp.size(), QSize(44, 44));
    EXPECT_EQ(qAlpha(crisp.pixel(1, 1)), 0);
    EXPECT_EQ(crisp.pixelColor(2, 2), QColor(Qt::darkBlue));

    EXPECT_TRUE(CImageList::FromStrips(QImage(), QImage(), 22).IsEmpty());
}

TEST_F(ImageListTest, TheListBitmapsAreDrawnOnTransparentGroundAtBothScales)
{
    for (const auto& [bitmap, cells] : {std::pair{IDB_PAGE_STATES, 4}, std::pair{IDB_TREE_ICONS, 5}}) {
        for (const int scale : {1, 2}) {
            const QImage strip = LoadBitmapResource(bitmap, scale);
            ASSERT_EQ(strip.size(), QSize(22 * cells * scale, 22 * scale)) << bitmap;
            for (int cell = 0; cell < cells; ++cell) {
                const int left = cell * 22 * scale;
                // The corners are ground, the middle is artwork.
                EXPECT_EQ(strip.pixelColor(left, 0), QColor(255, 0, 255)) << bitmap << " cell " << cell;
                EXPECT_NE(strip.pixelColor(left + 11 * scale, 11 * scale), QColor(255, 0, 255))
                    << bitmap << " cell " << cell;
            }
        }
    }
    const QPixmap logo = BitmapPixmap(IDB_ABOUT_LOGO, 2.0);
    EXPECT_EQ(logo.devicePixelRatio(), 2.0);
    EXPECT_EQ(logo.deviceIndependentSize().toSize(), BitmapPixmap(IDB_ABOUT_LOGO, 1.0).size());
    EXPECT_TRUE(LoadBitmapResource(999).isNull());
}

TEST_F(ReportListTest, RowsColumnsImagesAndTheFocusedRowSignal)
{
    CReportList list;
    list.resize(300, 200);
    list.SetImageList(CImageList::FromBitmap(IDB_PAGE_STATES));
    list.InsertColumn(0, QStringLiteral("Headline"), 200);
    list.InsertColumn(1, QStringLiteral("Date"), 60, Qt::AlignHCenter);
    list.show();
    QSignalSpy focused(&list, &CReportList::focusedRowChanged);

    EXPECT_EQ(list.InsertItem(0, QStringLiteral("second"), 1, 0x20), 0);
    EXPECT_EQ(list.InsertItem(0, QStringLiteral("first"), 0, 0x10), 0);
    EXPECT_EQ(list.InsertItem(99, QStringLiteral("third"), 3), 2);
    EXPECT_TRUE(list.SetItemText(1, 1, QStringLiteral("12:30 PM")));
    EXPECT_FALSE(list.SetItemText(1, 2, QStringLiteral("no such column")));
    EXPECT_FALSE(list.SetItemText(5, 0, QStringLiteral("no such row")));
    EXPECT_EQ(list.GetItemCount(), 3);
    EXPECT_EQ(list.ItemText(1, 0), QStringLiteral("second"));
    EXPECT_EQ(list.ItemText(1, 1), QStringLiteral("12:30 PM"));
    EXPECT_EQ(list.ItemData(0), 0x10u);
    EXPECT_EQ(list.ItemImage(2), 3);
    EXPECT_FALSE(list.topLevelItem(2)->icon(0).isNull());

    list.SelectRow(1);
    EXPECT_EQ(list.GetSelectedRow(), 1);
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(list.GetFocusedRow(), 2);
    list.SetItemImage(2, 1);
    EXPECT_EQ(list.ItemImage(2), 1);
    list.DeleteItem(2);
    list.DeleteAllItems();
    QList<int> rows;
    for (const QList<QVariant>& arguments : focused)
        rows << arguments.front().toInt();
    ASSERT_GE(rows.size(), 3);
    EXPECT_EQ(rows.mid(0, 2), (QList<int>{1, 2}));
    EXPECT_EQ(rows.back(), -1);

    // Enter and a double tap open the selected row.
    list.InsertItem(0, QStringLiteral("only"));
    list.SelectRow(0);
    QSignalSpy activated(&list, &CReportList::rowActivated);
    QTest::keyClick(&list, Qt::Key_Return);
    ASSERT_EQ(activated.count(), 1);
    EXPECT_EQ(activated.front().front().toInt(), 0);
}

TEST_F(ReportListTest, AnEmptyListShowsItsTextCentredInGrey)
{
    CReportList list;
    list.resize(300, 200);
    list.InsertColumn(0, QStringLiteral("Headline"), 280);
    list.ShowHeader(false);
    list.SetEmptyText(QStringLiteral("There are no items."));
    list.show();
    const auto greyPixels = [&] {
        const QImage image = list.viewport()->grab().toImage();
        int grey = 0;
        QRect box;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor colour = image.pixelColor(x, y);
                if (colour.red() == colour.green() && colour.green() == colour.blue() && colour.red() < 200) {
                    ++grey;
                    box |= QRect(x, y, 1, 1);
                }
            }
        }
        return std::pair(grey, box);
    };
    const auto [grey, box] = greyPixels();
    EXPECT_GT(grey, 20);
    const QPoint centre = list.viewport()->rect().center();
    EXPECT_NEAR(box.center().x(), centre.x(), 3);
    EXPECT_NEAR(box.center().y(), centre.y(), 3);

    list.InsertItem(0, QStringLiteral("x"));
    EXPECT_FALSE(greyPixels().second.contains(centre)) << "the text goes once there are rows";
}

TEST_F(ReportListTest, TemplateControlsAreNamedByTheirIdsAndCarryTheirTexts)
{
    QWidget dialog;
    const CDialogControls controls(&dialog, IDD_ADD_FEED);
    ASSERT_NE(controls.Template(), nullptr);
    ASSERT_EQ(controls.Widgets().size(), 5u);
    auto* label = FindControl<QLabel>(&dialog, IDC_URL_LABEL);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Enter feed URL:"));
    auto* url = FindControl<QLineEdit>(&dialog, IDC_URL_EDIT);
    ASSERT_NE(url, nullptr);
    EXPECT_EQ(url->maxLength(), 256);
    auto* root = controls.Get<QCheckBox>(IDC_CREATE_AT_ROOT);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->text(), QStringLiteral("Create at root"));

    QWidget search;
    const CDialogControls searchControls(&search, IDD_SEARCH);
    auto* results = FindControl<CReportList>(&search, IDC_SEARCH_LIST);
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(results->headerItem()->text(0), QStringLiteral("Feed Title"));
    EXPECT_FALSE(results->IsHeaderShown());
    EXPECT_EQ(FindControl<QLineEdit>(&search, IDC_SEARCH_EDIT)->maxLength(), 20);

    QWidget nothing;
    EXPECT_TRUE(CDialogControls(&nothing, 4242).Widgets().empty());
}
