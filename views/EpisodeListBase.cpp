#include "views/EpisodeListBase.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QTime>
#include <QVBoxLayout>

#include "app/MessageBox.h"
#include "update/Setting.h"
#include "views/DescriptionView.h"
#include "views/ReportList.h"
#include "views/ResText.h"
#include "views/ResourceMenu.h"
#include "views/WaitCursor.h"

namespace {

constexpr int kPaneListRows = 4;

// The locale's short time, without seconds should it have them.
QString LocaleTimeOfDay(const CSystemTime& time)
{
    static const QRegularExpression seconds(QStringLiteral("[:.]?s+"));
    QString format = QLocale().timeFormat(QLocale::ShortFormat);
    format.remove(seconds);
    return QLocale().toString(QTime(time.wHour, time.wMinute), format.trimmed());
}

} // namespace

CPageListDlg::CPageListDlg(QWidget* host, UINT menuId, UINT contextMenuId)
    : CFullScreenDialog(host, IDD_EPISODE_LIST), m_nContextMenuId(contextMenuId)
{
    SetMenuBar(menuId);
}

CPageListDlg::~CPageListDlg() = default;

bool CPageListDlg::OnInitDialog()
{
    m_pList = Controls().Get<CReportList>(IDC_EPISODE_LIST);
    if (m_pList == nullptr)
        return false;
    // The list and the pane are placed by LayoutViews, edge to edge.
    ClientLayout()->removeWidget(m_pList);
    ClientLayout()->setContentsMargins(0, 0, 0, 0);
    Client()->installEventFilter(this);

    m_pPane = new CDescriptionView(Client());
    m_pPane->SetFocusStyle(false);

    const CSetting& setting = CSetting::Instance();
    m_pList->SetFontPointSize(9);
    m_pList->SetEmptyText(ResString(IDS_NO_ITEMS));
    m_pList->ShowHeader(setting.GetShowHeader() != 0);
    m_pList->SetImageList(CImageList::FromBitmap(IDB_PAGE_STATES));
    m_pList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_nDateWidth = m_pList->fontMetrics().horizontalAdvance(QStringLiteral("00:00 AM")) + 5;
    m_pList->InsertColumn(0, ResString(IDS_HEADLINE), 100, Qt::AlignLeft);
    m_pList->InsertColumn(1, ResString(IDS_DATE), m_nDateWidth, Qt::AlignHCenter);
    // The headline takes what the date leaves, whatever the scroll bar takes.
    m_pList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_pList->header()->setSectionResizeMode(1, QHeaderView::Fixed);
    m_pList->installEventFilter(this);
    m_pPane->setVisible(setting.GetShowDescription() != 0);

    connect(m_pList, &CReportList::focusedRowChanged, this, &CPageListDlg::OnFocusedRowChanged);
    connect(m_pList, &CReportList::rowActivated, this,
            [this](int row) { OpenEpisode(row >= 0 ? row : m_pList->GetSelectedRow()); });
    connect(m_pList, &CReportList::contextMenuRequested, this, &CPageListDlg::OnContextMenu);
    connect(m_pPane, &CDescriptionView::focusTaken, this, [this] { OnPaneFocus(true); });
    connect(m_pPane, &CDescriptionView::focusLost, this, [this] { OnPaneFocus(false); });
    connect(m_pPane, &CDescriptionView::arrowKey, this, &CPageListDlg::OnPaneArrowKey);
    connect(m_pPane, &CDescriptionView::linkTapped, this, &CPageListDlg::OnLinkTapped);
    LayoutViews();
    return true;
}

CRssItem* CPageListDlg::PageOfRow(int row) const
{
    return m_pList != nullptr ? reinterpret_cast<CRssItem*>(m_pList->ItemData(row)) : nullptr;
}

int CPageListDlg::RowCount() const { return m_pList != nullptr ? m_pList->GetItemCount() : 0; }

void CPageListDlg::ForgetPages()
{
    m_pShownPage = nullptr;
    m_pCurrentPage = nullptr;
}

void CPageListDlg::SetDateCell(int row, const CRssItem& page, const CSystemTime& today)
{
    const CDateCell cell = DateCellOf(page.date, today);
    m_pList->SetItemText(row, 1, cell.kind == EDateCell::TimeOfDay ? LocaleTimeOfDay(cell.time) : ToQString(cell.text));
}

void CPageListDlg::FillList(int preferredRow)
{
    if (m_pList == nullptr)
        return;
    const CSystemTime today = GetLocalTime();
    const std::vector<CRssItem*> rows = m_pages.Rows(m_options, today);
    int selected = 0;
    {
        // Rows are rewritten in place; the focus signal waits for the end.
        m_pList->setUpdatesEnabled(false);
        QSignalBlocker blocker(m_pList);
        const int oldCount = m_pList->GetItemCount();
        const UINT hint = EmptyListHint(m_pages.Undeleted(), rows.size());
        m_pList->SetEmptyText(hint != 0 ? ResString(IDS_NO_ITEMS) + QLatin1Char('\n') + ResString(hint)
                                        : ResString(IDS_NO_ITEMS));
        int remembered = -1;
        for (size_t index = 0; index < rows.size(); ++index) {
            const int row = static_cast<int>(index);
            const CRssItem& page = *rows[index];
            const QString title = ToQString(page.title);
            const auto data = reinterpret_cast<quintptr>(rows[index]);
            const int image = static_cast<int>(page.state);
            if (row < oldCount) {
                m_pList->SetItemText(row, 0, title);
                m_pList->SetItemImage(row, image);
                m_pList->SetItemData(row, data);
            } else {
                m_pList->InsertItem(row, title, image, data);
            }
            SetDateCell(row, page, today);
            if (rows[index] == m_pCurrentPage)
                remembered = row;
        }
        for (int row = oldCount - 1; row >= static_cast<int>(rows.size()); --row)
            m_pList->DeleteItem(row);
        selected = preferredRow >= 0 ? preferredRow : (remembered >= 0 ? remembered : 0);
        selected = std::min(selected, static_cast<int>(rows.size()) - 1);
        m_pList->setUpdatesEnabled(true);
    }
    // Four whole rows above the pane: the height is the one drawn.
    if (m_pList->GetItemCount() > 0) {
        const int rowHeight = m_pList->visualItemRect(m_pList->topLevelItem(0)).height();
        if (rowHeight > 0 && rowHeight != m_nRowHeight) {
            m_nRowHeight = rowHeight;
            LayoutViews();
        }
    }
    m_pCurrentPage = PageOfRow(selected);
    m_pList->SelectRow(selected);
    ShowDescription(selected);
    m_pList->setFocus(Qt::OtherFocusReason);
}

void CPageListDlg::OnFocusedRowChanged(int row)
{
    m_pCurrentPage = PageOfRow(row);
    ShowDescription(row);
}

void CPageListDlg::ShowDescription(int row)
{
    if (m_pPane == nullptr || CSetting::Instance().GetShowDescription() == 0)
        return;
    if (row < 0)
        row = m_pList->GetSelectedRow();
    if (row < 0) {
        m_pShownPage = nullptr;
        m_pPane->ShowHtml(CDescriptionView::EmptyDocument());
        return;
    }
    const CRssItem* page = PageOfRow(row);
    if (page == nullptr || page == m_pShownPage)
        return;
    m_pShownPage = page;
    m_pPane->ShowHtml(CDescriptionView::PageDocument(ToQString(page->description)));
}

void CPageListDlg::OpenEpisode(int row)
{
    CRssItem* page = PageOfRow(row);
    if (row < 0 || page == nullptr || !OpenLink(PageTarget(*page)))
        return;
    m_pList->SetItemImage(row, PageStateRead);
    ChangeEpisodeState(row, PageStateRead);
}

// A page is read once its link has opened: one that cannot open (refused,
// or no opener could start) stays as it was, and the user is told.
bool CPageListDlg::OpenLink(const std::wstring& target)
{
    if (OpenInBrowser(target))
        return true;
    ShowMessageBox(this, ResFormat(IDS_LINK_NOT_OPENED, target.c_str()), MB_OK | MB_ICONHAND);
    return false;
}

void CPageListDlg::ChangeEpisodeState(int row, PageState state)
{
    CRssItem* page = PageOfRow(row);
    if (page == nullptr)
        return;
    FeedRecord feed;
    if (!ChangePageState(*page, state, feed))
        return;
    OnPageStateChanged(feed);
    FillList(row);
}

int CPageListDlg::SelectedRowForCommand() const { return m_pList != nullptr ? m_pList->GetSelectedRow() : -1; }

void CPageListDlg::OnCommand(int id)
{
    switch (id) {
    case ID_PAGE_MARK_READ:
    case ID_PAGE_MARK_UNREAD: {
        CWaitCursor wait;
        ChangeEpisodeState(SelectedRowForCommand(), id == ID_PAGE_MARK_READ ? PageStateRead : PageStateUnread);
        return;
    }
    case ID_DELETE_PAGE:
        ChangeEpisodeState(SelectedRowForCommand(), PageStateDeleted);
        m_pList->setFocus(Qt::OtherFocusReason);
        return;
    case ID_SORT_TITLE:
    case ID_SORT_DATE:
    case ID_SORT_ASCENDING:
    case ID_SORT_DESCENDING:
        if (id == ID_SORT_TITLE || id == ID_SORT_DATE)
            m_options.sortField = id == ID_SORT_TITLE ? kFeedSortByTitle : kFeedSortByDate;
        else
            m_options.ascending = id == ID_SORT_ASCENDING;
        SaveOptions();
        FillList();
        m_pList->setFocus(Qt::OtherFocusReason);
        return;
    case ID_VIEW_HEADER:
    case ID_VIEW_DESCRIPTION:
        OnChangeView(id);
        return;
    case IDOK:
    case IDCANCEL:
    case ID_CANCEL:
        if (m_pPane != nullptr)
            m_pPane->Stop();
        CFullScreenDialog::OnCommand(id);
        return;
    default:
        CFullScreenDialog::OnCommand(id);
    }
}

void CPageListDlg::OnInitMenuPopup(QMenu* popup)
{
    // Entries keep their state between openings: start from all enabled.
    for (QAction* action : popup->actions())
        action->setEnabled(true);
    InitListMenu(popup);
    const int sortCommand = m_options.sortField == kFeedSortByTitle  ? ID_SORT_TITLE
                            : m_options.sortField == kFeedSortByDate ? ID_SORT_DATE
                                                                     : 0;
    CheckMenuRadio(popup, {ID_SORT_TITLE, ID_SORT_DATE}, sortCommand);
    CheckMenuRadio(popup, {ID_SORT_ASCENDING, ID_SORT_DESCENDING},
                   m_options.ascending ? ID_SORT_ASCENDING : ID_SORT_DESCENDING);
    if (sortCommand == 0) {
        EnableMenuCommand(popup, ID_SORT_ASCENDING, false);
        EnableMenuCommand(popup, ID_SORT_DESCENDING, false);
    }
    const CSetting& setting = CSetting::Instance();
    CheckMenuCommand(popup, ID_VIEW_HEADER, setting.GetShowHeader() != 0);
    CheckMenuCommand(popup, ID_VIEW_DESCRIPTION, setting.GetShowDescription() != 0);
    const bool empty = m_pList->GetItemCount() == 0;
    for (const int command : GreyedPageCommands(empty ? nullptr : PageOfRow(m_pList->GetSelectedRow())))
        EnableMenuCommand(popup, command, false);
}

void CPageListDlg::OnContextMenu(const QPoint& globalPos)
{
    if (m_pList->hasFocus() && m_pList->GetSelectedRow() < 0 && m_pList->GetFocusedRow() >= 0)
        m_pList->SelectRow(m_pList->GetFocusedRow());
    const int command = TrackPopupMenu(m_nContextMenuId, globalPos, this, [this](QMenu* menu) { OnInitMenuPopup(menu); });
    if (command != 0)
        OnCommand(command);
}

void CPageListDlg::OnChangeView(int id)
{
    CSetting& setting = CSetting::Instance();
    if (id == ID_VIEW_HEADER) {
        const bool shown = m_pList->IsHeaderShown();
        m_pList->ShowHeader(!shown);
        if (m_pList->IsHeaderShown() != shown)
            setting.SetShowHeader(shown ? 0 : 1);
    } else if (m_pPane->isVisible()) {
        m_pPane->hide();
        setting.SetShowDescription(0);
        m_pList->setFocus(Qt::OtherFocusReason);
    } else {
        m_pPane->show();
        setting.SetShowDescription(1);
        ShowDescription(-1);
    }
    LayoutViews();
    SetSelectedRowVisible();
}

void CPageListDlg::SetSelectedRowVisible()
{
    const int row = m_pList->GetSelectedRow();
    if (row >= 0)
        m_pList->scrollToItem(m_pList->topLevelItem(row));
}

void CPageListDlg::LayoutViews()
{
    if (m_pList == nullptr)
        return;
    const QRect area = Client()->rect().adjusted(-1, -1, 1, 1);
    if (m_pPane->isVisibleTo(Client())) {
        const int header = m_pList->IsHeaderShown() ? m_pList->header()->sizeHint().height() : 0;
        const int rowHeight = m_nRowHeight > 0
                                  ? m_nRowHeight
                                  : std::max(m_pList->iconSize().height(), m_pList->fontMetrics().height()) + 2;
        const int height =
            std::min(area.height(), 2 * m_pList->frameWidth() + header + kPaneListRows * rowHeight + 5);
        m_pList->setGeometry(area.x(), area.y(), area.width(), height);
        const int top = m_pList->geometry().bottom() + 1;
        m_pPane->setGeometry(0, top, Client()->width(), std::max(0, Client()->height() - top));
    } else {
        m_pList->setGeometry(area);
    }
}

bool CPageListDlg::eventFilter(QObject* object, QEvent* event)
{
    if (object == Client() && event->type() == QEvent::Resize) {
        LayoutViews();
    } else if (object == m_pList && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Left || key == Qt::Key_Right) && m_pPane->isVisible()) {
            m_pPane->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    return CFullScreenDialog::eventFilter(object, event);
}

void CPageListDlg::OnPaneFocus(bool taken)
{
    if (!taken) {
        m_pPane->SetFocusStyle(false);
        return;
    }
    if (m_pList->GetSelectedRow() >= 0)
        m_pPane->SetFocusStyle(true);
    else
        m_pList->setFocus(Qt::OtherFocusReason);
}

void CPageListDlg::OnPaneArrowKey()
{
    for (int tries = 0; tries < 10 && !m_pList->hasFocus(); ++tries)
        m_pList->setFocus(Qt::OtherFocusReason);
}

void CPageListDlg::OnLinkTapped(const QUrl& target)
{
    if (!OpenLink(ToWide(target.toString(QUrl::FullyEncoded))))
        return;
    const int row = m_pList->GetSelectedRow();
    if (row >= 0)
        ChangeEpisodeState(row, PageStateRead);
}
