#pragma once
// The report list of the item lists, the choice lists and the search
// results: rows of columns, full-row selection of one row, images from an
// image list, a 9- or 10-point font, an optional column header, and a centred
// grey text in place of the rows while there are none. Columns and their
// widths are the owner's; a row carries an opaque value (ItemData) for the
// owner, which keeps whatever it points to alive.
//
// focusedRowChanged(row) is emitted whenever the focused row changes, with
// -1 when there is none (rows cleared); it is emitted synchronously, so an
// owner that wants it after the change has settled connects it queued.
// Enter and a double tap emit rowActivated; a right click or a tap held
// 0.7 s emits contextMenuRequested with the global point.

#include <QTreeWidget>

#include "views/ImageList.h"

class CReportList : public QTreeWidget {
    Q_OBJECT
public:
    explicit CReportList(QWidget* parent = nullptr, int pointSize = 9);

    void SetFontPointSize(int pointSize);
    void ShowHeader(bool show);
    bool IsHeaderShown() const;
    void SetEmptyText(const QString& text);
    QString EmptyText() const { return m_strEmptyText; }
    void SetImageList(const CImageList& images);

    // Columns: inserted at index (appended when past the end).
    int InsertColumn(int index, const QString& title, int width, Qt::Alignment alignment = Qt::AlignLeft);
    void SetColumnWidth(int column, int width);

    // Rows: InsertItem returns the row index it took (appended when row is
    // past the end), -1 on failure. A negative image shows none.
    int InsertItem(int row, const QString& text, int image = -1, quintptr data = 0);
    bool SetItemText(int row, int column, const QString& text);
    QString ItemText(int row, int column) const;
    bool SetItemImage(int row, int image);
    int ItemImage(int row) const;
    bool SetItemData(int row, quintptr data);
    quintptr ItemData(int row) const;
    bool DeleteItem(int row);
    void DeleteAllItems();
    int GetItemCount() const { return topLevelItemCount(); }

    // -1 when none.
    int GetSelectedRow() const;
    int GetFocusedRow() const;
    // Selects and focuses the row and scrolls it into view; -1 clears.
    void SelectRow(int row);

signals:
    void focusedRowChanged(int row);
    void rowActivated(int row);
    void contextMenuRequested(const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QTreeWidgetItem* Row(int row) const;
    void ApplyAlignment(QTreeWidgetItem* item) const;

    QString m_strEmptyText;
    CImageList m_images;
    std::vector<Qt::Alignment> m_alignments;
};
