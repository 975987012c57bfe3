#pragma once
// CChannelTreeCtrl: the tree control of the channel tree view (control 1025
// of template 213), a view on the entries of CChannelTreeModel. It draws
// and reports; the view decides.
//
// Drawing: entries in a 9-point normal font with a 22x22 icon; each entry's
// text is drawn on one line over a filled rectangle: the highlight colours
// when selected, red behind the entry being moved, the window colour
// otherwise. An empty tree shows only its empty-state text, grey, centred
// and word-wrapped in a 12-point bold font.
//
// Keys: Left and Right scroll sideways (they never open or close folders);
// Enter opens or closes a folder that has entries below it, and asks the
// view to open anything else (openRequested). While an entry moves (a moving
// entry is set), Up and Down ask for a step (moveStepRequested) and taps,
// double taps and other keys do nothing; a press on the moving entry arms
// dragging, and each 5 pixels the stylus then travels up or down asks for
// one step.
//
// A right click, a tap held 0.7 s or the context key asks for the context
// menu (contextMenuRequested; fromKeyboard for the key).

#include <QPersistentModelIndex>
#include <QTreeView>

class CChannelTreeCtrl : public QTreeView {
    Q_OBJECT
public:
    static constexpr int kEntryPointSize = 9;
    static constexpr int kEmptyTextPointSize = 12;
    static constexpr int kDragStepPixels = 5;
    static inline const QColor kMovingColour{255, 0, 0};
    static inline const QColor kEmptyTextColour{128, 128, 128};

    explicit CChannelTreeCtrl(QWidget* parent = nullptr);
    ~CChannelTreeCtrl() override;

    // The column follows the model's changes (FitColumn).
    void setModel(QAbstractItemModel* model) override;

    void SetEmptyText(const QString& text);
    QString EmptyText() const { return m_strEmptyText; }
    QFont EmptyTextFont() const;

    // The entry being moved (invalid: none): drawn red, and the only one
    // that can be selected. Move mode lasts until it is set invalid, while
    // a step makes the entry again.
    void SetMovingIndex(const QModelIndex& index);
    QModelIndex MovingIndex() const { return m_moving; }
    bool IsMoving() const { return m_bMoving; }

    // The next paint writes a debug line with the number of entries drawn
    // (the start-up's end as the user sees it).
    void ReportNextPaint() { m_bReportPaint = true; }

    // Measures every entry shown and makes the column as wide as the widest
    // (it is also done by itself after entries come, go, open or close).
    void FitColumn();

    // What a selected entry's text is drawn in.
    QColor HighlightColour() const { return m_highlight; }
    QColor HighlightTextColour() const { return m_highlightText; }

signals:
    void openRequested(const QModelIndex& index);
    void moveStepRequested(bool up);
    void contextMenuRequested(const QPoint& globalPos, bool fromKeyboard);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    int EntryWidth(const QModelIndex& index) const;
    void WidenFor(const QModelIndex& index);
    void ScheduleFit();

    QString m_strEmptyText;
    bool m_bFitPending = false;
    QColor m_highlight;
    QColor m_highlightText;
    QPersistentModelIndex m_moving;
    bool m_bMoving = false;
    bool m_bReportPaint = false;
    bool m_bDragArmed = false;
    int m_nDragY = 0;
};
