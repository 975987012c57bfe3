#include "views/ChannelTreeView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMenu>
#include <QResizeEvent>
#include <QTreeWidgetItemIterator>
#include <algorithm>

#include "app/MessageBox.h"
#include "platform/Debug.h"
#include "views/ChannelTreeViewCtrl.h"
#include "views/FullScreenDialog.h"
#include "views/NewSubscriptionDlg.h"
#include "views/ResText.h"
#include "views/ResourceMenu.h"
#include "views/SoftKeyBar.h"
#include "views/DialogMessages.h"
#include "views/UpdateFeedsDlg.h"
#include "views/WaitCursor.h"

namespace {

constexpr int kOutlineRole = Qt::UserRole + 1;
constexpr int kIconRole = Qt::UserRole + 2;
// Below the tree a strip is left free (where the device keeps its input
// panel button); a square screen needs more.
constexpr int kBottomStrip = 26;
constexpr int kBottomStripSquare = 34;

} // namespace

// Drops the keys meant for the frame while the tree starts, and those the
// window system queued meanwhile, which arrive just after. Keys for a
// window over the frame (the first-subscription prompt) go through.
class CStartupKeyFilter : public QObject {
public:
    CStartupKeyFilter(QWidget* frame) : QObject(frame), m_pFrame(frame) { qApp->installEventFilter(this); }
    ~CStartupKeyFilter() override { qApp->removeEventFilter(this); }

    // Start-up is over: keys still arriving within the grace time are the
    // queued ones.
    void Finish(int graceMs)
    {
        m_clock.start();
        m_nGraceMs = graceMs;
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return false;
        if (m_clock.isValid() && m_clock.elapsed() > m_nGraceMs) {
            deleteLater();
            return false;
        }
        auto* widget = qobject_cast<QWidget*>(object);
        if (widget == nullptr || widget->window() != m_pFrame || CFullScreenDialog::ActiveDialog() != nullptr)
            return false;
        return true;
    }

private:
    QWidget* m_pFrame;
    QElapsedTimer m_clock;
    int m_nGraceMs = 0;
};

CChannelTreeView::CChannelTreeView(IFrameHost& frame, CReaderSession& session, CTreeDialogs dialogs)
    : m_frame(frame), m_session(session), m_dialogs(std::move(dialogs))
{
    setObjectName(QString::number(IDD_CHANNEL_TREE));
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    m_pTree = new CChannelTreeCtrl(this);
    m_pTree->setObjectName(QString::number(IDC_TREE));
    m_icons = CImageList::FromBitmap(IDB_TREE_ICONS);
    setFocusProxy(m_pTree);

    connect(m_pTree, &CChannelTreeCtrl::openRequested, this, &CChannelTreeView::OpenEntry);
    connect(m_pTree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) { OpenEntry(item); });
    connect(m_pTree, &CChannelTreeCtrl::moveStepRequested, this, &CChannelTreeView::MoveStep);
    connect(m_pTree, &CChannelTreeCtrl::contextMenuRequested, this, &CChannelTreeView::ShowContextMenu);
    connect(m_pTree, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { OnFolderToggled(item, true); });
    connect(m_pTree, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* item) { OnFolderToggled(item, false); });
    // While an entry moves, nothing else can be selected.
    connect(m_pTree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
        QTreeWidgetItem* moving = m_pTree->MovingItem();
        if (moving != nullptr && current != moving)
            QMetaObject::invokeMethod(this, [this] {
                if (m_pTree->MovingItem() != nullptr)
                    m_pTree->setCurrentItem(m_pTree->MovingItem());
            }, Qt::QueuedConnection);
    });
    connect(&m_timer, &QTimer::timeout, this, &CChannelTreeView::OnTimer);
    connect(&m_updateWait, &QTimer::timeout, this, &CChannelTreeView::RunAutomaticUpdate);

    // Until the tree has started, the soft keys do nothing.
    m_frame.SoftKeys()->EnableKey(CSoftKeyBar::kLeft, false);
    m_frame.SoftKeys()->EnableKey(CSoftKeyBar::kRight, false);
    m_pKeyFilter = new CStartupKeyFilter(m_frame.Window());
}

CChannelTreeView::~CChannelTreeView()
{
    m_timer.stop();
    m_updateWait.stop();
    delete m_pKeyFilter;
}

bool CChannelTreeView::KeepsTitle() const { return m_session.IsMoving(); }

void CChannelTreeView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int strip = width() == height() ? kBottomStripSquare : kBottomStrip;
    m_pTree->setGeometry(0, 0, width(), std::max(0, height() - strip));
}

void CChannelTreeView::focusInEvent(QFocusEvent*) { m_pTree->setFocus(Qt::OtherFocusReason); }

// ---- Start-up ----------------------------------------------------------------------

bool CChannelTreeView::InitChannel()
{
    if (m_bInitialised)
        return true;
    m_pTree->SetEmptyText(QString());
    CReaderSession::CStartUp startUp;
    {
        CWaitCursor wait;
        startUp = m_session.Start();
        FillTree();
    }
    WatchSubscriptionFile();
    for (const CViewMessage& message : startUp.storeMessages)
        ShowMessageBox(this, ToQString(message.Text()), message.style);
    for (const CViewMessage& message : startUp.treeMessages)
        ShowMessageBox(this, ToQString(message.Text()), message.style);
    m_pTree->SetEmptyText(ResString(IDS_EMPTY_TREE));

    UpdateSoftKeys(); // and the first-subscription prompt
    ExpandTopLevel();
    if (m_pTree->topLevelItemCount() > 0)
        m_pTree->setCurrentItem(m_pTree->topLevelItem(0));
    m_timer.start(m_nCheckInterval);
    if (m_pKeyFilter != nullptr)
        m_pKeyFilter->Finish(kStartupKeyGraceMs);
    m_pTree->setFocus(Qt::OtherFocusReason);
    m_pTree->ReportNextPaint();
    m_pTree->viewport()->update();
    m_bInitialised = true;
    // Posted: the update starts once the start-up has returned.
    if (startUp.updateNow)
        PostAutomaticUpdate();
    emit initialised();
    return true;
}

void CChannelTreeView::RequestUpdateAll(bool automatic)
{
    if (!m_session.RequestUpdateAll(automatic))
        return;
    if (automatic)
        PostAutomaticUpdate();
    else
        m_frame.PostCommand(ID_UPDATE_ALL);
}

// Automatic requests (start-up, the timer, a synchronisation) come round
// once however often they are made before the first one runs.
void CChannelTreeView::PostAutomaticUpdate()
{
    if (m_bAutomaticQueued)
        return;
    m_bAutomaticQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_bAutomaticQueued = false;
            RunAutomaticUpdate();
        },
        Qt::QueuedConnection);
}

void CChannelTreeView::RunAutomaticUpdate()
{
    if (!m_session.IsAutomaticUpdate()) {
        m_updateWait.stop(); // an update ran since it was asked for
        return;
    }
    // Its dialog would open over the window the user works in: it waits.
    if (!m_session.AcceptUpdateAll(IsWindowOfTheViewOpen()) || m_session.IsUpdateLocked()) {
        if (!m_updateWait.isActive())
            m_updateWait.start(kUpdateWaitMs);
        return;
    }
    m_updateWait.stop();
    RunUpdate(true);
}

void CChannelTreeView::SetCheckInterval(int milliseconds)
{
    m_nCheckInterval = milliseconds;
    if (m_timer.isActive())
        m_timer.start(milliseconds);
}

bool CChannelTreeView::IsWindowOfTheViewOpen()
{
    return CFullScreenDialog::ActiveDialog() != nullptr || QApplication::activeModalWidget() != nullptr ||
           QApplication::activePopupWidget() != nullptr;
}

void CChannelTreeView::OnTimer()
{
    if (m_bReloadPending)
        CheckSubscriptionFile();
    if (m_session.CheckPeriodicUpdate(IsWindowOfTheViewOpen()))
        PostAutomaticUpdate();
    m_session.SendWaitingMarks();
}

LRESULT CChannelTreeView::OnFrameMessage(UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_CONNECTED_NOTIFY) {
        if (m_session.OnConnectedNotify(wParam, m_bHandlingStatus))
            PostAutomaticUpdate();
    } else if (message == WM_CONNECTION_STATUS && !m_bHandlingStatus) {
        // Sending the lost network to a dialog lets other messages in.
        m_bHandlingStatus = true;
        m_session.OnConnectionStatus(wParam, [this] {
            // The dialog on top: one that downloads names its message window;
            // the update dialog takes it as an event.
            QWidget* front = CFullScreenDialog::ActiveDialog();
            const QVariant window = front != nullptr ? front->property(kMessageWindowProperty) : QVariant();
            if (window.isValid()) {
                SendMessage(HWND{window.toULongLong()}, WM_NETWORK_LOST, 0, 0);
            } else {
                QEvent lost(static_cast<QEvent::Type>(kNetworkLostEvent));
                QCoreApplication::sendEvent(front != nullptr ? front : m_frame.Window(), &lost);
            }
        });
        m_bHandlingStatus = false;
    }
    return 0;
}

// ---- Entries --------------------------------------------------------------------------

QTreeWidgetItem* CChannelTreeView::ItemOf(const COutline* outline) const { return m_items.value(outline, nullptr); }

COutline* CChannelTreeView::OutlineOf(const QTreeWidgetItem* item) const
{
    return item != nullptr ? reinterpret_cast<COutline*>(item->data(0, kOutlineRole).value<quintptr>()) : nullptr;
}

int CChannelTreeView::IconOf(const QTreeWidgetItem* item) { return item != nullptr ? item->data(0, kIconRole).toInt() : -1; }

COutline* CChannelTreeView::Selected() const { return OutlineOf(m_pTree->currentItem()); }

void CChannelTreeView::Select(const COutline* outline)
{
    if (QTreeWidgetItem* item = ItemOf(outline)) {
        m_pTree->setCurrentItem(item);
        m_pTree->scrollToItem(item);
    }
}

void CChannelTreeView::SetEntryLabel(QTreeWidgetItem* item, const QString& text, int icon)
{
    if (item->text(0) != text)
        item->setText(0, text);
    if (item->data(0, kIconRole).toInt() != icon || item->icon(0).isNull()) {
        item->setData(0, kIconRole, icon);
        item->setIcon(0, m_icons.Icon(icon));
    }
}

void CChannelTreeView::FillTree()
{
    m_pTree->clear();
    m_items.clear();
    CEntryLabeler labels;
    for (auto& outline : m_session.Document().outlines)
        CreateEntry(*outline, nullptr, {}, &labels);
}

QTreeWidgetItem* CChannelTreeView::CreateEntry(COutline& outline, QTreeWidgetItem* parent, const CEntryStates& states,
                                               CEntryLabeler* labels)
{
    CEntryState state;
    if (const auto known = states.find(&outline); known != states.end()) {
        state = *known;
    } else {
        // A new entry: a feed without a record gets one here.
        const std::optional<CEntryLabel> label = labels != nullptr ? labels->Insert(outline) : InsertEntryLabel(outline);
        if (!label)
            return nullptr; // a feed without a name has no entry
        state.text = ToQString(label->text);
        state.icon = label->icon;
    }
    auto* item = new QTreeWidgetItem;
    item->setData(0, kOutlineRole, QVariant::fromValue(reinterpret_cast<quintptr>(&outline)));
    SetEntryLabel(item, state.text, state.icon);
    if (parent != nullptr)
        parent->addChild(item);
    else
        m_pTree->addTopLevelItem(item);
    m_items.insert(&outline, item);
    // The moving entry goes without its children until the move ends.
    if (&outline != m_session.MovingOutline()) {
        for (auto& child : outline.children)
            CreateEntry(*child, item, states, labels);
    }
    if (state.expanded && item->childCount() > 0)
        item->setExpanded(true);
    return item;
}

void CChannelTreeView::CollectStates(QTreeWidgetItem* item, CEntryStates& states)
{
    for (int index = 0; index < item->childCount(); ++index) {
        QTreeWidgetItem* child = item->child(index);
        states.insert(OutlineOf(child), {child->text(0), IconOf(child), child->isExpanded()});
        CollectStates(child, states);
    }
}

void CChannelTreeView::ForgetItems(QTreeWidgetItem* item)
{
    for (int index = 0; index < item->childCount(); ++index) {
        m_items.remove(OutlineOf(item->child(index)));
        ForgetItems(item->child(index));
    }
}

void CChannelTreeView::RebuildEntries(const COutline* parent)
{
    QTreeWidgetItem* parentItem = parent != nullptr ? ItemOf(parent) : nullptr;
    if (parent != nullptr && parentItem == nullptr)
        parent = nullptr; // not shown: the whole tree is made again
    QTreeWidgetItem* root = parentItem != nullptr ? parentItem : m_pTree->invisibleRootItem();
    const COutline* selected = Selected();
    // What the entries showed is kept: labels come from the store at the next
    // refresh, and a feed whose record went missing keeps its text and icon.
    CEntryStates states = m_movingStates;
    CollectStates(root, states);
    const bool updates = m_pTree->updatesEnabled();
    m_pTree->setUpdatesEnabled(false);
    ForgetItems(root);
    for (QTreeWidgetItem* child : root->takeChildren())
        delete child;
    for (auto& outline : m_session.ListOf(parent))
        CreateEntry(*outline, parentItem, states);
    if (parentItem != nullptr && parentItem->childCount() == 0)
        SetEntryLabel(parentItem, parentItem->text(0), IconOf(parentItem) == kTreeIconFolderOpen ? kTreeIconFolderClosed
                                                                                              : IconOf(parentItem));
    if (selected != nullptr && ItemOf(selected) != nullptr)
        Select(selected);
    m_pTree->setUpdatesEnabled(updates);
}

void CChannelTreeView::RefreshLabels(QTreeWidgetItem* from)
{
    if (from == nullptr)
        return;
    QTreeWidgetItem* parent = from->parent() != nullptr ? from->parent() : m_pTree->invisibleRootItem();
    std::vector<QTreeWidgetItem*> pending;
    for (int index = parent->indexOfChild(from); index >= 0 && index < parent->childCount(); ++index)
        pending.push_back(parent->child(index));
    while (!pending.empty()) {
        QTreeWidgetItem* item = pending.back();
        pending.pop_back();
        if (COutline* outline = OutlineOf(item)) {
            const bool open = item->isExpanded() && item->childCount() > 0;
            if (const std::optional<CEntryLabel> label = m_session.LabelOf(*outline, open))
                SetEntryLabel(item, ToQString(label->text), label->icon);
        }
        for (int index = 0; index < item->childCount(); ++index)
            pending.push_back(item->child(index));
    }
}

void CChannelTreeView::RefreshAll()
{
    if (m_pTree->topLevelItemCount() > 0)
        RefreshLabels(m_pTree->topLevelItem(0));
}

// One feed's result came in while its update runs: its entries show it at
// once, from the result alone, without waiting for the store the worker is
// writing.
void CChannelTreeView::ShowFeedResult(const CFeedUpdateResult& result)
{
    for (QTreeWidgetItemIterator it(m_pTree); *it != nullptr; ++it) {
        COutline* outline = OutlineOf(*it);
        if (outline == nullptr || !outline->IsFeed() || outline->xmlUrl != result.url)
            continue;
        if (const std::optional<CEntryLabel> label = ResultLabel(result, ToWide((*it)->text(0))))
            SetEntryLabel(*it, ToQString(label->text), label->icon);
    }
}

void CChannelTreeView::OnFolderToggled(QTreeWidgetItem* item, bool expanded)
{
    const COutline* outline = OutlineOf(item);
    if (outline != nullptr && outline->kind == OutlineKindFolder)
        SetEntryLabel(item, item->text(0), expanded ? kTreeIconFolderOpen : kTreeIconFolderClosed);
}

void CChannelTreeView::ExpandTopLevel()
{
    m_pTree->setUpdatesEnabled(false);
    for (int index = 0; index < m_pTree->topLevelItemCount(); ++index) {
        QTreeWidgetItem* item = m_pTree->topLevelItem(index);
        if (item->childCount() > 0)
            item->setExpanded(true);
    }
    m_pTree->setUpdatesEnabled(true);
}

// ---- Soft keys, the first-subscription prompt, menus ------------------------------------

void CChannelTreeView::UpdateSoftKeys()
{
    CSoftKeyBar* keys = m_frame.SoftKeys();
    if (keys->MenuBarId() == IDR_MAIN_MENU) {
        keys->EnableKey(CSoftKeyBar::kLeft, m_session.IsNewKeyEnabled() && IsCommandAvailable(ID_NEW_ITEMS));
        keys->EnableKey(CSoftKeyBar::kRight, true);
    }
    if (!m_bFirstPromptPending)
        return;
    m_bFirstPromptPending = false;
    RunFirstPrompt();
    UpdateSoftKeys();
}

void CChannelTreeView::RunFirstPrompt()
{
    while (m_session.Document().outlines.empty()) {
        m_frame.SoftKeys()->EnableKey(CSoftKeyBar::kLeft, false);
        CNewSubscriptionDlg prompt(this, [this](UINT choice) {
            return IsCommandAvailable(CNewSubscriptionDlg::CommandOfChoice(static_cast<int>(choice)));
        });
        const int command = CNewSubscriptionDlg::CommandOfChoice(prompt.DoModal());
        if (command == 0)
            break; // Cancel
        OnCommand(command);
    }
}

bool CChannelTreeView::IsCommandAvailable(int command) const
{
    switch (command) {
    case ID_NEW_ITEMS:
        return static_cast<bool>(m_dialogs.newItems);
    case ID_ENTER_URL:
        return static_cast<bool>(m_dialogs.addFeed);
    case ID_ONLINE_SEARCH:
        return static_cast<bool>(m_dialogs.onlineSearch);
    case ID_RENAME:
        return static_cast<bool>(m_dialogs.rename);
    case ID_NEW_FOLDER:
        return static_cast<bool>(m_dialogs.newFolder);
    case ID_PROPERTIES:
        return static_cast<bool>(m_dialogs.properties);
    case ID_IMPORT:
        return m_dialogs.importSource && (m_dialogs.pickFile || m_dialogs.opmlAddress);
    case ID_IMPORT_FILE:
    case ID_EXPORT:
        return static_cast<bool>(m_dialogs.pickFile);
    case ID_IMPORT_URL:
        return static_cast<bool>(m_dialogs.opmlAddress);
    case ID_OPTIONS:
        return static_cast<bool>(m_dialogs.options);
    case ID_APP_ABOUT:
        return static_cast<bool>(m_dialogs.about);
    case ID_FIND:
        return static_cast<bool>(m_dialogs.find);
    default:
        return true;
    }
}

namespace {

void ForEachCommand(QMenu* menu, const std::function<void(QAction*, int)>& visit)
{
    for (QAction* action : menu->actions()) {
        if (action->menu() != nullptr)
            ForEachCommand(action->menu(), visit);
        else if (const int command = CommandOf(action); command != 0)
            visit(action, command);
    }
}

} // namespace

void CChannelTreeView::ApplyMenuState(QMenu* popup)
{
    const std::vector<int> greyed = m_session.GreyedCommands(Selected(), m_pTree->topLevelItemCount() == 0);
    ForEachCommand(popup, [&](QAction* action, int command) {
        action->setEnabled(IsCommandAvailable(command) &&
                           std::find(greyed.begin(), greyed.end(), command) == greyed.end());
    });
}

void CChannelTreeView::OnInitMenuPopup(QMenu* popup) { ApplyMenuState(popup); }

void CChannelTreeView::ShowContextMenu(const QPoint& globalPos, bool fromKeyboard)
{
    if (!m_bInitialised || m_session.IsMoving())
        return;
    const QPoint at = fromKeyboard ? mapToGlobal(QPoint(0, 0)) : globalPos;
    if (!rect().contains(mapFromGlobal(at)))
        return;
    const int command = TrackPopupMenu(IDR_TREE_CONTEXT, at, this, [this](QMenu* popup) { ApplyMenuState(popup); });
    if (command != 0)
        OnCommand(command);
}
