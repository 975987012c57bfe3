#include "views/ReportList.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include "views/TapAndHold.h"

namespace {

constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kDataRole = Qt::UserRole + 2;
const QColor kEmptyTextColour(128, 128, 128);
// Room above and below a row's text: the style draws the text inside a
// focus frame, and a row no taller than the font cuts the text's top and
// bottom ("..", for one, loses its dots).
constexpr int kRowTextPadding = 3;

class CRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(std::max(size.height(), option.fontMetrics.height() + 2 * kRowTextPadding));
        return size;
    }
};

} // namespace

CReportList::CReportList(QWidget* parent, int pointSize) : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(22, 22));
    setColumnCount(0);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    setItemDelegate(new CRowDelegate(this));
    SetFontPointSize(pointSize);
    new CTapAndHold(viewport());

    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
                emit focusedRowChanged(current != nullptr ? indexOfTopLevelItem(current) : -1);
            });
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item, int) { emit rowActivated(indexOfTopLevelItem(item)); });
}

void CReportList::SetFontPointSize(int pointSize)
{
    QFont listFont = font();
    listFont.setPointSize(pointSize);
    listFont.setWeight(QFont::Normal);
    setFont(listFont);
}

void CReportList::ShowHeader(bool show) { setHeaderHidden(!show); }

bool CReportList::IsHeaderShown() const { return !isHeaderHidden(); }

void CReportList::SetEmptyText(const QString& text)
{
    m_strEmptyText = text;
    viewport()->update();
}

void CReportList::SetImageList(const CImageList& images)
{
    m_images = images;
    if (!images.IsEmpty())
        setIconSize(QSize(images.CellSize(), images.CellSize()));
    for (int row = 0; row < GetItemCount(); ++row)
        SetItemImage(row, ItemImage(row));
}

int CReportList::InsertColumn(int index, const QString& title, int width, Qt::Alignment alignment)
{
    const int count = columnCount();
    index = std::clamp(index, 0, count);
    QStringList titles;
    for (int column = 0; column < count; ++column)
        titles << headerItem()->text(column);
    titles.insert(index, title);
    m_alignments.insert(m_alignments.begin() + index, alignment);
    setColumnCount(count + 1);
    setHeaderLabels(titles);
    for (int column = 0; column <= count; ++column)
        headerItem()->setTextAlignment(column, m_alignments[static_cast<size_t>(column)] | Qt::AlignVCenter);
    // Cells of existing rows move right with their column.
    for (int row = 0; row < GetItemCount(); ++row) {
        QTreeWidgetItem* item = Row(row);
        for (int column = count; column > index; --column)
            item->setText(column, item->text(column - 1));
        item->setText(index, QString());
        ApplyAlignment(item);
    }
    SetColumnWidth(index, width);
    return index;
}

void CReportList::SetColumnWidth(int column, int width) { setColumnWidth(column, std::max(0, width)); }

QTreeWidgetItem* CReportList::Row(int row) const { return row >= 0 ? topLevelItem(row) : nullptr; }

void CReportList::ApplyAlignment(QTreeWidgetItem* item) const
{
    for (size_t column = 0; column < m_alignments.size(); ++column)
        item->setTextAlignment(static_cast<int>(column), m_alignments[column] | Qt::AlignVCenter);
}

int CReportList::InsertItem(int row, const QString& text, int image, quintptr data)
{
    auto* item = new QTreeWidgetItem;
    item->setText(0, text);
    item->setData(0, kDataRole, QVariant::fromValue(data));
    ApplyAlignment(item);
    row = std::clamp(row, 0, GetItemCount());
    insertTopLevelItem(row, item);
    SetItemImage(row, image);
    viewport()->update();
    return row;
}

bool CReportList::SetItemText(int row, int column, const QString& text)
{
    QTreeWidgetItem* item = Row(row);
    if (item == nullptr || column < 0 || column >= columnCount())
        return false;
    item->setText(column, text);
    return true;
}

QString CReportList::ItemText(int row, int column) const
{
    const QTreeWidgetItem* item = Row(row);
    return item != nullptr ? item->text(column) : QString();
}

bool CReportList::SetItemImage(int row, int image)
{
    QTreeWidgetItem* item = Row(row);
    if (item == nullptr)
        return false;
    item->setData(0, kImageRole, image);
    item->setIcon(0, m_images.Icon(image));
    return true;
}

int CReportList::ItemImage(int row) const
{
    const QTreeWidgetItem* item = Row(row);
    return item != nullptr ? item->data(0, kImageRole).toInt() : -1;
}

bool CReportList::SetItemData(int row, quintptr data)
{
    QTreeWidgetItem* item = Row(row);
    if (item == nullptr)
        return false;
    item->setData(0, kDataRole, QVariant::fromValue(data));
    return true;
}

quintptr CReportList::ItemData(int row) const
{
    const QTreeWidgetItem* item = Row(row);
    return item != nullptr ? item->data(0, kDataRole).value<quintptr>() : 0;
}

bool CReportList::DeleteItem(int row)
{
    QTreeWidgetItem* item = Row(row);
    if (item == nullptr)
        return false;
    delete item;
    viewport()->update();
    return true;
}

void CReportList::DeleteAllItems()
{
    clear();
    viewport()->update();
}

int CReportList::GetSelectedRow() const
{
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : indexOfTopLevelItem(selected.front());
}

int CReportList::GetFocusedRow() const
{
    QTreeWidgetItem* item = currentItem();
    return item != nullptr ? indexOfTopLevelItem(item) : -1;
}

void CReportList::SelectRow(int row)
{
    QTreeWidgetItem* item = Row(row);
    if (item == nullptr) {
        clearSelection();
        setCurrentItem(nullptr);
        return;
    }
    setCurrentItem(item);
    item->setSelected(true);
    scrollToItem(item);
}

void CReportList::paintEvent(QPaintEvent* event)
{
    QTreeWidget::paintEvent(event);
    if (GetItemCount() > 0 || m_strEmptyText.isEmpty())
        return;
    QPainter painter(viewport());
    painter.setPen(kEmptyTextColour);
    painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, m_strEmptyText);
}

void CReportList::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        emit rowActivated(GetSelectedRow());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void CReportList::contextMenuEvent(QContextMenuEvent* event)
{
    emit contextMenuRequested(event->globalPos());
    event->accept();
}
