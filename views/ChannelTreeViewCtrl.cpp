#include "views/ChannelTreeViewCtrl.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <vector>

#include "platform/Debug.h"
#include "resources/ResourceModule.h"

namespace {

// Simplified Chinese has no bold face worth the name at this size.
constexpr char kNormalWeightLanguage[] = "0804";
constexpr int kTextPadding = 2;

// Paints an entry as the tree of the device does: the icon, then the text
// on a filled rectangle just large enough for it.
class CEntryDelegate : public QStyledItemDelegate {
public:
    explicit CEntryDelegate(CChannelTreeCtrl* tree) : QStyledItemDelegate(tree), m_pTree(tree) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QWidget* widget = item.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        const QRect iconRect = style->subElementRect(QStyle::SE_ItemViewItemDecoration, &item, widget);
        const QRect textArea = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
        if (!item.icon.isNull())
            item.icon.paint(painter, iconRect, Qt::AlignCenter);

        const bool moving = m_pTree->IsMoving() && index == m_pTree->MovingIndex();
        const bool selected = (item.state & QStyle::State_Selected) != 0;
        QColor background = item.palette.color(QPalette::Active, QPalette::Base);
        QColor foreground = item.palette.color(QPalette::Active, QPalette::ButtonText);
        if (moving) {
            background = CChannelTreeCtrl::kMovingColour;
            foreground = m_pTree->HighlightTextColour();
        } else if (selected) {
            background = m_pTree->HighlightColour();
            foreground = m_pTree->HighlightTextColour();
        }
        const QFontMetrics metrics(item.font);
        const int textWidth = metrics.horizontalAdvance(item.text) + 2 * kTextPadding;
        const QRect textRect(textArea.left(), textArea.top(), textWidth, textArea.height());
        painter->save();
        painter->fillRect(textRect, background);
        painter->setPen(foreground);
        painter->setFont(item.font);
        painter->drawText(textRect.adjusted(kTextPadding, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          item.text);
        painter->restore();
    }

    // The column is as wide as its widest entry, measured again whenever a
    // label changes (an update changes every feed's): the style's own
    // measure lays each text out in full, so it is taken once, for the
    // icon and the margins, and only the text's advance is added per entry.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (m_frame.isEmpty() || option.font != m_frameFont) {
            QStyleOptionViewItem sample = option;
            initStyleOption(&sample, index);
            sample.text = QStringLiteral("x");
            const QSize measured = QStyledItemDelegate::sizeHint(sample, QModelIndex());
            const QSize icon = m_pTree->iconSize();
            m_frame = QSize(measured.width() - QFontMetrics(sample.font).horizontalAdvance(sample.text) +
                                (sample.icon.isNull() ? icon.width() : 0),
                            std::max(measured.height(), icon.height()));
            m_frameFont = option.font;
        }
        const QString text = index.data(Qt::DisplayRole).toString();
        return {m_frame.width() + QFontMetrics(option.font).horizontalAdvance(text) + 2 * kTextPadding, m_frame.height()};
    }

private:
    CChannelTreeCtrl* m_pTree;
    mutable QSize m_frame; // what an entry takes besides its text
    mutable QFont m_frameFont;
};

} // namespace

CChannelTreeCtrl::CChannelTreeCtrl(QWidget* parent) : QTreeView(parent)
{
    setHeaderHidden(true);
    // One column as wide as the widest entry, so a long title scrolls
    // sideways instead of being cut. The header would measure every entry
    // at each change of a label (an update changes them all, one by one):
    // a changed label only widens the column; added, removed, opened and
    // closed entries have it measured again once, from the loop.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::Fixed);
    connect(this, &QTreeView::expanded, this, [this] { ScheduleFit(); });
    connect(this, &QTreeView::collapsed, this, [this] { ScheduleFit(); });
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformRowHeights(true);
    setIconSize(QSize(22, 22));
    setFrameShape(QFrame::NoFrame);
    setItemDelegate(new CEntryDelegate(this));
    QFont entries = QApplication::font();
    entries.setPointSize(kEntryPointSize);
    entries.setWeight(QFont::Normal);
    setFont(entries);
    // Only the entry's text shows the selection, in the highlight colours
    // whether or not the tree has the focus: the view's own selection
    // painting (the row's indent and branch) is made invisible.
    QPalette colours = palette();
    m_highlight = colours.color(QPalette::Active, QPalette::Highlight);
    m_highlightText = colours.color(QPalette::Active, QPalette::HighlightedText);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        colours.setColor(group, QPalette::Highlight, colours.color(group, QPalette::Base));
        colours.setColor(group, QPalette::HighlightedText, colours.color(group, QPalette::Text));
    }
    setPalette(colours);
}

CChannelTreeCtrl::~CChannelTreeCtrl()
{
    // The model may go with the widget's children, after this part of the
    // tree: what it signals then must not reach the column's measure.
    if (model() != nullptr)
        model()->disconnect(this);
}

void CChannelTreeCtrl::setModel(QAbstractItemModel* entries)
{
    if (model() != nullptr)
        model()->disconnect(this);
    QTreeView::setModel(entries);
    if (entries == nullptr)
        return;
    connect(entries, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& first, const QModelIndex& last) {
        for (int row = first.row(); row <= last.row(); ++row)
            WidenFor(first.siblingAtRow(row));
    });
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(entries, signal, this, [this] { ScheduleFit(); });
    connect(entries, &QAbstractItemModel::modelReset, this, [this] { ScheduleFit(); });
}

QFont CChannelTreeCtrl::EmptyTextFont() const
{
    QFont empty = QApplication::font();
    empty.setPointSize(kEmptyTextPointSize);
    empty.setWeight(UserLanguageId() == kNormalWeightLanguage ? QFont::Normal : QFont::Bold);
    return empty;
}

int CChannelTreeCtrl::EntryWidth(const QModelIndex& index) const
{
    int depth = rootIsDecorated() ? 1 : 0;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        ++depth;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    return depth * indentation() + itemDelegate()->sizeHint(option, index).width();
}

void CChannelTreeCtrl::WidenFor(const QModelIndex& index)
{
    if (!index.isValid() || m_bFitPending)
        return;
    // Only entries that show count, as for the header's own measure.
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) {
        if (!isExpanded(parent))
            return;
    }
    const int width = EntryWidth(index);
    if (width > columnWidth(0))
        setColumnWidth(0, width);
}

void CChannelTreeCtrl::ScheduleFit()
{
    if (m_bFitPending)
        return;
    m_bFitPending = true;
    QMetaObject::invokeMethod(this, [this] { FitColumn(); }, Qt::QueuedConnection);
}

void CChannelTreeCtrl::FitColumn()
{
    m_bFitPending = false;
    int widest = 0;
    // Only entries that show count: those of open folders.
    std::vector<QModelIndex> pending{QModelIndex()};
    while (model() != nullptr && !pending.empty()) {
        const QModelIndex parent = pending.back();
        pending.pop_back();
        for (int row = 0, rows = model()->rowCount(parent); row < rows; ++row) {
            const QModelIndex entry = model()->index(row, 0, parent);
            widest = std::max(widest, EntryWidth(entry));
            if (isExpanded(entry))
                pending.push_back(entry);
        }
    }
    setColumnWidth(0, widest);
}

void CChannelTreeCtrl::SetEmptyText(const QString& text)
{
    m_strEmptyText = text;
    viewport()->update();
}

void CChannelTreeCtrl::SetMovingIndex(const QModelIndex& index)
{
    // A step recreates the moving entry: a drag in progress goes on with
    // the new one.
    m_moving = index;
    m_bMoving = index.isValid();
    if (!m_bMoving)
        m_bDragArmed = false;
    viewport()->update();
}

void CChannelTreeCtrl::paintEvent(QPaintEvent* event)
{
    if (m_bReportPaint) {
        m_bReportPaint = false;
        int entries = 0;
        std::vector<QModelIndex> pending{QModelIndex()};
        while (model() != nullptr && !pending.empty()) {
            const QModelIndex parent = pending.back();
            pending.pop_back();
            const int rows = model()->rowCount(parent);
            entries += rows;
            for (int row = 0; row < rows; ++row)
                pending.push_back(model()->index(row, 0, parent));
        }
        DebugLogF("CChannelTreeView::OnPaint", "tree drawn: %d entries", entries);
    }
    if (model() != nullptr && model()->rowCount() > 0) {
        QTreeView::paintEvent(event);
        return;
    }
    QPainter painter(viewport());
    const QRect area = viewport()->rect();
    painter.fillRect(area, palette().color(QPalette::Base));
    painter.setPen(kEmptyTextColour);
    painter.setFont(EmptyTextFont());
    painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, m_strEmptyText);
}

void CChannelTreeCtrl::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
        horizontalScrollBar()->triggerAction(event->key() == Qt::Key_Left ? QAbstractSlider::SliderSingleStepSub
                                                                          : QAbstractSlider::SliderSingleStepAdd);
        event->accept();
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
        DebugLog("CChannelTreeView::PreTranslateMessage", "Key Down=============VK_TUP & VK_KEYDOWN");
        if (m_bMoving) {
            emit moveStepRequested(event->key() == Qt::Key_Up);
            event->accept();
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!m_bMoving) {
            const QModelIndex item = currentIndex();
            if (item.isValid() && model()->rowCount(item) > 0)
                setExpanded(item, !isExpanded(item));
            else if (item.isValid())
                emit openRequested(item);
        }
        event->accept();
        return;
    default:
        break;
    }
    // While an entry moves, no other key changes the tree.
    if (m_bMoving) {
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void CChannelTreeCtrl::mousePressEvent(QMouseEvent* event)
{
    if (!m_bMoving) {
        QTreeView::mousePressEvent(event);
        return;
    }
    // In move mode a tap moves nothing but may start a drag of the entry.
    const int y = event->position().toPoint().y();
    m_bDragArmed = event->button() == Qt::LeftButton && m_moving.isValid() && indexAt(event->position().toPoint()) == m_moving;
    m_nDragY = y;
    event->accept();
}

void CChannelTreeCtrl::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_bMoving) {
        QTreeView::mouseMoveEvent(event);
        return;
    }
    event->accept();
    if (!m_bDragArmed)
        return;
    const int y = event->position().toPoint().y();
    const int travelled = y - m_nDragY;
    if (travelled <= -kDragStepPixels || travelled >= kDragStepPixels) {
        m_nDragY = y;
        emit moveStepRequested(travelled < 0);
    }
}

void CChannelTreeCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_bMoving) {
        QTreeView::mouseReleaseEvent(event);
        return;
    }
    m_bDragArmed = false;
    event->accept();
}

void CChannelTreeCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (m_bMoving) {
        event->accept();
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}

void CChannelTreeCtrl::contextMenuEvent(QContextMenuEvent* event)
{
    emit contextMenuRequested(event->globalPos(), event->reason() == QContextMenuEvent::Keyboard);
    event->accept();
}
